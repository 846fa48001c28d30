// One job of a run: what a single zeprink run does once it has read its
// command line (configuration, connection, DNL file, terminal, writer,
// replacement of the file), in pieces that a run of many jobs (zeprink-site)
// shares. Messages go to the job's Diagnostics, byte for byte as a single
// run prints them; every failure also gets its reason line.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "driver/run_config.h"
#include "queries/terminal_params.h"
#include "sql/session.h"
#include "writers/dnl_functions.h"
#include "writers/run_context.h"

namespace zx {

// The configuration file, relative to the working directory.
inline constexpr const char* kConfigFilePath = "../../files/morvalent.ini";

// Whether a run with the mode parameter `mode` writes the file new: a mode
// beginning with '1'; any other appends.
bool ModeWritesNew(const std::string& mode);

// The warning for a mode that is neither "1" nor "0" (a typed "l" appends,
// and the terminal gets every record twice): what the run takes it for and
// why. Empty for "1" and "0".
std::string ModeWarning(const std::string& mode);

// The connection values of the configuration file (run_config.h), and
// whether the file could be read.
struct RunSettings : RunConfig {
  // The configuration file: kConfigFilePath unless the command line names
  // another (--config FILE).
  std::string configPath = kConfigFilePath;
  int fileError = 0;  // errno of reading the file; 0 when it can be read
};

// Reads the five values from settings.configPath as every run reads them. A missing or unreadable
// file gives empty values (the connection then reports the error, and its
// reason names the file); a file that others may read gets a warning.
// False, with the message printed, when a record cannot be read whole.
bool ReadRunSettings(Diagnostics& out, RunSettings& settings);

// The last failed statement of a job, for the reason of a failed job.
struct StatementFailure {
  SqlStatus status;
  std::string purpose;
};

// Keeps every failed statement of `session` in `*failure`; with verbose
// diagnostics each one is also shown with the database's words. The two
// must outlive the session's use (or the next call).
void WatchStatements(SqlSession& session, Diagnostics* out, StatementFailure* failure);

// Connects and makes the schema current (with `snapshot`: reading that
// state of the database). On failure prints the connect error and its
// reason and returns the code; 0 when connected (nothing is printed then).
int32_t ConnectRun(Diagnostics& out, SqlSession& session, const RunSettings& settings,
                   std::string_view snapshot = {});

// What a job came to, for the run's report.
struct JobFigures {
  int badgesRead = 0;          // as the count line says
  int badgesWritten = 0;       // as the count line says
  int64_t recordsWritten = 0;  // records (lines) that went to the DNL file
  bool fileChanged = false;    // a new DNL file was put in place
};

// What a job writes where.
struct JobRequest {
  const DnlFunction* function = nullptr;
  TerminalParams terminal{};  // '0'-filled, the name set
  std::string dnlPath;
  bool newFile = true;
  std::atomic<int64_t>* rowsRead = nullptr;  // counts the badge rows read
  BadgeFeed* badges = nullptr;               // gives the badge rows; null: the job's own cursor
  // A new file equal to the old one byte for byte leaves the old one as it
  // is (a site run: what copies the files on sees only real changes).
  bool keepEqualFile = false;
  JobFigures* figures = nullptr;             // filled when given
};

// Runs a job on a connected session, from "Mit Datenbank verbunden!" on:
// prepares the DNL file, completes the terminal (refusing an unknown one),
// runs the writer and replaces the file. Returns 0, or -1 with the old file
// kept and the messages and reason printed.
int RunJob(Diagnostics& out, SqlSession& session, const RunSettings& settings,
           JobRequest job, StatementFailure& failure);

}  // namespace zx
