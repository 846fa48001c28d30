#include "driver/shared_scan.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>
#include <vector>

#include "base/fixed_text.h"
#include "base/thread.h"
#include "queries/badge_lookups.h"
#include "queries/statements.h"

namespace zx {

namespace {

// The per-badge lookups, whose answers the jobs of a scan share.
std::vector<std::string_view> PerBadgeLookups() {
  std::vector<std::string_view> statements;
  for (const BadgeLookupInfo& info : BadgeLookupTable()) statements.push_back(info.statement);
  return statements;
}

class Scan;

// One badge cursor and the jobs that read it.
struct Stream {
  bool filtered = false;
  std::string terminalName;   // of a filtered cursor
  TerminalParams terminal{};  // as the first job asked for it
  BadgeLookups lookups;       // what any of its jobs looks up
  bool opened = false;
  BadgeCursor cursor;
  int32_t openCode = sqlcode::kOk;
  std::vector<BadgeRecord> chunk;
  std::size_t rows = 0;        // rows of the chunk
  int32_t endCode = sqlcode::kOk;  // after the chunk: 0 more rows follow, else the FETCH's code
  SqlStatus endStatus;             // the session's status of a failed OPEN or FETCH
  std::string_view statement;      // the cursor's statement, for a failure
  std::string lastNumber;          // the last badge number read
  bool readAny = false;
  std::vector<std::size_t> readers;  // the jobs reading it (until they close)
};

enum class JobState { NotStarted, Runnable, WaitingOpen, WaitingRows, Running, Done };

class JobFeed final : public ScanFeed {
 public:
  JobFeed(Scan& scan, std::size_t job) : scan_(scan), job_(job) {}
  int32_t Open(const TerminalParams& terminal, const BadgeLookups& lookups) override;
  int32_t Fetch(BadgeRecord& record) override;
  int32_t Close() override;
  void OnResume(std::function<void()> resume) override { resume_ = std::move(resume); }
  void Resumed() const {
    if (resume_) resume_();
  }

 private:
  Scan& scan_;
  std::size_t job_;
  std::function<void()> resume_;
};

struct Job {
  JobState state = JobState::NotStarted;
  std::binary_semaphore turn{0};
  Stream* stream = nullptr;
  std::size_t at = 0;  // the next row of the stream's chunk
  std::unique_ptr<JobFeed> feed;
  Thread thread;  // none for the first job: it runs on the caller's thread
};

class Scan {
 public:
  Scan(SqlSession& session, std::size_t jobs) : session_(session), jobs_(jobs) {
    for (std::size_t j = 0; j < jobs; ++j) jobs_[j].feed = std::make_unique<JobFeed>(*this, j);
  }

  // Returns how many jobs ran, from the first on; the jobs after them could
  // not get a thread.
  std::size_t Run(const std::function<void(std::size_t, ScanFeed&)>& runJob) {
    if (jobs_.empty()) return 0;
    // The first job runs on this thread, every other on a thread of its own.
    // Where the system cannot start one, the scan goes on with the jobs that
    // have one: the rest are left to the caller.
    std::size_t started = 1;
    while (started < jobs_.size() &&
           jobs_[started].thread.Start([this, started, &runJob] { RunJob(started, runJob); })) {
      ++started;
    }
    for (std::size_t j = started; j < jobs_.size(); ++j) jobs_[j].state = JobState::Done;
    session_.ShareAnswers(PerBadgeLookups(), kScanSharedAnswers);
    if (started > 1) session_.ReservePageCache(kScanPageCacheBytes);
    // The first turn; the last job to end wakes this thread.
    Give(Schedule());
    RunJob(0, runJob);
    done_.acquire();
    for (Job& job : jobs_) job.thread.Join();
    session_.StopSharingAnswers();
    return started;
  }

  int32_t Open(std::size_t j, const TerminalParams& terminal, const BadgeLookups& lookups) {
    Job& job = jobs_[j];
    if (job.stream != nullptr) Leave(j, true);  // a re-OPEN closes first
    const bool filtered = terminal.TfzCount > 0;
    const std::string name(filtered ? FieldText(terminal.TrmNam) : std::string_view());
    Stream* stream = nullptr;
    for (const auto& candidate : streams_) {
      if (!candidate->opened && candidate->filtered == filtered && candidate->terminalName == name) {
        stream = candidate.get();
        break;
      }
    }
    if (stream == nullptr) {
      stream = streams_.emplace_back(std::make_unique<Stream>()).get();
      stream->filtered = filtered;
      stream->terminalName = name;
      stream->terminal = terminal;
      stream->statement = filtered ? statements::kBadgeCursorAssigned : statements::kBadgeCursorAll;
    }
    stream->lookups.Add(lookups);
    stream->readers.push_back(j);
    job.stream = stream;
    job.at = 0;
    job.state = JobState::WaitingOpen;
    Yield(j);
    if (stream->openCode < 0) session_.ReplayFailure(stream->endStatus, stream->statement);
    return stream->openCode;
  }

  int32_t Fetch(std::size_t j, BadgeRecord& record) {
    Job& job = jobs_[j];
    Stream* stream = job.stream;
    // Rows of a cursor whose OPEN failed, or after the CLOSE: none.
    if (stream == nullptr || stream->openCode != sqlcode::kOk) return sqlcode::kInvalidCursor;
    while (job.at >= stream->rows) {
      if (stream->endCode != sqlcode::kOk) {
        if (stream->endCode < 0) session_.ReplayFailure(stream->endStatus, stream->statement);
        return stream->endCode;
      }
      job.state = JobState::WaitingRows;
      Yield(j);
    }
    record = stream->chunk[job.at++];
    return sqlcode::kOk;
  }

