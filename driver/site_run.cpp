#include "driver/site_run.h"

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "base/thread.h"
#include "driver/on_change.h"
#include "driver/run_job.h"
#include "driver/shared_scan.h"
#include "driver/signal_cleanup.h"
#include "sql/session.h"

namespace zx {

namespace {

constexpr int kFailed = -1;
// Jobs that read their badges together at most (a thread each).
constexpr std::size_t kMaxJobsPerScan = 64;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// What a job left for the output: its messages and reasons, and its result.
// The messages wait in an unnamed temporary file while the job runs (the
// jobs of a group run side by side, and with /d a job prints a line per
// badge); in a string where no temporary file can be made.
struct Outcome {
  bool done = false;
  int status = kFailed;
  std::string messages;
  std::unique_ptr<std::FILE, FileCloser> spool;
  std::string reasons;
  JobFigures figures;
  double seconds = 0;
};

// The shared state of a site run: the next job to take, the outcomes, and
// the printing of the outcomes in the order of the file.
class Site {
 public:
  Site(const std::vector<SiteJob>& jobs, std::FILE* messages, std::FILE* reasons)
      : jobs_(jobs), outcomes_(jobs.size()), messages_(messages), reasons_(reasons) {}

  // The index of the next job to run; false when none is left.
  bool Take(std::size_t& index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= jobs_.size()) return false;
    index = next_++;
    running_ = jobs_[index].Name();
    return true;
  }

  // The next jobs to run, at most `count`; false when none is left.
  bool TakeGroup(std::size_t count, std::vector<std::size_t>& group) {
    std::lock_guard<std::mutex> lock(mutex_);
    group.clear();
    while (group.size() < count && next_ < jobs_.size()) group.push_back(next_++);
    if (group.empty()) return false;
    running_ = jobs_[group.front()].Name();
    return true;
  }

  // Keeps a job's outcome and prints every outcome that is next in order.
  void Finish(std::size_t index, Outcome outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome.done = true;
    outcomes_[index] = std::move(outcome);
    ++finished_;
    while (printed_ < outcomes_.size() && outcomes_[printed_].done) Print(printed_++);
  }

  // Runs `job` on a session: the messages of one job, as its own run prints them.
  // With `feed`, the job reads its badges from it and takes turns with the
  // other jobs of the feed's scan.
  Outcome RunOne(SqlSession& session, const RunSettings& settings, const SiteJob& job,
                 bool verbose, ScanFeed* feed) {
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    outcome.spool.reset(std::tmpfile());
    Diagnostics out = outcome.spool ? Diagnostics(outcome.spool.get(), &outcome.reasons, verbose)
                                    : Diagnostics(&outcome.messages, &outcome.reasons, verbose);
    StatementFailure failure;
    WatchStatements(session, &out, &failure);
    if (feed != nullptr) feed->OnResume([&] { WatchStatements(session, &out, &failure); });
    JobRequest request;
    std::string function = job.function;
    ToUpper(function.data());
    request.function = FindDnlFunction(function);
    FillTerminalParamsWithZeros(request.terminal);
    SetField(request.terminal.TrmNam, job.terminal);
    request.dnlPath = job.dnlPath;
    request.newFile = ModeWritesNew(job.mode);
    if (const std::string warning = ModeWarning(job.mode); !warning.empty()) {
      out.Reason("%s", warning.c_str());
    }
    request.rowsRead = &rowsRead_;
    request.badges = feed;
    request.keepEqualFile = true;
    request.figures = &outcome.figures;
    outcome.status = request.function == nullptr ? kFailed
                                                 : RunJob(out, session, settings, request, failure);
    if (feed != nullptr) feed->OnResume(nullptr);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
  }

  // The job's messages of a session that could not connect.
  void FailAll(const std::string& messages, const std::string& reasons) {
    for (std::size_t index = 0;; ) {
      if (!Take(index)) return;
      Finish(index, Outcome{true, kFailed, messages, nullptr, reasons, {}, 0});
    }
  }

  // Prints the end of the run and hands the jobs' outcomes to `result`.
  int Summary(SiteResult& result) {
    std::lock_guard<std::mutex> lock(mutex_);
    int succeeded = 0;
    int changed = 0;
    for (std::size_t i = 0; i < outcomes_.size(); ++i) {
      if (outcomes_[i].status == 0) {
        ++succeeded;
      } else if (reasons_ != nullptr) {
        std::fprintf(reasons_, "zeprink: fehlgeschlagen: %s\n", PrintableLine(jobs_[i].Name()).c_str());
      }
    }
    for (std::size_t i = 0; i < outcomes_.size(); ++i) {
      if (outcomes_[i].status != 0 || !outcomes_[i].figures.fileChanged) continue;
      ++changed;
      if (reasons_ != nullptr) {
        std::fprintf(reasons_, "zeprink: geaendert: Zeile %d: %s\n", jobs_[i].line,
                     PrintableLine(jobs_[i].dnlPath).c_str());
      }
    }
    if (reasons_ != nullptr && succeeded > 0) {
      std::fprintf(reasons_, "zeprink: Dateien geaendert: %d von %d\n", changed, succeeded);
    }
    if (reasons_ != nullptr) std::fflush(reasons_);
    std::fprintf(messages_, "Jobs gesamt: %zu davon erfolgreich: %d\n", outcomes_.size(), succeeded);
    std::fflush(messages_);
    result.jobs.clear();
    for (Outcome& outcome : outcomes_) {
      result.jobs.push_back(
          SiteJobResult{outcome.status, std::move(outcome.reasons), outcome.figures, outcome.seconds});
    }
    return succeeded == static_cast<int>(outcomes_.size()) ? 0 : kFailed;
  }

