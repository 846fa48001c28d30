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

constexpr std::size_t kRecordLength = 45;
constexpr std::size_t kReaderCount = 3;

}  // namespace

int CreateMgDnl60P(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  const std::string trmNam(FieldText(terminal.TrmNam));
  FixedRecord<kRecordLength> out;
  AccessRightList classes;
  TerminalReaders readers;
  RightsCache rightsCache;
  int badgesWritten = 0;

  // Every row is handled on its own, also a repeated badge number.
  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    BlankReaderSlots(record, kReaderCount);

    // A number longer than AswNum holds cannot be asked for its balance or
    // rights under the cut number, so such a row ends here.
    if (!FieldText(record.LongAswNum).empty()) {
      BadgeNumberFits(diagnostics, record);
      return true;
    }

    out.Blank();
    out.Put(1, kBadgeNumberWidth, FieldText(record.AswNum));
    out.PutDate(14, FieldText(record.AswGvo));

    // Without a balance (no row, or an SQL error) the positions stay blank.
    bool balanceCut = false;
    if (ReadBalanceData(run.session, record) == sqlcode::kOk) {
      out.PutPadded(24, 7, FieldText(record.TswW09));
      balanceCut = (record.CutDisplayTexts & BalanceValueCut(9)) != 0;
    }

    const TerminalRights rights =
        PutRights(run, out, record, trmNam.c_str(), kReaderCount, classes, readers, rightsCache);

    if (!rights.time && !rights.access) {
      diagnostics.Detail("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                         record.AswNum.data(), trmNam.c_str());
      return true;
    }
    if (!BadgeNumberFits(diagnostics, record)) return true;
    // One record per class, the class on every reader; with a time right
    // only, the one record as it stands.
    const RowRecords row = WriteReaderRecords(run, out, record, rights, classes, kReaderCount);
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
