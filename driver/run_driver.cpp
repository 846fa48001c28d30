#include "driver/run_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/config_file.h"
#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "driver/db_session.h"
#include "driver/dnl_file.h"
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

const DnlFunction* FindDnlFunction(const std::string& upperName) {
  for (const DnlFunction& function : kDnlFunctions) {
    if (upperName == function.name) return &function;
  }
  return nullptr;
}

// Reads one value of the configuration file: empty when the file or the key
// is missing. A record of the key that cannot be read whole is refused with a
// message (false), neither cut nor passed over for a later record or the
// empty value.
bool ReadConfig(Diagnostics& out, const char* key, std::string& value) {
  if (FindConfigValue("", key, 0, kConfigFilePath, value) != ConfigLookup::kRefused) return true;
  out.Print("Konfigurationseintrag %s in %s zu lang oder ungueltig!\n", key, kConfigFilePath);
  return false;
}

// Completes the terminal from the database. A name that neither the terminal
// table (with any status) nor the badge assignments hold is refused, as is a
// name with more than one valid terminal row and a lookup that fails: such a
// run would give the terminal a file it was never meant to get. A terminal
// whose rows are all invalid (status 4 or 8), or that has assignment rows
// only, keeps the '0' fill and gets the badges assigned to its name.
// Returns false, with the message printed, when the run must end.
bool CompleteTerminal(Diagnostics& out, SqlSession& session, TerminalParams& terminal) {
  const std::string name(FieldText(terminal.TrmNam));
  int32_t code = ReadTerminal(session, terminal);
  if (code == sqlcode::kNoData) {
    bool known = false;
    code = FindTerminalName(session, terminal, known);
    if (code == sqlcode::kOk && !known) {
      out.Print("Terminal %s unbekannt!\n", name.c_str());
      return false;
    }
  }
  if (code == sqlcode::kOk) return true;
  if (code == sqlcode::kTooManyRows) {
    out.Print("Terminal %s mehrfach vorhanden!\n", name.c_str());
  } else {
    out.Print("Terminal %s konnte nicht gelesen werden! SQLCode:%d\n", name.c_str(), code);
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
  if (paramCount < 4) {
    PrintUsage(out, paramCount);
    return kRunFailed;
  }

  // Nothing is cut: a terminal name that does not fit its field is refused
  // before anything is touched.
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  if (std::strlen(params[1]) > terminal.TrmNam.size() - 1) {
    out.Print("Terminal-Name zu lang (mehr als %zu Zeichen): %s\n", terminal.TrmNam.size() - 1,
              params[1]);
    return kRunFailed;
  }
  SetField(terminal.TrmNam, params[1]);

  // A name that matches no DNL function is refused before the DNL file is
  // created or emptied.
  const std::string functionName = UpperCased(params[0]);
  const DnlFunction* function = FindDnlFunction(functionName);
  if (function == nullptr) {
    out.Print("Unbekannte DNL-Funktion: %s!\n", params[0]);
    return kRunFailed;
  }

  const std::string dnlPath = params[2];
  const bool newFile = params[3][0] == '1';
  if (paramCount == 5 && std::strcmp(params[4], "/d") == 0) out.SetVerbose(true);

  std::string user;
  std::string password;
  std::string netService;
  std::string dbSystem;  // read and kept, used by nothing
  std::string schema;
  if (!ReadConfig(out, "LOGIN", user) || !ReadConfig(out, "PASS", password) ||
      !ReadConfig(out, "NET8", netService) || !ReadConfig(out, "DB_SYSTEM", dbSystem) ||
      !ReadConfig(out, "SCHEMA", schema)) {
    return kRunFailed;
  }
  if (!schema.empty()) schema.pop_back();
  ToUpper(schema.data());

  SqlSession session;
  // Every failed statement is kept for the reason of a failed run; with
  // "/d" each one is also shown with the database's words.
  SqlStatus lastFailure;
  session.SetFailureObserver([&out, &lastFailure](const SqlStatus& status, std::string_view) {
    lastFailure = status;
    if (out.Verbose()) out.Reason("SQL-Fehler %d: %s", status.code, status.message.c_str());
  });
  const int32_t code =
      ConnectDatabase(session, user.c_str(), password.c_str(), netService.c_str(), schema.c_str());
  if (code != 0) {
    // The password is never shown: "***" stands for a set one.
    out.Print("DB-Connect-Error: %d!", code);
    out.Print("Name:%s Pwd:%s Net:%s Schema:%s\n", user.c_str(), password.empty() ? "" : "***",
              netService.c_str(), schema.c_str());
    return kRunFailed;
  }
  out.Print("Mit Datenbank verbunden! Schema: %s\n", schema.c_str());

  DnlFile dnlFile;
  if (!dnlFile.Open(dnlPath, newFile)) {
    out.Print("Downloadfile %s konnte nicht geoeffnet werden!\n", dnlPath.c_str());
    return kRunFailed;
  }

  // A refused terminal leaves the DNL file as it was: the temporary file goes.
  if (!CompleteTerminal(out, session, terminal)) return kRunFailed;

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
    return kRunFailed;
  }
  if (!dnlFile.Commit()) {
    out.Print("Downloadfile %s konnte nicht geschrieben werden!\n", dnlPath.c_str());
    return kRunFailed;
  }
  return 0;
}

}  // namespace zx