  int32_t Close(std::size_t j) {
    if (jobs_[j].stream == nullptr) return sqlcode::kInvalidCursor;
    Leave(j, true);
    return sqlcode::kOk;
  }

 private:
  // A job's thread: it waits for its first turn and gives the turn on at its end.
  void RunJob(std::size_t j, const std::function<void(std::size_t, ScanFeed&)>& runJob) {
    Job& job = jobs_[j];
    job.turn.acquire();
    runJob(j, *job.feed);
    // A job that ended without closing its rows gives them up now.
    if (job.stream != nullptr) Leave(j, false);
    job.state = JobState::Done;
    session_.SetFailureObserver(nullptr);  // the job's observer goes with it
    PassOn(j);
  }

  // The job no longer reads its stream; the last reader closes the cursor.
  // `goesOn`: the job runs on (its failure observer comes back after the CLOSE).
  void Leave(std::size_t j, bool goesOn) {
    Stream* stream = jobs_[j].stream;
    jobs_[j].stream = nullptr;
    std::erase(stream->readers, j);
    if (!stream->readers.empty() || !stream->opened) return;
    session_.SetFailureObserver(nullptr);
    CloseBadgeCursor(stream->cursor);
    if (goesOn) jobs_[j].feed->Resumed();
    std::erase_if(streams_, [stream](const auto& s) { return s.get() == stream; });
  }

  // The job gives way and waits for its turn (at once when it is next).
  void Yield(std::size_t j) {
    const std::optional<std::size_t> next = Schedule();
    if (next != j) {
      Give(next);
      jobs_[j].turn.acquire();
    }
    jobs_[j].state = JobState::Running;
    jobs_[j].feed->Resumed();
  }

  // The ending job gives the turn to the next one.
  void PassOn(std::size_t) { Give(Schedule()); }

  void Give(std::optional<std::size_t> next) {
    if (next) {
      jobs_[*next].turn.release();
    } else {
      done_.release();
    }
  }

  // Whose turn it is next: a job not yet started, then one that can go on;
  // else the cursors waiting for their OPEN are opened, or the chunk of the
  // cursor furthest behind in badge numbers whose readers all wait is read.
  // None when every job has ended.
  std::optional<std::size_t> Schedule() {
    for (std::size_t j = 0; j < jobs_.size(); ++j) {
      if (jobs_[j].state == JobState::NotStarted) {
        jobs_[j].state = JobState::Runnable;
        return j;
      }
    }
    if (!runnable_.empty()) {
      const std::size_t j = runnable_.front();
      runnable_.pop_front();
      return j;
    }
    session_.SetFailureObserver(nullptr);  // the scan's own statements are no job's
    for (const auto& stream : streams_) {
      if (!stream->opened) OpenStream(*stream);
    }
    if (!runnable_.empty()) return Schedule();

    Stream* behind = nullptr;
    for (const auto& stream : streams_) {
      if (stream->endCode != sqlcode::kOk || stream->readers.empty()) continue;
      bool allWaiting = true;
      for (const std::size_t reader : stream->readers) {
        allWaiting = allWaiting && jobs_[reader].state == JobState::WaitingRows;
      }
      if (!allWaiting) continue;
      if (behind == nullptr || !stream->readAny ||
          (behind->readAny && stream->lastNumber < behind->lastNumber)) {
        behind = stream.get();
        if (!stream->readAny) break;
      }
    }
    if (behind != nullptr) {
      ReadChunk(*behind);
      return Schedule();
    }
    return std::nullopt;
  }

  void OpenStream(Stream& stream) {
    stream.opened = true;
    stream.openCode = OpenBadgeCursor(session_, stream.cursor, stream.terminal, stream.lookups);
    stream.endStatus = session_.LastStatus();
    if (stream.openCode != sqlcode::kOk) stream.endCode = sqlcode::kInvalidCursor;
    for (const std::size_t reader : stream.readers) MakeRunnable(reader);
  }

  void ReadChunk(Stream& stream) {
    if (stream.chunk.empty()) stream.chunk.resize(kScanChunkRows);
    stream.rows = 0;
    while (stream.rows < stream.chunk.size()) {
      BadgeRecord& record = stream.chunk[stream.rows];
      ClearBadgeRecord(record);
      const int32_t code = FetchBadge(stream.cursor, record);
      if (code != sqlcode::kOk) {
        stream.endCode = code;
        stream.endStatus = session_.LastStatus();
        break;
      }
      ++stream.rows;
    }
    if (stream.rows > 0) {
      stream.lastNumber.assign(FieldText(stream.chunk[stream.rows - 1].AswNum));
      stream.readAny = true;
    }
    for (const std::size_t reader : stream.readers) {
      jobs_[reader].at = 0;
      MakeRunnable(reader);
    }
  }

  void MakeRunnable(std::size_t j) {
    jobs_[j].state = JobState::Runnable;
    runnable_.push_back(j);
  }

  SqlSession& session_;
  std::vector<Job> jobs_;
  std::vector<std::unique_ptr<Stream>> streams_;
  std::deque<std::size_t> runnable_;
  std::binary_semaphore done_{0};
};

int32_t JobFeed::Open(const TerminalParams& terminal, const BadgeLookups& lookups) {
  return scan_.Open(job_, terminal, lookups);
}
int32_t JobFeed::Fetch(BadgeRecord& record) { return scan_.Fetch(job_, record); }
int32_t JobFeed::Close() { return scan_.Close(job_); }

}  // namespace

std::size_t RunSharedScan(SqlSession& session, std::size_t jobs,
                          const std::function<void(std::size_t job, ScanFeed& feed)>& runJob) {
  Scan scan(session, jobs);
  return scan.Run(runJob);
}

}  // namespace zx
