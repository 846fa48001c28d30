// IDSTAMM: the badge master file of a terminal. One line of fourteen quoted,
// comma-separated fields per badge row with a right on the terminal, one line
// per access class when the badge has access rights.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "base/dnl_layouts.h"
#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "writers/badge_loop.h"
#include "writers/writers.h"

namespace zx {
namespace {

// What each badge is looked up for.
constexpr BadgeLookups kLookups{BadgeLookup::kClasses};

constexpr std::size_t kLocationDigits = 5;

// Field 4: the last five of the eight characters of AwvSto; location number
// 0 gives an empty field.
std::string_view LocationField(const BadgeRecord& record) {
  std::string_view location = FieldText(record.AwvSto);
  if (location.size() > kLocationDigits) location.remove_prefix(location.size() - kLocationDigits);
  return location == "00000" ? std::string_view() : location;
}

// The location number when field 4 cannot show it (more than five digits,
// negative, not a number), else empty: the five digits of such a number
// would name another location, or none.
std::string_view LocationThatDoesNotFit(const BadgeRecord& record) {
  const std::string_view whole = FieldText(record.LongAwvSto);
  if (!whole.empty()) return whole;
  std::string_view location = FieldText(record.AwvSto);
  const std::size_t digits = location.find_first_not_of('0');
  if (digits == std::string_view::npos) return {};
  location.remove_prefix(digits);
  return location.size() > kLocationDigits ? location : std::string_view();
}

// A field text that would break the line: a double quote would end the
// field, a carriage return or line feed the line.
bool BreaksTheLine(std::string_view field) {
  return field.find_first_of("\"\r\n") != std::string_view::npos;
}

// One line: the fields written exactly as they are, each in double quotes,
// separated by commas, ended by carriage return and line feed. Returns an
// empty text when a field holds a double quote, carriage return or line
// feed, with its number (from 1) in `badField`: such a line is left out.
// The index of IDSTAMM's field of that name.
consteval std::size_t Index(std::string_view name) {
  return dnl::FieldIndex(dnl::Layout::kIdStamm, name);
}

// One line: the fields written exactly as they are, each in double quotes,
// separated by commas, ended by carriage return and line feed. Returns an
// empty text when a field holds a double quote, carriage return or line
// feed, with its number (from 1) in `badField`: such a line is left out.
std::string FormatLine(const BadgeRecord& record, std::string_view timeRight,
                       std::string_view accessRight, std::string_view accessClass,
                       int& badField) {
  std::array<std::string_view, dnl::kIdStammFieldCount> fields{};
  fields[Index("badge number")] = FieldText(record.AswNum);
  fields[Index("validity start")] = FieldText(record.AswGvo);
  fields[Index("validity end")] = FieldText(record.AswGbi);
  fields[Index("location number")] = LocationField(record);
  fields[Index("time right")] = timeRight;
  fields[Index("access right")] = accessRight;
  fields[Index("text variant")] = FieldText(record.AswSpr);
  fields[Index("message set")] = FieldText(record.AswSal);
  fields[Index("fixed 001")] = dnl::kIdStammFields[Index("fixed 001")].constant;
  fields[Index("access class")] = accessClass;
  fields[Index("spare")] = FieldText(record.SpareText);
  fields[Index("badge number 2")] = FieldText(record.AswNum);
  fields[Index("badge type")] = FieldText(record.AswAtp);
  fields[Index("PIN")] = FieldText(record.AswPin);
  std::string line;
  badField = 0;
  for (std::string_view field : fields) {
    ++badField;
    if (BreaksTheLine(field)) return {};
    if (!line.empty()) line += ',';
    line += '"';
    line += field;
    line += '"';
  }
  line += "\r\n";
  badField = 0;
  return line;
}

// A badge number longer than AswNum holds would make rights and lines use a
// cut number: "Ausweis %s: Ausweisnummer zu lang, nicht in Datei gestellt\n"
// with the whole number.
void SayBadgeNumberTooLong(Diagnostics& diagnostics, const BadgeRecord& record) {
  diagnostics.Print("Ausweis %s: Ausweisnummer zu lang, nicht in Datei gestellt\n",
                    record.LongAswNum.data());
}

}  // namespace

int CreateIdStamm(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  // TrmSal holds at most 10 characters (after a failed lookup, ten '0' and no terminator).
  const std::string_view terminalSal = FieldText(terminal.TrmSal).substr(0, 10);
  const std::string_view longTerminalSal = FieldText(terminal.LongTrmSal);
  BadgeRights rights(run, terminal);
  int32_t badgesWritten = 0;

  const BadgeRowRules rows{.longNumber = SayBadgeNumberTooLong};
  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    // A badge without a message set of its own gets the terminal's; one
    // that does not fit field 8 is named instead of cut.
    const bool ownSal = record.AswSal[0] != '\0' || record.LongAswSal[0] != '\0';
    if (!ownSal) SetField(record.AswSal, terminalSal);
    const std::string_view timeRight = rights.Time(record) ? "1" : "0";
    const std::string_view accessRight = rights.Access(record) ? "1" : "0";

    if (accessRight == "0" && timeRight == "0") {
      rights.NoteWithoutRight(record);
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
    if (const std::string_view sal = ownSal ? FieldText(record.LongAswSal) : longTerminalSal;
        !sal.empty()) {
      diagnostics.Print("Ausweis %s: Meldungssatz %s zu lang, nicht in Datei gestellt\n",
                        PrintableLine(FieldText(record.AswNum)).c_str(),
                        PrintableLine(sal).c_str());
      return true;
    }
    if (const std::string_view location = LocationThatDoesNotFit(record); !location.empty()) {
      diagnostics.Print("Ausweis %s: Standort %s passt nicht in den Satz, nicht in Datei gestellt\n",
                        PrintableLine(FieldText(record.AswNum)).c_str(),
                        PrintableLine(location).c_str());
      return true;
    }
    // One line per class (one with the badge's own class for a time right
    // only); a line that a field would break is left out and named.
    bool written = false;
    const auto writeLine = [&](std::string_view accessClass) {
      int badField = 0;
      const std::string line = FormatLine(record, timeRight, accessRight, accessClass, badField);
      if (badField != 0) {
        diagnostics.Print(
            "Ausweis %s: Feld %d enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
            "gestellt\n",
            PrintableLine(FieldText(record.AswNum)).c_str(), badField);
        return true;
      }
      written = true;
      return run.WriteDnl(line);
    };
    if (accessRight == "1") {
      for (const AccessRightEntry& entry : rights.Classes()) {
        if (!writeLine(FieldText(entry))) return false;
      }
    } else if (!writeLine(FieldText(record.AswBkl))) {
      return false;
    }
    if (written) ++badgesWritten;
    return true;
  }, rows);

  run.PrintBadgeCounts(end.rowsFetched, static_cast<int>(badgesWritten));
  return end.Succeeded() ? 1 : 0;
}

}  // namespace zx
