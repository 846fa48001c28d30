// The run driver: one run creates or extends one DNL file for one terminal
// and one DNL function.
#pragma once

#include "base/diagnostics.h"
#include "driver/run_job.h"

namespace zx {

// Runs the program with its parameters (without the program name) and
// returns the exit status: 0 on success, -1 on failure. Before the DNL
// function, "--report FILE" and "--metrics FILE" name files that get the
// run's report (driver/run_report.h) at its end and "--config FILE" the
// configuration file, in any order; every other command line is read as
// ever.
int RunDriver(int paramCount, const char* const* params);

// The same with the messages going to `out`; `figures`, when given, gets
// what the job came to; a `configPath` names the configuration file.
int RunDriver(Diagnostics& out, int paramCount, const char* const* params,
              JobFigures* figures = nullptr, const std::string& configPath = {});

}  // namespace zx
