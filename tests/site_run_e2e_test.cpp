// zeprink-site seen from outside: every job's file and messages equal those
// of its own zeprink run on the same database, on both databases and with
// parallel sessions on the server, also when a job in the middle fails; and
// every file shows one state of the database, even when another program
// commits a change while the run goes on, or keeps committing changes while
// its parallel sessions connect. And the watch that keeps the files current
// (below).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/config_file.h"
#include "tests/support/e2e.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Job {
  std::string function;
  std::string terminal;
  std::string file;
};

const std::vector<Job> kJobs = {
    {"IDSTAMM", "HAUPTEINGANG", "idstamm.dnl"},   {"MGDNL17P", "HAUPTEINGANG", "mgdnl17p.dnl"},
    {"IDSTAMM", "NIEMAND", "niemand.dnl"},        {"MGDNL18P", "HAUPTEINGANG", "mgdnl18p.dnl"},
    {"MGDNL31P", "WERKSTOR2", "mgdnl31p.dnl"},    {"MGDNL60P", "KANTINE", "mgdnl60p.dnl"},
};

std::string JobFile(const std::vector<Job>& jobs) {
  std::string text = "# the demo site\n\n";
  for (const Job& job : jobs) text += job.function + " \"" + job.terminal + "\" " + job.file + " 1\n";
  return text;
}

struct Single {
  int status;
  std::string out;
  std::string dnl;
};

// Each job on its own, with the files of the site run set aside.
std::vector<Single> SingleRuns(TestSite& dir, const std::vector<Job>& jobs) {
  std::vector<Single> runs;
  for (const Job& job : jobs) {
    Single single;
    const std::string name = "single-" + job.file;
    single.status = RunProgram(ZEPRINK_BINARY, {job.function, job.terminal, name, "1"},
                               dir.work.string(), single.out);
    single.dnl = dir.Read(name);
    runs.push_back(std::move(single));
  }
  return runs;
}

void ExpectSiteEqualsSingleRuns(TestSite& dir, const std::vector<Job>& jobs,
                                const std::vector<std::string>& extraArgs, const std::string& what) {
  { std::ofstream(dir.work / "jobs.txt") << JobFile(jobs); }
  std::vector<std::string> args = {"jobs.txt", "--quiet"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::string out;
  std::string err;
  const int status = RunProgram(ZEPRINK_SITE_BINARY, args, dir.work.string(), out,
                                StdoutMode::kCaptured, &err);
  const std::vector<Single> singles = SingleRuns(dir, jobs);
  std::string expected;
  int succeeded = 0;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    expected += "Job Zeile " + std::to_string(i + 3) + ": " + jobs[i].function + " " +
                jobs[i].terminal + " " + jobs[i].file + " 1\n" + singles[i].out;
    if (singles[i].status == 0) {
      ++succeeded;
      EXPECT_EQ(dir.Read(jobs[i].file), singles[i].dnl) << what << ": " << jobs[i].file;
    } else {
      EXPECT_FALSE(fs::exists(dir.work / jobs[i].file)) << what << ": " << jobs[i].file;
      EXPECT_NE(err.find("zeprink: fehlgeschlagen: Zeile " + std::to_string(i + 3)), std::string::npos)
          << what << err;
    }
  }
  expected += "Jobs gesamt: " + std::to_string(jobs.size()) +
              " davon erfolgreich: " + std::to_string(succeeded) + "\n";
  EXPECT_EQ(out, expected) << what;
  EXPECT_EQ(status, succeeded == static_cast<int>(jobs.size()) ? 0 : 255) << what;
}

TEST(SiteRun, EveryJobAsItsOwnRunOnBothDatabases) {
  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  {
    TestSite dir(lite.NetService(), "geheim");
    ASSERT_TRUE(dir.ok);
    ExpectSiteEqualsSingleRuns(dir, kJobs, {}, "embedded database");
  }
  PgDatabase pg(DemoRows());
  ZX_REQUIRE_PG(pg);
  for (const char* parallel : {"1", "3"}) {
    TestSite dir(pg.NetService(), TestServer().password);
    ASSERT_TRUE(dir.ok);
    ExpectSiteEqualsSingleRuns(dir, kJobs, {"-j", parallel}, std::string("server, -j ") + parallel);
  }
}

