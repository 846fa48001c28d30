// MGDNL17P: records of 85 characters, one per badge and access class, with
// the validity start, the right flags, the balance TswW02 and eleven reader
// positions (reader 7 carries the location short text).
#include <cstdio>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "queries/badge_cursor.h"
#include "queries/balance_data.h"
#include "queries/fixed_text.h"
#include "queries/location_text.h"
#include "queries/sql_runtime.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {

namespace {

constexpr std::size_t kRecordLength = 85;
constexpr std::size_t kReaderCount = 11;
constexpr std::size_t kReadersWithClass = 6;  // readers 1..6 carry the access class
constexpr std::size_t kLocationReader = 7;

}  // namespace

int CreateMgDnl17P(const char* /*dnlPath*/, const TerminalParams& terminal) {
  const std::string trmNam(FieldText(terminal.TrmNam));
  BadgeRecord record;
  ClearBadgeRecord(record);
  FixedRecord<kRecordLength> out;
  std::string previousNumber;
  int badgesRead = 0;
  int badgesWritten = 0;
  bool writeFailed = false;

  OpenBadgeCursor(terminal);
  int32_t rc = FetchBadge(record);
  while (rc == sqlcode::kOk) {
    const std::string_view number = FullBadgeNumber(record);
    // The cursor is ordered by badge number: only the first row of a
    // number gives records.
    if (number == previousNumber) {
      ClearBadgeRecord(record);
      rc = FetchBadge(record);
      continue;
    }
    previousNumber.assign(number);
    ++badgesRead;

    // A number longer than AswNum holds cannot be asked for its rights
    // under the cut number, so such a row ends here.
    if (!FieldText(record.LongAswNum).empty()) {
      BadgeNumberFits(record);
      ClearBadgeRecord(record);
      rc = FetchBadge(record);
      continue;
    }

    BlankReaderSlots(record, kReaderCount);
    out.Blank();
    out.Put(1, kBadgeNumberWidth, FieldText(record.AswNum));
    out.PutDate(14, FieldText(record.AswGvo));

    const int32_t balance = ReadBalanceData(record);
    if (balance != sqlcode::kOk && Verbose) {
      std::printf("Saldo Ermitteln. Pnr: %s SQLCode:%ld\n", record.AswPnr.data(),
                  static_cast<long>(balance));
    }
    // Without a balance (no row, or an SQL error) the positions stay blank.
    if (balance == sqlcode::kOk) out.PutPadded(24, 7, FieldText(record.TswW02));

    const TerminalRights rights = PutRights(out, record, trmNam.c_str(), kReaderCount);

    if (!rights.time && !rights.access) {
      if (Verbose) {
        std::printf("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                    record.AswNum.data(), trmNam.c_str());
      }
    } else if (BadgeNumberFits(record)) {
      const int32_t location = ReadLocationText(record);
      if (location == sqlcode::kOk) {
        out.Put(ReaderPosition(kLocationReader), 2, "07");
        out.PutPadded(ReaderPosition(kLocationReader) + 2, 3, FieldText(record.StoKtx));
      } else if (location != sqlcode::kNoData) {
        std::printf("SQL Standortbez. Ermitteln. SQLCode:%ld\n", static_cast<long>(location));
      }

      // One record per class, the class on readers 1 to 6; with a time
      // right only, the one record as it stands.
      const RowRecords row = WriteReaderRecords(out, record, rights.access, kReadersWithClass);
      if (row.written) ++badgesWritten;
      writeFailed = row.failed;
    }

    ClearBadgeRecord(record);
    if (writeFailed) break;
    rc = FetchBadge(record);
  }

  CloseBadgeCursor();
  std::printf("Ausweise gesamt: %d davon in Datei gestellt: %d\n", badgesRead, badgesWritten);
  if (writeFailed) return 0;
  if (rc != sqlcode::kOk && rc != sqlcode::kNoData) {
    std::printf("FehlerCode EndWorkMgDnl17P: %d\n", static_cast<int>(rc));
    return 0;
  }
  return 1;
}

}  // namespace zx
