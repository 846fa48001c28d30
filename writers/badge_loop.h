// The loop every writer runs: open the badge cursor for the terminal (or the
// run's badge feed), hand each fetched row to the writer, clear the record,
// fetch the next, close.
#pragma once

#include <cstdint>

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
  bool stopped = false;             // a row's handling stopped the loop (a failed write)

  // The cursor was read to its end (or stopped without a failed fetch).
  bool ReadToEnd() const { return lastCode == sqlcode::kOk || lastCode == sqlcode::kNoData; }
  // The writer succeeded: every row was handled and the cursor read to its end.
  bool Succeeded() const { return !stopped && ReadToEnd(); }
};

// Runs `handleRow(BadgeRecord&)` for every badge row of the terminal, the
// record cleared before each fetch; a row with a value the program cannot
// hold is counted, named (RowIsRepresentable) and not handed over. `handleRow` returns false to stop (a
// write to the DNL file failed); the cursor is closed in every case.
// `lookups` names what `handleRow` looks up for each badge.
template <typename HandleRow>
BadgeLoopEnd ForEachBadge(RunContext& run, const TerminalParams& terminal,
                          const BadgeLookups& lookups, HandleRow handleRow) {
  BadgeLoopEnd end;
  BadgeCursor cursor;
  BadgeRecord record;
  ClearBadgeRecord(record);
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
    } else if (!handleRow(record)) {
      end.stopped = true;
      break;
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