TEST(SiteRun, RefusesAJobFileThatCannotBeReadAndWritesNothing) {
  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  TestSite dir(lite.NetService(), "geheim");
  { std::ofstream(dir.work / "jobs.txt") << "IDSTAMM HAUPTEINGANG a.dnl 1\nIDSTAMM \"HAUPT b.dnl 1\n"; }
  std::string out;
  std::string err;
  EXPECT_EQ(RunProgram(ZEPRINK_SITE_BINARY, {"jobs.txt"}, dir.work.string(), out,
                       StdoutMode::kCaptured, &err),
            255);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("Jobdatei Zeile 2: Anfuehrungszeichen ohne Ende"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir.work / "a.dnl"));
}

// Forty jobs, a thread each (in groups that read their badges together),
// where the system cannot give every job a thread: under an address-space
// limit that threads with the default stack (8 MiB each) exceed, and as a
// user whose process limit leaves room for only two threads. The run is the
// same as without the limit, byte for byte: fewer jobs side by side, never
// an abort.
TEST(SiteRun, JobsWithoutRoomForAThreadEachRunAsWithout) {
  std::vector<Job> jobs;
  for (std::size_t i = 0; i < 40; ++i) {
    Job job = kJobs[i % kJobs.size()];
    job.file = std::to_string(i) + "-" + job.file;
    jobs.push_back(job);
  }
  struct Outcome {
    int status = -1;
    std::string out;
    std::vector<std::string> files;
  };
  // Runs the jobs through `prefix` (a program that sets the limit and
  // starts zeprink-site), and takes their files away.
  const auto run = [&jobs](TestSite& dir, std::vector<std::string> prefix,
                           const std::vector<std::string>& extraArgs) {
    { std::ofstream(dir.work / "jobs.txt") << JobFile(jobs); }
    Outcome outcome;
    std::string err;
    const std::string program = prefix.empty() ? ZEPRINK_SITE_BINARY : prefix.front();
    std::vector<std::string> args(prefix.empty() ? prefix.begin() : prefix.begin() + 1, prefix.end());
    if (!prefix.empty()) args.push_back(ZEPRINK_SITE_BINARY);
    args.insert(args.end(), {"jobs.txt", "--quiet"});
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    outcome.status = RunProgram(program, args, dir.work.string(), outcome.out, StdoutMode::kCaptured, &err);
    EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
    for (const Job& job : jobs) {
      outcome.files.push_back(dir.Read(job.file));
      fs::remove(dir.work / job.file);
    }
    return outcome;
  };
  const auto expectSame = [](const Outcome& limited, const Outcome& free, const std::string& what) {
    EXPECT_EQ(limited.status, free.status) << what;
    EXPECT_EQ(limited.out, free.out) << what;
    EXPECT_TRUE(limited.files == free.files) << what;
  };
  const std::vector<std::string> addressSpace = {"/bin/bash", "-c", "ulimit -v 300000 && exec \"$0\" \"$@\""};
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's shadow memory alone is far beyond any such limit.
  constexpr bool kLimitAddressSpace = false;
#else
  constexpr bool kLimitAddressSpace = true;
#endif

  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  {
    TestSite dir(lite.NetService(), "geheim");
    ASSERT_TRUE(dir.ok);
    const Outcome free = run(dir, {}, {});
    EXPECT_EQ(free.status, 255) << "the jobs of terminal NIEMAND fail";
    if (kLimitAddressSpace) expectSame(run(dir, addressSpace, {}), free, "embedded database, ulimit -v");
    // The process limit holds for another user only (root passes it).
    if (geteuid() == 0 && fs::exists("/usr/bin/setpriv")) {
      for (const fs::path& path : {dir.root, fs::path(lite.directory())}) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
          ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
      }
      expectSame(run(dir, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                           "/bin/bash", "-c", "ulimit -u 3 && exec \"$0\" \"$@\""}, {}),
                 free, "embedded database, two threads");
    }
  }
  PgDatabase pg(DemoRows());
  ZX_REQUIRE_PG(pg);
  TestSite dir(pg.NetService(), TestServer().password);
  ASSERT_TRUE(dir.ok);
  const Outcome free = run(dir, {}, {"-j", "3"});
  if (kLimitAddressSpace) expectSame(run(dir, addressSpace, {"-j", "3"}), free, "server, -j 3, ulimit -v");
}