  // One line that shows how far the run is, rewritten in place.
  std::string ProgressLine(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    const double rows = static_cast<double>(rowsRead_.load());
    char line[512];
    std::snprintf(line, sizeof line, "\r%zu von %zu Jobs fertig, %.0f Ausweise/s, laeuft: %.120s\x1b[K",
                  finished_, jobs_.size(), seconds > 0 ? rows / seconds : 0.0, running_.c_str());
    return line;
  }

  // The progress line is shown: a reason line first clears it.
  void ClearLineBeforeReasons() { clearLine_ = true; }

  bool AllFinished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_ == jobs_.size();
  }

 private:
  void Print(std::size_t index) {
    Outcome& outcome = outcomes_[index];
    std::fprintf(messages_, "Job %s\n", jobs_[index].Name().c_str());
    std::fwrite(outcome.messages.data(), 1, outcome.messages.size(), messages_);
    if (outcome.spool) {
      std::FILE* spool = outcome.spool.get();
      // A temporary file that could not take all messages (a full disk) is named.
      const bool incomplete = std::fflush(spool) != 0 || std::ferror(spool) != 0;
      std::rewind(spool);
      // Printed on a job's thread, whose stack is small (base/thread.h).
      std::vector<char> buffer(1 << 16);
      std::size_t got = 0;
      while ((got = std::fread(buffer.data(), 1, buffer.size(), spool)) > 0) std::fwrite(buffer.data(), 1, got, messages_);
      if (incomplete) {
        outcome.reasons += "zeprink: Meldungen des Jobs unvollstaendig: temporaere Datei nicht schreibbar\n";
      }
      outcome.spool.reset();
    }
    std::fflush(messages_);
    if (reasons_ == nullptr || outcome.reasons.empty()) return;
    // Each reason line names its job.
    std::string named;
    std::size_t at = 0;
    while (at < outcome.reasons.size()) {
      std::size_t end = outcome.reasons.find('\n', at);
      if (end == std::string::npos) end = outcome.reasons.size();
      std::string line = outcome.reasons.substr(at, end - at);
      if (StartsWith(line, "zeprink: ")) line.insert(9, "Zeile " + std::to_string(jobs_[index].line) + ": ");
      named += line + "\n";
      at = end + 1;
    }
    if (clearLine_) named.insert(0, "\r\x1b[K");
    std::fputs(named.c_str(), reasons_);
    std::fflush(reasons_);
  }

  const std::vector<SiteJob>& jobs_;
  std::mutex mutex_;
  std::vector<Outcome> outcomes_;
  std::size_t next_ = 0;
  std::size_t printed_ = 0;
  std::size_t finished_ = 0;
  std::string running_;
  std::atomic<int64_t> rowsRead_{0};
  std::FILE* messages_;
  std::FILE* reasons_;
  bool clearLine_ = false;
};

