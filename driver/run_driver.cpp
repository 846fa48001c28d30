#include "driver/run_driver.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "base/tool_cli.h"
#include "driver/run_job.h"
#include "driver/run_report.h"
#include "queries/terminal_params.h"
#include "sql/backend_registry.h"
#include "sql/session.h"

namespace zx {

namespace {

constexpr int kRunFailed = -1;

void PrintUsage(Diagnostics& out, int paramCount) {
  out.Print("Anzahl Parameter(mind. 4) unterschritten! AnzParam: %d", paramCount);
  out.Print("Aufruf: ZEPRINK [Param1] [Param2] [Param3] [Param4] /d \n");
  out.Print("Param1: DNL-Funktion\n");
  out.Print("Param2: Terminal-Name\n");
  out.Print("Param3: Pfad der DNL-Datei\n");
  out.Print("Param4: 1: neu 0: dran h\xE4ngen\n");
}

void PrintHelp(Diagnostics& out) {
  out.Print(
      "Aufruf: zeprink [--config DATEI] [--report DATEI] [--metrics DATEI] DNL-FUNKTION TERMINAL DNL-DATEI MODUS [/d]\n"
      "        zeprink --help | --version\n"
      "\n"
      "Schreibt eine Downloaddatei (DNL-Datei) fuer ein Zutrittsterminal.\n"
      "\n"
      "  DNL-FUNKTION  %s (beliebige Schreibweise)\n"
      "  TERMINAL      Terminalname wie in Zdx1140Trm.TrmNam (Gross-/Kleinschreibung zaehlt,\n"
      "                hoechstens 255 Zeichen)\n"
      "  DNL-DATEI     Pfad der DNL-Datei; sie wird erst am Ende eines erfolgreichen Laufs ersetzt\n"
      "  MODUS         1 (oder ein Text, der mit 1 beginnt): neu schreiben; sonst anhaengen\n"
      "  /d            Diagnosezeilen (nur genau so und nur als fuenfter Parameter)\n"
      "  --report DATEI   Bericht des Laufs (JSON), am Ende atomar ersetzt\n"
      "  --metrics DATEI  dieselben Zahlen im Prometheus-Textformat (textfile collector)\n"
      "\n"
      "  --config DATEI  die Konfigurationsdatei (sonst %s, relativ zum\n"
      "                Arbeitsverzeichnis; zeprink-config schreibt sie)\n"
      "\n"
      "Exit-Status: 0 Datei geschrieben; 255 Fehler (die DNL-Datei bleibt unveraendert,\n"
      "der Grund steht als Zeile \"zeprink: ...\" auf der Standardfehlerausgabe).\n"
      "Ein Modus ausser 1 und 0, ein fuenfter Parameter ausser /d und weitere Parameter\n"
      "halten den Lauf nicht an; eine Warnung \"zeprink: Warnung: ...\" sagt, was gilt.\n",
      DnlFunctionNames(" oder ").c_str(), kConfigFilePath);
}

// Parameters that the run takes other than a reader may think: a mode
// that is neither 1 nor 0, a fifth parameter that is not exactly "/d",
// parameters after the fifth. The run goes on as ever; standard error says
// what was taken and why.
void WarnAboutTakenParameters(Diagnostics& out, int paramCount, const char* const* params) {
  if (const std::string warning = ModeWarning(params[3]); !warning.empty()) {
    out.Reason("%s", warning.c_str());
  }
  const bool verbose = paramCount == 5 && std::strcmp(params[4], "/d") == 0;
  if (paramCount >= 5 && !verbose) {
    if (std::strcmp(params[4], "/d") == 0) {
      out.Reason("Warnung: /d wirkt nur als letzter Parameter: keine Diagnosezeilen");
    } else {
      out.Reason("Warnung: Parameter 5 \"%s\" ist nicht /d%s: keine Diagnosezeilen", params[4],
                 strcasecmp(params[4], "/d") == 0 ? " (nur klein geschrieben)" : "");
    }
  }
  if (paramCount > 5) {
    std::string ignored;
    for (int i = 5; i < paramCount; ++i) ignored += std::string(i > 5 ? " " : "") + params[i];
    out.Reason("Warnung: %d Parameter nach dem fuenften nicht beachtet: %s", paramCount - 5,
               ignored.c_str());
  }
}

std::string UpperCased(const char* text) {
  std::string upper(text);
  ToUpper(upper.data());
  return upper;
}

}  // namespace

int RunDriver(int paramCount, const char* const* params) {
  // The report options come first: a command line that starts with one of
  // them was never a run (no DNL function has that name).
  // So does "--config FILE": the configuration file there instead of the
  // usual place. The options come in any order.
  std::string reportPath;
  std::string metricsPath;
  std::string configPath;
  while (paramCount >= 2 && (std::strcmp(params[0], "--report") == 0 ||
                             std::strcmp(params[0], "--metrics") == 0 ||
                             std::strcmp(params[0], "--config") == 0)) {
    const std::string_view option = params[0];
    (option == "--report" ? reportPath : option == "--metrics" ? metricsPath : configPath) = params[1];
    params += 2;
    paramCount -= 2;
  }
  Diagnostics out(stdout, stderr);
  std::string reasons;
  out.CopyReasonsTo(&reasons);
  const double started = UnixNow();
  const auto clock = std::chrono::steady_clock::now();
  JobFigures figures;
  const int status = RunDriver(out, paramCount, params, &figures, configPath);
  out.Flush();
  if (reportPath.empty() && metricsPath.empty()) return status;

  RunReport report;
  report.program = "zeprink";
  report.startedAt = started;
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - clock).count();
  report.residentBytes = ResidentBytes();
  report.jobs.push_back(MakeJobReport(0, paramCount > 0 ? params[0] : "", paramCount > 1 ? params[1] : "",
                                      paramCount > 2 ? params[2] : "", status, reasons, figures,
                                      report.seconds, UnixNow()));
  WriteReports(out, reportPath, metricsPath, report);
  out.Flush();
  return status;
}