// A change committed by another program while the run waits in its second
// job shows in no file: all jobs read the state of the run's start, also
// the ones that parallel sessions run.
TEST(SiteRun, EveryFileShowsTheStateOfTheRunsStart) {
  PgDatabase pg(DemoRows());
  ZX_REQUIRE_PG(pg);
  TestSite dir(pg.NetService(), TestServer().password);
  ASSERT_TRUE(dir.ok);
  const std::vector<Job> jobs = {{"IDSTAMM", "HAUPTEINGANG", "a.dnl"},
                                 {"MGDNL31P", "WERKSTOR2", "b.dnl"},
                                 {"IDSTAMM", "HAUPTEINGANG", "c.dnl"},
                                 {"MGDNL17P", "HAUPTEINGANG", "d.dnl"}};
  const std::vector<Single> before = SingleRuns(dir, jobs);

  PgConnection locker(pg);
  PgConnection writer(pg);
  ASSERT_TRUE(locker.ok() && writer.ok());
  // MGDNL31P reads the locations: its job waits for this lock.
  ASSERT_EQ(locker.Execute("BEGIN; LOCK TABLE Zdx113Sto IN ACCESS EXCLUSIVE MODE"), "");
  { std::ofstream(dir.work / "jobs.txt") << JobFile(jobs); }
  std::future<int> run = std::async(std::launch::async, [&dir] {
    std::string out;
    return RunProgram(ZEPRINK_SITE_BINARY, {"jobs.txt", "--quiet", "-j", "2"}, dir.work.string(), out);
  });
  // Wait until the run waits for the lock; then every badge is blocked and
  // every right removed, committed, and the lock released.
  bool waiting = false;
  for (int i = 0; i < 600 && !waiting; ++i) {
    waiting = !writer.Value("SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
                            "AND wait_event_type = 'Lock'").empty();
    if (!waiting) std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(waiting) << "the site run never waited for the lock";
  EXPECT_EQ(writer.Execute("UPDATE Zdx301Asw SET AswSta = 4; DELETE FROM MGSST35P"), "");
  EXPECT_EQ(locker.Execute("COMMIT"), "");
  ASSERT_EQ(run.wait_for(120s), std::future_status::ready);
  EXPECT_EQ(run.get(), 0);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_FALSE(before[i].dnl.empty()) << jobs[i].file;
    EXPECT_EQ(dir.Read(jobs[i].file), before[i].dnl) << jobs[i].file;
  }
  // A run after the change sees it.
  const std::vector<Single> after = SingleRuns(dir, {jobs[0]});
  EXPECT_NE(after[0].dnl, before[0].dnl);
}

// Another program commits a new PIN of badge 10001 over and over, from
// before the run's first session exports its state until the run has ended.
// Every session of `-j 4` runs some of eight identical jobs, and every one
// reads the state of the run's start: all files are identical, and equal to
// a single run's file on the state before the changes but for that PIN,
// which is one of the states the program committed.
TEST(SiteRun, ParallelSessionsReadOneStateWhileAnotherProgramCommits) {
  PgDatabase pg(DemoRows());
  ZX_REQUIRE_PG(pg);
  TestSite dir(pg.NetService(), TestServer().password);
  ASSERT_TRUE(dir.ok);
  std::vector<Job> jobs;
  for (int i = 0; i < 8; ++i) jobs.push_back({"IDSTAMM", "HAUPTEINGANG", "j" + std::to_string(i) + ".dnl"});
  const std::string start = SingleRuns(dir, {jobs[0]})[0].dnl;
  // The PIN is 4711 at the start (on each of the badge's lines); the
  // changes give it 0001, 0002, ...
  const std::size_t pin = start.find("\"4711\"");
  ASSERT_NE(pin, std::string::npos) << start;

  PgConnection writer(pg);
  ASSERT_TRUE(writer.ok()) << writer.error();
  ASSERT_EQ(writer.Execute("SET synchronous_commit = off"), "");
  std::atomic<bool> stop{false};
  std::atomic<int> committed{0};
  std::atomic<bool> failed{false};
  std::string changeError;
  std::thread changes([&] {
    for (int k = 1; !stop.load(); ++k) {
      char value[8];
      std::snprintf(value, sizeof value, "%04d", k % 10000);
      changeError = writer.Execute(std::string("UPDATE Zdx301Asw SET AswPin = '") + value +
                                   "' WHERE AswNum = '10001'");
      if (!changeError.empty()) {
        failed.store(true);
        return;
      }
      committed.store(k);
    }
  });
  while (committed.load() == 0 && !failed.load()) std::this_thread::sleep_for(1ms);
  { std::ofstream(dir.work / "jobs.txt") << JobFile(jobs); }
  std::string out;
  const int status =
      RunProgram(ZEPRINK_SITE_BINARY, {"jobs.txt", "--quiet", "-j", "4"}, dir.work.string(), out);
  stop.store(true);
  changes.join();
  ASSERT_EQ(changeError, "");
  EXPECT_EQ(status, 0) << out;

  const std::string first = dir.Read(jobs[0].file);
  for (const Job& job : jobs) EXPECT_EQ(dir.Read(job.file), first) << job.file;
  const std::string found = first.substr(std::min(pin + 1, first.size()), 4);
  EXPECT_TRUE(found.size() == 4 && found.find_first_not_of("0123456789") == std::string::npos) << found;
  std::string expected = start;
  for (std::size_t at = pin; at != std::string::npos; at = expected.find("\"4711\"", at + 1)) {
    expected.replace(at + 1, 4, found);
  }
  EXPECT_EQ(first, expected);
}

}  // namespace
}  // namespace zx::test

