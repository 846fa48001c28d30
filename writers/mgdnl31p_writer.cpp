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

constexpr dnl::Layout kLayout = dnl::Layout::kMgDnl31P;
constexpr auto kBadgeNumber = dnl::FieldOf<kLayout>("badge number");
constexpr auto kValidityStart = dnl::FieldOf<kLayout>("validity start");
constexpr auto kValidityEnd = dnl::FieldOf<kLayout>("validity end");
constexpr auto kTimeRight = dnl::FieldOf<kLayout>("time right");
constexpr auto kAccessRight = dnl::FieldOf<kLayout>("access right");
constexpr auto kFixedAmount = dnl::FieldOf<kLayout>("fixed XXXX,XX-");
constexpr auto kFixed001 = dnl::FieldOf<kLayout>("fixed 001");
constexpr auto kAccessClass = dnl::FieldOf<kLayout>("access class");
constexpr auto kLocation = dnl::FieldOf<kLayout>("location");

}  // namespace

int CreateMgDnl31P(RunContext& run, const TerminalParams& terminal) {
  Diagnostics& diagnostics = run.diagnostics;
  FixedRecord<kLayout> out;
  BadgeRights rights(run, terminal);
  int badgesWritten = 0;

  // Every row is handled on its own, also a repeated badge number. The
  // cursor's messages below tell about its open and its end; a row's
  // messages come before them, as no row is fetched from a cursor that did
  // not open.
  const BadgeLoopEnd end = ForEachBadge(run, terminal, kLookups, [&](BadgeRecord& record) {
    out.Blank();
    out.Fill(kTimeRight);
    out.Fill(kAccessRight);
    if (rights.Time(record)) out.Put(kTimeRight, "1");
    if (!rights.Access(record)) {
      // A time right alone gives no record in this download.
      diagnostics.Detail("Ausweis %s ohne Zutrittsberechtigung auf Terminal %s\n",
                         record.AswNum.data(), rights.TerminalName());
      return true;
    }
    out.Put(kAccessRight, "1");
    if (!BadgeNumberFits(diagnostics, record)) return true;

    // A failed lookup leaves StoKtx empty and the location blank.
    ReadLocationText(run.session, record);
    out.Put(kBadgeNumber, FieldText(record.AswNum));
    out.PutOrFill(kValidityStart, FieldText(record.AswGvo));
    out.PutOrFill(kValidityEnd, FieldText(record.AswGbi));
    out.Fill(kFixedAmount);
    out.Fill(kFixed001);
    out.PutPadded(kLocation, FieldText(record.StoKtx));

    // One record per class, the class in its field.
    const RowRecords row = WriteClassRecords(run, out, record, rights.Classes(),
                                             [](auto& r, std::string_view accessClass) {
                                               r.PutPadded(kAccessClass, accessClass);
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
