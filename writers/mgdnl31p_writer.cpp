// MGDNL31P: records of 48 characters, one per badge row and access class,
// for the badges with an access right on the terminal: validity period,
// right flags, two constants, the class and the location short text.
#include <string>
#include <string_view>

#include "base/fixed_text.h"
#include "queries/access_rights.h"
#include "queries/location_text.h"
#include "writers/badge_loop.h"
#include "writers/fixed_record.h"
#include "writers/writers.h"

namespace zx {

namespace {

// What each badge is looked up for.
constexpr BadgeLookups kLookups{BadgeLookup::kClasses, BadgeLookup::kLocation};

constexpr std::size_t kRecordLength = 48;
// With withReaders 0 the reader limit has no effect; the access classes
// are all that this download needs.
constexpr int32_t kMaxReader = 32;

}  // namespace

int CreateMgDnl31P(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  const std::string trmNam(FieldText(terminal.TrmNam));
  FixedRecord<kRecordLength> out;
  AccessRightList classes;
  RightsCache rightsCache;
  int badgesWritten = 0;

  // Every row is handled on its own, also a repeated badge number. The
  // cursor's messages below tell about its open and its end; a row's
  // messages come before them, as no row is fetched from a cursor that did
  // not open.
  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    out.Blank();
    // A number longer than AswNum holds cannot be asked for its rights
    // under the cut number, so such a row ends here.
    if (!FieldText(record.LongAswNum).empty()) {
      BadgeNumberFits(diagnostics, record);
      return true;
    }

    out.Put(30, 1, "0");
    out.Put(31, 1, "0");
    if (HasTimeRight(run.session, diagnostics, record, trmNam.c_str(), &rightsCache)) {
      out.Put(30, 1, "1");
    }
    if (!CollectAccessRights(run.session, diagnostics, record, trmNam.c_str(), kMaxReader, 0,
                             classes, nullptr, &rightsCache)) {
      // A time right alone gives no record in this download.
      diagnostics.Detail("Ausweis %s ohne Zutrittsberechtigung auf Terminal %s\n",
                         record.AswNum.data(), trmNam.c_str());
      return true;
    }
    out.Put(31, 1, "1");
    if (!BadgeNumberFits(diagnostics, record)) return true;

    // A failed lookup leaves StoKtx empty and positions 46-48 blank.
    ReadLocationText(run.session, record);
    out.Put(1, kBadgeNumberWidth, FieldText(record.AswNum));
    out.PutDate(14, FieldText(record.AswGvo));
    out.PutDate(22, FieldText(record.AswGbi));
    out.Put(32, 8, "XXXX,XX-");
    out.Put(40, 3, "001");
    out.PutPadded(46, 3, FieldText(record.StoKtx));

    // One record per class, the class at positions 43-45.
    const RowRecords row = WriteClassRecords(run, out, record, classes,
                                             [](auto& r, std::string_view accessClass) {
                                               r.PutPadded(43, kAccessClassWidth, accessClass);
                                             });
    if (row.written) ++badgesWritten;
    return !row.failed;
  });

  if (end.openCode != sqlcode::kOk) {
    diagnostics.Print("Ausweiscursor oeffnen: RC: %ld \n", static_cast<long>(end.openCode));
  }
  if (end.rowsFetched == 0) {
    diagnostics.Print("Ausweiscursor lesen: RC: %ld \n", static_cast<long>(end.lastCode));
  } else if (!end.stopped) {
    diagnostics.Print("Ausweiscursor lesen: Ausweis Nr. %ld RC: %ld \n",
                      static_cast<long>(end.rowsFetched), static_cast<long>(end.lastCode));
  }
  run.PrintBadgeCounts(end.rowsFetched, badgesWritten);
  return end.Succeeded() ? 1 : 0;
}

}  // namespace zx