// ---------------------------------------------------------------------------
// Keeping the files current (zeprink-site --watch), on both databases: a
// change committed while the watch runs reaches exactly the files it
// affects, and only those are replaced; a change committed during a run is
// picked up by the next; a run that fails keeps every file and the watch
// recovers; SIGTERM in the middle of a run keeps the files and leaves no
// temporary file; the report and the metrics say what the run did.

namespace zx::test {
namespace {

enum class Backend { kSqlite, kPostgres };

// The demo site on one database, with a site directory configured for it.
struct WatchedDb {
  explicit WatchedDb(Backend backend, std::string_view extraRows = {}) {
    const std::string rows = DemoRows() + std::string(extraRows);
    if (backend == Backend::kSqlite) {
      lite = std::make_unique<SqliteDatabase>(rows);
      dir = std::make_unique<TestSite>(lite->NetService(), "geheim");
    } else {
      pg = std::make_unique<PgDatabase>(rows);
      if (pg->ok()) dir = std::make_unique<TestSite>(pg->NetService(), TestServer().password);
    }
  }
  // A change committed by another program; the embedded database may be
  // locked for a moment by the watch's reading.
  std::string Execute(const std::string& sql) const {
    std::string error;
    for (int i = 0; i < 200; ++i) {
      error = lite ? lite->Execute(sql) : pg->Execute("SET search_path TO zardonix; " + sql);
      if (error.find("locked") == std::string::npos && error.find("busy") == std::string::npos) break;
      std::this_thread::sleep_for(50ms);
    }
    return error;
  }
  std::unique_ptr<SqliteDatabase> lite;
  std::unique_ptr<PgDatabase> pg;
  std::unique_ptr<TestSite> dir;
};

// zeprink-site running on its own while the test changes the database.
class WatchProcess {
 public:
  WatchProcess(const TestSite& dir, const std::vector<std::string>& args) : work_(dir.work) {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(work_.c_str()) != 0) _exit(126);
      const int out = ::open("watch.out", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open("watch.err", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      std::vector<char*> argv = {const_cast<char*>(ZEPRINK_SITE_BINARY)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(ZEPRINK_SITE_BINARY, argv.data());
      _exit(127);
    }
  }
  ~WatchProcess() {
    if (pid_ > 0) Stop(SIGKILL);
  }
  // Sends the signal and waits: the exit status, or 1000 + the signal.
  int Stop(int signalNumber) {
    if (pid_ <= 0) return -1;
    if (!ended_) {
      ::kill(pid_, signalNumber);
      while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
    return WIFSIGNALED(status_) ? 1000 + WTERMSIG(status_) : WEXITSTATUS(status_);
  }
  // False once it has ended (its status is then kept for Stop).
  bool Running() {
    if (pid_ <= 0 || ended_) return false;
    ended_ = ::waitpid(pid_, &status_, WNOHANG) == pid_;
    return !ended_;
  }

 private:
  fs::path work_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};

// Waits for `done`, with a deadline far beyond what the machine needs.
bool WaitFor(const std::function<bool()>& done, std::chrono::seconds deadline = 120s) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

// The cycle of the last report (0 before the first).
int ReportedCycle(const TestSite& dir) {
  const std::string report = dir.Read("r.json");
  const std::size_t at = report.find("\"cycle\": ");
  return at == std::string::npos ? 0 : std::atoi(report.c_str() + at + 9);
}

// The report's line of the job on line `line` of the job file.
std::string ReportedJob(const TestSite& dir, int line) {
  const std::string report = dir.Read("r.json");
  const std::size_t at = report.find("{\"line\": " + std::to_string(line) + ",");
  return at == std::string::npos ? std::string() : report.substr(at, report.find('\n', at) - at);
}

struct FileState {
  std::string bytes;
  ino_t inode = 0;
  long long mtimeNs = -1;
};

FileState StateOf(const TestSite& dir, const std::string& name) {
  FileState state;
  state.bytes = dir.Read(name);
  struct stat info {};
  if (::stat((dir.work / name).c_str(), &info) == 0) {
    state.inode = info.st_ino;
    state.mtimeNs = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
  }
  return state;
}

std::vector<std::string> TemporaryFiles(const TestSite& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir.work)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp") != std::string::npos) found.push_back(name);
  }
  return found;
}

void WriteScript(const TestSite& dir, const std::string& name, const std::string& body) {
  { std::ofstream(dir.work / name) << "#!/bin/sh\n" << body; }
  fs::permissions(dir.work / name, fs::perms::owner_all);
}

// The jobs of the watch: KANTINE's two files depend on its access rights,
// the others do not.
const std::vector<Job> kWatchJobs = {{"IDSTAMM", "HAUPTEINGANG", "a.dnl"},
                                     {"IDSTAMM", "KANTINE", "b.dnl"},
                                     {"MGDNL60P", "KANTINE", "c.dnl"},
                                     {"MGDNL31P", "WERKSTOR2", "d.dnl"}};
constexpr int kFirstJobLine = 3;  // JobFile starts with a comment and a blank line
const std::vector<std::string> kWatchArgs = {"jobs.txt", "--watch", "--settle", "0.2",
                                             "--interval", "0.2", "--report", "r.json",
                                             "--metrics", "m.prom", "--on-change", "./hook.sh"};
const char kBlockKantine40[] = "DELETE FROM MGSST35P WHERE M35Trm = 'KANTINE' AND M35Bkl = '40'";

class SiteWatch : public ::testing::TestWithParam<Backend> {};

#define ZX_WATCHED_DB(db)                                   \
  if ((db).pg) ZX_REQUIRE_PG(*(db).pg);                     \
  ASSERT_TRUE((db).lite == nullptr || (db).lite->ok());     \
  ASSERT_TRUE((db).dir && (db).dir->ok)

TEST_P(SiteWatch, AChangeReachesExactlyTheFilesItAffectsAndTheReportSaysSo) {
  WatchedDb db(GetParam());
  ZX_WATCHED_DB(db);
  TestSite& dir = *db.dir;
  // A job that appends would grow its file every run: refused, naming it.
  { std::ofstream(dir.work / "jobs.txt") << JobFile(kWatchJobs) << "IDSTAMM KANTINE e.dnl 0\n"; }
  std::string out;
  std::string err;
  EXPECT_EQ(RunProgram(ZEPRINK_SITE_BINARY, {"jobs.txt", "--watch"}, dir.work.string(), out,
                       StdoutMode::kCaptured, &err),
            255);
  EXPECT_NE(err.find("Zeile 7: Modus \"0\""), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir.work / "a.dnl"));

