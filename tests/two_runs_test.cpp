// Two runs in one process: two sessions, two run contexts, two DNL
// functions for two terminals, their writes interleaved one by one on two
// threads. Each run's file and messages equal those of the same run alone,
// so nothing of one run reaches the other.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "base/diagnostics.h"
#include "queries/terminal_lookup.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx::test {
namespace {

// Hands the turn to write back and forth between two runs; a run that has
// ended no longer holds the other one up.
class Baton {
 public:
  void Wait(int me) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return turn_ == me || done_[1 - me]; });
  }
  void Pass(int me) {
    std::lock_guard<std::mutex> lock(mutex_);
    turn_ = 1 - me;
    changed_.notify_all();
  }
  void Finish(int me) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[me] = true;
    turn_ = 1 - me;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int turn_ = 0;
  bool done_[2] = {false, false};
};

// A sink whose every write waits for this run's turn and then gives the
// turn to the other run.
class AlternatingSink final : public DnlSink {
 public:
  AlternatingSink(Baton& baton, int me, std::string path)
      : baton_(baton), me_(me), path_(std::move(path)) {}
  bool Write(std::string_view bytes) override {
    baton_.Wait(me_);
    bytes_.append(bytes);
    ++writes_;
    baton_.Pass(me_);
    return true;
  }
  const std::string& Path() const override { return path_; }
  const std::string& Bytes() const { return bytes_; }
  int Writes() const { return writes_; }

 private:
  Baton& baton_;
  int me_;
  std::string path_;
  std::string bytes_;
  int writes_ = 0;
};

struct Job {
  const char* function;
  Writer writer;
  const char* terminal;
};

struct Outcome {
  int result = -1;
  std::string dnl;
  std::string messages;
};

// One run as the driver makes it, on a session of its own.
template <typename Sink>
Outcome RunJob(const SqliteDatabase& db, const Job& job, Sink& sink) {
  Outcome outcome;
  SqlSession session;
  if (db.Connect(session) != 0) return outcome;
  std::string reasons;
  Diagnostics diagnostics(&outcome.messages, &reasons, true);
  const TerminalParams terminal = ReadTestTerminal(session, job.terminal);
  RunContext run{session, sink, diagnostics};
  outcome.result = job.writer(run, terminal);
  outcome.dnl = sink.Bytes();
  return outcome;
}

TEST(TwoRuns, InterleavedRunsWriteWhatEachWritesAlone) {
  SqliteDatabase db(SourceFile("schema/demo_data.sql"));
  ASSERT_TRUE(db.ok()) << db.error();
  const struct {
    Job first;
    Job second;
  } pairs[] = {
      {{"MGDNL17P", CreateMgDnl17P, "HAUPTEINGANG"}, {"MGDNL31P", CreateMgDnl31P, "WERKSTOR2"}},
      {{"IDSTAMM", CreateIdStamm, "HAUPTEINGANG"}, {"MGDNL60P", CreateMgDnl60P, "KANTINE"}},
      {{"MGDNL18P", CreateMgDnl18P, "HAUPTEINGANG"}, {"IDSTAMM", CreateIdStamm, "KANTINE"}},
  };
  for (const auto& pair : pairs) {
    const std::string what = std::string(pair.first.function) + " " + pair.first.terminal +
                             " with " + pair.second.function + " " + pair.second.terminal;
    StringSink aloneFirst("first.dnl");
    StringSink aloneSecond("second.dnl");
    const Outcome expectedFirst = RunJob(db, pair.first, aloneFirst);
    const Outcome expectedSecond = RunJob(db, pair.second, aloneSecond);
    ASSERT_EQ(expectedFirst.result, 1) << what << expectedFirst.messages;
    ASSERT_EQ(expectedSecond.result, 1) << what << expectedSecond.messages;
    ASSERT_FALSE(expectedFirst.dnl.empty()) << what;
    ASSERT_FALSE(expectedSecond.dnl.empty()) << what;

    Baton baton;
    AlternatingSink sinkFirst(baton, 0, "first.dnl");
    AlternatingSink sinkSecond(baton, 1, "second.dnl");
    Outcome first;
    Outcome second;
    std::thread other([&] {
      second = RunJob(db, pair.second, sinkSecond);
      baton.Finish(1);
    });
    first = RunJob(db, pair.first, sinkFirst);
    baton.Finish(0);
    other.join();

    EXPECT_GT(sinkFirst.Writes(), 1) << what;
    EXPECT_GT(sinkSecond.Writes(), 1) << what;
    EXPECT_EQ(first.result, 1) << what;
    EXPECT_EQ(second.result, 1) << what;
    EXPECT_EQ(first.dnl, expectedFirst.dnl) << what;
    EXPECT_EQ(second.dnl, expectedSecond.dnl) << what;
    EXPECT_EQ(first.messages, expectedFirst.messages) << what;
    EXPECT_EQ(second.messages, expectedSecond.messages) << what;
  }
}

}  // namespace
}  // namespace zx::test
