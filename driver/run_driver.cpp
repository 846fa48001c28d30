#include "driver/run_driver.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/config_file.h"
#include "driver/db_session.h"
#include "driver/dnl_file.h"
#include "driver/run_state.h"
#include "driver/text_utils.h"
#include "queries/fixed_text.h"
#include "queries/terminal_lookup.h"
#include "queries/terminal_params.h"
#include "writers/writers.h"

namespace zx {

namespace {

struct DnlFunction {
  const char* name;
  int (*writer)(const char*, const TerminalParams&);
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

void PrintUsage(int paramCount) {
  std::printf("Anzahl Parameter(mind. 4) unterschritten! AnzParam: %d", paramCount);
  std::printf("Aufruf: ZEPRINK [Param1] [Param2] [Param3] [Param4] /d \n");
  std::printf("Param1: DNL-Funktion\n");
  std::printf("Param2: Terminal-Name\n");
  std::printf("Param3: Pfad der DNL-Datei\n");
  std::printf("Param4: 1: neu 0: dran h\xE4ngen\n");
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
bool ReadConfig(const char* key, std::string& value) {
  if (FindConfigValue("", key, 0, kConfigFilePath, value) != ConfigLookup::kRefused) return true;
  std::printf("Konfigurationseintrag %s in %s zu lang oder ungueltig!\n", key, kConfigFilePath);
  return false;
}

std::string UpperCased(const char* text) {
  std::string upper(text);
  ToUpper(upper.data());
  return upper;
}

}  // namespace

int RunDriver(int paramCount, const char* const* params) {
  int runResult = 0;
  if (paramCount < 4) {
    PrintUsage(paramCount);
    std::fflush(stdout);
    return kRunFailed;
  }

  // Nothing is cut: a terminal name that does not fit its field is refused
  // before anything is touched.
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  if (std::strlen(params[1]) > terminal.TrmNam.size() - 1) {
    std::printf("Terminal-Name zu lang (mehr als %zu Zeichen): %s\n", terminal.TrmNam.size() - 1,
                params[1]);
    std::fflush(stdout);
    return kRunFailed;
  }
  SetField(terminal.TrmNam, params[1]);

  // A name that matches no DNL function is refused before the DNL file is
  // created or emptied.
  const std::string functionName = UpperCased(params[0]);
  const DnlFunction* function = FindDnlFunction(functionName);
  if (function == nullptr) {
    std::printf("Unbekannte DNL-Funktion: %s!\n", params[0]);
    std::fflush(stdout);
    return kRunFailed;
  }

  const std::string dnlPath = params[2];
  const bool newFile = params[3][0] == '1';
  if (paramCount == 5 && std::strcmp(params[4], "/d") == 0) Verbose = 1;

  std::string user;
  std::string password;
  std::string netService;
  std::string dbSystem;  // read and kept, used by nothing
  std::string schema;
  if (!ReadConfig("LOGIN", user) || !ReadConfig("PASS", password) || !ReadConfig("NET8", netService) ||
      !ReadConfig("DB_SYSTEM", dbSystem) || !ReadConfig("SCHEMA", schema)) {
    std::fflush(stdout);
    return kRunFailed;
  }
  if (!schema.empty()) schema.pop_back();
  ToUpper(schema.data());

  const int32_t code =
      ConnectDatabase(user.c_str(), password.c_str(), netService.c_str(), schema.c_str());
  if (code != 0) {
    // The password is never shown: "***" stands for a set one.
    std::printf("DB-Connect-Error: %d!", code);
    std::printf("Name:%s Pwd:%s Net:%s Schema:%s\n", user.c_str(), password.empty() ? "" : "***",
                netService.c_str(), schema.c_str());
    std::fflush(stdout);
    return kRunFailed;
  }
  std::printf("Mit Datenbank verbunden! Schema: %s\n", schema.c_str());

  DnlFile dnlFile;
  if (!dnlFile.Open(dnlPath, newFile)) {
    std::printf("Downloadfile %s konnte nicht geoeffnet werden!\n", dnlPath.c_str());
    std::fflush(stdout);
    return kRunFailed;
  }
  SetRunDnlFile(&dnlFile);

  ReadTerminal(terminal);

  if (function->writer(dnlPath.c_str(), terminal) == 0) {
    std::printf("%s", function->failureMessage);
    runResult = kRunFailed;
  }
  SetRunDnlFile(nullptr);

  // Only a successful run replaces the file; a failed one keeps the old.
  if (runResult == 0) {
    if (!dnlFile.Commit()) {
      std::printf("Downloadfile %s konnte nicht geschrieben werden!\n", dnlPath.c_str());
      runResult = kRunFailed;
    }
  } else {
    dnlFile.Discard();
  }
  std::fflush(stdout);
  return runResult;
}

}  // namespace zx
