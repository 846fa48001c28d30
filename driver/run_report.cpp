#include "driver/run_report.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "base/atomic_file.h"
#include "base/text_utils.h"
#include "base/win1252.h"
#include "driver/signal_cleanup.h"

namespace zx {

namespace {

// UTF-8 leaves the bytes below 0x80 to ASCII: escaping after the
// conversion escapes exactly the characters that need it.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : Win1252ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(ch);
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

// A label value of the text format: backslash, quote and line feed escaped.
std::string LabelValue(std::string_view text) {
  std::string out;
  for (const char ch : Win1252ToUtf8(text)) {
    if (ch == '\\') {
      out += "\\\\";
    } else if (ch == '"') {
      out += "\\\"";
    } else if (ch == '\n') {
      out += "\\n";
    } else {
      out += ch;
    }
  }
  return out;
}

std::string JobLabels(const JobReport& job) {
  return "{function=\"" + LabelValue(job.function) + "\",terminal=\"" + LabelValue(job.terminal) +
         "\",path=\"" + LabelValue(job.path) + "\"}";
}

std::string Number(double value, const char* format = "%.6f") {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string UtcTime(double unixTime) {
  const std::time_t seconds = static_cast<std::time_t>(unixTime);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

constexpr const char* kLastSuccess = "zeprink_job_last_success_timestamp_seconds";
constexpr const char* kFailures = "zeprink_job_failures_total";

}  // namespace

double UnixNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

JobReport MakeJobReport(int line, std::string_view function, std::string_view terminal,
                        std::string_view path, int status, std::string_view reasons,
                        const JobFigures& figures, double seconds, double now) {
  JobReport job;
  job.line = line;
  job.function.assign(function);
  ToUpper(job.function.data());
  job.terminal.assign(terminal);
  job.path.assign(path);
  job.exitStatus = status == 0 ? 0 : 255;
  std::size_t at = 0;
  while (at < reasons.size()) {
    std::size_t end = reasons.find('\n', at);
    if (end == std::string_view::npos) end = reasons.size();
    std::string_view reasonLine = reasons.substr(at, end - at);
    if (StartsWith(reasonLine, "zeprink: ")) reasonLine.remove_prefix(9);
    if (!job.reason.empty()) job.reason += '\n';
    job.reason.append(reasonLine);
    at = end + 1;
  }
  job.figures = figures;
  job.seconds = seconds;
  job.lastSuccess = status == 0 ? now : 0;
  job.failures = status == 0 ? 0 : 1;
  return job;
}

void CarryJobHistory(const std::string& metricsPath, RunReport& report) {
  std::map<std::string, double> lastSuccess;
  std::map<std::string, int64_t> failures;
  std::ifstream in(metricsPath, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t brace = line.find('{');
    const std::size_t blank = line.rfind(' ');
    if (brace == std::string::npos || blank == std::string::npos || blank < brace) continue;
    const std::string name = line.substr(0, brace);
    const std::string labels = line.substr(brace, blank - brace);
    const std::string value = line.substr(blank + 1);
    if (name == kLastSuccess) lastSuccess[labels] = std::strtod(value.c_str(), nullptr);
    if (name == kFailures) failures[labels] = std::strtoll(value.c_str(), nullptr, 10);
  }
  for (JobReport& job : report.jobs) {
    const std::string labels = JobLabels(job);
    if (job.lastSuccess == 0 && lastSuccess.count(labels) != 0) job.lastSuccess = lastSuccess[labels];
    if (failures.count(labels) != 0) job.failures += failures[labels];
  }
}

std::string ReportJson(const RunReport& report) {
  int failed = 0;
  int changed = 0;
  for (const JobReport& job : report.jobs) {
    if (job.exitStatus != 0) ++failed;
    if (job.exitStatus == 0 && job.figures.fileChanged) ++changed;
  }
  std::string out = "{\n";
  out += "  \"program\": " + JsonString(report.program) + ",\n";
  out += "  \"started\": " + JsonString(UtcTime(report.startedAt)) + ",\n";
  out += "  \"started_unix\": " + Number(report.startedAt, "%.3f") + ",\n";
  out += "  \"seconds\": " + Number(report.seconds) + ",\n";
  if (report.cycle > 0) {
    out += "  \"cycle\": " + std::to_string(report.cycle) + ",\n";
    out += "  \"probes\": " + std::to_string(report.probes) + ",\n";
  }
  out += "  \"resident_bytes\": " + std::to_string(report.residentBytes) + ",\n";
  out += "  \"jobs_total\": " + std::to_string(report.jobs.size()) + ",\n";
  out += "  \"jobs_failed\": " + std::to_string(failed) + ",\n";
  out += "  \"files_changed\": " + std::to_string(changed) + ",\n";
  out += "  \"jobs\": [";
  for (std::size_t i = 0; i < report.jobs.size(); ++i) {
    const JobReport& job = report.jobs[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {";
    if (job.line > 0) out += "\"line\": " + std::to_string(job.line) + ", ";
    out += "\"function\": " + JsonString(job.function) + ", \"terminal\": " + JsonString(job.terminal) +
           ", \"path\": " + JsonString(job.path) + ", \"exit_status\": " +
           std::to_string(job.exitStatus) + ", \"reason\": " + JsonString(job.reason) +
           ", \"badges_read\": " + std::to_string(job.figures.badgesRead) +
           ", \"badges_written\": " + std::to_string(job.figures.badgesWritten) +
           ", \"records_written\": " + std::to_string(job.figures.recordsWritten) +
           ", \"file_changed\": " + (job.exitStatus == 0 && job.figures.fileChanged ? "true" : "false") +
           ", \"seconds\": " + Number(job.seconds) + "}";
  }
  out += report.jobs.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

std::string ReportMetrics(const RunReport& report) {
  struct Gauge {
    const char* name;
    const char* type;
    const char* help;
    bool (*has)(const JobReport&);
    double (*value)(const JobReport&);
  };
  static const Gauge kJobMetrics[] = {
      {"zeprink_job_success", "gauge", "1 when the job's last run succeeded, else 0.",
       [](const JobReport&) { return true; },
       [](const JobReport& j) { return j.exitStatus == 0 ? 1.0 : 0.0; }},
      {kLastSuccess, "gauge", "Unix time of the job's last successful run.",
       [](const JobReport& j) { return j.lastSuccess > 0; },
       [](const JobReport& j) { return j.lastSuccess; }},
      {"zeprink_job_duration_seconds", "gauge", "Seconds the job's last run took.",
       [](const JobReport&) { return true; }, [](const JobReport& j) { return j.seconds; }},
      {"zeprink_job_badges_read", "gauge", "Badges the job's last run read.",
       [](const JobReport&) { return true; },
       [](const JobReport& j) { return static_cast<double>(j.figures.badgesRead); }},
      {"zeprink_job_badges_written", "gauge", "Badges the job's last run put into its file.",
       [](const JobReport&) { return true; },
       [](const JobReport& j) { return static_cast<double>(j.figures.badgesWritten); }},
      {"zeprink_job_records_written", "gauge", "Records the job's last run wrote.",
       [](const JobReport&) { return true; },
       [](const JobReport& j) { return static_cast<double>(j.figures.recordsWritten); }},
      {"zeprink_job_file_changed", "gauge", "1 when the job's last run put a new DNL file in place.",
       [](const JobReport&) { return true; },
       [](const JobReport& j) { return j.exitStatus == 0 && j.figures.fileChanged ? 1.0 : 0.0; }},
      {kFailures, "counter", "Failed runs of the job.", [](const JobReport&) { return true; },
       [](const JobReport& j) { return static_cast<double>(j.failures); }},
  };
  std::string out;
  for (const Gauge& gauge : kJobMetrics) {
    out += std::string("# HELP ") + gauge.name + " " + gauge.help + "\n# TYPE " + gauge.name + " " +
           gauge.type + "\n";
    for (const JobReport& job : report.jobs) {
      if (gauge.has(job)) out += gauge.name + JobLabels(job) + " " + Number(gauge.value(job), "%.15g") + "\n";
    }
  }
  int failed = 0;
  for (const JobReport& job : report.jobs) failed += job.exitStatus != 0 ? 1 : 0;
  const struct {
    const char* name;
    const char* help;
    double value;
    bool shown;
  } runMetrics[] = {
      {"zeprink_run_timestamp_seconds", "Unix time at which the last run started.", report.startedAt, true},
      {"zeprink_run_duration_seconds", "Seconds the last run took.", report.seconds, true},
      {"zeprink_run_jobs", "Jobs of the last run.", static_cast<double>(report.jobs.size()), true},
      {"zeprink_run_jobs_failed", "Jobs of the last run that failed.", static_cast<double>(failed), true},
      {"zeprink_resident_memory_bytes", "Resident memory of the process at the end of the last run.",
       static_cast<double>(report.residentBytes), true},
      {"zeprink_watch_cycles_total", "Runs of the watch so far.", static_cast<double>(report.cycle),
       report.cycle > 0},
      {"zeprink_watch_probes_total", "Probes of the database for changes so far.",
       static_cast<double>(report.probes), report.cycle > 0},
  };
  for (const auto& metric : runMetrics) {
    if (!metric.shown) continue;
    const bool counter = std::strstr(metric.name, "_total") != nullptr;
    out += std::string("# HELP ") + metric.name + " " + metric.help + "\n# TYPE " + metric.name +
           (counter ? " counter\n" : " gauge\n") + metric.name + " " + Number(metric.value, "%.15g") + "\n";
  }
  return out;
}

std::string ReplaceReportFile(const std::string& path, std::string_view text) {
  AtomicFile file;
  AtomicFileOptions options;
  options.tempSuffix = ".tmp";
  // Readable for the monitor's collector, as a file it writes itself.
  options.newFileMode = 0644;
  options.watcher = &SignalTempFileWatcher();
  if (!file.Open(path, options) || !file.Write(text) || !file.Commit()) {
    return path + ": " + std::strerror(file.Error() != 0 ? file.Error() : EIO);
  }
  return {};
}

bool WriteReports(Diagnostics& out, const std::string& reportPath, const std::string& metricsPath,
                  RunReport& report) {
  bool ok = true;
  if (!reportPath.empty()) {
    if (const std::string why = ReplaceReportFile(reportPath, ReportJson(report)); !why.empty()) {
      out.Reason("Bericht nicht geschrieben: %s", why.c_str());
      ok = false;
    }
  }
  if (!metricsPath.empty()) {
    CarryJobHistory(metricsPath, report);
    if (const std::string why = ReplaceReportFile(metricsPath, ReportMetrics(report)); !why.empty()) {
      out.Reason("Metriken nicht geschrieben: %s", why.c_str());
      ok = false;
    }
  }
  return ok;
}

int64_t ResidentBytes() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  long long kib = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmRSS: %lld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return static_cast<int64_t>(kib) * 1024;
}

}  // namespace zx
