// The badge cursor through the SQL runtime on PostgreSQL against the same
// statement run directly through libpq.
//
//   BM_PostgresBadgeCursor/N  every iteration runs, one right after the
//     other and in rotating order:
//     - the runtime path: ConnectDatabase, OpenBadgeCursor, the FetchBadge
//       loop (clearing the record before each fetch, as the writers do),
//       CloseBadgeCursor;
//     - the raw cursor: the PostgreSQL text of the unfiltered badge
//       statement, as TranslateForPostgres gives it, run by RunRawPgCursor
//       (connect, one read-only repeatable-read transaction, DECLARE, FETCH
//       in batches of 200 reading every column as text);
//     - the plain raw cursor: the same, with the statement's own ORDER BY in
//       place of the Windows-1252 byte keys the translation sorts by.
//
// Counters, per badge row of a run: ns_per_badge (runtime path),
// raw_ns_per_badge, plain_raw_ns_per_badge; ratio_vs_raw_pg (median of the
// per-iteration ratios runtime / raw), byte_order_key_cost (median of raw /
// plain raw); prepared_per_run: statements the run's session prepared.
// Every iteration checks that the three deliver the same badge numbers in
// the same order.
//
// Needs the local server (eval "$(bash .ci/pg_setup.sh)"); without it the
// benchmark reports an error and the others run as usual.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_site.h"
#include "bench/pg_bench_site.h"
#include "driver/db_session.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/session.h"
#include "queries/terminal_params.h"

