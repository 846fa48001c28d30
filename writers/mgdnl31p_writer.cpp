// MGDNL31P: records of 48 characters, one per badge row and access class,
// for the badges with an access right on the terminal: validity period,
// right flags, two constants, the class and the location short text.
#include <cstdio>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "queries/access_rights.h"
#include "queries/badge_cursor.h"
#include "queries/fixed_text.h"
#include "queries/location_text.h"
#include "queries/sql_runtime.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {

namespace {

constexpr std::size_t kRecordLength = 48;
// With withReaders 0 the reader limit has no effect; the access classes
// are all that this download needs.
constexpr int32_t kMaxReader = 32;

}  // namespace

int CreateMgDnl31P(const char* /*dnlPath*/, const TerminalParams& terminal) {
  const std::string trmNam(FieldText(terminal.TrmNam));
  BadgeRecord record;
  ClearBadgeRecord(record);
  FixedRecord<kRecordLength> out;
  int badgeRowsRead = 0;
  int badgesWritten = 0;
  bool writeFailed = false;

  const int32_t openRc = OpenBadgeCursor(terminal);
  if (openRc != sqlcode::kOk) {
    std::printf("Ausweiscursor oeffnen: RC: %ld \n", static_cast<long>(openRc));
  }

  int32_t rc = FetchBadge(record);
  if (rc != sqlcode::kOk) {
    std::printf("Ausweiscursor lesen: RC: %ld \n", static_cast<long>(rc));
  } else {
    // Every row is handled on its own, also a repeated badge number.
    while (rc == sqlcode::kOk) {
      out.Blank();
      ++badgeRowsRead;

      // A number longer than AswNum holds cannot be asked for its rights
      // under the cut number, so such a row ends here.
      bool writeRow = FieldText(record.LongAswNum).empty();
      if (!writeRow) BadgeNumberFits(record);

      if (writeRow) {
        out.Put(30, 1, "0");
        out.Put(31, 1, "0");
        if (HasTimeRight(record, trmNam.c_str())) out.Put(30, 1, "1");
        if (CollectAccessRights(record, trmNam.c_str(), kMaxReader, 0)) {
          out.Put(31, 1, "1");
        } else {
          // A time right alone gives no record in this download.
          if (Verbose) {
            std::printf("Ausweis %s ohne Zutrittsberechtigung auf Terminal %s\n",
                        record.AswNum.data(), trmNam.c_str());
          }
          writeRow = false;
        }
      }

      if (writeRow && BadgeNumberFits(record)) {
        // A failed lookup leaves StoKtx empty and positions 46-48 blank.
        ReadLocationText(record);
        out.Put(1, kBadgeNumberWidth, FieldText(record.AswNum));
        out.PutDate(14, FieldText(record.AswGvo));
        out.PutDate(22, FieldText(record.AswGbi));
        out.Put(32, 8, "XXXX,XX-");
        out.Put(40, 3, "001");
        out.PutPadded(46, 3, FieldText(record.StoKtx));

        // One record per class, the class at positions 43-45.
        const RowRecords row =
            WriteClassRecords(out, record, [](auto& r, std::string_view accessClass) {
              r.PutPadded(43, kAccessClassWidth, accessClass);
            });
        if (row.written) ++badgesWritten;
        writeFailed = row.failed;
      }

      ClearBadgeRecord(record);
      if (writeFailed) break;
      rc = FetchBadge(record);
    }
    if (!writeFailed) {
      std::printf("Ausweiscursor lesen: Ausweis Nr. %ld RC: %ld \n",
                  static_cast<long>(badgeRowsRead), static_cast<long>(rc));
    }
  }

  CloseBadgeCursor();
  std::printf("Ausweise gesamt: %d davon in Datei gestellt: %d\n", badgeRowsRead, badgesWritten);
  if (writeFailed) return 0;
  return rc == sqlcode::kOk || rc == sqlcode::kNoData ? 1 : 0;
}

}  // namespace zx
