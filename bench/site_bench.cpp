// zeprink-site-bench: whole runs of the zeprink program against a generated
// site, on the embedded database and on PostgreSQL, each compared with a
// baseline that the same database runs in the same loop: one SQL statement
// per DNL function, run by the database's own client (site_baselines.h).
//
// Per size the site is generated once into an SQLite file and a throw-away
// PostgreSQL database (the same rows, loaded with COPY), and every run
// reuses them. A timed repetition runs the program and the baseline one
// right after the other, the order alternating; only the two processes are
// timed (fork to wait4), and the figure is the median of the per-repetition
// ratios program / baseline. Before the timed repetitions, one run with /d
// gives the statement and round-trip counts, and program and baseline must
// agree on badges read, badges written and records.
//
// With --site (or --site-only), per database and size also the whole site:
// one job file of every terminal with IDSTAMM and MGDNL17P, run by one
// zeprink-site process (on PostgreSQL with two sessions) against one zeprink
// run per job, one after the other, as a scheduler starts them. An untimed
// run of both first must leave the very same bytes in every file; then the
// two sides alternate as program and baseline do, and the figure is the
// median of the ratios site / separate runs.
//
// With --watch (or --watch-only), per database and size also the watch
// (zeprink-site --watch) over the same job file: the time from the commit
// that blocks a badge to the last changed file replaced, against the bound
// of the site run's own time + settle time + poll interval; the probes and
// files written while nothing changes; and the memory after --watch-cycles
// runs against that after the first.
//
// Usage: zeprink-site-bench --zeprink PATH [options]; see Usage() below.
#include <fcntl.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/site_baselines.h"
#include "bench/site_generator.h"

namespace fs = std::filesystem;
using namespace zx::sitebench;

namespace {

volatile sig_atomic_t gStop = 0;

struct Options {
  std::string zeprink;
  std::string configTool;   // default: zeprink-config beside zeprink
  std::string zeprinkSite;  // default: zeprink-site beside zeprink
  std::string sourceDir = ZEPRINK_SOURCE_DIR;
  std::string sqlite3 = "sqlite3";
  std::string psql = "psql";
  std::vector<int> sizes = {10000, 100000};
  int reps = 5;         // timed repetitions at most
  double budget = 20.0;  // seconds of timed repetitions per function, database and size
  double siteBudget = 60.0;  // the same for the whole site per database and size
  uint64_t seed = 20240611;
  bool sqlite = true;
  bool postgres = true;
  std::vector<Function> functions{std::begin(kFunctions), std::end(kFunctions)};
  int terminal = 1;       // timed terminal: odd ones get every badge
  int checkTerminal = 2;  // checked once per function and size (0: none)
  std::string work;       // default: a new directory in $TMPDIR or /tmp
  bool keep = false;
  bool site = false;         // the whole site in one run against its separate runs
  bool perFunction = true;   // the runs per DNL function (off with --site-only)
  bool watch = false;        // the watch over the whole site's job file
  double watchSettle = 2.0;
  double watchInterval = 5.0;
  int watchCycles = 100;     // runs of the watch for its memory
  int watchRounds = 5;       // timed blocks of a badge
  double watchIdle = 30.0;   // seconds the watch is left with nothing changed
};

void Usage() {
  std::fputs(
      "usage: zeprink-site-bench --zeprink PATH [options]\n"
      "  --zeprink PATH        the program to measure (any build)\n"
      "  --config-tool PATH    zeprink-config (default: beside --zeprink)\n"
      "  --site                also the whole site: one zeprink-site run of the job file\n"
      "                        TRM01..TRM20 x IDSTAMM, MGDNL17P (on PostgreSQL with -j 2)\n"
      "                        against its 40 jobs as separate zeprink runs one after another\n"
      "  --site-only           only that (no runs per DNL function)\n"
      "  --watch               also the watch (zeprink-site --watch) over that job file: time from\n"
      "                        a commit to the last changed file, probes while idle, memory\n"
      "  --watch-only          only that\n"
      "  --watch-settle S, --watch-interval S  its --settle and --interval (default 2, 5)\n"
      "  --watch-cycles C      runs of the watch for its memory (default 100)\n"
      "  --watch-rounds R      timed changes (default 5); --watch-idle S idle seconds (default 30)\n"
      "  --zeprink-site PATH   zeprink-site (default: beside --zeprink)\n"
      "  --site-budget S       seconds for the whole site's timed repetitions per database and size\n"
      "                        (default 60; at most --reps, at least one)\n"
      "  --sizes N,N,...       badge counts (default 10000,100000)\n"
      "  --reps R              timed repetitions per function, database and size at most (default 5)\n"
      "  --budget S            seconds for them (default 20): as many as fit, at least one; when the\n"
      "                        /d run alone took longer, it is the one timed run (marked *)\n"
      "  --functions F,F,...   DNL functions (default all five)\n"
      "  --terminal K          the timed terminal TRMkk (default 1: no assignments, every badge)\n"
      "  --check-terminal K    terminal also checked once at the smallest size, untimed\n"
      "                        (default 2: with assignments; 0 none)\n"
      "  --no-sqlite, --no-pg  leave a database out\n"
      "  --seed S              the site's seed\n"
      "  --source DIR          the source tree (schema/*.sql)\n"
      "  --sqlite3 PATH, --psql PATH  the database clients\n"
      "  --work DIR            where sites and outputs go (default: a new temporary directory)\n"
      "  --keep                keep the work directory and the PostgreSQL databases\n"
      "PostgreSQL: service ZEPRINK_PG_SERVICE (zeprink_test), login ZEPRINK_PG_USER /\n"
      "ZEPRINK_PG_PASSWORD (zeprink / zeprink_pw), allowed to create databases.\n",
      stderr);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--zeprink") o.zeprink = value();
    else if (arg == "--config-tool") o.configTool = value();
    else if (arg == "--zeprink-site") o.zeprinkSite = value();
    else if (arg == "--site") o.site = true;
    else if (arg == "--site-only") {
      o.site = true;
      o.perFunction = false;
    }
    else if (arg == "--watch") o.watch = true;
    else if (arg == "--watch-only") {
      o.watch = true;
      o.perFunction = false;
    }
    else if (arg == "--watch-settle") o.watchSettle = std::stod(value());
    else if (arg == "--watch-interval") o.watchInterval = std::stod(value());
    else if (arg == "--watch-cycles") o.watchCycles = std::stoi(value());
    else if (arg == "--watch-rounds") o.watchRounds = std::stoi(value());
    else if (arg == "--watch-idle") o.watchIdle = std::stod(value());
    else if (arg == "--source") o.sourceDir = value();
    else if (arg == "--sqlite3") o.sqlite3 = value();
    else if (arg == "--psql") o.psql = value();
    else if (arg == "--reps") o.reps = std::stoi(value());
    else if (arg == "--budget") o.budget = std::stod(value());
    else if (arg == "--site-budget") o.siteBudget = std::stod(value());
    else if (arg == "--seed") o.seed = std::stoull(value());
    else if (arg == "--terminal") o.terminal = std::stoi(value());
    else if (arg == "--check-terminal") o.checkTerminal = std::stoi(value());
    else if (arg == "--work") o.work = value();
    else if (arg == "--keep") o.keep = true;
    else if (arg == "--no-sqlite") o.sqlite = false;
    else if (arg == "--no-pg") o.postgres = false;
    else if (arg == "--sizes") {
      o.sizes.clear();
      for (const std::string& n : Split(value(), ',')) o.sizes.push_back(std::stoi(n));
    } else if (arg == "--functions") {
      o.functions.clear();
      for (std::string name : Split(value(), ',')) {
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        const auto* found = std::find_if(std::begin(kFunctions), std::end(kFunctions),
                                         [&](Function f) { return name == FunctionName(f); });
        if (found == std::end(kFunctions)) throw std::runtime_error("unknown DNL function " + name);
        o.functions.push_back(*found);
      }
    } else if (arg == "-h" || arg == "--help") {
      Usage();
      std::exit(0);
    } else {
      throw std::runtime_error("unknown option " + arg);
    }
  }
  if (o.zeprink.empty()) throw std::runtime_error("--zeprink PATH is required");
  o.zeprink = fs::absolute(o.zeprink).string();
  if (o.configTool.empty()) o.configTool = (fs::path(o.zeprink).parent_path() / "zeprink-config").string();
  if (o.zeprinkSite.empty()) o.zeprinkSite = (fs::path(o.zeprink).parent_path() / "zeprink-site").string();
  o.zeprinkSite = fs::absolute(o.zeprinkSite).string();
  if (o.terminal < 1 || o.terminal > kTerminals || o.checkTerminal < 0 || o.checkTerminal > kTerminals) {
    throw std::runtime_error("terminals are 1 to 20");
  }
  if (o.reps < 1) throw std::runtime_error("--reps must be at least 1");
  if (o.sizes.empty() || o.functions.empty()) throw std::runtime_error("nothing to run");
  for (int n : o.sizes) {
    if (n < 1) throw std::runtime_error("a size must be at least 1");
  }
  return true;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// ---------------------------------------------------------------- processes

struct Process {
  std::vector<std::string> argv;
  std::string cwd;
  std::string stdinPath = "/dev/null";
  std::string stdoutPath = "/dev/null";
  std::string stderrPath = "/dev/null";
  std::vector<std::pair<std::string, std::string>> env;
};

struct ProcessEnd {
  double seconds = 0.0;
  long maxRssKb = 0;  // 0 when it cannot be told from the launcher's own
  int exitStatus = -1;  // -1: did not exit normally
};

// A process's resident memory now, in KiB.
long OwnRssKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// This program, to start again as a launcher.
std::string gSelf;

// The launcher: a fresh, small process that runs the command with the
// standard streams, directory and environment it was given, times it from
// fork to wait4 and writes "seconds max-rss-KiB exit-status" to
// `resultPath`. A child's ru_maxrss also counts the pages it shared with its
// parent between fork and exec; the launcher's are few, where this program's
// (a loaded site, read outputs) could exceed the measured program's own.
int Launch(const char* resultPath, char** command) {
  const long ownRssKb = OwnRssKb();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(command[0], command);
    _exit(127);
  }
  if (pid < 0) return 126;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return 126;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A peak no higher than the launcher's own cannot be told apart: 0.
  const long maxRssKb = usage.ru_maxrss > ownRssKb ? usage.ru_maxrss : 0;
  std::ofstream(resultPath) << seconds << ' ' << maxRssKb << ' ' << (WIFEXITED(status) ? WEXITSTATUS(status) : -1)
                            << '\n';
  return 0;
}

