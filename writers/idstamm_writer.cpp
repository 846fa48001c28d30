// IDSTAMM: the badge master file of a terminal. One line of fourteen quoted,
// comma-separated fields per badge row with a right on the terminal, one line
// per access class when the badge has access rights.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "queries/access_rights.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "queries/fixed_text.h"
#include "writers/writers.h"

namespace zx {
namespace {

// Field 4: the last five of the eight characters of AwvSto; location number
// 0 (and every number ending in five zeros) gives an empty field.
std::string_view LocationField(const BadgeRecord& record) {
  std::string_view location = FieldText(record.AwvSto);
  if (location.size() > 5) location.remove_prefix(location.size() - 5);
  return location == "00000" ? std::string_view() : location;
}

// One line: the fields written exactly as they are, each in double quotes,
// separated by commas, ended by carriage return and line feed.
std::string FormatLine(const BadgeRecord& record, std::string_view timeRight,
                       std::string_view accessRight, std::string_view accessClass) {
  const std::string_view fields[] = {
      FieldText(record.AswNum), FieldText(record.AswGvo), FieldText(record.AswGbi),
      LocationField(record),    timeRight,                accessRight,
      FieldText(record.AswSpr), FieldText(record.AswSal), "001",
      accessClass,              FieldText(record.SpareText), FieldText(record.AswNum),
      FieldText(record.AswAtp), FieldText(record.AswPin)};
  std::string line;
  for (std::string_view field : fields) {
    if (!line.empty()) line += ',';
    line += '"';
    line += field;
    line += '"';
  }
  line += "\r\n";
  return line;
}

}  // namespace

int CreateIdStamm(const char* /*dnlPath*/, const TerminalParams& terminal) {
  // A terminated copy of the name: the record field is only read up to its width.
  const std::string terminalName(FieldText(terminal.TrmNam));
  // TrmSal holds at most 10 characters (after a failed lookup, ten '0' and no terminator).
  const std::string_view terminalSal = FieldText(terminal.TrmSal).substr(0, 10);

  BadgeRecord record;
  ClearBadgeRecord(record);
  int32_t rowsRead = 0;
  int32_t badgesWritten = 0;
  bool writeFailed = false;

  OpenBadgeCursor(terminal);
  int32_t rc = FetchBadge(record);
  while (rc == 0) {
    ++rowsRead;
    if (record.LongAswNum[0] != '\0') {
      // Rights and lines would have to use a cut number: the row is left out.
      std::printf("Ausweis %s: Ausweisnummer zu lang, nicht in Datei gestellt\n",
                  record.LongAswNum.data());
    } else {
      if (record.AswSal[0] == '\0') SetField(record.AswSal, terminalSal);
      std::string_view timeRight = "0";
      std::string_view accessRight = "0";
      if (HasTimeRight(record, terminalName.c_str())) timeRight = "1";
      if (CollectAccessRights(record, terminalName.c_str(), 32, 0)) accessRight = "1";

      if (accessRight == "1" || timeRight == "1") {
        if (record.AswSpr[0] == '\0') {
          // AswSpr did not fit its 4 characters; a cut number would be a wrong one.
          std::printf("Ausweis %s: Sprachnummer zu lang, nicht in Datei gestellt\n",
                      record.AswNum.data());
        } else if (record.AswPinTooLong) {
          // A cut PIN is another PIN; the PIN itself is never printed.
          std::printf("Ausweis %s: PIN zu lang, nicht in Datei gestellt\n", record.AswNum.data());
        } else if (accessRight == "0" && record.LongAswBkl[0] != '\0') {
          // The time-right line carries AswBkl, which did not fit its field.
          std::printf("Ausweis %s: Zutrittsklasse %s zu lang, nicht in Datei gestellt\n",
                      record.AswNum.data(), record.LongAswBkl.data());
        } else {
          if (accessRight == "1") {
            for (const AccessRightEntry& entry : AccessRightList) {
              if (!WriteDnl(FormatLine(record, timeRight, accessRight, FieldText(entry)))) {
                writeFailed = true;
                break;
              }
            }
          } else {
            writeFailed =
                !WriteDnl(FormatLine(record, timeRight, accessRight, FieldText(record.AswBkl)));
          }
          if (!writeFailed) ++badgesWritten;
        }
      } else if (Verbose) {
        std::printf("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                    record.AswNum.data(), terminalName.c_str());
      }
    }
    ClearBadgeRecord(record);
    if (writeFailed) break;
    rc = FetchBadge(record);
  }
  CloseBadgeCursor();

  std::printf("Ausweise gesamt: %d davon in Datei gestellt: %d\n", static_cast<int>(rowsRead),
              static_cast<int>(badgesWritten));
  return !writeFailed && (rc == 0 || rc == 1403) ? 1 : 0;
}

}  // namespace zx
