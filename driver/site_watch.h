// Keeping a site's files current: the site run (driver/site_run.h), then
// again whenever the database's tables have changed, so that a badge
// blocked in the database reaches the terminals' files within seconds. The
// watch notices committed changes through the session's change probe (it
// writes nothing to the database), waits until they have been quiet for a
// settle time (a bulk import gives one run, not hundreds), and runs the
// site again on one new state. Every run keeps a file whose new content is
// the old one's, so only changed files are replaced.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "driver/site_jobs.h"
#include "driver/site_run.h"

namespace zx {

struct SiteReports {
  std::string reportPath;   // JSON report (driver/run_report.h); empty: none
  std::string metricsPath;  // metrics in the Prometheus text format; empty: none
};

// One site run with its report files written at its end. `cycle` and
// `probes` are the watch's (0 without one). Returns RunSite's result;
// `result` as RunSite gives it.
int RunSiteReported(const std::vector<SiteJob>& jobs, const SiteOptions& options,
                    const SiteReports& reports, std::FILE* messages, std::FILE* reasons,
                    int64_t cycle, int64_t probes, SiteResult& result);

struct WatchOptions {
  double settleSeconds = 2.0;    // changes quiet this long before a run
  double intervalSeconds = 5.0;  // between two probes; the longest pause after a failed run
};

// The first job that appends to its file (mode other than 1), which would
// grow its file every run; nullptr when there is none.
const SiteJob* FirstAppendingJob(const std::vector<SiteJob>& jobs);

// Runs the site and keeps its files current until the process is ended by
// a signal (SIGTERM, SIGINT: the temporary files of a run in progress are
// removed and every DNL file stays as it was). A run that fails (a server
// gone, a job failing) keeps the old files, says why, and is tried again
// after pauses growing up to the interval. Returns -1 only when the
// configuration file cannot be read, or the database cannot tell its
// changes.
int WatchSite(const std::vector<SiteJob>& jobs, const SiteOptions& options,
              const SiteReports& reports, const WatchOptions& watch, std::FILE* messages,
              std::FILE* reasons);

}  // namespace zx