// Runs the process to its end through the launcher. The time covers the
// process's own start, its work and its exit, nothing of this program's.
ProcessEnd RunProcess(const Process& p) {
  static int runs = 0;
  const std::string resultPath = "/tmp/zeprink-site-bench-" + std::to_string(getpid()) + "-" +
                                 std::to_string(++runs);
  std::vector<std::string> args = {gSelf, "--launch", resultPath};
  args.insert(args.end(), p.argv.begin(), p.argv.end());
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    auto redirect = [](const std::string& path, int fd, int flags) {
      const int opened = open(path.c_str(), flags, 0644);
      if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
      close(opened);
    };
    redirect(p.stdinPath, 0, O_RDONLY);
    redirect(p.stdoutPath, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect(p.stderrPath, 2, O_WRONLY | O_CREAT | O_TRUNC);
    if (!p.cwd.empty() && chdir(p.cwd.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : p.env) setenv(name.c_str(), value.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ProcessEnd end;
  if (pid < 0) return end;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return end;
  }
  std::ifstream result(resultPath);
  if (!(result >> end.seconds >> end.maxRssKb >> end.exitStatus)) end.exitStatus = -1;
  result.close();
  std::remove(resultPath.c_str());
  return end;
}

// ---------------------------------------------------------------- SQLite site

class SqliteSink : public RowSink {
 public:
  explicit SqliteSink(sqlite3* db) : db_(db) {}
  ~SqliteSink() override { sqlite3_finalize(insert_); }
  bool BeginTable(const std::string& table, const std::vector<std::string>& columns) override {
    std::string sql = "INSERT INTO " + table + " (";
    std::string marks;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      sql += (c > 0 ? ", " : "") + columns[c];
      marks += c > 0 ? ", ?" : "?";
    }
    sql += ") VALUES (" + marks + ")";
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    return Check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr));
  }
  bool Put(const Row& row) override {
    for (std::size_t c = 0; c < row.size(); ++c) {
      const int index = static_cast<int>(c) + 1;
      // Text into INTEGER columns: the column's affinity stores the number.
      if (row[c].null) sqlite3_bind_null(insert_, index);
      else sqlite3_bind_text(insert_, index, row[c].text.c_str(), static_cast<int>(row[c].text.size()), SQLITE_STATIC);
    }
    const int rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    return rc == SQLITE_DONE || Check(rc);
  }
  bool EndTable() override { return true; }
  const std::string& error() const { return error_; }

 private:
  bool Check(int rc) {
    if (rc == SQLITE_OK) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
  }
  sqlite3* db_;
  sqlite3_stmt* insert_ = nullptr;
  std::string error_;
};

std::string Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
  std::string error = message != nullptr ? message : "failed";
  sqlite3_free(message);
  return error;
}

std::string BuildSqliteSite(const Options& o, int badges, const std::string& path) {
  const std::string schema = ReadFile(fs::path(o.sourceDir) / "schema/sqlite.sql");
  if (schema.empty()) return "schema/sqlite.sql not found under " + o.sourceDir;
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return "cannot create " + path;
  }
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> owner(db, sqlite3_close);
  std::string error = Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  if (error.empty()) error = Exec(db, schema);
  if (error.empty()) error = Exec(db, "BEGIN");
  if (!error.empty()) return error;
  SqliteSink sink(db);
  if (!GenerateSite(badges, o.seed, sink)) return sink.error();
  return Exec(db, "COMMIT");
}

// ---------------------------------------------------------------- PostgreSQL site

struct PgServer {
  std::string service;
  std::string user;
  std::string password;
};

PgServer LocalPgServer() {
  auto env = [](const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr && *value != '\0' ? value : fallback);
  };
  return {env("ZEPRINK_PG_SERVICE", "zeprink_test"), env("ZEPRINK_PG_USER", "zeprink"),
          env("ZEPRINK_PG_PASSWORD", "zeprink_pw")};
}

using PgConn = std::unique_ptr<PGconn, void (*)(PGconn*)>;

