// The MGDNL18P download: one record of 173 characters per badge, the badge
// number followed by eight display fields of a 13-character label and a
// 7-character value (today's date, a balance value or a balance text).

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "queries/balance_data.h"
#include "base/fixed_text.h"
#include "queries/display_texts.h"
#include "writers/badge_loop.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {
namespace {

// What each badge is looked up for.
constexpr BadgeLookups kLookups{BadgeLookup::kClasses, BadgeLookup::kBalance};
// A terminal of the badge-text model also looks up each badge's own texts.
constexpr BadgeLookups kBadgeTextLookups{BadgeLookup::kClasses, BadgeLookup::kBalance,
                                         BadgeLookup::kBadgeTexts};

constexpr dnl::Layout kLayout = dnl::Layout::kMgDnl18P;
using Record = FixedRecord<kLayout>;
using Field = Record::Field;

// The badge number, then eight display fields of a label and a value.
constexpr Field kBadgeNumber = dnl::FieldOf<kLayout>("badge number");
constexpr int kFieldCount = static_cast<int>(dnl::NumberedFieldCount<kLayout>("label "));
constexpr auto kLabels = dnl::NumberedFields<kLayout, kFieldCount>("label ");
constexpr auto kValues = dnl::NumberedFields<kLayout, kFieldCount>("value ");

// The positions from the start of `first` to the end of `last`.
constexpr Field Through(Field first, Field last) {
  return Field{first.position, last.position + last.width - first.position};
}

// The positions of a field from its `skip`-th on.
constexpr Field From(Field field, std::size_t skip) {
  return Field{field.position + skip, field.width - skip};
}

// Terminal models with their own record rules: kBadgeTextModel
// (writers/writers.h) shows each badge's own display texts.
constexpr std::string_view kFourFieldModel = "7598-002";  // fields 5 to 8 blank

constexpr std::string_view kDateCode = "#W1";
constexpr std::string_view kNoValue = "       ";

// The value codes "#W2".."#W16" and "#W21".."#W30" with the balance field
// each selects; "#W1" is the date. Codes compare exactly ("#W1" is not "#W10").
struct BalanceValueCode {
  std::string_view code;
  std::array<char, 8> BadgeRecord::*field;
};
constexpr BalanceValueCode kBalanceValueCodes[] = {
    {"#W2", &BadgeRecord::TswW02},   {"#W3", &BadgeRecord::TswW03},
    {"#W4", &BadgeRecord::TswW04},   {"#W5", &BadgeRecord::TswW05},
    {"#W6", &BadgeRecord::TswW06},   {"#W7", &BadgeRecord::TswW07},
    {"#W8", &BadgeRecord::TswW08},   {"#W9", &BadgeRecord::TswW09},
    {"#W10", &BadgeRecord::TswW10},  {"#W11", &BadgeRecord::TswW11},
    {"#W12", &BadgeRecord::TswW12},  {"#W13", &BadgeRecord::TswW13},
    {"#W14", &BadgeRecord::TswW14},  {"#W15", &BadgeRecord::TswW15},
    {"#W16", &BadgeRecord::TswW16},
};
struct BalanceTextCode {
  std::string_view code;
  std::array<char, 21> BadgeRecord::*field;
};
constexpr BalanceTextCode kBalanceTextCodes[] = {
    {"#W21", &BadgeRecord::TswF01}, {"#W22", &BadgeRecord::TswF02},
    {"#W23", &BadgeRecord::TswF03}, {"#W24", &BadgeRecord::TswF04},
    {"#W25", &BadgeRecord::TswF05}, {"#W26", &BadgeRecord::TswF06},
    {"#W27", &BadgeRecord::TswF07}, {"#W28", &BadgeRecord::TswF08},
    {"#W29", &BadgeRecord::TswF09}, {"#W30", &BadgeRecord::TswF10},
};

// The value that a slot's code selects; 7 blanks for any other code.
std::string_view ValueForCode(std::string_view code, const BadgeRecord& badge,
                              std::string_view dateText) {
  if (code == kDateCode) return dateText;
  for (const BalanceValueCode& entry : kBalanceValueCodes) {
    if (code == entry.code) return FieldText(badge.*entry.field);
  }
  for (const BalanceTextCode& entry : kBalanceTextCodes) {
    if (code == entry.code) return FieldText(badge.*entry.field);
  }
  return kNoValue;
}

// Says under "/d" which of the record's values were cut to their width
// (balance values and texts that the slots' codes select).
void NoteCutValues(RunContext& run, const DisplayTextTable& work, const BadgeRecord& badge) {
  if (badge.CutDisplayTexts == 0) return;
  const std::string_view number = FieldText(badge.AswNum);
  for (const DisplayText& slot : work) {
    const std::string_view code = FieldText(slot.Con);
    for (std::size_t i = 0; i < std::size(kBalanceValueCodes); ++i) {
      if (code == kBalanceValueCodes[i].code &&
          (badge.CutDisplayTexts & BalanceValueCut(static_cast<int>(i) + 2)) != 0) {
        run.NoteDisplayCut(number, "TswW" + std::string(i + 2 < 10 ? "0" : "") + std::to_string(i + 2));
      }
    }
    for (std::size_t i = 0; i < std::size(kBalanceTextCodes); ++i) {
      if (code == kBalanceTextCodes[i].code &&
          (badge.CutDisplayTexts & BalanceTextCut(static_cast<int>(i) + 1)) != 0) {
        run.NoteDisplayCut(number, "TswF" + std::string(i + 1 < 10 ? "0" : "") + std::to_string(i + 1));
      }
    }
  }
}

// Reads a display text cursor into `table` until the first non-zero read.
// A text whose MsdLfd names no display field has no slot and is left out.
template <typename Read>
void LoadDisplayTexts(Diagnostics& diagnostics, DisplayTextTable& table, DisplayTextCursor& cursor,
                      Read read, bool printLoaded) {
  for (;;) {
    DisplayText text;
    if (read(cursor, text) != 0) return;
    if (text.MsdLfd < 1 || text.MsdLfd > kFieldCount) {
      diagnostics.Detail("Anzeigetext Nr. %d liegt nicht in Feld 1 bis 8, nicht gespeichert!\n",
                         static_cast<int>(text.MsdLfd));
      continue;
    }
    table[static_cast<std::size_t>(text.MsdLfd - 1)] = text;
    if (printLoaded) {
      diagnostics.Detail("Wert: %s  Txt: %s  Con: %s !\n", text.Wert.data(), text.Txt.data(),
                         text.Con.data());
    }
  }
}

std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[16] = {};
  std::strftime(buffer, sizeof buffer, "%d.%m.%y", &local);
  return buffer;
}

