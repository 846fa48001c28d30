// End-to-end harness: runs the real zeprink binary against a database built
// for one case, in a temporary working directory two levels below the
// directory that holds files/morvalent.ini.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zx::test {

// Where the program's standard output goes.
enum class StdoutMode {
  kCaptured,    // a pipe that the test reads to the end
  kClosed,      // closed before the start (as a scheduler may)
  kReaderGone,  // a pipe whose reading end is closed as the program starts
};

struct E2eOptions {
  // INSERT statements for the case's rows (dates as 'YYYY-MM-DD HH:MM:SS').
  std::string rowsSql = {};
  // The program's parameters; "@DNL" stands for the DNL file path.
  std::vector<std::string> args = {};
  // Content of the DNL file before the run (absent: no file).
  std::optional<std::string> oldDnl = std::nullopt;
  // Configuration records (key, plain value) instead of the default ones;
  // "@NET8" in a value stands for the net service name of the case's
  // database, "@PASS" for the password its server accepts.
  std::optional<std::vector<std::pair<std::string, std::string>>> config = std::nullopt;
  StdoutMode stdoutMode = StdoutMode::kCaptured;
  // The configuration file's bytes as they are, instead of `config`.
  std::optional<std::string> rawConfig = std::nullopt;
  // No configuration file at all.
  bool noConfigFile = false;
  // Permission bits of the configuration file (absent: 0600).
  std::optional<unsigned> configMode = std::nullopt;
  // Largest file the program may write (RLIMIT_FSIZE, as `ulimit -f` sets
  // it). SIGXFSZ keeps its default action, which ends the process: the
  // program ignores it itself, so that a write beyond the limit fails with
  // EFBIG, as on a full disk.
  std::optional<long long> fileSizeLimit = std::nullopt;
};

struct E2eResult {
  int exitStatus = -1;               // 0..255 (255 for -1); -1 when not run
  std::string out;                   // standard output bytes
  std::optional<std::string> dnl;    // DNL file bytes after the run (absent: no file)
  std::vector<std::string> leftover; // other files left in the working directory
  std::string err;                   // standard error bytes
  // Standard error of the runs on the other backends, in the order of
  // BackendFixtures() (none for a backend whose database is not there).
  std::vector<std::string> otherErr;
};

// The default configuration: user, password, the case's database, schema
// ZARDONIX (stored with the trailing character that the program drops).
std::vector<std::pair<std::string, std::string>> DefaultConfig();

// Runs the case on a fresh database of the first backend of
// BackendFixtures() (the embedded one) built from its schema and rowsSql,
// and returns its result. Then runs it once more on a fresh database with
// the same rows of every other backend there (a server that is not there is
// left out, unless the run requires it: ZEPRINK_PG_REQUIRED=1) and adds a
// test failure when a result differs in any byte (standard error aside: it
// carries each database's own words). Connection messages show "@NET8" for the case's net
// service name, file messages "@DNL" for the DNL file's path. Every run is
// also held to the rule for standard error: only "zeprink: " lines; a run
// without "/d" that ends with 255 gives exactly one reason, one that ends
// with 0 none (warnings aside).
E2eResult RunZeprink(const E2eOptions& options);

// Runs the case once on a database that the test prepared and may change
// while the run goes on: `net8` names it, `password` is the one its server
// accepts. options.rowsSql is not used. Connection messages show "@NET8".
E2eResult RunZeprinkOn(const E2eOptions& options, const std::string& net8,
                       const std::string& password);

// Dates relative to today (local time), as the database stores them.
std::string DaysFromToday(int days, const char* time = "00:00:00");  // "YYYY-MM-DD HH:MM:SS"
std::string Yyyymmdd(int daysFromToday);                             // "yyyymmdd"

// Runs the binary with the given parameters in `workDir`; returns the exit
// status (0..255), or 1000 + the signal that ended it, and collects standard
// output (none unless `stdoutMode` is kCaptured) and, when `err` is given,
// standard error. `fileSizeLimit` as in E2eOptions.
int RunProgram(const std::string& binary, const std::vector<std::string>& args,
               const std::string& workDir, std::string& out,
               StdoutMode stdoutMode = StdoutMode::kCaptured, std::string* err = nullptr,
               std::optional<long long> fileSizeLimit = std::nullopt);

// A site for runs of the real programs: files/morvalent.ini for the
// database `net8` (its server accepting `password`) and the working
// directory `work` two levels below it, in a temporary directory that goes
// with the object.
struct TestSite {
  TestSite(const std::string& net8, const std::string& password);
  ~TestSite();
  TestSite(const TestSite&) = delete;
  TestSite& operator=(const TestSite&) = delete;
  // The bytes of a file (relative: in the working directory); "" when none.
  std::string Read(const std::filesystem::path& name) const;
  std::filesystem::path root;
  std::filesystem::path work;
  bool ok = false;
};

// The start of every warning (a reason that does not end the run), and of
// the warning about a configuration file that others may read.
inline constexpr char kWarning[] = "zeprink: Warnung: ";
inline constexpr char kConfigModeWarning[] = "zeprink: Warnung: Konfigurationsdatei ";

}  // namespace zx::test
