#include "queries/badge_cursor.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/fixed_text.h"
#include "queries/statements.h"

namespace zx {

namespace {

// The host variables of the select list, in select-list order.
struct BadgeRow {
  std::array<char, 256> AswNum;
  std::array<char, 15> AswGvo;
  std::array<char, 15> AswGbi;
  std::array<char, 9> AswPnr;
  std::array<char, 256> AswBkl;  // wider than the record's field: see FetchBadge
  std::array<char, 6> AswGrp;
  std::array<char, 51> AswAan;
  int32_t AswAtp;
  std::array<char, 256> AwvSto;  // wider than the record's field: see FetchBadge
  std::array<char, 256> AswSal;  // wider than the record's field: see FetchBadge
  std::array<char, 6> AswBk2;
  int32_t AswSpr;
  std::array<char, 256> AswPin;  // wider than the record's field: see FetchBadge
};

// The columns of the select list, in its order, for a message that names
// the one whose value the program cannot hold.
constexpr std::string_view kSelectedColumns[] = {
    "Zdx301Asw.AswNum", "Zdx301Asw.AswGvo", "Zdx301Asw.AswGbi", "Zdx301Asw.AswPnr",
    "Zdx301Asw.AswBkl", "Zdx301Asw.AswGrp", "Zdx301Asw.AswAan", "Zdx301Asw.AswAtp",
    "Zdx113Awv.AwvSto", "Zdx301Asw.AswSal", "Zdx301Asw.AswBk2", "Zdx301Asw.AswSpr",
    "Zdx301Asw.AswPin"};

template <std::size_t N>
HostVar Out(std::array<char, N>& buffer) {
  return StringVar(buffer.data(), static_cast<int32_t>(N));
}

// "%08s": the text right-justified in 8 characters, '0' in front.
std::string ZeroFill8(std::string_view text) {
  std::string result;
  if (text.size() < 8) result.assign(8 - text.size(), '0');
  result.append(text);
  return result;
}

// "%-3s": the text left-justified, blanks after it up to 3 characters.
std::string BlankPad3(std::string_view text) {
  std::string result(text);
  if (result.size() < 3) result.append(3 - result.size(), ' ');
  return result;
}

// "%d" of a 32-bit integer (at most 11 characters).
std::string Decimal(int32_t value) {
  std::array<char, 12> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  (void)ec;  // 12 bytes hold every 32-bit value
  return std::string(buffer.data(), end);
}

// The badge numbers a lookup's stream covers ("{}": its key column).
constexpr std::string_view kAnyBadgeNumber = "{} is not null";
constexpr std::string_view kAssignedBadgeNumbers =
    "{} in (select ASWNUM  from Zardonix.Zdx301Asw ,Zardonix.Zdx115Tfz where ((TFZTRM=:b0 and "
    "ASWLIZ=TFZLIZ) and ASWMND=TFZMND))";

}  // namespace

int32_t OpenBadgeCursor(SqlSession& session, BadgeCursor& cursor, const TerminalParams& terminal,
                        const BadgeLookups& lookups) {
  // Each lookup's stream holds its rows for the badges of a superset of the
  // cursor's: every badge number, or the numbers of the badges of the
  // terminal's assignments whatever their validity and status (these
  // conditions depend on the day, and the stream must not miss a badge of
  // the cursor). The streams bind the cursor's own inputs.
  const bool filtered = terminal.TfzCount > 0;
  std::vector<StreamedLookup> streams;
  for (const BadgeLookupInfo& info : BadgeLookupTable()) {
    if (!lookups.Has(info.lookup)) continue;
    StreamedLookup stream;
    if (MakeLookupStream(info.statement, filtered ? kAssignedBadgeNumbers : kAnyBadgeNumber, stream)) {
      streams.push_back(std::move(stream));
    }
  }

  cursor.session = &session;
  cursor.filtered = filtered;
  if (cursor.filtered) {
    // The name may fill all 255 characters of its field; bind it terminated.
    SetField(cursor.terminalName, FieldText(terminal.TrmNam));
    const HostVar inputs[] = {StringIn(cursor.terminalName.data(), 256)};
    return cursor.rows.Open(session, statements::kBadgeCursorAssigned, inputs, streams);
  }
  return cursor.rows.Open(session, statements::kBadgeCursorAll, {}, streams);
}

int32_t FetchBadge(BadgeCursor& cursor, BadgeRecord& record) {
  // A NULL column leaves its output as it was, so every output is preset:
  // texts empty, AswSpr 1, AswAtp 0. Nothing carries over from the last row.
  BadgeRow row{};
  row.AswAtp = 0;
  row.AswSpr = 1;
  const HostVar outputs[] = {
      Out(row.AswNum), Out(row.AswGvo), Out(row.AswGbi),        Out(row.AswPnr),
      Out(row.AswBkl), Out(row.AswGrp), Out(row.AswAan),        IntegerVar(&row.AswAtp),
      Out(row.AwvSto), Out(row.AswSal), Out(row.AswBk2),        IntegerVar(&row.AswSpr),
      Out(row.AswPin)};
  const int32_t code = cursor.rows.Fetch(outputs);
  // A value the program cannot hold costs its row alone: the row comes with
  // that value in a printable form and the column named, for the writer to
  // leave it out with a message; the cursor goes on.
  ClearField(record.UnrepresentableColumn);
  if (code == sqlcode::kUntranslatable && cursor.rows.IsOpen()) {
    const int column = cursor.session != nullptr ? cursor.session->LastStatus().column : -1;
    SetField(record.UnrepresentableColumn,
             column >= 0 && static_cast<std::size_t>(column) < std::size(kSelectedColumns)
                 ? kSelectedColumns[column]
                 : std::string_view("Zdx301Asw"));
  } else if (code != 0) {
    return code;
  }

  const std::string_view number = FieldText(row.AswNum);
  // A number that AswNum cannot hold is kept whole in LongAswNum, so that the
  // writers leave the row out and name the badge instead of writing a cut number.
  if (SetField(record.AswNum, number)) {
    ClearField(record.LongAswNum);
  } else {
    SetField(record.LongAswNum, number);
  }
  SetField(record.AswGvo, FieldText(row.AswGvo));
  SetField(record.AswGbi, FieldText(row.AswGbi));
  SetField(record.AswPnr, FieldText(row.AswPnr));
  SetField(record.AswGrp, FieldText(row.AswGrp));
  // AswSal and AwvSto are fetched wider than the record holds them too: a
  // cut message set or location number would be another one.
  if (SetField(record.AswSal, FieldText(row.AswSal))) {
    ClearField(record.LongAswSal);
  } else {
    SetField(record.LongAswSal, FieldText(row.AswSal));
    ClearField(record.AswSal);
  }
  // AswBkl and AswPin are fetched wider than the record holds them, so that
  // a value that does not fit is seen instead of arriving cut: a cut class or
  // PIN would be another class or PIN. The writer leaves such a row out.
  record.AswPinTooLong = !SetField(record.AswPin, FieldText(row.AswPin));
  if (record.AswPinTooLong) ClearField(record.AswPin);
  const std::string_view location = FieldText(row.AwvSto);
  if (location.size() <= 8 &&
      location.find_first_not_of("0123456789") == std::string_view::npos) {
    SetField(record.AwvSto, ZeroFill8(location));
    ClearField(record.LongAwvSto);
  } else {
    SetField(record.LongAwvSto, location);
    ClearField(record.AwvSto);
  }
  if (SetField(record.AswBkl, BlankPad3(FieldText(row.AswBkl)))) {
    ClearField(record.LongAswBkl);
  } else {
    SetField(record.LongAswBkl, FieldText(row.AswBkl));
    ClearField(record.AswBkl);
  }
  SetField(record.AswBk2, BlankPad3(FieldText(row.AswBk2)));
  SetField(record.AswAtp, Decimal(row.AswAtp));
  // AswSpr holds 4 characters; a value whose decimal text is longer leaves
  // the field empty rather than cut to a different number.
  if (!SetField(record.AswSpr, Decimal(row.AswSpr))) ClearField(record.AswSpr);
  return 0;
}

int32_t CloseBadgeCursor(BadgeCursor& cursor) { return cursor.rows.Close(); }

}  // namespace zx
