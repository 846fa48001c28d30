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

constexpr dnl::Layout kLayout = dnl::Layout::kMgDnl17P;
constexpr auto kBadgeNumber = dnl::FieldOf<kLayout>("badge number");
constexpr auto kValidityStart = dnl::FieldOf<kLayout>("validity start");
constexpr auto kBalance = dnl::FieldOf<kLayout>("balance");
// Reader 7 carries the location short text.
constexpr auto kLocationReader = dnl::FieldOf<kLayout>("reader 7");
constexpr auto kLocation = dnl::FieldOf<kLayout>("location");

}  // namespace

int CreateMgDnl17P(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  FixedRecord<kLayout> out;
  BadgeRights rights(run, terminal);
  int badgesWritten = 0;

  // The cursor is ordered by badge number: only the first row of a number
  // gives records.
  const BadgeRowRules rows{.firstRowOfEachNumber = true};
  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    out.Blank();
    out.Put(kBadgeNumber, FieldText(record.AswNum));
    out.PutOrFill(kValidityStart, FieldText(record.AswGvo));

    const int32_t balance = ReadBalanceData(run.session, record);
    if (balance != sqlcode::kOk) {
      diagnostics.Detail("Saldo Ermitteln. Pnr: %s SQLCode:%ld\n", record.AswPnr.data(),
                         static_cast<long>(balance));
    }
    // Without a balance (no row, or an SQL error) the positions stay blank.
    if (balance == sqlcode::kOk) out.PutPadded(kBalance, FieldText(record.TswW02));
    const bool balanceCut =
        balance == sqlcode::kOk && (record.CutDisplayTexts & BalanceValueCut(2)) != 0;

    const TerminalRights held = PutRights(out, record, rights);
    if (!held.time && !held.access) {
      rights.NoteWithoutRight(record);
      return true;
    }
    if (!BadgeNumberFits(diagnostics, record)) return true;

    const int32_t location = ReadLocationText(run.session, record);
    if (location == sqlcode::kOk) {
      out.Put(kLocationReader, "07");
      out.PutPadded(kLocation, FieldText(record.StoKtx));
    } else if (location != sqlcode::kNoData) {
      diagnostics.Print("SQL Standortbez. Ermitteln. SQLCode:%ld\n", static_cast<long>(location));
    }

    // One record per class, the class on readers 1 to 6; with a time right
    // only, the one record as it stands.
    const RowRecords row = WriteReaderRecords(run, out, record, held, rights.Classes());
    if (row.written) {
      ++badgesWritten;
      if (balanceCut) run.NoteDisplayCut(FieldText(record.AswNum), "TswW02");
    }
    return !row.failed;
  }, rows);

  // Every badge number counts as read once, also that of a row the loop
  // left out.
  run.PrintBadgeCounts(end.rowsFetched - end.rowsRepeated, badgesWritten);
  if (end.stopped) return 0;
  if (!end.ReadToEnd()) {
    diagnostics.Print("FehlerCode EndWorkMgDnl17P: %d\n", static_cast<int>(end.lastCode));
    return 0;
  }
  return 1;
}

}  // namespace zx
