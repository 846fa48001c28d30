// MGDNL17P: records of 85 characters, one per badge and access class, with
// the validity start, the right flags, the balance TswW02 and eleven reader
// positions (reader 7 carries the location short text).
#include <string>
#include <string_view>

#include "base/fixed_text.h"
#include "queries/access_rights.h"
#include "queries/balance_data.h"
#include "queries/location_text.h"
#include "writers/badge_loop.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {

namespace {

// What each badge is looked up for.
constexpr BadgeLookups kLookups{BadgeLookup::kClasses, BadgeLookup::kBalance, BadgeLookup::kLocation};

constexpr std::size_t kRecordLength = 85;
constexpr std::size_t kReaderCount = 11;
constexpr std::size_t kReadersWithClass = 6;  // readers 1..6 carry the access class
constexpr std::size_t kLocationReader = 7;

}  // namespace

int CreateMgDnl17P(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  const std::string trmNam(FieldText(terminal.TrmNam));
  FixedRecord<kRecordLength> out;
  AccessRightList classes;
  TerminalReaders readers;
  RightsCache rightsCache;
  std::string previousNumber;
  int badgesRead = 0;
  int badgesWritten = 0;

  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    const std::string_view number = FullBadgeNumber(record);
    // The cursor is ordered by badge number: only the first row of a
    // number gives records.
    if (number == previousNumber) return true;
    previousNumber.assign(number);
    ++badgesRead;

    // A number longer than AswNum holds cannot be asked for its rights
    // under the cut number, so such a row ends here.
    if (!FieldText(record.LongAswNum).empty()) {
      BadgeNumberFits(diagnostics, record);
      return true;
    }

    BlankReaderSlots(record, kReaderCount);
    out.Blank();
    out.Put(1, kBadgeNumberWidth, FieldText(record.AswNum));
    out.PutDate(14, FieldText(record.AswGvo));

    const int32_t balance = ReadBalanceData(run.session, record);
    if (balance != sqlcode::kOk) {
      diagnostics.Detail("Saldo Ermitteln. Pnr: %s SQLCode:%ld\n", record.AswPnr.data(),
                         static_cast<long>(balance));
    }
    // Without a balance (no row, or an SQL error) the positions stay blank.
    if (balance == sqlcode::kOk) out.PutPadded(24, 7, FieldText(record.TswW02));
    const bool balanceCut =
        balance == sqlcode::kOk && (record.CutDisplayTexts & BalanceValueCut(2)) != 0;

    const TerminalRights rights =
        PutRights(run, out, record, trmNam.c_str(), kReaderCount, classes, readers, rightsCache);

    if (!rights.time && !rights.access) {
      diagnostics.Detail("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                         record.AswNum.data(), trmNam.c_str());
      return true;
    }
    if (!BadgeNumberFits(diagnostics, record)) return true;

    const int32_t location = ReadLocationText(run.session, record);
    if (location == sqlcode::kOk) {
      out.Put(ReaderPosition(kLocationReader), 2, "07");
      out.PutPadded(ReaderPosition(kLocationReader) + 2, 3, FieldText(record.StoKtx));
    } else if (location != sqlcode::kNoData) {
      diagnostics.Print("SQL Standortbez. Ermitteln. SQLCode:%ld\n", static_cast<long>(location));
    }

    // One record per class, the class on readers 1 to 6; with a time right
    // only, the one record as it stands.
    const RowRecords row = WriteReaderRecords(run, out, record, rights, classes, kReadersWithClass);
    if (row.written) {
      ++badgesWritten;
      if (balanceCut) run.NoteDisplayCut(number, "TswW02");
    }
    return !row.failed;
  });

  // A row that the loop left out (a value the program cannot hold) counts
  // as read too.
  run.PrintBadgeCounts(badgesRead + end.rowsLeftOut, badgesWritten);
  if (end.stopped) return 0;
  if (!end.ReadToEnd()) {
    diagnostics.Print("FehlerCode EndWorkMgDnl17P: %d\n", static_cast<int>(end.lastCode));
    return 0;
  }
  return 1;
}

}  // namespace zx
