// zeprink-site seen from outside: every job's file and messages equal those
// of its own zeprink run on the same database, on both databases and with
// parallel sessions on the server, also when a job in the middle fails; and
// every file shows one state of the database, even when another program
// commits a change while the run goes on, or keeps committing changes while
// its parallel sessions connect.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
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
