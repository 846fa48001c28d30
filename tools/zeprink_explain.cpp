// zeprink-explain: says, in the terms of the DNL files, why a badge is or is
// not in each of a terminal's files. It reads the configuration and connects
// as the program does, and lets the program's own badge cursor and writers
// decide (tools/badge_explain.h).

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/config_file.h"
#include "base/text_utils.h"
#include "base/tool_cli.h"
#include "driver/run_config.h"
#include "driver/db_session.h"
#include "driver/run_driver.h"
#include "sql/session.h"
#include "tools/badge_explain.h"
#include "tools/data_check.h"
#include "tools/dnl_layout.h"
#include "tools/explain_support.h"

namespace {

constexpr char kUsage[] =
    "Aufruf:\n"
    "  zeprink-explain [--config DATEI] [--function DNL-FUNKTION]... TERMINAL AUSWEIS\n"
    "  zeprink-explain [--config DATEI] --check\n"
    "  zeprink-explain --help | --version\n"
    "\n"
    "Erklärt Schritt für Schritt, warum der Ausweis in den DNL-Dateien des Terminals steht\n"
    "oder nicht: Gültigkeit, Sperren, Zuordnung zum Terminal, Zeit- und Zutrittsberechtigung,\n"
    "Leser, Standort, Saldo und Anzeigetexte. Ohne --function für alle fünf DNL-Funktionen.\n"
    "Die Konfiguration wird wie vom Programm gelesen (../../files/morvalent.ini relativ zum\n"
    "Arbeitsverzeichnis, oder DATEI); die Datenbank wird nur gelesen.\n"
    "\n"
    "--check prüft die Datenbank auf Werte, die das Programm so nicht verwenden kann (leere\n"
    "Texte, Daten nicht in der Form 'YYYY-MM-DD HH:MM:SS', Text in Zahlenspalten, zwei\n"
    "gültige Terminalzeilen mit einem Namen) und nennt Tabelle, Spalte und Schlüssel.\n"
    "\n"
    "Ein Terminal, das das Programm ablehnt (unbekannt, mehrfach vorhanden, nicht lesbar),\n"
    "wird abgelehnt wie dort: keine Erklärung, Exit-Status 255.\n"
    "\n"
    "Exit-Status: 0 erklärt (--check: nichts gefunden), 1 --check hat Befunde,\n"
    "255 Fehler oder falscher Aufruf (Grund auf der Standardfehlerausgabe).\n";

constexpr char kProgram[] = "zeprink-explain";

int Failed(const std::string& reason) { return zx::ToolReason(stderr, kProgram, reason); }

struct Options {
  std::string config = zx::kConfigFilePath;
  bool check = false;
  std::vector<std::string> functions;
  std::vector<std::string> names;  // terminal, badge
};

bool ParseArgs(const std::vector<std::string_view>& args, Options& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--config" && hasValue) {
      options.config = args[++i];
    } else if (arg == "--function" && hasValue) {
      options.functions.emplace_back(args[++i]);
      if (!zx::explain::IsDnlFunction(options.functions.back())) {
        error = "unbekannte DNL-Funktion " + options.functions.back();
        return false;
      }
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg.starts_with("--")) {
      error = "unbekannte Option " + std::string(arg) + " (zeprink-explain --help)";
      return false;
    } else {
      options.names.emplace_back(arg);
    }
  }
  if (options.check && (!options.names.empty() || !options.functions.empty())) {
    error = "--check nimmt weder TERMINAL noch AUSWEIS (zeprink-explain --help)";
  } else if (!options.check && options.names.size() != 2) {
    error = "TERMINAL und AUSWEIS erwartet (zeprink-explain --help)";
  }
  return error.empty();
}

// Reads LOGIN, PASS, NET8 and SCHEMA as the program reads them and connects.
bool Connect(const std::string& path, zx::SqlSession& session, std::string& error) {
  // Without its file the program has no login: say so, rather than what
  // connecting with empty values gives.
  if (const int fileError = zx::ConfigFileError(path); fileError != 0) {
    error = "Konfigurationsdatei " + zx::AbsolutePath(path) + " nicht lesbar (" +
            std::strerror(fileError) + "); im Arbeitsverzeichnis des Programms starten oder "
            "--config DATEI angeben";
    return false;
  }
  std::string values[4];
  const char* keys[4] = {"LOGIN", "PASS", "NET8", "SCHEMA"};
  for (int i = 0; i < 4; ++i) {
    if (zx::FindConfigValue("", keys[i], 0, path, values[i]) == zx::ConfigLookup::kRefused) {
      error = std::string("Konfigurationseintrag ") + keys[i] + " in " + path +
              " zu lang oder ungueltig";
      return false;
    }
  }
  std::string& schema = values[3];
  if (!schema.empty()) schema.pop_back();
  zx::ToUpper(schema.data());
  const zx::ConnectionSettings login{.user = values[0], .password = values[1], .netService = values[2]};
  const int32_t code = zx::ConnectDatabase(session, login, schema.c_str());
  if (code != 0) {
    error = "keine Verbindung zur Datenbank: " + zx::explain::Failure(session, code) + ", Name " +
            values[0] + ", Net " + values[2] + ", Schema " + schema + " (Konfiguration " + path +
            ")";
    return false;
  }
  return true;
}

// The data check: 0 nothing found, 1 findings, 255 the check failed.
int Check(const Options& options) {
  zx::SqlSession session;
  std::string error;
  if (!Connect(options.config, session, error)) return Failed(error);
  std::string text;
  const int findings =
      zx::explain::CheckDatabase(session, session.LooseColumnTypes(), text, error);
  if (!zx::PrintToStdout(text)) return Failed("Standardausgabe nicht schreibbar");
  if (findings < 0) return Failed("die Prüfung ist fehlgeschlagen: " + error);
  return findings == 0 ? zx::kExitDone : zx::kExitFound;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    return zx::PrintToStdout(kUsage) ? zx::kExitDone : zx::kExitFailed;
  }
  if (args.size() == 1 && args[0] == "--version") {
    return zx::PrintToStdout(zx::VersionLine(kProgram)) ? zx::kExitDone : zx::kExitFailed;
  }
  Options options;
  std::string error;
  if (!ParseArgs(args, options, error)) return Failed(error);
  if (options.check) return Check(options);

  zx::explain::Request request;
  request.terminal = options.names[0];
  request.functions = options.functions;
  // The database holds Windows-1252; the command line is UTF-8.
  if (!zx::dnl::Utf8ToWin1252(options.names[1], request.badge)) {
    return Failed("die Ausweisnummer hat ein Zeichen, das Windows-1252 nicht kennt");
  }
  std::string terminalBytes;
  if (zx::dnl::Utf8ToWin1252(request.terminal, terminalBytes)) request.terminal = terminalBytes;
  if (request.terminal.size() > 255) return Failed("Terminal-Name zu lang (mehr als 255 Zeichen)");

  zx::SqlSession session;
  if (!Connect(options.config, session, error)) return Failed(error);
  std::string text;
  const bool explained = zx::explain::ExplainBadge(session, request, text, error);
  if (!zx::PrintToStdout(text)) return Failed("Standardausgabe nicht schreibbar");
  return explained ? zx::kExitDone : Failed(error);
}