// The jobs, on sessions that end when it returns.
int RunJobs(const std::vector<SiteJob>& jobs, const SiteOptions& options, std::FILE* messages,
            std::FILE* reasons, SiteResult& result) {
  Site site(jobs, messages, reasons);
  Diagnostics out(messages, reasons, options.verbose);
  RunSettings settings;
  const auto summary = [&site, &result] { return site.Summary(result); };
  if (!options.configPath.empty()) settings.configPath = options.configPath;
  if (!ReadRunSettings(out, settings)) {
    out.Flush();
    result.configUnreadable = true;
    site.FailAll({}, {});
    return summary();
  }
  result.configUnreadable = settings.fileError != 0;

  // The first session names the state every other session reads.
  SqlSession first;
  std::string connectMessages;
  std::string connectReasons;
  {
    Diagnostics connecting(&connectMessages, &connectReasons, options.verbose);
    if (ConnectRun(connecting, first, settings) != 0) {
      site.FailAll(connectMessages, connectReasons);
      return summary();
    }
  }
  // Only a database server lets several sessions read one state.
  const bool server = first.SharesState();
  std::size_t workers = 1;
  std::string snapshot;
  if (server && options.parallel > 1 && jobs.size() > 1) {
    if (first.ExportSnapshot(snapshot) == 0) {
      workers = std::min<std::size_t>(static_cast<std::size_t>(options.parallel), jobs.size());
    } else {
      out.Reason("parallele Jobs nicht moeglich (%s), die Jobs laufen nacheinander",
                 first.LastStatus().message.c_str());
      // The failed export may have ended the session: a new one, nothing
      // has been read yet.
      Diagnostics connecting(&connectMessages, &connectReasons, options.verbose);
      if (ConnectRun(connecting, first, settings) != 0) {
        site.FailAll(connectMessages, connectReasons);
        return summary();
      }
    }
  }
  std::vector<std::unique_ptr<SqlSession>> sessions;
  for (std::size_t w = 1; w < workers; ++w) {
    auto session = std::make_unique<SqlSession>();
    std::string ignored;
    Diagnostics quiet(&ignored, &ignored, false);
    if (ConnectRun(quiet, *session, settings, snapshot) != 0) {
      out.Reason("weitere Verbindung nicht moeglich (%s), %zu Sitzungen laufen",
                 session->LastStatus().message.c_str(), sessions.size() + 1);
      break;
    }
    sessions.push_back(std::move(session));
  }

  // Each session runs its jobs in groups that read their badges together
  // (driver/shared_scan.h); the jobs are dealt out evenly to the sessions.
  // All jobs of all groups in flight hold a temporary DNL file each, which a
  // signal must be able to remove: within kMaxWatchedTempFiles together.
  const std::size_t perGroup = std::clamp<std::size_t>(
      (jobs.size() + workers - 1) / workers, 1,
      std::min<std::size_t>(kMaxJobsPerScan, kMaxWatchedTempFiles / workers));
#if defined(__GLIBC__)
  // The jobs of a session run one at a time, each on its own thread: one
  // allocation arena per session is enough, and more only hold freed memory.
  mallopt(M_ARENA_MAX, static_cast<int>(workers));
#endif
  // A group that could not get a thread for each of its jobs runs the rest
  // as the next group, and the session's groups stay that small from then
  // on: fewer jobs side by side, none left out.
  const auto work = [&site, &settings, &jobs, &options, perGroup](SqlSession& session) {
    std::size_t groupSize = perGroup;
    std::vector<std::size_t> group;
    while (site.TakeGroup(groupSize, group)) {
      for (std::size_t from = 0; from < group.size();) {
        const std::size_t ran = RunSharedScan(session, group.size() - from, [&](std::size_t k, ScanFeed& feed) {
          const std::size_t index = group[from + k];
          site.Finish(index, site.RunOne(session, settings, jobs[index], options.verbose, &feed));
        });
        if (ran < group.size() - from) groupSize = ran;
        from += ran;
      }
    }
  };

  std::atomic<bool> stop{false};
  // Without a thread for it, the progress line is not shown.
  Thread progress;
  if (options.progress && reasons != nullptr && ::isatty(::fileno(reasons)) == 1 &&
      progress.Start([&site, &stop, reasons] {
        const auto start = std::chrono::steady_clock::now();
        while (!stop.load()) {
          const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
          std::fputs(site.ProgressLine(elapsed.count()).c_str(), reasons);
          std::fflush(reasons);
          for (int i = 0; i < 5 && !stop.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::fputs("\r\x1b[K", reasons);
        std::fflush(reasons);
      })) {
    site.ClearLineBeforeReasons();
  }
  // A session whose thread cannot be started takes no jobs: the others take
  // them all.
  std::vector<std::unique_ptr<Thread>> threads;
  for (auto& session : sessions) {
    auto thread = std::make_unique<Thread>();
    SqlSession* own = session.get();
    if (thread->Start([&work, own] { work(*own); })) threads.push_back(std::move(thread));
  }
  work(first);
  for (auto& thread : threads) thread->Join();
  stop.store(true);
  progress.Join();
  return summary();
}

}  // namespace

int RunSite(const std::vector<SiteJob>& jobs, const SiteOptions& options, std::FILE* messages,
            std::FILE* reasons, SiteResult* result) {
  SiteResult own;
  SiteResult& outcome = result != nullptr ? *result : own;
  const int status = RunJobs(jobs, options, messages, reasons, outcome);
  // After the sessions have ended: a command that takes its time holds no
  // state of the database (nor, on the embedded one, its lock).
  if (options.onChange.empty()) return status;
  for (std::size_t i = 0; i < jobs.size() && i < outcome.jobs.size(); ++i) {
    if (outcome.jobs[i].status != 0 || !outcome.jobs[i].figures.fileChanged) continue;
    std::string function = jobs[i].function;
    ToUpper(function.data());
    const std::string why =
        RunOnChange(options.onChange, {jobs[i].terminal, function, jobs[i].dnlPath}, reasons);
    if (!why.empty() && reasons != nullptr) {
      std::fprintf(reasons, "zeprink: Zeile %d: %s\n", jobs[i].line, PrintableLine(why).c_str());
      std::fflush(reasons);
    }
  }
  return status;
}

}  // namespace zx
