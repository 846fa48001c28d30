// MGDNL60P: records of 45 characters, one per badge row and access class,
// for the badges with a time or access right on the terminal: validity
// start, right flags, the balance TswW09 and the readers 1 to 3.
#include <cstdio>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "queries/badge_cursor.h"
#include "queries/balance_data.h"
#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {

namespace {

constexpr std::size_t kRecordLength = 45;
constexpr std::size_t kReaderCount = 3;

}  // namespace

int CreateMgDnl60P(const char* /*dnlPath*/, const TerminalParams& terminal) {
  const std::string trmNam(FieldText(terminal.TrmNam));
  BadgeRecord record;
  ClearBadgeRecord(record);
  FixedRecord<kRecordLength> out;
  int badgeRowsRead = 0;
  int badgesWritten = 0;
  bool writeFailed = false;

  OpenBadgeCursor(terminal);
  int32_t rc = FetchBadge(record);
  // Every row is handled on its own, also a repeated badge number.
  while (rc == sqlcode::kOk) {
    ++badgeRowsRead;
    BlankReaderSlots(record, kReaderCount);

    // A number longer than AswNum holds cannot be asked for its balance or
    // rights under the cut number, so such a row ends here.
    if (!FieldText(record.LongAswNum).empty()) {
      BadgeNumberFits(record);
      ClearBadgeRecord(record);
      rc = FetchBadge(record);
      continue;
    }

    out.Blank();
    out.Put(1, kBadgeNumberWidth, FieldText(record.AswNum));
    out.PutDate(14, FieldText(record.AswGvo));

    // Without a balance (no row, or an SQL error) the positions stay blank.
    if (ReadBalanceData(record) == sqlcode::kOk) out.PutPadded(24, 7, FieldText(record.TswW09));

    const TerminalRights rights = PutRights(out, record, trmNam.c_str(), kReaderCount);

    if (!rights.time && !rights.access) {
      if (Verbose) {
        std::printf("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                    record.AswNum.data(), trmNam.c_str());
      }
    } else if (BadgeNumberFits(record)) {
      // One record per class, the class on every reader; with a time right
      // only, the one record as it stands.
      const RowRecords row = WriteReaderRecords(out, record, rights.access, kReaderCount);
      if (row.written) ++badgesWritten;
      writeFailed = row.failed;
    }

    ClearBadgeRecord(record);
    if (writeFailed) break;
    rc = FetchBadge(record);
  }

  CloseBadgeCursor();
  std::printf("Ausweise gesamt: %d davon in Datei gestellt: %d\n", badgeRowsRead, badgesWritten);
  if (writeFailed) return 0;
  return rc == sqlcode::kOk || rc == sqlcode::kNoData ? 1 : 0;
}

}  // namespace zx
