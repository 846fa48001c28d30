// The report of a run for monitors: a JSON document and the same figures in
// the Prometheus text format (for node_exporter's textfile collector), each
// replaced atomically at the end of a run, or of each cycle of a watch. The
// run's messages on standard output stay as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "driver/run_job.h"

namespace zx {

struct JobReport {
  int line = 0;          // in the job file; 0 for a single run
  std::string function;  // upper-cased
  std::string terminal;
  std::string path;      // the DNL file as named
  int exitStatus = 255;  // 0 or 255, as a single run of the job would end
  std::string reason;    // its reason lines without "zeprink: ", one per line
  JobFigures figures;
  double seconds = 0;
  // Kept from run to run through the metrics file (CarryJobHistory).
  double lastSuccess = 0;  // Unix time of the job's last success; 0: none known
  int64_t failures = 0;    // failed runs of the job, this one included
};

struct RunReport {
  std::string program;      // "zeprink" or "zeprink-site"
  double startedAt = 0;     // Unix time
  double seconds = 0;
  int64_t cycle = 0;        // a watch's cycle, from 1; 0 for a run without watch
  int64_t probes = 0;       // a watch's probes of the database so far
  int64_t residentBytes = 0;
  std::vector<JobReport> jobs;
};

// A job's figures from what it came to; `reasons` as Diagnostics printed them.
JobReport MakeJobReport(int line, std::string_view function, std::string_view terminal,
                        std::string_view path, int status, std::string_view reasons,
                        const JobFigures& figures, double seconds, double now);

// Sets each job's last success and failure count from the metrics file a
// previous run wrote (a job is known by its function, terminal and path),
// counting this run in. A missing or foreign file counts as no history.
void CarryJobHistory(const std::string& metricsPath, RunReport& report);

std::string ReportJson(const RunReport& report);
std::string ReportMetrics(const RunReport& report);

// Replaces the file at `path` by `text` atomically; "" or why not.
std::string ReplaceReportFile(const std::string& path, std::string_view text);

// Writes the JSON report to `reportPath` and the metrics to `metricsPath`
// (each only when named; the metrics carry the jobs' history on), with a
// reason line for a file that cannot be written. False when one could not.
bool WriteReports(Diagnostics& out, const std::string& reportPath, const std::string& metricsPath,
                  RunReport& report);

// The process's resident memory now; 0 where the system does not say.
int64_t ResidentBytes();

// Unix time now, in seconds.
double UnixNow();

}  // namespace zx
