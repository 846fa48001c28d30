// zeprink-site: a whole site in one run, every job of a job file reading one
// state of the database (driver/site_run.h).
//
//   zeprink-site JOBFILE [-j N] [--quiet] [--report FILE] [--metrics FILE]
//                [--on-change PROGRAM] [--watch [--settle S] [--interval S]] [/d]
//
// JOBFILE "-" reads the jobs from standard input. Exit status 0 when every
// job succeeded, 255 when any failed or the job file was refused. With
// --watch the program keeps the files current (driver/site_watch.h) until a
// signal ends it.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "driver/site_jobs.h"
#include "driver/site_run.h"
#include "driver/site_watch.h"

namespace {

constexpr int kFailed = 255;

void Usage(std::FILE* to) {
  std::fputs(
      "Aufruf: zeprink-site JOBDATEI [-j N] [--quiet] [--report DATEI] [--metrics DATEI]\n"
      "                    [--on-change PROGRAMM] [--watch [--settle S] [--interval S]] [/d]\n"
      "\n"
      "Fuehrt alle Jobs der Jobdatei (eine Zeile je Job: DNL-FUNKTION TERMINAL DNL-DATEI MODUS,\n"
      "Parameter mit Leerzeichen in doppelten Anfuehrungszeichen, # leitet Kommentare ein;\n"
      "- liest die Jobs von der Standardeingabe) auf einem Stand der Datenbank aus.\n"
      "  -j N      N Sitzungen arbeiten gleichzeitig (nur mit einem Datenbankserver)\n"
      "  --quiet   keine Fortschrittszeile\n"
      "  --report DATEI     Bericht (JSON) am Ende jedes Laufs, atomar ersetzt\n"
      "  --metrics DATEI    dieselben Zahlen im Prometheus-Textformat (textfile collector)\n"
      "  --on-change PROGRAMM  je geaenderter DNL-Datei: PROGRAMM TERMINAL DNL-FUNKTION PFAD\n"
      "                     (ohne Shell; seine Ausgabe geht auf die Standardfehlerausgabe)\n"
      "  --watch            haelt die Dateien aktuell: laeuft erneut, wenn die Datenbank sich\n"
      "                     geaendert hat; endet mit SIGTERM/SIGINT (keine Jobs mit Modus anhaengen)\n"
      "  --settle S         Aenderungen muessen S Sekunden ruhen vor einem Lauf (Vorgabe 2)\n"
      "  --interval S       Sekunden zwischen zwei Abfragen der Datenbank (Vorgabe 5)\n"
      "  /d        Diagnosezeilen fuer jeden Job\n"
      "Exit-Status: 0 alle Jobs erfolgreich; 255 sonst. Mit --watch: Ende nur durch ein Signal,\n"
      "oder mit 255, wenn die Konfigurationsdatei nicht lesbar ist.\n",
      to);
}

// Reads seconds ("0.2", "5"): false for anything else or out of range.
bool ReadSeconds(const char* text, double lowest, double& seconds) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !(value >= lowest) || value > 86400) return false;
  seconds = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // As zeprink: a reader of the messages that goes away does not end the run.
  std::signal(SIGPIPE, SIG_IGN);
  // As zeprink: a file size limit fails the write that crosses it (the job
  // fails as on a full disk) instead of ending the run.
  std::signal(SIGXFSZ, SIG_IGN);
  zx::SiteOptions options;
  zx::SiteReports reports;
  zx::WatchOptions watch;
  bool watching = false;
  std::string jobFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    const bool hasValue = i + 1 < argc;
    if ((arg == "--report" || arg == "--metrics" || arg == "--on-change") && hasValue) {
      std::string& value = arg == "--report" ? reports.reportPath
                           : arg == "--metrics" ? reports.metricsPath
                                                : options.onChange;
      value = argv[++i];
      if (value.empty()) {
        std::fprintf(stderr, "zeprink-site: %s erwartet einen Namen\n", arg.c_str());
        return kFailed;
      }
    } else if (arg == "--watch") {
      watching = true;
    } else if ((arg == "--settle" || arg == "--interval") && hasValue) {
      const bool settle = arg == "--settle";
      if (!ReadSeconds(argv[++i], settle ? 0.0 : 0.01,
                       settle ? watch.settleSeconds : watch.intervalSeconds)) {
        std::fprintf(stderr, "zeprink-site: %s erwartet Sekunden (%s bis 86400), nicht \"%s\"\n",
                     arg.c_str(), settle ? "0" : "0.01", argv[i]);
        return kFailed;
      }
    } else if (arg == "--quiet") {
      options.progress = false;
    } else if (arg == "/d") {
      options.verbose = true;
    } else if (arg == "-j" && i + 1 < argc) {
      const std::string count = argv[++i];
      char* end = nullptr;
      const long n = std::strtol(count.c_str(), &end, 10);
      if (end == count.c_str() || *end != '\0' || n < 1 || n > 64) {
        std::fprintf(stderr, "zeprink-site: -j erwartet eine Zahl von 1 bis 64, nicht \"%s\"\n",
                     count.c_str());
        return kFailed;
      }
      options.parallel = static_cast<int>(n);
    } else if (jobFile.empty() && (arg == "-" || arg.empty() || arg[0] != '-')) {
      jobFile = arg;
    } else {
      std::fprintf(stderr, "zeprink-site: unbekannte Option %s (zeprink-site --help)\n", arg.c_str());
      return kFailed;
    }
  }
  if (jobFile.empty()) {
    Usage(stderr);
    return kFailed;
  }

  std::vector<zx::SiteJob> jobs;
  std::string error;
  bool read = false;
  if (jobFile == "-") {
    read = zx::ReadSiteJobs(std::cin, jobs, error);
  } else {
    std::ifstream in(jobFile, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "zeprink-site: Jobdatei %s nicht lesbar: %s\n", jobFile.c_str(),
                   std::strerror(errno));
      return kFailed;
    }
    read = zx::ReadSiteJobs(in, jobs, error);
  }
  if (!read) {
    std::fprintf(stderr, "zeprink-site: %s; kein Job wurde ausgefuehrt\n", error.c_str());
    return kFailed;
  }
  if (!watching) {
    zx::SiteResult result;
    return zx::RunSiteReported(jobs, options, reports, stdout, stderr, 0, 0, result) == 0 ? 0 : kFailed;
  }
  // An appending job would grow its file by the same badges every run.
  if (const zx::SiteJob* appending = zx::FirstAppendingJob(jobs); appending != nullptr) {
    std::fprintf(stderr,
                 "zeprink-site: Zeile %d: Modus \"%s\" haengt an die Datei an, die mit --watch bei "
                 "jedem Lauf wuechse; nur Modus 1 (neu schreiben); kein Job wurde ausgefuehrt\n",
                 appending->line, appending->mode.c_str());
    return kFailed;
  }
  // A watch runs unattended: no progress line.
  options.progress = false;
  return zx::WatchSite(jobs, options, reports, watch, stdout, stderr) == 0 ? 0 : kFailed;
}