  { std::ofstream(dir.work / "jobs.txt") << JobFile(kWatchJobs); }
  WriteScript(dir, "hook.sh", "echo \"$1 $2 $3\" >> hook.log\n");
  WatchProcess watch(dir, kWatchArgs);
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 1; })) << dir.Read("watch.err");
  EXPECT_EQ(dir.Read("hook.log"),
            "HAUPTEINGANG IDSTAMM a.dnl\nKANTINE IDSTAMM b.dnl\nKANTINE MGDNL60P c.dnl\n"
            "WERKSTOR2 MGDNL31P d.dnl\n");
  std::vector<FileState> before;
  for (const Job& job : kWatchJobs) before.push_back(StateOf(dir, job.file));
  fs::remove(dir.work / "hook.log");

  ASSERT_EQ(db.Execute(kBlockKantine40), "");
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 2; })) << dir.Read("watch.err");
  // Nothing changes after that: no file written (checked below), and on
  // the embedded database no further run (a server also runs the site when
  // other databases of it change and its statistics stay silent for long).
  std::this_thread::sleep_for(1500ms);
  if (GetParam() == Backend::kSqlite) {
    EXPECT_EQ(ReportedCycle(dir), 2);
  }

  const std::vector<Single> singles = SingleRuns(dir, kWatchJobs);
  const std::string metrics = dir.Read("m.prom");
  std::string changedHooks;
  int changed = 0;
  for (std::size_t i = 0; i < kWatchJobs.size(); ++i) {
    const Job& job = kWatchJobs[i];
    const FileState now = StateOf(dir, job.file);
    ASSERT_EQ(singles[i].status, 0) << job.file;
    EXPECT_EQ(now.bytes, singles[i].dnl) << job.file;
    const bool differs = now.bytes != before[i].bytes;
    if (differs) {
      ++changed;
      changedHooks += job.terminal + " " + job.function + " " + job.file + "\n";
      EXPECT_NE(now.inode, before[i].inode) << job.file;
    } else {
      EXPECT_EQ(now.inode, before[i].inode) << job.file << ": an equal file is left as it was";
      EXPECT_EQ(now.mtimeNs, before[i].mtimeNs) << job.file;
    }
    // The report: the job's figures as its own run prints and writes them.
    const std::string reported = ReportedJob(dir, kFirstJobLine + static_cast<int>(i));
    const std::size_t count = singles[i].out.find("Ausweise gesamt: ");
    ASSERT_NE(count, std::string::npos);
    const int badgesRead = std::atoi(singles[i].out.c_str() + count + 17);
    const std::size_t records =
        job.function == "IDSTAMM" ? static_cast<std::size_t>(std::count(now.bytes.begin(), now.bytes.end(), '\n'))
                                  : now.bytes.size() / (job.function == "MGDNL60P" ? 45 : 48);
    EXPECT_NE(reported.find("\"exit_status\": 0, \"reason\": \"\", \"badges_read\": " +
                            std::to_string(badgesRead) + ","),
              std::string::npos)
        << reported;
    EXPECT_NE(reported.find("\"records_written\": " + std::to_string(records) + ", \"file_changed\": " +
                            (differs ? "true" : "false")),
              std::string::npos)
        << reported;
    const std::string labels =
        "{function=\"" + job.function + "\",terminal=\"" + job.terminal + "\",path=\"" + job.file + "\"}";
    EXPECT_NE(metrics.find("zeprink_job_file_changed" + labels + (differs ? " 1\n" : " 0\n")),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("zeprink_job_success" + labels + " 1\n"), std::string::npos);
    EXPECT_NE(metrics.find("zeprink_job_badges_read" + labels + " " + std::to_string(badgesRead) + "\n"),
              std::string::npos);
  }
  EXPECT_GE(changed, 1);
  EXPECT_LT(changed, static_cast<int>(kWatchJobs.size()));
  EXPECT_EQ(dir.Read("hook.log"), changedHooks);
  EXPECT_NE(metrics.find("zeprink_watch_cycles_total " + std::to_string(ReportedCycle(dir)) + "\n"),
            std::string::npos)
      << metrics;

  EXPECT_EQ(watch.Stop(SIGTERM), 1000 + SIGTERM);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

