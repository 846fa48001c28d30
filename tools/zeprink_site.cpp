// zeprink-site: a whole site in one run, every job of a job file reading one
// state of the database (driver/site_run.h).
//
//   zeprink-site JOBFILE [-j N] [--quiet] [/d]
//
// JOBFILE "-" reads the jobs from standard input. Exit status 0 when every
// job succeeded, 255 when any failed or the job file was refused.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "driver/site_jobs.h"
#include "driver/site_run.h"

namespace {

constexpr int kFailed = 255;

void Usage(std::FILE* to) {
  std::fputs(
      "Aufruf: zeprink-site JOBDATEI [-j N] [--quiet] [/d]\n"
      "\n"
      "Fuehrt alle Jobs der Jobdatei (eine Zeile je Job: DNL-FUNKTION TERMINAL DNL-DATEI MODUS,\n"
      "Parameter mit Leerzeichen in doppelten Anfuehrungszeichen, # leitet Kommentare ein;\n"
      "- liest die Jobs von der Standardeingabe) auf einem Stand der Datenbank aus.\n"
      "  -j N      N Sitzungen arbeiten gleichzeitig (nur mit einem Datenbankserver)\n"
      "  --quiet   keine Fortschrittszeile\n"
      "  /d        Diagnosezeilen fuer jeden Job\n"
      "Exit-Status: 0 alle Jobs erfolgreich; 255 sonst.\n",
      to);
}

}  // namespace

int main(int argc, char** argv) {
  // As zeprink: a reader of the messages that goes away does not end the run.
  std::signal(SIGPIPE, SIG_IGN);
  // As zeprink: a file size limit fails the write that crosses it (the job
  // fails as on a full disk) instead of ending the run.
  std::signal(SIGXFSZ, SIG_IGN);
  zx::SiteOptions options;
  std::string jobFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
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
  return zx::RunSite(jobs, options, stdout, stderr) == 0 ? 0 : kFailed;
}