namespace zx::bench {
namespace {

constexpr int kSmallSite = 2000;
constexpr int kLargeSite = 20000;
// Measured time per benchmark (the runtime path's): a run on the server is
// slower than on SQLite, so twice the SQLite benchmarks' second gives the
// large site a dozen iterations, whose ratios' median then outweighs a run
// that another process slowed down.
constexpr double kMinSeconds = 2.0;

// The unfiltered badge statement as the badge cursor runs it, split before
// its ORDER BY.
constexpr std::string_view kBadgeSelect =
    "select AswNum ,TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'yyyymmdd') ,AswPnr ,AswBkl ,AswGrp "
    ",AswAan ,AswAtp ,AwvSto ,AswSal ,AswBk2 ,AswSpr ,AswPin  from Zardonix.Zdx301Asw "
    ",Zardonix.Zdx113Awv where ((((ASWNUM=AWVNUM and (((trunc(SYSDATE)>=AswGvo and AswGbi is "
    "null ) or (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo "
    "and trunc(SYSDATE)<=AswGbi))) and (AWVCOD<>8 or AWVCOD is null )) and ((AwvSta<>4 and "
    "AwvSta<>8) or AwvSta is null )) and ((AswSta<>4 and AswSta<>8) or AswSta is null ))";
constexpr std::string_view kBadgeOrderBy = " order by AswNum,AswGvo,AswBkl";

// The two PostgreSQL texts the raw cursors run.
struct RawTexts {
  std::string rewritten;  // TranslateForPostgres of the whole statement
  std::string plain;      // the translated select with the plain ORDER BY
  std::string error;
};

RawTexts TranslateBadgeStatement() {
  RawTexts texts;
  std::string select;
  int parameters = -1;
  int selectParameters = -1;
  // The bench database is UTF8, as a site's usually is.
  if (!pg::TranslateForPostgres(std::string(kBadgeSelect) + std::string(kBadgeOrderBy),
                                pg::ServerText::kUtf8, texts.rewritten, parameters) ||
      !pg::TranslateForPostgres(kBadgeSelect, pg::ServerText::kUtf8, select, selectParameters)) {
    texts.error = "TranslateForPostgres refused the badge statement";
    return texts;
  }
  texts.plain = select + std::string(kBadgeOrderBy);
  // The two may differ only in the ORDER BY, and the unfiltered form binds
  // nothing.
  if (parameters != 0 || selectParameters != 0 || texts.rewritten.compare(0, select.size(), select) != 0 ||
      texts.rewritten == texts.plain) {
    texts.error = "unexpected translation of the badge statement: " + texts.rewritten;
  }
  return texts;
}

// One run of the cursor through the runtime, as a writer drives it.
struct CursorRun {
  MeasuredRun measured;
  uint64_t order = kRowKeyHashStart;  // HashRowKey over the badge numbers
};

CursorRun RunBadgeCursorOnPostgres(const PgSite& site) {
  CursorRun run;
  MeasuredRun& measured = run.measured;
  const PgServer& server = site.server();
  SqlSession session;
  const ConnectionSettings login{
      .user = server.user, .password = server.password, .netService = site.NetService()};
  const int32_t rc = ConnectDatabase(session, login, kSchema);
  if (rc != 0) {
    measured.error = "connect failed: code " + std::to_string(rc) + ": " + session.LastStatus().message;
    return run;
  }
  DriveBadgeCursor(session, measured, [&run](const BadgeRecord& record) {
    HashRowKey(run.order, FieldText(record.AswNum));
  });
  return run;
}

void BM_PostgresBadgeCursor(benchmark::State& state) {
  const PgSite& site = PgSiteWithBadges(static_cast<int>(state.range(0)));
  if (!site.ok()) {
    const std::string message =
        site.unreachable()
            ? "PostgreSQL server not reachable (start it with eval \"$(bash .ci/pg_setup.sh)\"): " + site.error()
            : "PostgreSQL site not built: " + site.error();
    state.SkipWithError(message.c_str());
    return;
  }
  static const RawTexts texts = TranslateBadgeStatement();
  if (!texts.error.empty()) {
    state.SkipWithError(texts.error.c_str());
    return;
  }

  std::vector<double> ratios;
  std::vector<double> keyCosts;
  double runtimeSeconds = 0.0;
  double rawSeconds = 0.0;
  double plainSeconds = 0.0;
  int64_t prepared = -1;
  int first = 0;
  for (auto _ : state) {
    PgRawRun raw;
    PgRawRun plain;
    CursorRun run;
    Clock::duration rawTime{};
    Clock::duration plainTime{};
    Clock::duration runTime{};
    // The order rotates, so that none of the three always finds the
    // server's caches warmer.
    for (int k = 0; k < 3; ++k) {
      const auto start = Clock::now();
      switch ((first + k) % 3) {
        case 0:
          raw = RunRawPgCursor(site, texts.rewritten);
          rawTime = Clock::now() - start;
          break;
        case 1:
          run = RunBadgeCursorOnPostgres(site);
          runTime = Clock::now() - start;
          break;
        default:
          plain = RunRawPgCursor(site, texts.plain);
          plainTime = Clock::now() - start;
          break;
      }
    }
    first = (first + 1) % 3;
    benchmark::DoNotOptimize(raw.checksum);
    benchmark::DoNotOptimize(plain.checksum);
    const std::string error = !raw.error.empty()     ? "raw cursor: " + raw.error
                              : !plain.error.empty() ? "plain raw cursor: " + plain.error
                                                     : run.measured.error;
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
    if (raw.rows != site.validRows() || plain.rows != raw.rows || run.measured.rows != raw.rows ||
        plain.order != raw.order || run.order != raw.order) {
      const std::string message =
          "the paths deliver different badges: site " + std::to_string(site.validRows()) + " rows, raw " +
          std::to_string(raw.rows) + ", plain raw " + std::to_string(plain.rows) + ", runtime " +
          std::to_string(run.measured.rows) + (plain.order != raw.order || run.order != raw.order
                                                   ? " (or in another order)"
                                                   : "");
      state.SkipWithError(message.c_str());
      break;
    }
    state.SetIterationTime(Seconds(runTime));
    runtimeSeconds += Seconds(runTime);
    rawSeconds += Seconds(rawTime);
    plainSeconds += Seconds(plainTime);
    ratios.push_back(Seconds(runTime) / Seconds(rawTime));
    keyCosts.push_back(Seconds(rawTime) / Seconds(plainTime));
    prepared = run.measured.prepared;
  }
  if (ratios.empty()) return;
  const double perRow = 1e9 / (static_cast<double>(ratios.size()) * static_cast<double>(site.validRows()));
  state.counters["badges"] = static_cast<double>(site.validRows());
  state.counters["ns_per_badge"] = runtimeSeconds * perRow;
  state.counters["raw_ns_per_badge"] = rawSeconds * perRow;
  state.counters["plain_raw_ns_per_badge"] = plainSeconds * perRow;
  state.counters["ratio_vs_raw_pg"] = Median(ratios);
  state.counters["byte_order_key_cost"] = Median(keyCosts);
  state.counters["prepared_per_run"] = static_cast<double>(prepared);
}
BENCHMARK(BM_PostgresBadgeCursor)
    ->Arg(kSmallSite)
    ->Arg(kLargeSite)
    ->UseManualTime()
    ->MinTime(kMinSeconds)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zx::bench
