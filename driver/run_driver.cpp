#include "driver/run_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "driver/db_session.h"
#include "driver/dnl_file.h"
#include "driver/run_config.h"
#include "queries/statements.h"
#include "queries/terminal_lookup.h"
#include "queries/terminal_params.h"
#include "sql/session.h"
#include "writers/run_context.h"
#include "writers/writers.h"

namespace zx {

namespace {

struct DnlFunction {
  const char* name;
  int (*writer)(RunContext&, const TerminalParams&);
  const char* failureMessage;
};

// The DNL functions, in the order in which the driver tests them.
constexpr DnlFunction kDnlFunctions[] = {
    {"MGDNL17P", CreateMgDnl17P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL17P!\n"},
    {"MGDNL18P", CreateMgDnl18P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL18P!\n"},
    {"MGDNL31P", CreateMgDnl31P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n"},
    {"MGDNL60P", CreateMgDnl60P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL60P!\n"},
    {"IDSTAMM", CreateIdStamm, "Programmabbruch: Fehler bei Erstellung der Datei IDSTAMM!\n"},
};

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
      "Aufruf: zeprink DNL-FUNKTION TERMINAL DNL-DATEI MODUS [/d]\n"
      "        zeprink --help | --version\n"
      "\n"
      "Schreibt eine Downloaddatei (DNL-Datei) fuer ein Zutrittsterminal.\n"
      "\n"
      "  DNL-FUNKTION  MGDNL17P, MGDNL18P, MGDNL31P, MGDNL60P oder IDSTAMM (beliebige Schreibweise)\n"
      "  TERMINAL      Terminalname wie in Zdx1140Trm.TrmNam (Gross-/Kleinschreibung zaehlt,\n"
      "                hoechstens 255 Zeichen)\n"
      "  DNL-DATEI     Pfad der DNL-Datei; sie wird erst am Ende eines erfolgreichen Laufs ersetzt\n"
      "  MODUS         1 (oder ein Text, der mit 1 beginnt): neu schreiben; sonst anhaengen\n"
      "  /d            Diagnosezeilen (nur genau so und nur als fuenfter Parameter)\n"
      "\n"
      "Konfiguration: %s, relativ zum Arbeitsverzeichnis (zeprink-config).\n"
      "Exit-Status: 0 Datei geschrieben; 255 Fehler (die DNL-Datei bleibt unveraendert,\n"
      "der Grund steht als Zeile \"zeprink: ...\" auf der Standardfehlerausgabe).\n",
      kConfigFilePath);
}

const DnlFunction* FindDnlFunction(const std::string& upperName) {
  for (const DnlFunction& function : kDnlFunctions) {
    if (upperName == function.name) return &function;
  }
  return nullptr;
}

void ReasonForFile(Diagnostics& out, const std::string& path, int error) {
  out.Reason("Downloadfile %s: %s", AbsolutePath(path).c_str(), std::strerror(error));
}

// The last failed statement of the run, for the reason of a failed run.
struct StatementFailure {
  SqlStatus status;
  std::string purpose;
};

void ReasonForStatement(Diagnostics& out, const StatementFailure& failure) {
  out.Reason("SQL-Anweisung \"%s\" fehlgeschlagen, SQLCode %d: %s", failure.purpose.c_str(),
             failure.status.code, failure.status.message.c_str());
}

// Completes the terminal from the database. A name that neither the terminal
// table (with any status) nor the badge assignments hold is refused, as is a
// name with more than one valid terminal row and a lookup that fails: such a
// run would give the terminal a file it was never meant to get. A terminal
// whose rows are all invalid (status 4 or 8), or that has assignment rows
// only, keeps the '0' fill and gets the badges assigned to its name.
// Returns false, with the message printed, when the run must end.
bool CompleteTerminal(Diagnostics& out, SqlSession& session, TerminalParams& terminal,
                      const StatementFailure& lastFailure) {
  const std::string name(FieldText(terminal.TrmNam));
  int32_t code = ReadTerminal(session, terminal);
  if (code == sqlcode::kNoData) {
    bool known = false;
    code = FindTerminalName(session, terminal, known);
    if (code == sqlcode::kOk && !known) {
      out.Print("Terminal %s unbekannt!\n", name.c_str());
      out.Reason("Terminal %s steht weder in Zdx1140Trm noch in Zdx115Tfz (Gross-/Kleinschreibung "
                 "zaehlt)",
                 name.c_str());
      return false;
    }
  }
  if (code == sqlcode::kOk) return true;
  if (code == sqlcode::kTooManyRows) {
    out.Print("Terminal %s mehrfach vorhanden!\n", name.c_str());
    out.Reason("Terminal %s hat mehr als eine gueltige Zeile in Zdx1140Trm", name.c_str());
  } else {
    out.Print("Terminal %s konnte nicht gelesen werden! SQLCode:%d\n", name.c_str(), code);
    ReasonForStatement(out, lastFailure);
  }
  return false;
}

std::string UpperCased(const char* text) {
  std::string upper(text);
  ToUpper(upper.data());
  return upper;
}

}  // namespace

int RunDriver(int paramCount, const char* const* params) {
  Diagnostics out(stdout, stderr);
  const int status = RunDriver(out, paramCount, params);
  out.Flush();
  return status;
}

int RunDriver(Diagnostics& out, int paramCount, const char* const* params) {
  // "--help" or "--version" as the only parameter; any other command line
  // is read as ever.
  if (paramCount == 1 && std::strcmp(params[0], "--help") == 0) {
    PrintHelp(out);
    return 0;
  }
  if (paramCount == 1 && std::strcmp(params[0], "--version") == 0) {
    out.Print("zeprink %s\nDatenbanken: %s\n", ZEPRINK_VERSION, BuiltInBackends().c_str());
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
    std::string names;
    for (const DnlFunction& known : kDnlFunctions) names += std::string(names.empty() ? "" : ", ") + known.name;
    out.Reason("DNL-Funktion %s gibt es nicht; bekannt sind %s", params[0], names.c_str());
    return kRunFailed;
  }

  const std::string dnlPath = params[2];
  const bool newFile = params[3][0] == '1';
  if (paramCount == 5 && std::strcmp(params[4], "/d") == 0) out.SetVerbose(true);

  // A missing or unreadable file gives empty values, and the connection
  // reports the error; the reason names the file.
  const int configError = ConfigFileError(kConfigFilePath);
  if (const unsigned mode = ConfigFileReadableByOthers(kConfigFilePath); mode != 0) {
    out.Reason("Warnung: Konfigurationsdatei %s ist fuer Gruppe oder andere lesbar (Modus %04o); "
               "chmod 600 empfohlen",
               AbsolutePath(kConfigFilePath).c_str(), mode);
  }
  RunConfig config;
  if (const std::string refused = ReadRunConfig(kConfigFilePath, config); !refused.empty()) {
    out.Print("Konfigurationseintrag %s in %s zu lang oder ungueltig!\n", refused.c_str(), kConfigFilePath);
    out.Reason("der erste Eintrag %s in %s ist zu lang oder kein gueltiger Eintrag", refused.c_str(),
               AbsolutePath(kConfigFilePath).c_str());
    return kRunFailed;
  }
  const std::string& user = config.user;
  const std::string& password = config.password;
  const std::string& netService = config.netService;
  const std::string& schema = config.schema;

  SqlSession session;
  // Every failed statement is kept for the reason of a failed run; with
  // "/d" each one is also shown with the database's words.
  StatementFailure lastFailure;
  session.SetFailureObserver([&out, &lastFailure](const SqlStatus& status, std::string_view text) {
    lastFailure.status = status;
    const std::string_view purpose = statements::PurposeOf(text);
    lastFailure.purpose = purpose.empty() ? std::string(text.substr(0, 60)) : std::string(purpose);
    if (out.Verbose()) out.Reason("SQL-Fehler %d: %s", status.code, status.message.c_str());
  });
  const int32_t code =
      ConnectDatabase(session, user.c_str(), password.c_str(), netService.c_str(), schema.c_str());
  if (code != 0) {
    // The password is never shown: "***" stands for a set one.
    out.Print("DB-Connect-Error: %d!", code);
    out.Print("Name:%s Pwd:%s Net:%s Schema:%s\n", user.c_str(), password.empty() ? "" : "***",
              netService.c_str(), schema.c_str());
    const SqlStatus& status = session.LastStatus();
    const std::string words =
        status.code == code && !status.message.empty() ? status.message : "SQLCode " + std::to_string(code);
    if (configError != 0) {
      out.Reason("Konfigurationsdatei %s nicht lesbar (%s), daher keine Anmeldedaten",
                 AbsolutePath(kConfigFilePath).c_str(), std::strerror(configError));
    } else if (!session.Connected()) {
      out.Reason("Verbindung zur Datenbank \"%s\" fehlgeschlagen: %s", netService.c_str(), words.c_str());
    } else {
      out.Reason("Schema \"%s\" nicht einstellbar: %s", schema.c_str(), words.c_str());
    }
    return kRunFailed;
  }
  out.Print("Mit Datenbank verbunden! Schema: %s\n", schema.c_str());

  DnlFile dnlFile;
  if (!dnlFile.Open(dnlPath, newFile)) {
    out.Print("Downloadfile %s konnte nicht geoeffnet werden!\n", dnlPath.c_str());
    ReasonForFile(out, dnlPath, dnlFile.Error());
    return kRunFailed;
  }

  // A refused terminal leaves the DNL file as it was: the temporary file goes.
  if (!CompleteTerminal(out, session, terminal, lastFailure)) return kRunFailed;

  RunContext run{session, dnlFile, out};
  const int written = function->writer(run, terminal);
  if (out.Verbose()) {
    const SqlCounters counters = session.Counters();
    out.Reason("Anweisungen: %lld Roundtrips zum Server: %lld",
               static_cast<long long>(counters.statements),
               static_cast<long long>(counters.roundTrips));
  }
  if (written == 0) {
    out.Print("%s", function->failureMessage);
    // Only a successful run replaces the file; a failed one keeps the old.
    dnlFile.Discard();
    if (dnlFile.Error() != 0) {
      ReasonForFile(out, dnlPath, dnlFile.Error());
    } else if (lastFailure.status.code != sqlcode::kOk) {
      ReasonForStatement(out, lastFailure);
    } else {
      out.Reason("Erstellung der Datei %s abgebrochen", function->name);
    }
    return kRunFailed;
  }
  if (!dnlFile.Commit()) {
    out.Print("Downloadfile %s konnte nicht geschrieben werden!\n", dnlPath.c_str());
    ReasonForFile(out, dnlPath, dnlFile.Error());
    return kRunFailed;
  }
  return 0;
}

}  // namespace zx