PgConn ConnectPg(const PgServer& server, const std::string& database, std::string& error) {
  const char* keys[] = {"service", "dbname", "user", "password", "connect_timeout", nullptr};
  const char* values[] = {server.service.c_str(), database.empty() ? nullptr : database.c_str(),
                          server.user.c_str(), server.password.c_str(), "10", nullptr};
  PgConn conn(PQconnectdbParams(keys, values, 0), PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    error = PQerrorMessage(conn.get());
    return PgConn(nullptr, PQfinish);
  }
  PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
  return conn;
}

std::string PgRun(PGconn* conn, const std::string& sql) {
  PGresult* result = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  PQclear(result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return {};
  return PQerrorMessage(conn);
}

// COPY ... FROM STDIN in text format, one table after the other.
class PgCopySink : public RowSink {
 public:
  explicit PgCopySink(PGconn* conn) : conn_(conn) {}
  bool BeginTable(const std::string& table, const std::vector<std::string>& columns) override {
    std::string sql = "COPY zardonix." + table + " (";
    for (std::size_t c = 0; c < columns.size(); ++c) sql += (c > 0 ? ", " : "") + columns[c];
    sql += ") FROM STDIN";
    PGresult* result = PQexec(conn_, sql.c_str());
    const bool started = PQresultStatus(result) == PGRES_COPY_IN;
    PQclear(result);
    return started || Fail(table);
  }
  bool Put(const Row& row) override {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) buffer_ += '\t';
      if (row[c].null) {
        buffer_ += "\\N";
        continue;
      }
      for (char ch : row[c].text) {
        if (ch == '\\' || ch == '\t' || ch == '\n' || ch == '\r') buffer_ += '\\';
        buffer_ += ch == '\t' ? 't' : ch == '\n' ? 'n' : ch == '\r' ? 'r' : ch;
      }
    }
    buffer_ += '\n';
    return buffer_.size() < (1u << 20) || Flush();
  }
  bool EndTable() override {
    if (!Flush() || PQputCopyEnd(conn_, nullptr) != 1) return Fail("COPY end");
    PGresult* result = PQgetResult(conn_);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    while ((result = PQgetResult(conn_)) != nullptr) PQclear(result);
    return ok || Fail("COPY");
  }
  const std::string& error() const { return error_; }

 private:
  bool Flush() {
    const bool ok = buffer_.empty() || PQputCopyData(conn_, buffer_.data(), static_cast<int>(buffer_.size())) == 1;
    buffer_.clear();
    return ok || Fail("COPY data");
  }
  bool Fail(const std::string& what) {
    error_ = what + ": " + PQerrorMessage(conn_);
    return false;
  }
  PGconn* conn_;
  std::string buffer_;
  std::string error_;
};

// A throw-away database named zx_t_<pid>_site<N>: .ci/pg_setup.sh drops it
// should this program end without doing so.
class PgSite {
 public:
  PgSite(const PgServer& server, int badges, bool keep)
      : server_(server), keep_(keep), name_("zx_t_" + std::to_string(getpid()) + "_site" + std::to_string(badges)) {}
  ~PgSite() { Drop(); }
  PgSite(const PgSite&) = delete;
  PgSite& operator=(const PgSite&) = delete;