TEST_P(SiteWatch, AChangeCommittedDuringARunIsPickedUpByTheNext) {
  WatchedDb db(GetParam());
  ZX_WATCHED_DB(db);
  TestSite& dir = *db.dir;
  { std::ofstream(dir.work / "jobs.txt") << JobFile(kWatchJobs); }
  // While "block" exists, the command for a changed file holds the run.
  WriteScript(dir, "hook.sh",
              "if [ -e block ]; then : > started; while [ ! -e go ]; do sleep 0.02; done; "
              "rm -f block; fi\n");
  WatchProcess watch(dir, kWatchArgs);
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 1; })) << dir.Read("watch.err");
  const std::string werkstor = dir.Read("d.dnl");
  { std::ofstream(dir.work / "block"); }
  ASSERT_EQ(db.Execute(kBlockKantine40), "");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(dir.work / "started"); })) << dir.Read("watch.err");
  // The run of the first change is still going on: this one is not in it.
  ASSERT_EQ(db.Execute("DELETE FROM MGSST35P WHERE M35Trm = 'WERKSTOR2'"), "");
  { std::ofstream(dir.work / "go"); }
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 2; }));
  EXPECT_EQ(dir.Read("d.dnl"), werkstor);
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 3; })) << dir.Read("watch.err");
  const std::vector<Single> singles = SingleRuns(dir, kWatchJobs);
  for (std::size_t i = 0; i < kWatchJobs.size(); ++i) {
    EXPECT_EQ(dir.Read(kWatchJobs[i].file), singles[i].dnl) << kWatchJobs[i].file;
  }
  EXPECT_NE(dir.Read("d.dnl"), werkstor);
  EXPECT_EQ(watch.Stop(SIGTERM), 1000 + SIGTERM);
}

