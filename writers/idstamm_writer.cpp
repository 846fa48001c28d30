// IDSTAMM: the badge master file of a terminal. One line of fourteen quoted,
// comma-separated fields per badge row with a right on the terminal, one line
// per access class when the badge has access rights.
#include <cstdint>
#include <string>
#include <string_view>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "writers/badge_loop.h"
#include "writers/writers.h"

namespace zx {
namespace {

// What each badge is looked up for.
constexpr BadgeLookups kLookups{.classes = true};

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

int CreateIdStamm(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  // A terminated copy of the name: the record field is only read up to its width.
  const std::string terminalName(FieldText(terminal.TrmNam));
  // TrmSal holds at most 10 characters (after a failed lookup, ten '0' and no terminator).
  const std::string_view terminalSal = FieldText(terminal.TrmSal).substr(0, 10);
  AccessRightList classes;
  RightsCache rightsCache;
  int32_t badgesWritten = 0;

  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    if (record.LongAswNum[0] != '\0') {
      // Rights and lines would have to use a cut number: the row is left out.
      diagnostics.Print("Ausweis %s: Ausweisnummer zu lang, nicht in Datei gestellt\n",
                        record.LongAswNum.data());
      return true;
    }
    if (record.AswSal[0] == '\0') SetField(record.AswSal, terminalSal);
    std::string_view timeRight = "0";
    std::string_view accessRight = "0";
    if (HasTimeRight(run.session, diagnostics, record, terminalName.c_str(), &rightsCache)) {
      timeRight = "1";
    }
    if (CollectAccessRights(run.session, diagnostics, record, terminalName.c_str(), 32, 0,
                            classes, nullptr, &rightsCache)) {
      accessRight = "1";
    }

    if (accessRight == "0" && timeRight == "0") {
      diagnostics.Detail("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                         record.AswNum.data(), terminalName.c_str());
      return true;
    }
    if (record.AswSpr[0] == '\0') {
      // AswSpr did not fit its 4 characters; a cut number would be a wrong one.
      diagnostics.Print("Ausweis %s: Sprachnummer zu lang, nicht in Datei gestellt\n",
                        record.AswNum.data());
      return true;
    }
    if (record.AswPinTooLong) {
      // A cut PIN is another PIN; the PIN itself is never printed.
      diagnostics.Print("Ausweis %s: PIN zu lang, nicht in Datei gestellt\n", record.AswNum.data());
      return true;
    }
    if (accessRight == "0" && record.LongAswBkl[0] != '\0') {
      // The time-right line carries AswBkl, which did not fit its field.
      diagnostics.Print("Ausweis %s: Zutrittsklasse %s zu lang, nicht in Datei gestellt\n",
                        record.AswNum.data(), record.LongAswBkl.data());
      return true;
    }
    if (accessRight == "1") {
      for (const AccessRightEntry& entry : classes) {
        if (!run.WriteDnl(FormatLine(record, timeRight, accessRight, FieldText(entry)))) {
          return false;
        }
      }
    } else if (!run.WriteDnl(FormatLine(record, timeRight, accessRight, FieldText(record.AswBkl)))) {
      return false;
    }
    ++badgesWritten;
    return true;
  });

  run.PrintBadgeCounts(end.rowsFetched, static_cast<int>(badgesWritten));
  return end.Succeeded() ? 1 : 0;
}

}  // namespace zx