  std::string Build(const Options& o, int badges) {
    std::string error;
    PgConn admin = ConnectPg(server_, {}, error);
    if (!admin) return "PostgreSQL: " + error;
    PgRun(admin.get(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    error = PgRun(admin.get(), "CREATE DATABASE " + name_ +
                                   " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'");
    if (!error.empty()) return error;
    created_ = true;
    PgConn conn = ConnectPg(server_, name_, error);
    if (!conn) return error;
    const std::string schema = ReadFile(fs::path(o.sourceDir) / "schema/postgresql.sql");
    if (schema.empty()) return "schema/postgresql.sql not found under " + o.sourceDir;
    error = PgRun(conn.get(), schema);
    if (!error.empty()) return error;
    PgCopySink sink(conn.get());
    if (!GenerateSite(badges, o.seed, sink)) return sink.error();
    // Statistics now, so that the plans do not change when autovacuum
    // gets to the tables during the runs.
    return PgRun(conn.get(), "VACUUM ANALYZE");
  }
  void Drop() {
    if (!created_ || keep_) return;
    std::string ignored;
    if (PgConn admin = ConnectPg(server_, {}, ignored)) {
      PgRun(admin.get(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    }
    created_ = false;
  }
  const std::string& name() const { return name_; }
  // The program's net service: a URI that takes host and port from the service.
  std::string NetService() const { return "postgresql:///" + name_ + "?service=" + server_.service; }
  // psql's connection, with the schema on the search path.
  std::string ClientConnection() const {
    return "service=" + server_.service + " dbname=" + name_ + " user=" + server_.user +
           " options='-c search_path=zardonix'";
  }

 private:
  PgServer server_;
  bool keep_;
  std::string name_;
  bool created_ = false;
};

// ---------------------------------------------------------------- runs

// What a run of the program or the baseline came to.
struct Counts {
  long long badgesRead = -1;
  long long badgesWritten = -1;
  long long records = -1;
};

struct Database {
  std::string label;  // "SQLite", "PostgreSQL"
  Dialect dialect;
  std::string runDir;  // the program's working directory: ../../files/morvalent.ini
  Process baselineClient;  // argv and env; stdin/stdout set per run
  // Runs SQL on the database as another program would; "" or the error.
  std::function<std::string(const std::string&)> execute;
};

std::string CountLine(const std::string& messages, Counts& counts) {
  const std::string key = "Ausweise gesamt: ";
  const std::size_t at = messages.rfind(key);
  if (at == std::string::npos) return "no \"Ausweise gesamt\" line";
  if (std::sscanf(messages.c_str() + at, "Ausweise gesamt: %lld davon in Datei gestellt: %lld", &counts.badgesRead,
                  &counts.badgesWritten) != 2) {
    return "unreadable \"Ausweise gesamt\" line";
  }
  return {};
}

// The program's counts: its count line and the records of its file.
std::string ProgramCounts(Function f, const fs::path& messages, const fs::path& dnl, Counts& counts) {
  const std::string problem = CountLine(ReadFile(messages), counts);
  if (!problem.empty()) return problem;
  const std::string file = ReadFile(dnl);
  if (RecordLength(f) == 0) {
    long long lines = 0;
    for (std::size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2)) ++lines;
    counts.records = lines;
  } else {
    if (file.size() % static_cast<std::size_t>(RecordLength(f)) != 0) return "file length is no multiple of the record";
    counts.records = static_cast<long long>(file.size() / static_cast<std::size_t>(RecordLength(f)));
  }
  return {};
}

// The baseline's counts from its rows (see site_baselines.h).
Counts BaselineCounts(const fs::path& output) {
  std::ifstream in(output);
  std::unordered_set<std::string> read;
  std::unordered_set<std::string> written;
  Counts counts;
  counts.records = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.size() < 3 || line[1] != '|') continue;
    const std::size_t end = line.find('|', 2);
    std::string number = line.substr(2, end == std::string::npos ? std::string::npos : end - 2);
    if (line[0] == 'R') {
      ++counts.records;
      written.insert(number);
    }
    read.insert(std::move(number));
  }
  counts.badgesRead = static_cast<long long>(read.size());
  counts.badgesWritten = static_cast<long long>(written.size());
  return counts;
}

struct Result {
  std::string database;
  Function function;
  int size;
  Counts counts;
  double programSeconds = 0;   // median
  double baselineSeconds = 0;  // median
  double ratio = 0;            // median of the per-repetition ratios
  long maxRssKb = 0;           // median peak resident memory of the program
  long long statements = -1;
  long long roundTrips = -1;
  int reps = 0;  // timed repetitions; 0: the /d run was the one timed run
};

// The whole site in one zeprink-site run against its jobs as separate runs.
struct SiteResult {
  std::string database;
  int size;
  int sessions;                // zeprink-site's -j
  double goal;                 // the ratio it should come to at most
  double siteSeconds = 0;      // median
  double separateSeconds = 0;  // median of the separate runs' sums
  double ratio = 0;            // median of the per-repetition ratios
  long siteRssKb = 0;          // median peak resident memory of the zeprink-site run
  long singleRssKb = 0;        // median of the largest separate run's peak
  int reps = 0;
};

// The watch over the whole site's job file.
struct WatchResult {
  std::string database;
  int size;
  int jobs;
  double settle;
  double interval;
  double siteSeconds = 0;  // median own time of the runs that followed a change
  double latency = 0;      // median time from the commit to the last changed file replaced
  double latencyMax = 0;
  double bound = 0;        // median site run's own time + settle + interval
  int rounds = 0;
  double idleSeconds = 0;
  double probesPerInterval = 0;  // while nothing of the site changed
  int idleRuns = 0;              // runs while idle (changes elsewhere on the server)
  int idleFilesWritten = 0;
  long firstRssKb = 0;  // after the first run
  long lastRssKb = 0;   // after the last
  int cycles = 0;
};

// The whole-site job file: every terminal with these functions, mode 1.
inline constexpr Function kSiteFunctions[] = {Function::IdStamm, Function::MgDnl17P};

// The ratio site / separate runs it should come to, and the sessions it runs
// with: the embedded database has one session whatever -j says.
double SiteGoal(Dialect d) { return d == Dialect::Sqlite ? 0.35 : 0.25; }
int SiteSessions(Dialect d) { return d == Dialect::Sqlite ? 1 : 2; }
// The site run's peak memory at the largest size over the smallest.
constexpr double kSiteMemoryGrowthGoal = 1.2;

struct SiteJob {
  Function function;
  TerminalInfo terminal;
  std::string file;  // its DNL file's name, the same in the site's and the separate runs' directory
};

std::vector<SiteJob> SiteJobs() {
  std::vector<SiteJob> jobs;
  for (int k = 1; k <= kTerminals; ++k) {
    for (Function f : kSiteFunctions) {
      const TerminalInfo t = Terminal(k);
      jobs.push_back({f, t, t.name + "." + FunctionName(f) + ".dnl"});
    }
  }
  return jobs;
}

// A job file parameter in double quotes (a quote inside written twice).
std::string JobParameter(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

struct Bench {
  Options options;
  fs::path work;
  std::vector<Result> results;
  std::vector<SiteResult> siteResults;
  std::vector<WatchResult> watchResults;
  int failures = 0;

  void Fail(const std::string& what) {
    ++failures;
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  }

  Process Program(const Database& db, Function f, const TerminalInfo& t, const fs::path& dnl,
                  const fs::path& messages, const fs::path& reasons, bool diagnostics) const {
    Process p;
    p.argv = {options.zeprink, FunctionName(f), t.name, dnl.string(), "1"};
    if (diagnostics) p.argv.push_back("/d");
    p.cwd = db.runDir;
    p.stdoutPath = messages.string();
    p.stderrPath = reasons.string();
    return p;
  }

  Process Baseline(const Database& db, const fs::path& query, const fs::path& output) const {
    Process p = db.baselineClient;
    p.stdinPath = query.string();
    p.stdoutPath = output.string();
    p.stderrPath = (output.string() + ".err");
    return p;
  }

  // Runs the program with /d and the baseline once: the counts, the check
  // that both agree, the statements and round trips. False on a failure.
  bool Check(const Database& db, Function f, const TerminalInfo& t, int size, Result* result) {
    const std::string what = db.label + " " + FunctionName(f) + " " + t.name + " N=" + std::to_string(size);
    const fs::path dir = work / "runs";
    const fs::path dnl = dir / "check.dnl";
    const fs::path messages = dir / "check.out";
    const fs::path reasons = dir / "check.err";
    const fs::path query = QueryFile(db, f, t);
    const fs::path output = dir / "check.rows";
    const ProcessEnd program = RunProcess(Program(db, f, t, dnl, messages, reasons, true));
    if (program.exitStatus != 0) {
      Fail(what + ": zeprink ended with status " + std::to_string(program.exitStatus) + ": " +
           ReadFile(messages).substr(0, 400) + ReadFile(reasons).substr(0, 400));
      return false;
    }
    Counts mine;
    const std::string problem = ProgramCounts(f, messages, dnl, mine);
    if (!problem.empty()) {
      Fail(what + ": " + problem);
      return false;
    }
    const ProcessEnd baseline = RunProcess(Baseline(db, query, output));
    if (baseline.exitStatus != 0) {
      Fail(what + ": baseline ended with status " + std::to_string(baseline.exitStatus) + ": " +
           ReadFile(output.string() + ".err").substr(0, 400));
      return false;
    }
    const Counts theirs = BaselineCounts(output);
    if (mine.badgesRead != theirs.badgesRead || mine.badgesWritten != theirs.badgesWritten ||
        mine.records != theirs.records) {
      char text[256];
      std::snprintf(text, sizeof text,
                    ": program read %lld, wrote %lld badges, %lld records; baseline %lld, %lld, %lld",
                    mine.badgesRead, mine.badgesWritten, mine.records, theirs.badgesRead, theirs.badgesWritten,
                    theirs.records);
      Fail(what + text);
      return false;
    }
    std::fprintf(stderr, "  agree: %-10s %-9s %s N=%d: %lld badges read, %lld written, %lld records\n",
                 db.label.c_str(), FunctionName(f), t.name.c_str(), size, mine.badgesRead, mine.badgesWritten,
                 mine.records);
    if (result != nullptr) {
      result->counts = mine;
      result->programSeconds = program.seconds;
      result->baselineSeconds = baseline.seconds;
      result->ratio = program.seconds / baseline.seconds;
      result->maxRssKb = program.maxRssKb;
      const std::string line = ReadFile(reasons);
      const std::size_t at = line.rfind("Anweisungen: ");
      if (at != std::string::npos) {
        std::sscanf(line.c_str() + at, "Anweisungen: %lld Roundtrips zum Server: %lld", &result->statements,
                    &result->roundTrips);
      }
    }
    return true;
  }

  fs::path QueryFile(const Database& db, Function f, const TerminalInfo& t) const {
    const fs::path path = work / "queries" /
                          (std::string(db.dialect == Dialect::Sqlite ? "sqlite" : "pg") + "_" + FunctionName(f) +
                           "_" + t.name + ".sql");
    if (!fs::exists(path)) {
      std::ofstream(path) << BaselineSql(f, db.dialect, t);
    }
    return path;
  }

  // The timed repetitions for one function: program and baseline one after
  // the other, the order alternating.
  void Measure(const Database& db, Function f, int size) {
    const TerminalInfo t = Terminal(options.terminal);
    Result result{db.label, f, size, {}, 0, 0, 0, 0, -1, -1, 0};
    if (!Check(db, f, t, size, &result)) return;
    // The other kind of terminal is checked at the smallest size: its
    // agreement does not depend on the size, its run time would.
    const int smallest = *std::min_element(options.sizes.begin(), options.sizes.end());
    if (size == smallest && options.checkTerminal != 0 && options.checkTerminal != options.terminal) {
      Check(db, f, Terminal(options.checkTerminal), size, nullptr);
    }
    // As many repetitions as the budget takes at the pace of the /d run;
    // a run longer than the whole budget is timed once, by that /d run
    // (its diagnostic lines cost well under a percent of such a run).
    const double pace = result.programSeconds + result.baselineSeconds;
    const int reps = result.programSeconds > options.budget
                         ? 0
                         : std::clamp(static_cast<int>(options.budget / pace), 1, options.reps);
    const fs::path dir = work / "runs";
    const fs::path dnl = dir / "timed.dnl";
    const fs::path messages = dir / "timed.out";
    const fs::path output = dir / "timed.rows";
    const fs::path query = QueryFile(db, f, t);
    std::vector<double> program;
    std::vector<double> baseline;
    std::vector<double> ratios;
    std::vector<double> rss;
    for (int r = 0; r < reps && gStop == 0; ++r) {
      ProcessEnd mine;
      ProcessEnd theirs;
      for (int k = 0; k < 2; ++k) {
        if ((k + r) % 2 == 0) {
          mine = RunProcess(Program(db, f, t, dnl, messages, "/dev/null", false));
        } else {
          theirs = RunProcess(Baseline(db, query, output));
        }
      }
      Counts counts;
      if (mine.exitStatus != 0 || theirs.exitStatus != 0 ||
          !CountLine(ReadFile(messages), counts).empty() || counts.badgesRead != result.counts.badgesRead) {
        Fail(db.label + " " + FunctionName(f) + ": a timed run failed or read other badges");
        return;
      }
      program.push_back(mine.seconds);
      baseline.push_back(theirs.seconds);
      ratios.push_back(mine.seconds / theirs.seconds);
      rss.push_back(static_cast<double>(mine.maxRssKb));
    }
    if (reps > 0 && ratios.empty()) return;
    result.reps = static_cast<int>(ratios.size());
    if (result.reps == 0) {
      std::fprintf(stderr, "  %-10s %-9s N=%-7d program %8.3f s  baseline %8.3f s  ratio %6.2f  (the /d run)\n",
                   db.label.c_str(), FunctionName(f), size, result.programSeconds, result.baselineSeconds,
                   result.ratio);
      results.push_back(result);
      return;
    }
    result.programSeconds = Median(program);
    result.baselineSeconds = Median(baseline);
    result.ratio = Median(ratios);
    result.maxRssKb = static_cast<long>(Median(rss));
    std::fprintf(stderr, "  %-10s %-9s N=%-7d program %8.3f s  baseline %8.3f s  ratio %6.2f  (%d reps)\n",
                 db.label.c_str(), FunctionName(f), size, result.programSeconds, result.baselineSeconds,
                 result.ratio, static_cast<int>(ratios.size()));
    results.push_back(result);
  }

  // ------------------------------------------------------------ whole site

  fs::path SiteDir() const { return work / "runs" / "site"; }

  // The site's job file, its DNL files in SiteDir().
  void WriteJobFile(const std::string& what, const std::vector<SiteJob>& jobs) const {
    std::ofstream jobFile(SiteDir() / "jobs");
    jobFile << "# " << what << "\n";
    for (const SiteJob& job : jobs) {
      jobFile << FunctionName(job.function) << ' ' << JobParameter(job.terminal.name) << ' '
              << JobParameter((SiteDir() / job.file).string()) << " 1\n";
    }
  }
  fs::path SeparateDir() const { return work / "runs" / "separate"; }

  // One zeprink-site run of the job file. Empty when it ended with status 0
  // and its last line counts every job as succeeded; else what went wrong.
  std::string RunSite(const Database& db, std::size_t jobs, ProcessEnd& end) const {
    Process p;
    p.argv = {options.zeprinkSite, (SiteDir() / "jobs").string()};
    if (SiteSessions(db.dialect) > 1) {
      p.argv.push_back("-j");
      p.argv.push_back(std::to_string(SiteSessions(db.dialect)));
    }
    p.argv.push_back("--quiet");
    p.cwd = db.runDir;
    p.stdoutPath = (SiteDir() / "messages").string();
    p.stderrPath = (SiteDir() / "reasons").string();
    end = RunProcess(p);
    const std::string messages = ReadFile(p.stdoutPath);
    if (end.exitStatus != 0) {
      return "zeprink-site ended with status " + std::to_string(end.exitStatus) + ": " +
             ReadFile(p.stderrPath).substr(0, 400);
    }
    const std::string expected = "Jobs gesamt: " + std::to_string(jobs) + " davon erfolgreich: " + std::to_string(jobs);
    const std::size_t lineEnd = messages.empty() || messages.back() != '\n' ? messages.size() : messages.size() - 1;
    const std::size_t newline = lineEnd == 0 ? std::string::npos : messages.rfind('\n', lineEnd - 1);
    const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
    const std::string last = messages.substr(start, lineEnd - start);
    if (lineEnd == messages.size() || last != expected) {
      return "zeprink-site's last line is not \"" + expected + "\" but \"" + last + "\"";
    }
    return {};
  }

  // The jobs as separate zeprink runs one after another: the sum of their
  // times, the largest peak memory of one. Empty, or what went wrong.
  std::string RunSeparately(const Database& db, const std::vector<SiteJob>& jobs, double& seconds,
                            long& maxRssKb) const {
    seconds = 0;
    maxRssKb = 0;
    const fs::path messages = SeparateDir() / "messages";
    const fs::path reasons = SeparateDir() / "reasons";
    for (const SiteJob& job : jobs) {
      if (gStop != 0) return "stopped";
      const ProcessEnd end =
          RunProcess(Program(db, job.function, job.terminal, SeparateDir() / job.file, messages, reasons, false));
      if (end.exitStatus != 0) {
        return std::string("zeprink ") + FunctionName(job.function) + " " + job.terminal.name + " ended with status " +
               std::to_string(end.exitStatus) + ": " + ReadFile(reasons).substr(0, 400);
      }
      seconds += end.seconds;
      maxRssKb = std::max(maxRssKb, end.maxRssKb);
    }
    return {};
  }

  // The job file TRM01..TRM20 x kSiteFunctions against the same jobs run
  // separately: first once untimed, where every file must be the same to the
  // byte; then the timed repetitions, the order alternating.
  void MeasureSite(const Database& db, int size) {
    const std::string what = db.label + " whole site N=" + std::to_string(size);
    const std::vector<SiteJob> jobs = SiteJobs();
    for (const fs::path& dir : {SiteDir(), SeparateDir()}) {
      fs::remove_all(dir);
      fs::create_directories(dir);
    }
    WriteJobFile(what, jobs);
    ProcessEnd site;
    double separateSeconds = 0;
    long singleRssKb = 0;
    std::string problem = RunSite(db, jobs.size(), site);
    if (problem.empty()) problem = RunSeparately(db, jobs, separateSeconds, singleRssKb);
    long long bytes = 0;
    for (std::size_t j = 0; problem.empty() && j < jobs.size(); ++j) {
      const fs::path mine = SiteDir() / jobs[j].file;
      const fs::path theirs = SeparateDir() / jobs[j].file;
      if (!fs::exists(mine) || !fs::exists(theirs)) {
        problem = "no file " + (fs::exists(mine) ? theirs : mine).string();
      } else if (const std::string content = ReadFile(mine); content != ReadFile(theirs)) {
        problem = "the site run's " + jobs[j].file + " differs from the separate run's";
      } else {
        bytes += static_cast<long long>(content.size());
      }
    }
    if (gStop != 0) return;
    if (!problem.empty()) {
      Fail(what + ": " + problem);
      return;
    }
    std::fprintf(stderr, "  agree: %-10s whole site N=%d: %zu files, %lld bytes, the same from both\n",
                 db.label.c_str(), size, jobs.size(), bytes);

    const double pace = site.seconds + separateSeconds;
    const int reps = std::clamp(static_cast<int>(options.siteBudget / pace), 1, options.reps);
    std::vector<double> siteTimes;
    std::vector<double> separateTimes;
    std::vector<double> ratios;
    std::vector<double> siteRss;
    std::vector<double> singleRss;
    for (int r = 0; r < reps && gStop == 0; ++r) {
      for (int k = 0; k < 2 && problem.empty(); ++k) {
        problem = (k + r) % 2 == 0 ? RunSite(db, jobs.size(), site)
                                   : RunSeparately(db, jobs, separateSeconds, singleRssKb);
      }
      if (gStop != 0) break;
      if (!problem.empty()) {
        Fail(what + ": a timed run: " + problem);
        return;
      }
      siteTimes.push_back(site.seconds);
      separateTimes.push_back(separateSeconds);
      ratios.push_back(site.seconds / separateSeconds);
      siteRss.push_back(static_cast<double>(site.maxRssKb));
      singleRss.push_back(static_cast<double>(singleRssKb));
    }
    if (ratios.empty()) return;
    SiteResult result{db.label, size, SiteSessions(db.dialect), SiteGoal(db.dialect)};
    result.siteSeconds = Median(siteTimes);
    result.separateSeconds = Median(separateTimes);
    result.ratio = Median(ratios);
    result.siteRssKb = static_cast<long>(Median(siteRss));
    result.singleRssKb = static_cast<long>(Median(singleRss));
    result.reps = static_cast<int>(ratios.size());
    std::fprintf(stderr, "  %-10s whole site N=%-7d site %8.3f s  separate %8.3f s  ratio %6.2f  (%d reps)\n",
                 db.label.c_str(), size, result.siteSeconds, result.separateSeconds, result.ratio, result.reps);
    siteResults.push_back(result);
  }

  // ------------------------------------------------------------ the watch

  // A number of the watch's JSON report; -1 when it is not there.
  static double ReportNumber(const std::string& report, const std::string& key) {
    const std::size_t at = report.find("\"" + key + "\": ");
    return at == std::string::npos ? -1 : std::atof(report.c_str() + at + key.size() + 4);
  }

  // The latest change time (a rename sets it) of the site's DNL files, as Unix time.
  static double LastReplaced(const std::vector<fs::path>& files) {
    double last = 0;
    for (const fs::path& file : files) {
      struct stat info {};
      if (stat(file.c_str(), &info) == 0) {
        last = std::max(last, static_cast<double>(info.st_ctim.tv_sec) + info.st_ctim.tv_nsec / 1e9);
      }
    }
    return last;
  }

  static double UnixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  }

  // Waits until `done` holds (false after `seconds`, or when stopped).
  static bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (gStop == 0 && std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      usleep(5000);
    }
    return done();
  }