int RunDriver(Diagnostics& out, int paramCount, const char* const* params, JobFigures* figures,
              const std::string& configPath) {
  RunSettings settings;
  if (!configPath.empty()) settings.configPath = configPath;
  // "--help" or "--version" as the only parameter; any other command line
  // is read as ever.
  if (paramCount == 1 && std::strcmp(params[0], "--help") == 0) {
    PrintHelp(out);
    return 0;
  }
  if (paramCount == 1 && std::strcmp(params[0], "--version") == 0) {
    out.Print("%sDatenbanken: %s\n", VersionLine("zeprink").c_str(), BuiltInBackends().c_str());
    return 0;
  }
  if (paramCount < 4) {
    PrintUsage(out, paramCount);
    out.Reason("%d Parameter, mindestens 4 noetig: DNL-Funktion, Terminal, DNL-Datei, Modus "
               "(zeprink --help)",
               paramCount);
    return kRunFailed;
  }

  // Nothing is cut: a terminal name that does not fit its field is refused
  // before anything is touched.
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  if (std::strlen(params[1]) > terminal.TrmNam.size() - 1) {
    out.Print("Terminal-Name zu lang (mehr als %zu Zeichen): %s\n", terminal.TrmNam.size() - 1,
              params[1]);
    out.Reason("der Terminal-Name hat %zu Zeichen, hoechstens %zu sind erlaubt",
               std::strlen(params[1]), terminal.TrmNam.size() - 1);
    return kRunFailed;
  }
  SetField(terminal.TrmNam, params[1]);

  // A name that matches no DNL function is refused before the DNL file is
  // created or emptied.
  const std::string functionName = UpperCased(params[0]);
  const DnlFunction* function = FindDnlFunction(functionName);
  if (function == nullptr) {
    out.Print("Unbekannte DNL-Funktion: %s!\n", params[0]);
    out.Reason("DNL-Funktion %s gibt es nicht; bekannt sind %s", params[0],
               DnlFunctionNames().c_str());
    return kRunFailed;
  }

  const std::string dnlPath = params[2];
  const std::string mode = params[3];
  const bool newFile = ModeWritesNew(mode);
  if (paramCount == 5 && std::strcmp(params[4], "/d") == 0) out.SetVerbose(true);
  WarnAboutTakenParameters(out, paramCount, params);

  if (!ReadRunSettings(out, settings)) return kRunFailed;

  SqlSession session;
  // Every failed statement is kept for the reason of a failed run.
  StatementFailure lastFailure;
  WatchStatements(session, &out, &lastFailure);
  if (ConnectRun(out, session, settings) != 0) return kRunFailed;

  JobRequest job;
  job.function = function;
  job.terminal = terminal;
  job.dnlPath = dnlPath;
  job.newFile = newFile;
  job.figures = figures;
  return RunJob(out, session, settings, job, lastFailure);
}

}  // namespace zx