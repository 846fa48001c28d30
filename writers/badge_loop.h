// The loop every writer runs: open the badge cursor for the terminal (or the
// run's badge feed), hand each fetched row to the writer, clear the record,
// fetch the next, close. Rows that no writer can use end in the loop: a row
// with a value the program cannot hold, and a row whose badge number is
// longer than AswNum holds.
#pragma once

#include <cstdint>
#include <string>

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "queries/terminal_params.h"
#include "sql/sql_status.h"
#include "writers/fixed_record.h"
#include "writers/run_context.h"

namespace zx {

struct BadgeLoopEnd {
  int32_t openCode = sqlcode::kOk;  // the code of the OPEN
  int32_t lastCode = sqlcode::kOk;  // the code of the last FETCH
  int rowsFetched = 0;              // rows delivered
  int rowsLeftOut = 0;              // of them, rows with a value the program cannot hold
  int rowsRepeated = 0;             // of them, rows skipped as repeats (firstRowOfEachNumber)
  bool stopped = false;             // a row's handling stopped the loop (a failed write)

  // The cursor was read to its end (or stopped without a failed fetch).
  bool ReadToEnd() const { return lastCode == sqlcode::kOk || lastCode == sqlcode::kNoData; }
  // The writer succeeded: every row was handled and the cursor read to its end.
  bool Succeeded() const { return !stopped && ReadToEnd(); }
};

// Prints why a row whose badge number is longer than AswNum holds is left
// out (the whole number is in LongAswNum).
using LongNumberMessage = void (*)(Diagnostics& diagnostics, const BadgeRecord& record);

// "Ausweis %s passt nicht in den Satz, nicht in Datei gestellt\n" with the
// whole number, as BadgeNumberFits says it.
void SayBadgeNumberDoesNotFit(Diagnostics& diagnostics, const BadgeRecord& record);

// Which rows the loop hands to a writer.
struct BadgeRowRules {
  // Only the first row of each badge number (the cursor is ordered by badge
  // number); the others are counted in rowsRepeated.
  bool firstRowOfEachNumber = false;
  // Says why a row with a longer badge number than AswNum holds is left
  // out: its rights cannot be asked under the cut number.
  LongNumberMessage longNumber = SayBadgeNumberDoesNotFit;
};

// Runs `handleRow(BadgeRecord&)` for every badge row of the terminal that
// `rules` hand over, the record cleared before each fetch. A row with a
// value the program cannot hold is counted, named (RowIsRepresentable) and
// not handed over; nor is a repeat of a badge number when the rules ask
// for first rows, nor a row with a badge number longer than AswNum holds
// (rules.longNumber says why). `handleRow` returns false to stop (a write to
// the DNL file failed); the cursor is closed in every case. `lookups` names
// what `handleRow` looks up for each badge.
template <typename HandleRow>
BadgeLoopEnd ForEachBadge(RunContext& run, const TerminalParams& terminal,
                          const BadgeLookups& lookups, HandleRow handleRow,
                          const BadgeRowRules& rules = {}) {
  BadgeLoopEnd end;
  BadgeCursor cursor;
  BadgeRecord record;
  ClearBadgeRecord(record);
  std::string previousNumber;
  const auto fetch = [&run, &cursor](BadgeRecord& into) {
    return run.badges != nullptr ? run.badges->Fetch(into) : FetchBadge(cursor, into);
  };
  end.openCode = run.badges != nullptr ? run.badges->Open(terminal, lookups)
                                       : OpenBadgeCursor(run.session, cursor, terminal, lookups);
  int32_t rc = fetch(record);
  while (rc == sqlcode::kOk) {
    ++end.rowsFetched;
    if (run.rowsRead != nullptr) run.rowsRead->fetch_add(1, std::memory_order_relaxed);
    // A row with a value the program cannot hold is named and left out
    // here, for every writer alike; it costs that row alone.
    if (!RowIsRepresentable(run.diagnostics, record)) {
      ++end.rowsLeftOut;
    } else if (rules.firstRowOfEachNumber && FullBadgeNumber(record) == previousNumber) {
      ++end.rowsRepeated;
    } else {
      if (rules.firstRowOfEachNumber) previousNumber.assign(FullBadgeNumber(record));
      if (!FieldText(record.LongAswNum).empty()) {
        rules.longNumber(run.diagnostics, record);
      } else if (!handleRow(record)) {
        end.stopped = true;
        break;
      }
    }
    // A feed gives the whole record; the run's own cursor fills it field by field.
    if (run.badges == nullptr) ClearBadgeRecord(record);
    rc = fetch(record);
  }
  end.lastCode = rc;
  if (run.badges != nullptr) {
    run.badges->Close();
  } else {
    CloseBadgeCursor(cursor);
  }
  return end;
}

}  // namespace zx