// Lays the labels and values of the working table into the record.
void PlaceFields(Record& record, DisplayTextTable& work, const BadgeRecord& badge,
                 std::string_view dateText) {
  for (int n = 1; n <= kFieldCount; ++n) {
    const DisplayText& slot = work[static_cast<std::size_t>(n - 1)];
    const Field label = kLabels[static_cast<std::size_t>(n - 1)];
    const std::string_view text = FieldText(slot.Txt);
    if (text.empty()) continue;
    // A label with column indicator 2 in fields 5 to 8 starts one column in.
    record.Put(n >= 5 && slot.MsdSpl == 2 ? From(label, 1) : label, text);
  }

  for (DisplayText& slot : work) {
    SetField(slot.Wert, ValueForCode(FieldText(slot.Con), badge, dateText));
  }

  for (int n = 1; n <= kFieldCount; ++n) {
    const std::string_view value = FieldText(work[static_cast<std::size_t>(n - 1)].Wert);
    const Field label = kLabels[static_cast<std::size_t>(n - 1)];
    const Field valueField = kValues[static_cast<std::size_t>(n - 1)];
    if (value.empty()) continue;
    if (value.size() <= 10) {
      record.PutPadded(valueField, value);
    } else {
      // A balance text fills the whole display field, label included.
      record.PutPadded(Through(label, valueField), value);
    }
  }

  // The first date slot shows the whole date, one column into its label.
  for (int n = 1; n <= kFieldCount; ++n) {
    const DisplayText& slot = work[static_cast<std::size_t>(n - 1)];
    if (FieldText(slot.Con) != kDateCode) continue;
    const Field label = kLabels[static_cast<std::size_t>(n - 1)];
    record.Put(Through(From(label, label.width - 1), kValues[static_cast<std::size_t>(n - 1)]),
               FieldText(slot.Wert));
    break;
  }
}

