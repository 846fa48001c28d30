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

#include "driver/site_jobs.h"

namespace zx {

struct SiteOptions {
  int parallel = 1;      // sessions running jobs at once (a database server only)
  bool verbose = false;  // "/d" for every job
  bool progress = true;  // a progress line on `reasons` when that is a terminal
  std::string configPath;  // the configuration file; empty: the usual place
};

// Runs the jobs. Standard output gets, for each job in the order of the
// file, one line "Job Zeile N: FUNCTION TERMINAL FILE MODE" and then the
// job's messages as one block, and at the end the line "Jobs gesamt: N davon
// erfolgreich: M". A job that fails keeps its own DNL file and does not stop
// the others. Returns 0 when every job succeeded, -1 otherwise.
int RunSite(const std::vector<SiteJob>& jobs, const SiteOptions& options, std::FILE* messages,
            std::FILE* reasons);

}  // namespace zx
