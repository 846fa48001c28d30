#include "driver/site_watch.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "base/diagnostics.h"
#include "base/text_utils.h"
#include "driver/run_job.h"
#include "driver/run_report.h"
#include "sql/session.h"

namespace zx {

namespace {

constexpr int kFailed = -1;
// The first pause after a failed run; each further failure doubles it, up
// to the interval.
constexpr double kFirstRetrySeconds = 0.25;

void Pause(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(std::max(seconds, 0.0)));
}

// The probe of the database named by the configuration, opened through a
// session that ends at once (a session holds one state of the database,
// which a watch must not keep between runs).
struct ProbeOpening {
  std::unique_ptr<ChangeProbe> probe;
  bool configUnreadable = false;
  bool unsupported = false;  // the database cannot tell its changes
};

ProbeOpening OpenProbe(Diagnostics& out) {
  ProbeOpening opening;
  RunSettings settings;
  std::string ignored;
  Diagnostics quiet(&ignored, &ignored, false);
  if (!ReadRunSettings(quiet, settings) || settings.fileError != 0) {
    opening.configUnreadable = true;
    return opening;
  }
  SqlSession session;
  std::string connectReasons;
  Diagnostics connecting(&ignored, &connectReasons, false);
  if (ConnectRun(connecting, session, settings) != 0) {
    // The reason of the connection, as the watch's own.
    if (!connectReasons.empty()) connectReasons.pop_back();
    if (StartsWith(connectReasons, "zeprink: ")) connectReasons.erase(0, 9);
    out.Reason("Ueberwachung: %s", connectReasons.c_str());
    return opening;
  }
  const int32_t rc = session.OpenChangeProbe(opening.probe);
  if (rc != 0) {
    opening.unsupported = rc == sqlcode::kInvalidSql;
    out.Reason("Ueberwachung: Aenderungen der Datenbank nicht feststellbar: %s",
               session.LastStatus().message.c_str());
  }
  return opening;
}

}  // namespace

int RunSiteReported(const std::vector<SiteJob>& jobs, const SiteOptions& options,
                    const SiteReports& reports, std::FILE* messages, std::FILE* reasons,
                    int64_t cycle, int64_t probes, SiteResult& result) {
  const double started = UnixNow();
  const auto clock = std::chrono::steady_clock::now();
  const int status = RunSite(jobs, options, messages, reasons, &result);
#if defined(__GLIBC__)
  // A watch hands the memory its run freed (the jobs' threads' arenas, the
  // kept answers) back before it waits: between runs it holds what one
  // run needs, however many runs it has made.
  if (cycle > 0) malloc_trim(0);
#endif
  if (reports.reportPath.empty() && reports.metricsPath.empty()) return status;
  RunReport report;
  report.program = "zeprink-site";
  report.startedAt = started;
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - clock).count();
  report.cycle = cycle;
  report.probes = probes;
  report.residentBytes = ResidentBytes();
  const double now = UnixNow();
  for (std::size_t i = 0; i < jobs.size() && i < result.jobs.size(); ++i) {
    const SiteJobResult& job = result.jobs[i];
    report.jobs.push_back(MakeJobReport(jobs[i].line, jobs[i].function, jobs[i].terminal,
                                        jobs[i].dnlPath, job.status, job.reasons, job.figures,
                                        job.seconds, now));
  }
  Diagnostics out(messages, reasons);
  WriteReports(out, reports.reportPath, reports.metricsPath, report);
  return status;
}

const SiteJob* FirstAppendingJob(const std::vector<SiteJob>& jobs) {
  for (const SiteJob& job : jobs) {
    if (job.mode.empty() || job.mode[0] != '1') return &job;
  }
  return nullptr;
}

int WatchSite(const std::vector<SiteJob>& jobs, const SiteOptions& options,
              const SiteReports& reports, const WatchOptions& watch, std::FILE* messages,
              std::FILE* reasons) {
  Diagnostics out(messages, reasons);
  std::unique_ptr<ChangeProbe> probe;
  int64_t reads = 0;  // probes of the database so far
  std::string mark;
  int64_t cycle = 0;
  double retry = std::min(kFirstRetrySeconds, watch.intervalSeconds);
  // Gives up the probe after a failure (a server gone): the next cycle
  // opens a new one, and runs, since a change may have been missed.
  const auto dropProbe = [&probe] { probe.reset(); };
  const auto endWithoutConfiguration = [&out] {
    out.Reason("Ueberwachung beendet: Konfigurationsdatei %s nicht lesbar",
               AbsolutePath(kConfigFilePath).c_str());
    return kFailed;
  };
  const auto failedPause = [&] {
    out.Reason("Ueberwachung: naechster Versuch in %.2f s", retry);
    Pause(retry);
    retry = std::min(retry * 2, watch.intervalSeconds);
  };

  for (;;) {
    // The state this run reads is at least that of `mark`: the mark is
    // read before the run's sessions take their state, so a change
    // committed while the run goes on gives a new mark at the next probe.
    if (!probe) {
      ProbeOpening opening = OpenProbe(out);
      if (opening.configUnreadable) return endWithoutConfiguration();
      if (opening.unsupported) {
        out.Reason("Ueberwachung beendet: die Datenbank kann ihre Aenderungen nicht melden");
        return kFailed;
      }
      if (!opening.probe) {
        failedPause();
        continue;
      }
      probe = std::move(opening.probe);
      ++reads;
      if (probe->Read(mark) != 0) {
        out.Reason("Ueberwachung: Datenbank nicht abfragbar: %s", probe->Message().c_str());
        dropProbe();
        failedPause();
        continue;
      }
    }

    SiteResult result;
    ++cycle;
    const int status = RunSiteReported(jobs, options, reports, messages, reasons, cycle,
                                       reads, result);
    if (result.configUnreadable) return endWithoutConfiguration();
    if (status != 0) {
      // Every job that failed kept its old file; the next run tries all.
      out.Reason("Ueberwachung: Lauf %lld fehlgeschlagen, die alten Dateien bleiben",
                 static_cast<long long>(cycle));
      failedPause();
      // A probe that fails now is opened anew before the next run.
      if (probe) {
        ++reads;
        if (probe->Read(mark) != 0) dropProbe();
      }
      continue;
    }
    retry = std::min(kFirstRetrySeconds, watch.intervalSeconds);

    // Waits for a change: one probe per interval.
    bool probeFailed = false;
    std::string now;
    for (;;) {
      Pause(watch.intervalSeconds);
      ++reads;
      if (probe->Read(now) != 0) {
        probeFailed = true;
        break;
      }
      if (now != mark) break;
    }
    // Then until the changes have been quiet for the settle time (within a
    // bound: a database that never rests still gets its files).
    const auto waitStart = std::chrono::steady_clock::now();
    const double longest = std::max(10 * watch.settleSeconds, watch.intervalSeconds);
    while (!probeFailed && watch.settleSeconds > 0) {
      Pause(watch.settleSeconds);
      std::string later;
      ++reads;
      if (probe->Read(later) != 0) {
        probeFailed = true;
        break;
      }
      if (later == now) break;
      now = later;
      const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - waitStart;
      if (waited.count() >= longest) break;
    }
    if (probeFailed) {
      out.Reason("Ueberwachung: Datenbank nicht abfragbar: %s", probe->Message().c_str());
      dropProbe();
      continue;
    }
    mark = now;
  }
}

}  // namespace zx
