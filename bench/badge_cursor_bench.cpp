// The badge cursor through the SQL runtime against the same statement run
// directly on SQLite.
//
//   BM_RawBadgeStatement/N  the baseline alone: open, prepare, step all rows
//                           reading every column, close.
//   BM_BadgeCursor/N        connect, ALTER SESSION, OpenBadgeCursor, the
//                           FetchBadge loop (clearing the record before each
//                           fetch, as the writers do), CloseBadgeCursor.
//
// N is the number of badges valid today; ns_per_badge and raw_ns_per_badge
// divide a whole run by N, ratio_vs_raw_sqlite compares the two within each
// iteration.
#include <benchmark/benchmark.h>

#include "bench/bench_site.h"
#include "driver/db_session.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "sql/session.h"
#include "queries/terminal_params.h"

namespace zx::bench {
namespace {

constexpr int kSmallSite = 2000;
constexpr int kLargeSite = 20000;
// Measured time per benchmark: a few runs of the large site, whose ratios'
// median then outweighs a run that another process slowed down.
constexpr double kMinSeconds = 1.0;

void BM_RawBadgeStatement(benchmark::State& state) {
  const Site& site = SiteWithBadges(static_cast<int>(state.range(0)));
  if (!site.ok()) {
    state.SkipWithError(site.error().c_str());
    return;
  }
  double seconds = 0.0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const RawRun run = RunRawBadgeStatement(site);
    seconds += Seconds(Clock::now() - start);
    ++runs;
    benchmark::DoNotOptimize(run.checksum);
    if (!run.error.empty() || run.rows != site.validRows()) {
      state.SkipWithError(run.error.empty() ? "baseline delivered a wrong number of rows"
                                            : run.error.c_str());
      return;
    }
  }
  state.counters["badges"] = static_cast<double>(site.validRows());
  state.counters["ns_per_badge"] =
      seconds * 1e9 / (static_cast<double>(runs) * static_cast<double>(site.validRows()));
}
BENCHMARK(BM_RawBadgeStatement)->Arg(kSmallSite)->Arg(kLargeSite)->Unit(benchmark::kMillisecond);

// One run of the cursor as a writer drives it, without the writer's own work.
MeasuredRun RunBadgeCursor(const Site& site) {
  MeasuredRun run;
  SqlSession session;
  if (!ConnectToSite(session, site, run)) return run;
  DriveBadgeCursor(session, run, [](const BadgeRecord& record) { benchmark::DoNotOptimize(record.AswNum[0]); });
  return run;
}

void BM_BadgeCursor(benchmark::State& state) {
  const Site& site = SiteWithBadges(static_cast<int>(state.range(0)));
  if (!site.ok()) {
    state.SkipWithError(site.error().c_str());
    return;
  }
  CompareWithBaseline(state, site, [&site] { return RunBadgeCursor(site); });
}
BENCHMARK(BM_BadgeCursor)
    ->Arg(kSmallSite)
    ->Arg(kLargeSite)
    ->UseManualTime()
    ->MinTime(kMinSeconds)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zx::bench
