// Whole writer runs against the raw badge statement.
//
//   BM_IdStammRun/N   IDSTAMM: per badge the time-right count and the
//                     access-class cursor, one line per access class.
//   BM_MgDnl17PRun/N  MGDNL17P: per badge besides those the balance row, the
//                     reader cursor and the location text.
//
// A run connects, sets the schema, opens the DNL file in the site's
// directory, looks up the terminal and runs the writer, as the program does.
// The file is then discarded rather than committed: the flush to disk is
// once per run and measures the disk, not the program. Before the timed
// iterations one committed run proves that the writer wrote one record per
// access class of every badge. Each run prints the writer's count line.
#include <benchmark/benchmark.h>

#include <fstream>
#include <span>
#include <sstream>
#include <string>

#include "bench/bench_site.h"
#include "driver/db_session.h"
#include "driver/dnl_file.h"
#include "base/fixed_text.h"
#include "sql/session.h"
#include "queries/terminal_lookup.h"
#include "queries/terminal_params.h"
#include "writers/run_context.h"
#include "writers/writers.h"

namespace zx::bench {
namespace {

constexpr int kSmallSite = 2000;
constexpr int kLargeSite = 20000;
// Measured time per benchmark: a few runs of the large site, whose ratios'
// median then outweighs a run that another process slowed down.
constexpr double kMinSeconds = 1.0;

using Writer = int (*)(RunContext&, const TerminalParams&);

MeasuredRun RunWriter(const Site& site, Writer writer, const std::string& dnlPath, bool commit) {
  MeasuredRun run;
  SqlSession session;
  if (!ConnectToSite(session, site, run)) return run;
  DnlFile file;
  if (!file.Open(dnlPath, true)) {
    run.error = "cannot open " + dnlPath;
    return run;
  }
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, kTerminal);
  ReadTerminal(session, terminal);
  // The writer's messages are not part of the measurement.
  Diagnostics diagnostics(static_cast<std::FILE*>(nullptr), nullptr);
  RunContext context{session, file, diagnostics};
  const int result = writer(context, terminal);
  run.prepared = session.PreparedStatementCount();
  if (result != 1) {
    run.error = "the writer failed";
  } else if (commit && !file.Commit()) {
    run.error = "cannot commit " + dnlPath;
  }
  return run;  // an uncommitted file is discarded here
}

// The file's content; empty when it cannot be read.
std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// IDSTAMM: lines ending in CR LF; -1 when the file does not end with one.
int64_t IdStammRecords(const std::string& content) {
  if (content.size() < 2 || content.compare(content.size() - 2, 2, "\r\n") != 0) return -1;
  int64_t lines = 0;
  for (std::size_t at = content.find("\r\n"); at != std::string::npos; at = content.find("\r\n", at + 2)) {
    ++lines;
  }
  return lines;
}

// MGDNL17P: records of 85 bytes; -1 when the size is no multiple of that.
int64_t MgDnl17PRecords(const std::string& content) {
  return content.size() % 85 == 0 ? static_cast<int64_t>(content.size() / 85) : -1;
}

// Benchmarks `writer` on the site of state.range(0) badges. A run writes
// one record per access class of a badge on the terminal; `records` counts
// the records of a file.
void BenchmarkWriter(benchmark::State& state, Writer writer, const char* fileName,
                     int64_t (*records)(const std::string& content),
                     std::span<const RawStatement> perBadge) {
  const Site& site = SiteWithBadges(static_cast<int>(state.range(0)));
  if (!site.ok()) {
    state.SkipWithError(site.error().c_str());
    return;
  }
  const std::string dnlPath = site.directory() + "/" + fileName;
  const MeasuredRun check = RunWriter(site, writer, dnlPath, true);
  if (!check.error.empty()) {
    state.SkipWithError(check.error.c_str());
    return;
  }
  const int64_t written = records(FileContent(dnlPath));
  if (written != site.records()) {
    const std::string message = std::string(fileName) + " holds " + std::to_string(written) +
                                " records, expected " + std::to_string(site.records());
    state.SkipWithError(message.c_str());
    return;
  }
  CompareWithBaseline(
      state, site, [&] { return RunWriter(site, writer, dnlPath, false); }, perBadge);
}

void BM_IdStammRun(benchmark::State& state) {
  static constexpr RawStatement kPerBadge[] = {kRawTimeRights, kRawAccessClasses};
  BenchmarkWriter(state, CreateIdStamm, "IDSTAMM.dnl", IdStammRecords, kPerBadge);
}
BENCHMARK(BM_IdStammRun)
    ->Arg(kSmallSite)
    ->Arg(kLargeSite)
    ->UseManualTime()
    ->MinTime(kMinSeconds)
    ->Unit(benchmark::kMillisecond);

void BM_MgDnl17PRun(benchmark::State& state) {
  static constexpr RawStatement kPerBadge[] = {kRawBalance, kRawTimeRights, kRawReaders,
                                               kRawAccessClasses, kRawLocation};
  BenchmarkWriter(state, CreateMgDnl17P, "MGDNL17P.dnl", MgDnl17PRecords, kPerBadge);
}
BENCHMARK(BM_MgDnl17PRun)
    ->Arg(kSmallSite)
    ->Arg(kLargeSite)
    ->UseManualTime()
    ->MinTime(kMinSeconds)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zx::bench
