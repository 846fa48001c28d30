// zeprink-site: a whole site in one run, every job of a job file reading one
// state of the database (driver/site_run.h).
//
//   zeprink-site JOBFILE [-j N] [--quiet] [--config FILE] [--report FILE] [--metrics FILE]
//                [--on-change PROGRAM] [--watch [--settle S] [--interval S]] [/d]
//
// JOBFILE "-" reads the jobs from standard input. Exit status 0 when every
// job succeeded, 255 when any failed, the job file was refused or the
// command line is wrong. With --watch the program keeps the files current
// (driver/site_watch.h) until a signal ends it.
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

#include "base/tool_cli.h"
#include "driver/site_jobs.h"
#include "driver/site_run.h"
#include "driver/site_watch.h"

namespace {

constexpr char kProgram[] = "zeprink-site";

constexpr char kUsage[] =
    "Aufruf: zeprink-site JOBDATEI [-j N] [--quiet] [--config DATEI] [--report DATEI]\n"
    "                    [--metrics DATEI] [--on-change PROGRAMM]\n"
    "                    [--watch [--settle S] [--interval S]] [/d]\n"
    "        zeprink-site --help | --version\n"
    "\n"
    "Fuehrt alle Jobs der Jobdatei (eine Zeile je Job: DNL-FUNKTION TERMINAL DNL-DATEI MODUS,\n"
    "Parameter mit Leerzeichen in doppelten Anfuehrungszeichen, # leitet Kommentare ein;\n"
    "- liest die Jobs von der Standardeingabe) auf einem Stand der Datenbank aus.\n"
    "  -j N               N Sitzungen arbeiten gleichzeitig (nur mit einem Datenbankserver)\n"
    "  --quiet            keine Fortschrittszeile\n"
    "  --config DATEI     die Konfigurationsdatei (sonst ../../files/morvalent.ini, relativ\n"
    "                     zum Arbeitsverzeichnis)\n"
    "  --report DATEI     Bericht (JSON) am Ende jedes Laufs, atomar ersetzt\n"
    "  --metrics DATEI    dieselben Zahlen im Prometheus-Textformat (textfile collector)\n"
    "  --on-change PROGRAMM  je geaenderter DNL-Datei: PROGRAMM TERMINAL DNL-FUNKTION PFAD\n"
    "                     (ohne Shell; seine Ausgabe geht auf die Standardfehlerausgabe)\n"
    "  --watch            haelt die Dateien aktuell: laeuft erneut, wenn die Datenbank sich\n"
    "                     geaendert hat; endet mit SIGTERM/SIGINT (keine Jobs mit Modus anhaengen)\n"
    "  --settle S         Aenderungen muessen S Sekunden ruhen vor einem Lauf (Vorgabe 2)\n"
    "  --interval S       Sekunden zwischen zwei Abfragen der Datenbank (Vorgabe 5)\n"
    "  /d                 Diagnosezeilen fuer jeden Job\n"
    "Exit-Status: 0 alle Jobs erfolgreich; 255 sonst, oder falscher Aufruf. Mit --watch: Ende\n"
    "nur durch ein Signal, oder mit 255, wenn die Konfigurationsdatei nicht lesbar ist.\n";

int Failed(const std::string& reason) { return zx::ToolReason(stderr, kProgram, reason); }

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
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      return zx::PrintToStdout(kUsage) ? zx::kExitDone : zx::kExitFailed;
    }
    if (argc == 2 && arg == "--version") {
      return zx::PrintToStdout(zx::VersionLine(kProgram)) ? zx::kExitDone : zx::kExitFailed;
    }
    const bool hasValue = i + 1 < argc;
    if ((arg == "--report" || arg == "--metrics" || arg == "--on-change") && hasValue) {
      std::string& value = arg == "--report" ? reports.reportPath
                           : arg == "--metrics" ? reports.metricsPath
                                                : options.onChange;
      value = argv[++i];
      if (value.empty()) return Failed(arg + " erwartet einen Namen");
    } else if (arg == "--watch") {
      watching = true;
    } else if ((arg == "--settle" || arg == "--interval") && hasValue) {
      const bool settle = arg == "--settle";
      if (!ReadSeconds(argv[++i], settle ? 0.0 : 0.01,
                       settle ? watch.settleSeconds : watch.intervalSeconds)) {
        return Failed(arg + " erwartet Sekunden (" + (settle ? "0" : "0.01") +
                      " bis 86400), nicht \"" + argv[i] + "\"");
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
        return Failed("-j erwartet eine Zahl von 1 bis 64, nicht \"" + count + "\"");
      }
      options.parallel = static_cast<int>(n);
    } else if (arg == "--config" && i + 1 < argc) {
      options.configPath = argv[++i];
    } else if (jobFile.empty() && (arg == "-" || arg.empty() || arg[0] != '-')) {
      jobFile = arg;
    } else {
      return Failed("unbekannte Option " + arg + " (zeprink-site --help)");
    }
  }
  if (jobFile.empty()) return Failed("keine Jobdatei angegeben (zeprink-site --help)");

  std::vector<zx::SiteJob> jobs;
  std::string error;
  bool read = false;
  if (jobFile == "-") {
    read = zx::ReadSiteJobs(std::cin, jobs, error);
  } else {
    std::ifstream in(jobFile, std::ios::binary);
    if (!in) return Failed("Jobdatei " + jobFile + " nicht lesbar: " + std::strerror(errno));
    read = zx::ReadSiteJobs(in, jobs, error);
  }
  if (!read) return Failed(error + "; kein Job wurde ausgefuehrt");
  if (!watching) {
    zx::SiteResult result;
    return zx::RunSiteReported(jobs, options, reports, stdout, stderr, 0, 0, result) == 0
               ? zx::kExitDone
               : zx::kExitFailed;
  }
  // An appending job would grow its file by the same badges every run.
  if (const zx::SiteJob* appending = zx::FirstAppendingJob(jobs); appending != nullptr) {
    return Failed("Zeile " + std::to_string(appending->line) + ": Modus \"" + appending->mode +
                  "\" haengt an die Datei an, die mit --watch bei jedem Lauf wuechse; nur Modus 1 "
                  "(neu schreiben); kein Job wurde ausgefuehrt");
  }
  // A watch runs unattended: no progress line.
  options.progress = false;
  return zx::WatchSite(jobs, options, reports, watch, stdout, stderr) == 0 ? zx::kExitDone
                                                                           : zx::kExitFailed;
}
