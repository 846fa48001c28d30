#include "driver/run_job.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/config_file.h"
#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "driver/db_session.h"
#include "driver/dnl_file.h"
#include "driver/run_config.h"
#include "queries/statements.h"
#include "queries/terminal_lookup.h"

namespace zx {

namespace {

constexpr int kRunFailed = -1;

// Names the DNL file and, when it was the directory that refused the
// temporary file (no write permission there), the directory.
void ReasonForFile(Diagnostics& out, const std::string& path, const DnlFile& file) {
  if (!file.FailedDirectory().empty()) {
    out.Reason("Downloadfile %s: Verzeichnis %s: %s (keine temporaere Datei moeglich)",
               AbsolutePath(path).c_str(), AbsolutePath(file.FailedDirectory()).c_str(),
               std::strerror(file.Error()));
    return;
  }
  out.Reason("Downloadfile %s: %s", AbsolutePath(path).c_str(), std::strerror(file.Error()));
}

// A DNL path refused before anything was touched, though the system would
// have let the run use it.
void ReasonForRefusal(Diagnostics& out, const std::string& path, const FileRefusal& refusal) {
  const std::string file = AbsolutePath(path);
  switch (refusal.kind) {
    case FileRefusal::Kind::kUntrustedLink:
      out.Reason("Downloadfile %s: symbolischer Link %s nicht gefolgt: er liegt in einem Verzeichnis "
                 "mit Sticky-Bit, in das alle schreiben duerfen, und gehoert weder diesem Benutzer "
                 "noch dem Eigentuemer des Verzeichnisses (sondern UID %u)",
                 AbsoluteName(path).c_str(), AbsoluteName(refusal.name).c_str(),
                 static_cast<unsigned>(refusal.owner));
      return;
    case FileRefusal::Kind::kDirectoryName:
      out.Reason("Downloadfile %s: der Pfad endet mit '/' und benennt ein Verzeichnis, keine Datei",
                 path.c_str());
      return;
    case FileRefusal::Kind::kOpenByProcess:
      out.Reason("Downloadfile %s: ist die Datei %s, die der Lauf offen hat (Datenbank oder Ausgabe); "
                 "nicht ersetzt",
                 file.c_str(), refusal.name.c_str());
      return;
    case FileRefusal::Kind::kRefusedFile:
      out.Reason("Downloadfile %s: ist die Konfigurationsdatei %s; nicht ersetzt", file.c_str(),
                 AbsolutePath(refusal.name).c_str());
      return;
    case FileRefusal::Kind::kNone:
      break;
  }
}

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

}  // namespace

bool ModeWritesNew(const std::string& mode) { return !mode.empty() && mode[0] == '1'; }

std::string ModeWarning(const std::string& mode) {
  if (mode == "1" || mode == "0") return {};
  if (ModeWritesNew(mode)) {
    return "Warnung: Modus \"" + mode + "\" gilt als 1 (beginnt mit 1): die Datei wird neu geschrieben";
  }
  return "Warnung: Modus \"" + mode +
         "\" ist weder 1 noch 0: die Datei wird angehaengt (nur 1 schreibt sie neu)";
}

bool ReadRunSettings(Diagnostics& out, RunSettings& settings) {
  settings.fileError = ConfigFileError(settings.configPath);
  if (const unsigned mode = ConfigFileReadableByOthers(settings.configPath); mode != 0) {
    out.Reason("Warnung: Konfigurationsdatei %s ist fuer Gruppe oder andere lesbar (Modus %04o); "
               "chmod 600 empfohlen",
               AbsolutePath(settings.configPath).c_str(), mode);
  }
  // A record that cannot be read whole is refused, neither cut nor passed
  // over for a later record or the empty value.
  if (const std::string refused = ReadRunConfig(settings.configPath, settings); !refused.empty()) {
    out.Print("Konfigurationseintrag %s in %s zu lang oder ungueltig!\n", refused.c_str(),
              settings.configPath.c_str());
    out.Reason("der erste Eintrag %s in %s ist zu lang oder kein gueltiger Eintrag",
               refused.c_str(), AbsolutePath(settings.configPath).c_str());
    return false;
  }
  return true;
}

void WatchStatements(SqlSession& session, Diagnostics* out, StatementFailure* failure) {
  session.SetFailureObserver([out, failure](const SqlStatus& status, std::string_view text) {
    failure->status = status;
    const std::string_view purpose = statements::PurposeOf(text);
    failure->purpose = purpose.empty() ? std::string(text.substr(0, 60)) : std::string(purpose);
    if (out->Verbose()) out->Reason("SQL-Fehler %d: %s", status.code, status.message.c_str());
  });
}

int32_t ConnectRun(Diagnostics& out, SqlSession& session, const RunSettings& settings,
                   std::string_view snapshot) {
  const int32_t code = ConnectDatabase(session, settings.login, settings.schema.c_str(), snapshot);
  if (code == 0) return 0;
  // The password is never shown: "***" stands for a set one.
  out.Print("DB-Connect-Error: %d!", code);
  out.Print("Name:%s Pwd:%s Net:%s Schema:%s\n", settings.login.user.c_str(),
            settings.login.password.empty() ? "" : "***", settings.login.netService.c_str(),
            settings.schema.c_str());
  const SqlStatus& status = session.LastStatus();
  const std::string words = status.code == code && !status.message.empty()
                                ? status.message
                                : "SQLCode " + std::to_string(code);
  if (settings.fileError != 0) {
    out.Reason("Konfigurationsdatei %s nicht lesbar (%s), daher keine Anmeldedaten",
               AbsolutePath(settings.configPath).c_str(), std::strerror(settings.fileError));
  } else if (!session.Connected()) {
    out.Reason("Verbindung zur Datenbank \"%s\" fehlgeschlagen: %s", settings.login.netService.c_str(),
               words.c_str());
  } else {
    out.Reason("Schema \"%s\" nicht einstellbar: %s", settings.schema.c_str(), words.c_str());
  }
  return code;
}

int RunJob(Diagnostics& out, SqlSession& session, const RunSettings& settings,
           JobRequest job, StatementFailure& failure) {
  failure = StatementFailure{};
  out.Print("Mit Datenbank verbunden! Schema: %s\n", settings.schema.c_str());

  DnlFile dnlFile;
  // The run's own files are no DNL file: its database (open) and its
  // configuration file.
  if (!dnlFile.Open(job.dnlPath, job.newFile, {kConfigFilePath}, job.keepEqualFile)) {
    out.Print("Downloadfile %s konnte nicht geoeffnet werden!\n", job.dnlPath.c_str());
    if (dnlFile.Refusal().kind != FileRefusal::Kind::kNone) {
      ReasonForRefusal(out, job.dnlPath, dnlFile.Refusal());
    } else {
      ReasonForFile(out, job.dnlPath, dnlFile);
    }
    return kRunFailed;
  }

  // A refused terminal leaves the DNL file as it was: the temporary file goes.
  if (!CompleteTerminal(out, session, job.terminal, failure)) return kRunFailed;

  const SqlCounters before = session.Counters();
  RunContext run{session, dnlFile, out, job.rowsRead, job.badges};
  const int written = job.function->writer(run, job.terminal);
  if (job.figures != nullptr) {
    job.figures->badgesRead = run.badgesRead;
    job.figures->badgesWritten = run.badgesWritten;
    job.figures->recordsWritten = run.recordsWritten;
  }
  if (out.Verbose()) {
    const SqlCounters counters = session.Counters();
    out.Reason("Anweisungen: %lld Roundtrips zum Server: %lld",
               static_cast<long long>(counters.statements - before.statements),
               static_cast<long long>(counters.roundTrips - before.roundTrips));
  }
  if (run.displayTextsCut > 0) {
    // The displays show no more than their fields hold; the file keeps the
    // cut texts, and the operator learns once per run that there are some.
    out.Reason("Warnung: %d Anzeigetext(e) auf die Breite ihres Feldes gekuerzt (Einzelheiten "
               "mit /d)",
               run.displayTextsCut);
  }
  if (written == 0) {
    out.Print("%s", job.function->FailureMessage().c_str());
    // Only a successful run replaces the file; a failed one keeps the old.
    dnlFile.Discard();
    if (dnlFile.Error() != 0) {
      ReasonForFile(out, job.dnlPath, dnlFile);
    } else if (failure.status.code != sqlcode::kOk) {
      ReasonForStatement(out, failure);
    } else {
      out.Reason("Erstellung der Datei %.*s abgebrochen",
                 static_cast<int>(job.function->name.size()), job.function->name.data());
    }
    return kRunFailed;
  }
  if (!dnlFile.Commit()) {
    out.Print("Downloadfile %s konnte nicht geschrieben werden!\n", job.dnlPath.c_str());
    ReasonForFile(out, job.dnlPath, dnlFile);
    return kRunFailed;
  }
  if (job.figures != nullptr) job.figures->fileChanged = dnlFile.Replaced();
  return 0;
}

}  // namespace zx