TEST_P(SiteWatch, AFailingRunKeepsTheFilesAndTheWatchRecovers) {
  WatchedDb db(GetParam());
  ZX_WATCHED_DB(db);
  TestSite& dir = *db.dir;
  { std::ofstream(dir.work / "jobs.txt") << JobFile(kWatchJobs); }
  WriteScript(dir, "hook.sh", "exit 3\n");
  WatchProcess watch(dir, kWatchArgs);
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 1; })) << dir.Read("watch.err");
  // The command's failure is reported and stops nothing.
  EXPECT_NE(dir.Read("watch.err").find("zeprink: Zeile 3: --on-change ./hook.sh endete mit Status 3"),
            std::string::npos)
      << dir.Read("watch.err");
  const FileState kantine = StateOf(dir, "b.dnl");

  // A second valid row of the terminal: its jobs fail, the others go on.
  ASSERT_EQ(db.Execute("INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) "
                       "VALUES ('KANTINE', '7600-000', 'MS01', 1, 1, 11, NULL)"),
            "");
  int failedCycle = 0;
  ASSERT_TRUE(WaitFor([&] {
    if (ReportedJob(dir, 4).find("\"exit_status\": 255") == std::string::npos) return false;
    failedCycle = ReportedCycle(dir);
    return true;
  })) << dir.Read("watch.err");
  EXPECT_NE(ReportedJob(dir, 4).find("\"reason\": \"Terminal KANTINE hat mehr als eine gueltige Zeile"),
            std::string::npos)
      << ReportedJob(dir, 4);
  // Tried again without a further change, and the old file stays.
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) > failedCycle; }));
  const FileState kept = StateOf(dir, "b.dnl");
  EXPECT_EQ(kept.bytes, kantine.bytes);
  EXPECT_EQ(kept.inode, kantine.inode);
  const std::string err = dir.Read("watch.err");
  EXPECT_NE(err.find("zeprink: fehlgeschlagen: Zeile 4: IDSTAMM KANTINE b.dnl 1"), std::string::npos) << err;
  EXPECT_NE(err.find("zeprink: Ueberwachung: naechster Versuch in "), std::string::npos) << err;

  ASSERT_EQ(db.Execute("DELETE FROM Zdx1140Trm WHERE TrmNam = 'KANTINE' AND TrmLiz = 11"), "");
  // The metrics file is written after the report.
  const std::string labels = "{function=\"IDSTAMM\",terminal=\"KANTINE\",path=\"b.dnl\"}";
  ASSERT_TRUE(WaitFor([&] {
    return dir.Read("r.json").find("\"jobs_failed\": 0,") != std::string::npos &&
           dir.Read("m.prom").find("zeprink_job_success" + labels + " 1\n") != std::string::npos;
  })) << dir.Read("watch.err");
  const std::string metrics = dir.Read("m.prom");
  EXPECT_EQ(metrics.find("zeprink_job_failures_total" + labels + " 0\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("zeprink_job_failures_total{function=\"IDSTAMM\",terminal=\"HAUPTEINGANG\",path="
                         "\"a.dnl\"} 0\n"),
            std::string::npos)
      << metrics;
  EXPECT_EQ(dir.Read("b.dnl"), kantine.bytes);
  EXPECT_TRUE(watch.Running());
  EXPECT_EQ(watch.Stop(SIGINT), 1000 + SIGINT);
}

TEST_P(SiteWatch, SigtermDuringARunKeepsTheFilesAndLeavesNoTemporaryFile) {
  // Enough badges that a run takes a while.
  WatchedDb db(GetParam(),
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
               "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswLiz, AswMnd) "
               "SELECT CAST(500000 + i AS VARCHAR(20)), '2020-01-01 00:00:00', '2040-12-31 00:00:00', "
               "CAST(i AS VARCHAR(20)), '10', 10, 1 FROM n;\n");
  ZX_WATCHED_DB(db);
  TestSite& dir = *db.dir;
  { std::ofstream(dir.work / "jobs.txt") << JobFile(kWatchJobs); }
  for (const Job& job : kWatchJobs) std::ofstream(dir.work / job.file) << "old " << job.file;
  WatchProcess watch(dir, {"jobs.txt", "--watch", "--settle", "0.2", "--interval", "0.2"});
  ASSERT_TRUE(WaitFor([&] { return !TemporaryFiles(dir).empty(); }, 60s)) << dir.Read("watch.err");
  EXPECT_EQ(watch.Stop(SIGTERM), 1000 + SIGTERM);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
  // Each file is the old one or the whole new one, never a part.
  const std::vector<Single> singles = SingleRuns(dir, kWatchJobs);
  int kept = 0;
  for (std::size_t i = 0; i < kWatchJobs.size(); ++i) {
    const std::string now = dir.Read(kWatchJobs[i].file);
    if (now == "old " + kWatchJobs[i].file) {
      ++kept;
    } else {
      EXPECT_EQ(now, singles[i].dnl) << kWatchJobs[i].file;
    }
  }
  EXPECT_GE(kept, 1);
}

