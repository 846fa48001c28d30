// A whole site in one run: every job of a job file (driver/site_jobs.h),
// each exactly as its own zeprink run would be (the same DNL file bytes, the
// same messages, the same atomic replacement), all reading one state of the
// database. On a database server, `parallel` sessions run jobs at once, all
// reading the snapshot of the first; on the embedded database one session
// runs the jobs one after another (its read transaction is the one state).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "driver/run_job.h"
#include "driver/site_jobs.h"

namespace zx {

struct SiteOptions {
  int parallel = 1;      // sessions running jobs at once (a database server only)
  bool verbose = false;  // "/d" for every job
  bool progress = true;  // a progress line on `reasons` when that is a terminal
  std::string configPath;  // the configuration file; empty: the usual place
  // Run once per changed DNL file, with the terminal, the DNL function and
  // the path as its arguments (driver/on_change.h); empty: none.
  std::string onChange;
};

// What one job of a site run came to.
struct SiteJobResult {
  int status = -1;      // 0: succeeded
  std::string reasons;  // its "zeprink: ..." lines, as standard error shows them
  JobFigures figures;
  double seconds = 0;   // from the job's start to its end
};

struct SiteResult {
  std::vector<SiteJobResult> jobs;  // in the order of the job file
  // The configuration file could not be read (missing, unreadable, or a
  // record that cannot be read whole): no job could run.
  bool configUnreadable = false;
};

// Runs the jobs. Standard output gets, for each job in the order of the
// file, one line "Job Zeile N: FUNCTION TERMINAL FILE MODE" and then the
// job's messages as one block, and at the end the line "Jobs gesamt: N davon
// erfolgreich: M". A job that fails keeps its own DNL file and does not stop
// the others. A job whose new file equals its old one byte for byte leaves
// the old file untouched; `reasons` gets the failed jobs and the changed
// files named. Returns 0 when every job succeeded, -1 otherwise; `result`,
// when given, gets what each job came to.
int RunSite(const std::vector<SiteJob>& jobs, const SiteOptions& options, std::FILE* messages,
            std::FILE* reasons, SiteResult* result = nullptr);

}  // namespace zx