// Writes the badge's record unless a skip rule holds. Returns false only
// when the write to the DNL file failed.
bool ProcessBadge(RunContext& run, BadgeRights& rights, BadgeRecord& badge,
                  std::string_view model, const DisplayTextTable& terminalTexts,
                  std::string_view dateText, std::string& lastWritten, int& written) {
  Diagnostics& diagnostics = run.diagnostics;
  const std::string_view number = FieldText(badge.AswNum);
  const bool timeRight = rights.Time(badge);
  if (!timeRight) {
    diagnostics.Detail("Ausweis %s auf Terminal %s nicht zulaessig!\n", badge.AswNum.data(),
                       rights.TerminalName());
  }
  if (FieldText(badge.AswPnr).empty() || number == lastWritten || !timeRight) return true;
  // A badge number longer than its field is never cut (a cut number could
  // name another badge): the badge is left out with a message.
  if (!BadgeNumberFits(diagnostics, badge)) return true;

  Record record;
  DisplayTextTable work = terminalTexts;
  if (!FieldText(badge.AswSal).empty() && model == kBadgeTextModel) {
    // The badge's own message set; without badge texts the fields stay blank.
    DisplayTextTable badgeTexts;
    ClearDisplayTextTable(badgeTexts);
    DisplayTextCursor cursor;
    if (OpenBadgeTextCursor(run.session, cursor, number) == 0) {
      LoadDisplayTexts(diagnostics, badgeTexts, cursor, ReadBadgeText, false);
    }
    CloseBadgeTextCursor(cursor);
    work = badgeTexts;
  }

  record.Put(kBadgeNumber, number);
  const int32_t balance = ReadBalanceData(run.session, badge);
  if (balance != 0) {
    diagnostics.Detail("Ausweis:%s Person:%s Saldodaten nicht gefunden! %d\n", badge.AswNum.data(),
                       badge.AswPnr.data(), static_cast<int>(balance));
  }
  PlaceFields(record, work, badge, dateText);
  if (model == kFourFieldModel) {
    // Fields 5 to 8: from label 5 to the end of value 8.
    record.Blank(Through(kLabels[4], kValues[kFieldCount - 1]));
  }

  if (!run.WriteDnl(record.Bytes())) return false;
  if (balance == 0) NoteCutValues(run, work, badge);
  lastWritten = number;
  ++written;
  return true;
}

}  // namespace

int CreateMgDnl18P(RunContext& run, const TerminalParams& terminal) {
  const std::string dateText = TodayText();
  const std::string_view model = FieldText(terminal.TrmMod);

  DisplayTextTable terminalTexts;
  ClearDisplayTextTable(terminalTexts);
  std::string lastWritten;
  int written = 0;
  BadgeRights rights(run, terminal);

  DisplayTextCursor texts;
  if (OpenTerminalTextCursor(run.session, texts, rights.TerminalName()) == 0) {
    LoadDisplayTexts(run.diagnostics, terminalTexts, texts, ReadTerminalText, true);
  }
  CloseTerminalTextCursor(texts);

  const BadgeLoopEnd end = ForEachBadge(run, terminal, model == kBadgeTextModel ? kBadgeTextLookups : kLookups, [&](BadgeRecord& badge) {
    return ProcessBadge(run, rights, badge, model, terminalTexts, dateText, lastWritten, written);
  });

  run.PrintBadgeCounts(end.rowsFetched, written);
  return end.Succeeded() ? 1 : 0;
}

}  // namespace zx