// The one end of a watch besides a signal: its configuration gone.
TEST_P(SiteWatch, EndsWhenTheConfigurationCannotBeRead) {
  WatchedDb db(GetParam());
  ZX_WATCHED_DB(db);
  TestSite& dir = *db.dir;
  { std::ofstream(dir.work / "jobs.txt") << JobFile(kWatchJobs); }
  WatchProcess watch(dir, {"jobs.txt", "--watch", "--settle", "0.2", "--interval", "0.2", "--report", "r.json"});
  ASSERT_TRUE(WaitFor([&] { return ReportedCycle(dir) >= 1; })) << dir.Read("watch.err");
  const std::string kantine = dir.Read("b.dnl");
  fs::remove(dir.root / "files" / "morvalent.ini");
  ASSERT_EQ(db.Execute(kBlockKantine40), "");
  ASSERT_TRUE(WaitFor([&] { return !watch.Running(); })) << dir.Read("watch.err");
  EXPECT_EQ(watch.Stop(SIGTERM), 255);
  EXPECT_NE(dir.Read("watch.err").find("zeprink: Ueberwachung beendet: Konfigurationsdatei "), std::string::npos)
      << dir.Read("watch.err");
  EXPECT_EQ(dir.Read("b.dnl"), kantine);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

// A single run's report: standard output as ever, the figures of the run,
// and the metrics carry the last success over a failed run.
TEST_P(SiteWatch, TheReportOfASingleRunMatchesTheRun) {
  WatchedDb db(GetParam());
  ZX_WATCHED_DB(db);
  TestSite& dir = *db.dir;
  std::string plain;
  ASSERT_EQ(RunProgram(ZEPRINK_BINARY, {"IDSTAMM", "KANTINE", "plain.dnl", "1"}, dir.work.string(), plain), 0);
  std::string out;
  ASSERT_EQ(RunProgram(ZEPRINK_BINARY,
                       {"--report", "r.json", "--metrics", "m.prom", "IDSTAMM", "KANTINE", "k.dnl", "1"},
                       dir.work.string(), out),
            0);
  EXPECT_EQ(out, plain);
  const std::string dnl = dir.Read("k.dnl");
  const std::string report = dir.Read("r.json");
  const std::size_t count = out.find("Ausweise gesamt: ");
  ASSERT_NE(count, std::string::npos);
  EXPECT_NE(report.find("\"function\": \"IDSTAMM\", \"terminal\": \"KANTINE\", \"path\": \"k.dnl\", "
                        "\"exit_status\": 0, \"reason\": \"\", \"badges_read\": " +
                        std::to_string(std::atoi(out.c_str() + count + 17)) + ", \"badges_written\": " +
                        std::to_string(std::atoi(out.c_str() + out.find("gestellt: ") + 10)) +
                        ", \"records_written\": " +
                        std::to_string(std::count(dnl.begin(), dnl.end(), '\n')) +
                        ", \"file_changed\": true"),
            std::string::npos)
      << report;
  const std::string labels = "{function=\"IDSTAMM\",terminal=\"KANTINE\",path=\"k.dnl\"}";
  const std::string lastSuccess = "zeprink_job_last_success_timestamp_seconds" + labels + " ";
  std::string metrics = dir.Read("m.prom");
  const std::size_t at = metrics.find(lastSuccess);
  ASSERT_NE(at, std::string::npos) << metrics;
  const std::string when = metrics.substr(at, metrics.find('\n', at) - at);

  // The same job failing (a database that went away): 255, its reason in
  // the report, the last success kept, one failure counted.
  fs::remove(dir.root / "files" / "morvalent.ini");
  std::string failedOut;
  EXPECT_EQ(RunProgram(ZEPRINK_BINARY,
                       {"--report", "r.json", "--metrics", "m.prom", "IDSTAMM", "KANTINE", "k.dnl", "1"},
                       dir.work.string(), failedOut),
            255);
  EXPECT_NE(dir.Read("r.json").find("\"exit_status\": 255, \"reason\": \"Konfigurationsdatei "),
            std::string::npos)
      << dir.Read("r.json");
  metrics = dir.Read("m.prom");
  EXPECT_NE(metrics.find(when + "\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("zeprink_job_failures_total" + labels + " 1\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("zeprink_job_success" + labels + " 0\n"), std::string::npos) << metrics;
  EXPECT_EQ(dir.Read("k.dnl"), dnl);
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, SiteWatch,
                         ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         [](const ::testing::TestParamInfo<Backend>& param) {
                           return param.param == Backend::kSqlite ? "Sqlite" : "Postgres";
                         });

}  // namespace
}  // namespace zx::test
