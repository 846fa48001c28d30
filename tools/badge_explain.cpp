#include "tools/badge_explain.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "queries/access_rights.h"
#include "queries/badge_cursor.h"
#include "queries/balance_data.h"
#include "queries/display_texts.h"
#include "queries/location_text.h"
#include "queries/terminal_lookup.h"
#include "queries/terminal_params.h"
#include "tools/dnl_layout.h"
#include "tools/explain_support.h"
#include "tools/explain_statements.h"
#include "writers/fixed_record.h"
#include "writers/run_context.h"
#include "writers/dnl_functions.h"
#include "writers/writers.h"

namespace zx::explain {

namespace {

std::string U(std::string_view win1252) { return Utf8(win1252); }

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// "yyyymmdd" as "dd.mm.yyyy".
std::string Date(std::string_view yyyymmdd) {
  if (yyyymmdd.size() != 8) return std::string(yyyymmdd);
  return std::string(yyyymmdd.substr(6, 2)) + "." + std::string(yyyymmdd.substr(4, 2)) + "." +
         std::string(yyyymmdd.substr(0, 4));
}

std::string Joined(const std::vector<std::string>& items, std::string_view empty = "keine") {
  if (items.empty()) return std::string(empty);
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// Collects a DNL file's bytes in memory.
class MemorySink final : public DnlSink {
 public:
  bool Write(std::string_view bytes) override {
    bytes_.append(bytes);
    return true;
  }
  const std::string& Path() const override { return path_; }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string path_ = "(Speicher)";
  std::string bytes_;
};

// Whether a message line of the program names the badge: "Ausweis N ...",
// "Ausweis N: ...", "Ausweis:N ...".
bool NamesBadge(std::string_view line, std::string_view badge) {
  for (std::string_view prefix : {"Ausweis ", "Ausweis:"}) {
    if (!line.starts_with(prefix)) continue;
    std::string_view rest = line.substr(prefix.size());
    if (rest.starts_with(badge) && rest.size() > badge.size() &&
        (rest[badge.size()] == ' ' || rest[badge.size()] == ':')) {
      return true;
    }
  }
  return false;
}

struct Explainer {
  Explainer(SqlSession& s, const Request& r, std::string& t, std::string& e)
      : session(s), request(r), text(t), error(e) {}

  SqlSession& session;
  const Request& request;
  std::string& text;
  std::string& error;

  TerminalParams terminal{};
  std::string terminalName;
  std::string today;
  std::vector<BadgeRecord> cursorRows;  // the badge's rows in the badge cursor

  // What the rights of the badge on the terminal are.
  bool timeRight = false;
  AccessRightList classes;

  void Line(const std::string& line) { text += line + "\n"; }

  // The terminal as the program looks it up. A terminal the program refuses
  // (unknown, more than one valid row, a lookup that fails) gets no file at
  // all: false, with `error` saying so as the program's run would.
  bool Terminal() {
    FillTerminalParamsWithZeros(terminal);
    SetField(terminal.TrmNam, request.terminal);
    terminalName = request.terminal;
    int32_t code = ReadTerminal(session, terminal);
    if (code == sqlcode::kNoData) {
      bool known = false;
      const int32_t found = FindTerminalName(session, terminal, known);
      if (found == sqlcode::kOk && !known) {
        error = "Terminal " + U(terminalName) + " unbekannt: weder in Zdx1140Trm noch in "
                "Zdx115Tfz (Groß-/Kleinschreibung zählt); das Programm schreibt keine Datei";
        return false;
      }
      if (found != sqlcode::kOk) code = found;
    }
    if (code == sqlcode::kTooManyRows) {
      error = "Terminal " + U(terminalName) + " mehrfach vorhanden: mehr als eine gültige Zeile "
              "in Zdx1140Trm; das Programm schreibt keine Datei";
      return false;
    }
    if (code != sqlcode::kOk && code != sqlcode::kNoData) {
      error = "Terminal " + U(terminalName) + " konnte nicht gelesen werden: " +
              Failure(session, code) + "; das Programm schreibt keine Datei";
      return false;
    }
    Line("Terminal " + U(terminalName) + ":");
    if (code == sqlcode::kOk) {
      Line("  Zeile in Zdx1140Trm: Modell " + U(FieldText(terminal.TrmMod)) + ", Meldungssatz " +
           U(FieldText(terminal.TrmSal)) + ".");
      Line("  Gültige Ausweiszuordnungen (Zdx115Tfz, Status nicht 4/8): " +
           std::to_string(terminal.TfzCount) + ".");
    } else {
      Line("  Zdx1140Trm hat keine gültige Zeile (Status nicht 4/8) mit diesem Namen.");
      Line("  Modell und Meldungssatz lesen sich darum als zehn '0', die Zahl der Zuordnungen "
           "bleibt beim Füllwert " + std::to_string(terminal.TfzCount) + ".");
    }
    if (terminal.TfzCount > 0) {
      Line("  Darum gilt die Zuordnungsform des Ausweiscursors: er liest nur Ausweise, deren "
           "Lizenz (AswLiz) und Mandant (AswMnd) in einer gültigen Zuordnungszeile des Terminals "
           "stehen.");
    } else {
      Line("  Darum liest der Ausweiscursor alle heute gültigen Ausweise (keine Zuordnungen).");
    }
    return true;
  }

  bool Cursor() {
    BadgeCursor cursor;
    BadgeRecord record;
    ClearBadgeRecord(record);
    int32_t code = OpenBadgeCursor(session, cursor, terminal);
    int rows = 0;
    if (code == sqlcode::kOk) code = FetchBadge(cursor, record);
    while (code == sqlcode::kOk) {
      ++rows;
      if (FullBadgeNumber(record) == request.badge) cursorRows.push_back(record);
      ClearBadgeRecord(record);
      code = FetchBadge(cursor, record);
    }
    CloseBadgeCursor(cursor);
    if (code != sqlcode::kNoData) {
      error = "der Ausweiscursor ist fehlgeschlagen: " + Failure(session, code);
      return false;
    }
    Line("");
    Line("Ausweiscursor (" + std::string(terminal.TfzCount > 0 ? "Zuordnungsform" : "alle Ausweise") +
         ", heute " + Date(today) + "): " + std::to_string(rows) + " Zeilen, davon " +
         std::to_string(cursorRows.size()) + " für Ausweis " + U(request.badge) + ".");
    BadgeRows();
    return true;
  }

  // The badge's rows and badge-use rows with the cursor's conditions.
  void BadgeRows() {
    TextRows rows;
    int32_t code = ReadRows(session, kBadgeRows, {terminalName, request.badge}, 9, rows);
    if (code != sqlcode::kOk) {
      Line("  Die Ausweiszeilen konnten nicht gelesen werden: " + Failure(session, code) +
           " (zeprink-explain --check nennt Werte, die das Programm nicht lesen kann).");
      return;
    }
    if (rows.empty()) {
      Line("  Die Ausweistabelle Zdx301Asw hat keine Zeile mit AswNum " + U(request.badge) + ".");
    }
    int k = 0;
    for (const auto& row : rows) {
      ++k;
      std::vector<std::string> reasons;
      const bool hasStart = !row[0].empty();
      const bool hasEnd = !row[1].empty();
      if (!hasStart && !hasEnd) {
        reasons.push_back("weder Gültigkeitsbeginn (AswGvo) noch -ende (AswGbi): gilt an keinem Tag");
      }
      if (hasStart && row[5] != "1") reasons.push_back("noch nicht gültig (erst ab " + Date(row[0]) + ")");
      if (hasEnd && row[6] != "1") reasons.push_back("abgelaufen (nur bis " + Date(row[1]) + ")");
      if (row[7] != "1") {
        reasons.push_back("Status AswSta " + U(row[2]) + " (Zeilen mit Status 4 oder 8 liest der "
                          "Cursor nicht)");
      }
      if (terminal.TfzCount > 0 && row[8] != "1") {
        reasons.push_back("keine gültige Zuordnungszeile des Terminals für Lizenz " +
                          U(row[3].empty() ? "(leer)" : row[3]) + ", Mandant " +
                          U(row[4].empty() ? "(leer)" : row[4]));
      }
      Line("  Zeile " + std::to_string(k) + " in Zdx301Asw: gültig von " +
           (hasStart ? Date(row[0]) : "(leer)") + " bis " + (hasEnd ? Date(row[1]) : "(leer)") +
           ", Status " + (row[2].empty() ? "(leer)" : U(row[2])) + ", Lizenz " +
           (row[3].empty() ? "(leer)" : U(row[3])) + ", Mandant " +
           (row[4].empty() ? "(leer)" : U(row[4])) + ": " +
           (reasons.empty() ? "erfüllt die Bedingungen des Cursors" : Joined(reasons)) + ".");
    }

    rows.clear();
    code = ReadRows(session, kBadgeUse, {request.badge}, 5, rows);
    if (code != sqlcode::kOk) {
      Line("  Die Ausweisverwendung konnte nicht gelesen werden: " + Failure(session, code));
      return;
    }
    if (rows.empty()) {
      Line("  Keine Ausweisverwendung (Zdx113Awv) für den Ausweis: ohne sie liefert der Cursor "
           "ihn nicht.");
    }
    for (const auto& row : rows) {
      std::vector<std::string> reasons;
      if (row[3] != "1") reasons.push_back("gesperrt (AwvCod 8)");
      if (row[4] != "1") reasons.push_back("Status AwvSta " + U(row[2]) + " (4 oder 8)");
      Line("  Ausweisverwendung (Zdx113Awv): Standort " + (row[0].empty() ? "(leer)" : U(row[0])) +
           ", AwvCod " + (row[1].empty() ? "(leer)" : U(row[1])) + ", Status " +
           (row[2].empty() ? "(leer)" : U(row[2])) + ": " +
           (reasons.empty() ? "erfüllt die Bedingungen des Cursors" : Joined(reasons)) + ".");
    }
  }

  // Rights, readers, location and balance of the badge on the terminal.
  void Rights() {
    Line("");
    Line("Auf dem Terminal:");
    // The program's own answers, asked as the writers ask them.
    Diagnostics quiet(static_cast<std::string*>(nullptr), nullptr);
    BadgeRecord record = cursorRows.front();
    timeRight = HasTimeRight(session, quiet, record, terminalName.c_str()) != 0;
    CollectAccessRights(session, quiet, record, terminalName.c_str(), 11, 1, classes);

    TextRows rows;
    std::vector<std::string> badgeClasses;
    if (ReadRows(session, kBadgeClasses, {request.badge}, 1, rows) == sqlcode::kOk) {
      for (const auto& row : rows) badgeClasses.push_back(U(row[0]));
    }
    rows.clear();
    std::vector<std::string> timeClasses;
    std::vector<std::string> accessClasses;
    if (ReadRows(session, kTerminalRights, {terminalName}, 2, rows) == sqlcode::kOk) {
      for (const auto& row : rows) (row[1] == "1" ? timeClasses : accessClasses).push_back(U(row[0]));
    }
    rows.clear();
    std::vector<std::string> granting;
    if (ReadRows(session, kTimeRightRows, {terminalName, request.badge}, 1, rows) == sqlcode::kOk) {
      for (const auto& row : rows) granting.push_back(U(row[0]));
    }
    Line("  Zutrittsklassen des Ausweises (Zdx301Awb): " + Joined(badgeClasses) + ".");
    Line("  Klassen des Terminals in MGSST35P: Zeitberechtigung (M35Bch '1') " +
         Joined(timeClasses) + "; Zutrittsberechtigung (M35Bch '0') " + Joined(accessClasses) + ".");
    if (timeRight) {
      Line("  Zeitberechtigung: ja, über die Klasse(n) " + Joined(granting) + ".");
    } else {
      Line("  Zeitberechtigung: nein, keine Klasse des Ausweises hat eine Zeile mit M35Bch '1' "
           "für dieses Terminal.");
    }
    std::vector<std::string> held;
    for (const AccessRightEntry& entry : classes) held.push_back(std::string("'").append(U(FieldText(entry))).append("'"));
    if (classes.empty()) {
      Line("  Zutrittsberechtigung: nein, keine Klasse des Ausweises hat eine Zeile mit M35Bch "
           "'0' für dieses Terminal.");
    } else {
      Line("  Zutrittsberechtigung: ja, Zutrittsklassen " + Joined(held) +
           " (je Klasse ein Satz bzw. eine Zeile).");
    }
    Readers();
    Location(record);
    Balance(record);
  }

  void Readers() {
    SqlCursor cursor;
    std::vector<std::string> readers;
    int32_t code = OpenZlsCursor(session, cursor, terminalName.c_str(), 11);
    int32_t number = 0;
    std::array<char, 6> zko{};
    while (code == sqlcode::kOk && (code = FetchZls(cursor, number, zko)) == sqlcode::kOk) {
      readers.push_back(std::to_string(number) + " (" + U(FieldText(zko)) + ")");
    }
    if (cursor.IsOpen()) CloseZlsCursor(cursor);
    Line("  Leser 1 bis 11 des Terminals (Zdx401Zls, Status nicht 4/8): " + Joined(readers) +
         "; MGDNL17P trägt sie bei Zutrittsberechtigung in die Leserstellen ein, MGDNL60P "
         "die Leser 1 bis 3.");
  }

  void Location(BadgeRecord record) {
    const int32_t code = ReadLocationText(session, record);
    if (code == sqlcode::kOk) {
      Line("  Standort: Kurztext '" + U(FieldText(record.StoKtx)) +
           "' (die ersten drei Zeichen von StoKtx); MGDNL17P: Leser 7, MGDNL31P: Stellen 46-48.");
    } else if (code == sqlcode::kNoData) {
      Line("  Standort: kein gültiger Standort (Zdx113Awv/Zdx113Sto, Status nicht 4/8); die "
           "Standortstellen bleiben leer.");
    } else {
      Line("  Standort: Abfrage fehlgeschlagen, " + Failure(session, code) + ".");
    }
  }

  void Balance(BadgeRecord record) {
    const int32_t code = ReadBalanceData(session, record);
    if (code == sqlcode::kOk) {
      Line("  Saldo (O2002TSW): TswW02 '" + U(FieldText(record.TswW02)) + "' (MGDNL17P), TswW09 '" +
           U(FieldText(record.TswW09)) + "' (MGDNL60P).");
    } else if (code == sqlcode::kNoData) {
      Line("  Saldo: keine Zeile in O2002TSW für den Ausweis; die Saldostellen bleiben leer.");
    } else {
      Line("  Saldo: Abfrage fehlgeschlagen, " + Failure(session, code) + ".");
    }
  }

  void DisplayTexts(const BadgeRecord& record) {
    const bool ownSet =
        !FieldText(record.AswSal).empty() && FieldText(terminal.TrmMod) == kBadgeTextModel;
    DisplayTextCursor cursor;
    std::vector<std::string> texts;
    DisplayText displayText;
    int32_t code = ownSet ? OpenBadgeTextCursor(session, cursor, request.badge)
                          : OpenTerminalTextCursor(session, cursor, terminalName);
    while (code == sqlcode::kOk) {
      code = ownSet ? ReadBadgeText(cursor, displayText) : ReadTerminalText(cursor, displayText);
      if (code != sqlcode::kOk) break;
      texts.push_back(std::to_string(displayText.MsdLfd) + " '" + U(FieldText(displayText.Txt)) +
                      "' " + U(FieldText(displayText.Con)));
    }
    ownSet ? CloseBadgeTextCursor(cursor) : CloseTerminalTextCursor(cursor);
    Line(std::string("    Anzeigetexte ") +
         (ownSet ? "aus dem eigenen Meldungssatz " + U(FieldText(record.AswSal)) +
                       " des Ausweises (Modell " + std::string(kBadgeTextModel) + ")"
                 : "aus dem Meldungssatz des Terminals") +
         ": " + Joined(texts) + ".");
  }

  // Why the writer left the badge out, from its rule and its messages.
  std::vector<std::string> ReasonsLeftOut(dnl::Layout layout,
                                          const std::vector<std::string>& messages) {
    std::vector<std::string> reasons;
    if (cursorRows.empty()) {
      reasons.push_back("der Ausweiscursor liefert den Ausweis nicht (siehe oben)");
      return reasons;
    }
    if (layout == dnl::Layout::kMgDnl31P && classes.empty()) {
      reasons.push_back("keine Zutrittsberechtigung auf dem Terminal; MGDNL31P enthält nur "
                        "Ausweise mit Zutrittsklasse");
    } else if (layout == dnl::Layout::kMgDnl18P) {
      if (!timeRight) {
        reasons.push_back("keine Zeitberechtigung auf dem Terminal; MGDNL18P enthält nur "
                          "Ausweise mit Zeitberechtigung");
      }
      if (FieldText(cursorRows.front().AswPnr).empty()) {
        reasons.push_back("keine Personalnummer (AswPnr); MGDNL18P enthält nur Ausweise mit "
                          "Personalnummer");
      }
    } else if (layout != dnl::Layout::kMgDnl31P && !timeRight && classes.empty()) {
      reasons.push_back("weder Zeit- noch Zutrittsberechtigung auf dem Terminal");
    }
    if (reasons.empty() && messages.empty()) {
      reasons.push_back("nicht erkannt; keine der geprüften Bedingungen trifft zu");
    }
    return reasons;
  }

  bool Function(const DnlFunction& function) {
    MemorySink sink;
    std::string messages;
    Diagnostics diagnostics(&messages, nullptr, true);
    RunContext run{session, sink, diagnostics};
    if (function.writer(run, terminal) == 0) {
      error = std::string(function.name) + " ist fehlgeschlagen: " + U(messages);
      return false;
    }
    // The program's lines about this badge, except the time-right answers
    // (explained above).
    std::vector<std::string> badgeMessages;
    std::size_t start = 0;
    while (start < messages.size()) {
      std::size_t end = messages.find('\n', start);
      if (end == std::string::npos) end = messages.size();
      const std::string_view line(messages.data() + start, end - start);
      if (NamesBadge(line, request.badge)) badgeMessages.push_back(U(line));
      start = end + 1;
    }

    const dnl::LayoutInfo& layout = *function.layout;
    const dnl::Decoded decoded = dnl::Decode(layout, sink.Bytes());
    std::vector<const dnl::Record*> records;
    for (const dnl::Record& record : decoded.records) {
      if (dnl::BadgeNumber(record) == request.badge) records.push_back(&record);
    }
    Line("");
    if (records.empty()) {
      Line(std::string(function.name) + ": NICHT in der Datei.");
      for (const std::string& reason : ReasonsLeftOut(layout.layout, badgeMessages)) {
        Line("  Grund: " + reason + ".");
      }
      for (const std::string& message : badgeMessages) Line("  Meldung des Programms: " + message);
      return true;
    }
    Line(std::string(function.name) + ": in der Datei, " + std::to_string(records.size()) +
         (records.size() == 1 ? " Satz" : " Sätze") + ".");
    for (const dnl::Record* record : records) {
      std::string fields;
      for (std::size_t i = 0; i < layout.fields.size() && i < record->values.size(); ++i) {
        std::string_view value = record->values[i];
        while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
        if (value.empty()) continue;
        // The PIN is never shown, as the program never prints it.
        const std::string shown = layout.fields[i].name == "PIN" ? "****" : U(value);
        fields += (fields.empty() ? "" : ", ") + std::string(layout.fields[i].name) + " '" +
                  shown + "'";
      }
      Line("  Satz " + std::to_string(record->number) + ": " + fields);
    }
    if (layout.layout == dnl::Layout::kMgDnl18P) DisplayTexts(cursorRows.front());
    for (const std::string& message : badgeMessages) Line("  Meldung des Programms: " + message);
    return true;
  }

  bool Run() {
    std::array<char, 16> day{};
    const HostVar outputs[] = {StringVar(day.data(), 16)};
    session.SelectInto(kToday, outputs, {});
    today = std::string(FieldText(day));

    Line("Ausweis " + U(request.badge) + " auf Terminal " + U(request.terminal) + ", Stand " +
         Date(today) + ".");
    Line("");
    if (!Terminal() || !Cursor()) return false;
    if (!cursorRows.empty()) Rights();
    for (const DnlFunction& function : DnlFunctions()) {
      bool wanted = request.functions.empty();
      for (const std::string& name : request.functions) wanted = wanted || Upper(name) == function.name;
      if (wanted && !Function(function)) return false;
    }
    return true;
  }
};

}  // namespace

bool IsDnlFunction(const std::string& name) {
  return FindDnlFunction(Upper(name)) != nullptr;
}

bool ExplainBadge(SqlSession& session, const Request& request, std::string& text,
                  std::string& error) {
  Explainer explainer(session, request, text, error);
  return explainer.Run();
}

}  // namespace zx::explain
