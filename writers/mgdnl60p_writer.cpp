// MGDNL60P: records of 45 characters, one per badge row and access class,
// for the badges with a time or access right on the terminal: validity
// start, right flags, the balance TswW09 and the readers 1 to 3.
#include <string>
#include <string_view>

#include "base/fixed_text.h"
#include "queries/access_rights.h"
#include "queries/balance_data.h"
#include "writers/badge_loop.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {

namespace {

// What each badge is looked up for.
constexpr BadgeLookups kLookups{BadgeLookup::kClasses, BadgeLookup::kBalance};

constexpr dnl::Layout kLayout = dnl::Layout::kMgDnl60P;
constexpr auto kBadgeNumber = dnl::FieldOf<kLayout>("badge number");
constexpr auto kValidityStart = dnl::FieldOf<kLayout>("validity start");
constexpr auto kBalance = dnl::FieldOf<kLayout>("balance");

}  // namespace

int CreateMgDnl60P(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  FixedRecord<kLayout> out;
  BadgeRights rights(run, terminal);
  int badgesWritten = 0;

  // Every row is handled on its own, also a repeated badge number.
  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    out.Blank();
    out.Put(kBadgeNumber, FieldText(record.AswNum));
    out.PutOrFill(kValidityStart, FieldText(record.AswGvo));

    // Without a balance (no row, or an SQL error) the positions stay blank.
    bool balanceCut = false;
    if (ReadBalanceData(run.session, record) == sqlcode::kOk) {
      out.PutPadded(kBalance, FieldText(record.TswW09));
      balanceCut = (record.CutDisplayTexts & BalanceValueCut(9)) != 0;
    }

    const TerminalRights held = PutRights(out, record, rights);
    if (!held.time && !held.access) {
      rights.NoteWithoutRight(record);
      return true;
    }
    if (!BadgeNumberFits(diagnostics, record)) return true;
    // One record per class, the class on every reader; with a time right
    // only, the one record as it stands.
    const RowRecords row = WriteReaderRecords(run, out, record, held, rights.Classes());
    if (row.written) {
      ++badgesWritten;
      if (balanceCut) run.NoteDisplayCut(FieldText(record.AswNum), "TswW09");
    }
    return !row.failed;
  });

  run.PrintBadgeCounts(end.rowsFetched, badgesWritten);
  return end.Succeeded() ? 1 : 0;
}

}  // namespace zx