  // zeprink-site --watch over the whole site's job file: the time from a
  // commit that blocks (or frees) a badge of every terminal without
  // assignments to the last changed file replaced, against the site run's
  // own time + settle + interval; then the watch left alone (its probes and
  // the files it writes); then runs until --watch-cycles for its memory.
  void MeasureWatch(const Database& db, int size) {
    const std::string what = db.label + " watch N=" + std::to_string(size);
    const std::vector<SiteJob> jobs = SiteJobs();
    fs::remove_all(SiteDir());
    fs::create_directories(SiteDir());
    WriteJobFile(what, jobs);
    std::vector<fs::path> files;
    for (const SiteJob& job : jobs) files.push_back(SiteDir() / job.file);
    const fs::path report = SiteDir() / "report.json";
    char settle[32];
    char interval[32];
    std::snprintf(settle, sizeof settle, "%g", options.watchSettle);
    std::snprintf(interval, sizeof interval, "%g", options.watchInterval);
    std::vector<std::string> args = {options.zeprinkSite, (SiteDir() / "jobs").string(), "--watch", "--settle",
                                     settle, "--interval", interval, "--report", report.string()};
    if (SiteSessions(db.dialect) > 1) {
      args.push_back("-j");
      args.push_back(std::to_string(SiteSessions(db.dialect)));
    }
    // A badge of one row, valid today: blocked and freed in turn.
    std::string number;
    for (int i = 1; i < size && number.empty(); ++i) {
      const detail::Badge b = detail::MakeBadge(options.seed, i);
      if (!b.expired && !b.notYetValid && !b.deleted && !b.blocked && !b.earlierRow) number = b.number;
    }
    std::string error;
    bool blocked = false;
    const auto toggle = [&]() {
      blocked = !blocked;
      return db.execute(std::string("UPDATE Zdx301Asw SET AswSta = ") + (blocked ? "4" : "NULL") +
                        " WHERE AswNum = '" + number + "'");
    };

    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(db.runDir.c_str()) != 0) _exit(126);
      const int out = open((SiteDir() / "messages").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open((SiteDir() / "reasons").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    const auto stopWatch = [pid] {
      kill(pid, SIGTERM);
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    };
    const auto cycle = [&report] { return static_cast<int>(ReportNumber(ReadFile(report), "cycle")); };
    const double deadline = 600;
    if (!WaitUntil([&] { return cycle() >= 1; }, deadline)) {
      stopWatch();
      Fail(what + ": no first run: " + ReadFile(SiteDir() / "reasons").substr(0, 400));
      return;
    }
    WatchResult result{db.label, size, static_cast<int>(jobs.size()), options.watchSettle, options.watchInterval};
    result.firstRssKb = static_cast<long>(ReportNumber(ReadFile(report), "resident_bytes") / 1024);

    std::vector<double> latencies;
    std::vector<double> siteTimes;
    std::vector<double> bounds;
    for (int r = 0; r < options.watchRounds && gStop == 0; ++r) {
      const double before = UnixNow();
      error = toggle();
      const double committed = UnixNow();
      // The run that reads the change: one that started after the commit began.
      if (!error.empty() || !WaitUntil([&] {
            const std::string text = ReadFile(report);
            return ReportNumber(text, "started_unix") > before && ReportNumber(text, "files_changed") > 0;
          }, deadline)) {
        stopWatch();
        Fail(what + ": the change did not reach the files: " + error);
        return;
      }
      const std::string text = ReadFile(report);
      const double latency = LastReplaced(files) - committed;
      latencies.push_back(latency);
      siteTimes.push_back(ReportNumber(text, "seconds"));
      bounds.push_back(ReportNumber(text, "seconds") + options.watchSettle + options.watchInterval);
      std::fprintf(stderr, "  %-10s watch N=%d: commit to last file %.3f s (run %.3f s, bound %.3f s)\n",
                   db.label.c_str(), size, latency, siteTimes.back(), bounds.back());
    }

    // Nothing of the site changes: one probe per interval, no file written.
    std::map<std::string, double> replaced;
    for (const fs::path& file : files) replaced[file.string()] = LastReplaced({file});
    const std::string idleStart = ReadFile(report);
    const int idleCycle = cycle();
    const double idleFrom = ReportNumber(idleStart, "started_unix") + ReportNumber(idleStart, "seconds");
    WaitUntil([] { return false; }, options.watchIdle);
    for (const fs::path& file : files) {
      if (LastReplaced({file}) != replaced[file.string()]) ++result.idleFilesWritten;
    }
    result.idleRuns = cycle() - idleCycle;
    error = toggle();
    if (!error.empty() || !WaitUntil([&] { return cycle() > idleCycle + result.idleRuns; }, deadline)) {
      stopWatch();
      Fail(what + ": no run after the idle time: " + error);
      return;
    }
    const std::string idleEnd = ReadFile(report);
    result.idleSeconds = ReportNumber(idleEnd, "started_unix") - idleFrom;
    // The probes up to the run: the idle ones, the one that saw the change
    // and those of its settle time.
    const double probes = ReportNumber(idleEnd, "probes") - ReportNumber(idleStart, "probes");
    result.probesPerInterval = probes / (result.idleSeconds / options.watchInterval);

    // Runs up to --watch-cycles, a change before each.
    while (gStop == 0 && cycle() < options.watchCycles) {
      const int now = cycle();
      error = toggle();
      if (!error.empty() || !WaitUntil([&] { return cycle() > now; }, deadline)) {
        stopWatch();
        Fail(what + ": a run did not come: " + error);
        return;
      }
    }
    const std::string last = ReadFile(report);
    result.cycles = cycle();
    result.lastRssKb = static_cast<long>(ReportNumber(last, "resident_bytes") / 1024);
    stopWatch();
    if (blocked) toggle();
    if (latencies.empty()) return;
    result.rounds = static_cast<int>(latencies.size());
    result.latency = Median(latencies);
    result.latencyMax = *std::max_element(latencies.begin(), latencies.end());
    result.siteSeconds = Median(siteTimes);
    result.bound = Median(bounds);
    std::fprintf(stderr,
                 "  %-10s watch N=%d: latency %.3f s (max %.3f) bound %.3f s; idle %.0f s: %.2f probes per "
                 "interval, %d runs, %d files written; RSS %ld -> %ld KiB after %d runs\n",
                 db.label.c_str(), size, result.latency, result.latencyMax, result.bound, result.idleSeconds,
                 result.probesPerInterval, result.idleRuns, result.idleFilesWritten, result.firstRssKb,
                 result.lastRssKb, result.cycles);
    watchResults.push_back(result);
  }

  std::string WriteConfig(const std::string& dir, const std::string& net8, const PgServer& login) const {
    fs::create_directories(fs::path(dir) / "files");
    fs::create_directories(fs::path(dir) / "run" / "here");
    const std::string file = (fs::path(dir) / "files" / "morvalent.ini").string();
    Process p;
    p.argv = {options.configTool, "create", file, "--force", "--login", login.user, "--pass", login.password,
              "--net8", net8, "--db-system", "ORACLE", "--schema", "ZARDONIX"};
    p.stderrPath = (fs::path(dir) / "config.err").string();
    if (RunProcess(p).exitStatus != 0) return "zeprink-config failed: " + ReadFile(p.stderrPath);
    return {};
  }
};

void PrintWatchTable(const Bench& bench) {
  if (bench.watchResults.empty()) return;
  std::printf("\nThe watch (zeprink-site --watch) over the same job file: from the commit that blocks or frees a\n"
              "badge to the last changed file replaced, against the site run's own time + settle + interval;\n"
              "the watch left alone; memory after its first run and its last:\n\n");
  std::printf("| Database | N | Jobs | Settle s | Interval s | Site run s | Commit to last file s (max) | Bound s | "
              "Idle s | Probes per interval | Idle runs | Idle files written | RSS first / last MiB | Runs | "
              "Memory ratio |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const WatchResult& r : bench.watchResults) {
    std::printf("| %s | %d | %d | %g | %g | %.3f | %.3f (%.3f) | %.3f | %.0f | %.2f | %d | %d | %.1f / %.1f | %d | "
                "%.3f |\n",
                r.database.c_str(), r.size, r.jobs, r.settle, r.interval, r.siteSeconds, r.latency, r.latencyMax,
                r.bound, r.idleSeconds, r.probesPerInterval, r.idleRuns, r.idleFilesWritten, r.firstRssKb / 1024.0,
                r.lastRssKb / 1024.0, r.cycles, r.firstRssKb > 0 ? static_cast<double>(r.lastRssKb) / r.firstRssKb : 0.0);
  }
}

void PrintSiteTables(const Bench& bench) {
  if (bench.siteResults.empty()) return;
  std::printf("\nWhole site in one run: the job file TRM01..TRM%02d x IDSTAMM, MGDNL17P (%d jobs, mode 1) as one\n"
              "zeprink-site run against its jobs as separate zeprink runs one after another:\n\n",
              kTerminals, static_cast<int>(SiteJobs().size()));
  std::printf("| Database | N | zeprink-site | Site s | Separate s | Ratio | Goal | Site peak RSS MiB | "
              "Largest single run peak RSS MiB | Reps |\n");
  std::printf("|---|---:|---|---:|---:|---:|---|---:|---:|---:|\n");
  for (const SiteResult& r : bench.siteResults) {
    const std::string run = r.sessions > 1 ? "-j " + std::to_string(r.sessions) + " --quiet" : std::string("--quiet");
    std::printf("| %s | %d | %s | %.3f | %.3f | %.2f | at most %.2f: %s | %.1f | %.1f | %d |\n", r.database.c_str(),
                r.size, run.c_str(), r.siteSeconds, r.separateSeconds, r.ratio, r.goal,
                r.ratio <= r.goal ? "met" : "not met", static_cast<double>(r.siteRssKb) / 1024.0,
                static_cast<double>(r.singleRssKb) / 1024.0, r.reps);
  }
  std::printf("\nSite s: median of the zeprink-site runs; Separate s: median of the sums of the separate runs;\n"
              "Ratio: the median of the repetitions' site / separate.\n");
  const auto [smallest, largest] = std::minmax_element(bench.options.sizes.begin(), bench.options.sizes.end());
  if (*smallest == *largest) return;
  std::printf("\nSite run's peak memory from N = %d to N = %d:\n\n", *smallest, *largest);
  std::printf("| Database | Site peak RSS MiB | Growth | Goal |\n");
  std::printf("|---|---:|---:|---|\n");
  for (const SiteResult& small : bench.siteResults) {
    if (small.size != *smallest) continue;
    for (const SiteResult& large : bench.siteResults) {
      if (large.size != *largest || large.database != small.database || small.siteRssKb <= 0) continue;
      const double growth = static_cast<double>(large.siteRssKb) / static_cast<double>(small.siteRssKb);
      std::printf("| %s | %.1f -> %.1f | x%.2f | within %.1f: %s |\n", small.database.c_str(),
                  static_cast<double>(small.siteRssKb) / 1024.0, static_cast<double>(large.siteRssKb) / 1024.0,
                  growth, kSiteMemoryGrowthGoal, growth <= kSiteMemoryGrowthGoal ? "met" : "not met");
    }
  }
}

void PrintTables(const Bench& bench) {
  if (bench.results.empty()) return;
  std::printf("\n| Database | DNL function | N | Badges read | Records | zeprink s | Baseline s | Ratio | Badges/s | "
              "Peak RSS MiB | Statements | Round trips | Reps |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  bool marked = false;
  for (const Result& r : bench.results) {
    marked = marked || r.reps == 0;
    const std::string reps = r.reps == 0 ? std::string("1*") : std::to_string(r.reps);
    std::printf("| %s | %s | %d | %lld | %lld | %.3f | %.3f | %.2f | %.0f | %.1f | %lld | %lld | %s |\n",
                r.database.c_str(), FunctionName(r.function), r.size, r.counts.badgesRead, r.counts.records,
                r.programSeconds, r.baselineSeconds, r.ratio,
                static_cast<double>(r.counts.badgesRead) / r.programSeconds, static_cast<double>(r.maxRssKb) / 1024.0,
                r.statements, r.roundTrips, reps.c_str());
  }
  std::printf("\nzeprink s, Baseline s: medians over the timed repetitions; Ratio: the median of the\n"
              "repetitions' zeprink / baseline.%s\n",
              marked ? " 1*: a run longer than the budget, timed once by its /d run." : "");
  // Growth from the smallest to the largest size.
  const auto [smallest, largest] = std::minmax_element(bench.options.sizes.begin(), bench.options.sizes.end());
  if (*smallest == *largest) return;
  std::printf("\nGrowth from N = %d to N = %d (badges x%.0f):\n\n", *smallest, *largest,
              static_cast<double>(*largest) / *smallest);
  std::printf("| Database | DNL function | zeprink time | Baseline time | Peak RSS | Statements | Round trips |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|\n");
  for (const Result& small : bench.results) {
    if (small.size != *smallest) continue;
    for (const Result& large : bench.results) {
      if (large.size != *largest || large.database != small.database || large.function != small.function) continue;
      auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
      std::printf("| %s | %s | x%.1f | x%.1f | x%.2f | x%.1f | x%.1f |\n", small.database.c_str(),
                  FunctionName(small.function), ratio(large.programSeconds, small.programSeconds),
                  ratio(large.baselineSeconds, small.baselineSeconds),
                  ratio(static_cast<double>(large.maxRssKb), static_cast<double>(small.maxRssKb)),
                  ratio(static_cast<double>(large.statements), static_cast<double>(small.statements)),
                  ratio(static_cast<double>(large.roundTrips), static_cast<double>(small.roundTrips)));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--launch") == 0) return Launch(argv[2], argv + 3);
  std::error_code noPath;
  gSelf = fs::read_symlink("/proc/self/exe", noPath).string();
  Bench bench;
  try {
    ParseOptions(argc, argv, bench.options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zeprink-site-bench: %s\n", e.what());
    Usage();
    return 2;
  }
  const Options& o = bench.options;
  if (access(o.zeprink.c_str(), X_OK) != 0 || access(o.configTool.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "zeprink-site-bench: %s or %s is not executable\n", o.zeprink.c_str(), o.configTool.c_str());
    return 2;
  }
  if ((o.site || o.watch) && access(o.zeprinkSite.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "zeprink-site-bench: %s is not executable (--zeprink-site)\n", o.zeprinkSite.c_str());
    return 2;
  }
  // A signal ends the repetitions; the databases and files are still removed.
  struct sigaction stop{};
  stop.sa_handler = [](int) { gStop = 1; };
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGHUP, &stop, nullptr);

  if (o.work.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zeprink-site-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      return 2;
    }
    bench.work = pattern;
  } else {
    bench.work = fs::absolute(o.work);
    fs::create_directories(bench.work);
  }
  const PgServer server = LocalPgServer();

  std::fprintf(stderr, "zeprink-site-bench: %s, work directory %s\n", o.zeprink.c_str(), bench.work.c_str());
  for (int size : o.sizes) {
    if (gStop != 0) break;
    const fs::path sizeDir = bench.work / ("n" + std::to_string(size));
    fs::remove_all(sizeDir);
    fs::create_directories(sizeDir);
    // Queries and outputs live per size, under the size's directory.
    Bench& b = bench;
    const fs::path top = b.work;
    b.work = sizeDir;
    fs::create_directories(sizeDir / "runs");
    fs::create_directories(sizeDir / "queries");

    std::vector<Database> databases;
    if (o.sqlite) {
      const auto start = std::chrono::steady_clock::now();
      const std::string path = (sizeDir / "site.db").string();
      std::string error = BuildSqliteSite(o, size, path);
      if (error.empty()) error = b.WriteConfig((sizeDir / "sqlite").string(), "sqlite:" + path, server);
      if (!error.empty()) {
        b.Fail("SQLite site N=" + std::to_string(size) + ": " + error);
      } else {
        Database db{"SQLite", Dialect::Sqlite, (sizeDir / "sqlite" / "run" / "here").string(), {}, {}};
        db.baselineClient.argv = {o.sqlite3, "-bail", path};
        db.execute = [path](const std::string& sql) {
          sqlite3* raw = nullptr;
          sqlite3_open(path.c_str(), &raw);
          std::unique_ptr<sqlite3, int (*)(sqlite3*)> conn(raw, sqlite3_close);
          sqlite3_busy_timeout(conn.get(), 60000);
          return Exec(conn.get(), sql);
        };
        databases.push_back(db);
        std::fprintf(stderr, "SQLite site N=%d built in %.1f s\n", size,
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
    }
    std::unique_ptr<PgSite> pg;
    if (o.postgres) {
      const auto start = std::chrono::steady_clock::now();
      pg = std::make_unique<PgSite>(server, size, o.keep);
      std::string error = pg->Build(o, size);
      if (error.empty()) error = b.WriteConfig((sizeDir / "pg").string(), pg->NetService(), server);
      if (!error.empty()) {
        b.Fail("PostgreSQL site N=" + std::to_string(size) + ": " + error);
      } else {
        Database db{"PostgreSQL", Dialect::Postgres, (sizeDir / "pg" / "run" / "here").string(), {}, {}};
        db.baselineClient.argv = {o.psql, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d",
                                  pg->ClientConnection()};
        db.baselineClient.env = {{"PGPASSWORD", server.password}};
        db.execute = [server, name = pg->name()](const std::string& sql) {
          std::string why;
          PgConn conn = ConnectPg(server, name, why);
          return conn ? PgRun(conn.get(), "SET search_path TO zardonix; " + sql) : why;
        };
        databases.push_back(db);
        std::fprintf(stderr, "PostgreSQL site N=%d (%s) built in %.1f s\n", size, pg->name().c_str(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
    }
    for (const Database& db : databases) {
      for (Function f : o.functions) {
        if (gStop != 0 || !o.perFunction) break;
        b.Measure(db, f, size);
      }
      if (o.site && gStop == 0) b.MeasureSite(db, size);
      if (o.watch && gStop == 0) b.MeasureWatch(db, size);
    }
    if (pg) pg->Drop();
    b.work = top;
    if (!o.keep) fs::remove_all(sizeDir);
  }
  if (!o.keep) fs::remove_all(bench.work);
  PrintTables(bench);
  PrintSiteTables(bench);
  PrintWatchTable(bench);
  if (gStop != 0) {
    std::fprintf(stderr, "zeprink-site-bench: stopped by a signal\n");
    return 1;
  }
  return bench.failures == 0 ? 0 : 1;
}
