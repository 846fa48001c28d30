// zeprink-site: a whole site in one run, every job of a job file reading one
// state of the database (driver/site_run.h).
//
//   zeprink-site JOBFILE [-j N] [--quiet] [--config FILE] [/d]
//
// JOBFILE "-" reads the jobs from standard input. Exit status 0 when every
// job succeeded, 255 when any failed, the job file was refused or the
// command line is wrong.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "base/tool_cli.h"
#include "driver/site_jobs.h"
#include "driver/site_run.h"

namespace {

constexpr char kProgram[] = "zeprink-site";

constexpr char kUsage[] =
    "Aufruf: zeprink-site JOBDATEI [-j N] [--quiet] [--config DATEI] [/d]\n"
    "        zeprink-site --help | --version\n"
    "\n"
    "Fuehrt alle Jobs der Jobdatei (eine Zeile je Job: DNL-FUNKTION TERMINAL DNL-DATEI MODUS,\n"
    "Parameter mit Leerzeichen in doppelten Anfuehrungszeichen, # leitet Kommentare ein;\n"
    "- liest die Jobs von der Standardeingabe) auf einem Stand der Datenbank aus.\n"
    "  -j N            N Sitzungen arbeiten gleichzeitig (nur mit einem Datenbankserver)\n"
    "  --quiet         keine Fortschrittszeile\n"
    "  --config DATEI  die Konfigurationsdatei (sonst ../../files/morvalent.ini, relativ\n"
    "                  zum Arbeitsverzeichnis)\n"
    "  /d              Diagnosezeilen fuer jeden Job\n"
    "Exit-Status: 0 alle Jobs erfolgreich; 255 sonst, oder falscher Aufruf.\n";

int Failed(const std::string& reason) { return zx::ToolReason(stderr, kProgram, reason); }

}  // namespace

int main(int argc, char** argv) {
  // As zeprink: a reader of the messages that goes away does not end the run.
  std::signal(SIGPIPE, SIG_IGN);
  zx::SiteOptions options;
  std::string jobFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      return zx::PrintToStdout(kUsage) ? zx::kExitDone : zx::kExitFailed;
    }
    if (argc == 2 && arg == "--version") {
      return zx::PrintToStdout(zx::VersionLine(kProgram)) ? zx::kExitDone : zx::kExitFailed;
    }
    if (arg == "--quiet") {
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
  return zx::RunSite(jobs, options, stdout, stderr) == 0 ? zx::kExitDone : zx::kExitFailed;
}
