#include "tools/data_check.h"

#include <array>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "base/fixed_text.h"
#include "base/text_utils.h"
#include "tools/explain_support.h"

namespace zx::explain {

namespace {

using Names = std::initializer_list<std::string_view>;

// The tables the program reads (schema/sqlite.sql): the columns that name a
// row, and the columns by the kind of value the program reads from them.
struct Table {
  std::string_view name;
  Names key;
  Names texts;
  Names dates;
  Names numbers;
};

const Table kTables[] = {
    {"Zdx1140Trm", {"TrmNam"}, {"TrmNam", "TrmMod", "TrmSal"}, {},
     {"TrmSpr", "TrmMnd", "TrmLiz", "TrmSta"}},
    {"Zdx115Tfz", {"TfzTrm", "TfzLiz", "TfzMnd"}, {"TfzTrm"}, {}, {"TfzLiz", "TfzMnd", "TfzSta"}},
    {"Zdx301Asw", {"AswNum", "AswGvo"},
     {"AswNum", "AswPnr", "AswBkl", "AswBk2", "AswGrp", "AswAan", "AswSal", "AswPin"},
     {"AswGvo", "AswGbi"}, {"AswAtp", "AswSpr", "AswLiz", "AswMnd", "AswSta"}},
    {"Zdx113Awv", {"AwvNum"}, {"AwvNum"}, {}, {"AwvSto", "AwvCod", "AwvSta"}},
    {"Zdx113Sto", {"StoNum"}, {"StoKtx"}, {}, {"StoNum", "StoSta"}},
    {"MGSST35P", {"M35Trm", "M35Bkl", "M35Bch"}, {"M35Trm", "M35Bkl", "M35Bch"}, {}, {}},
    {"Zdx301Awb", {"AwbAsw", "AwbBkl"}, {"AwbAsw", "AwbBkl"}, {}, {}},
    {"Zdx401Zls", {"ZlsTrm", "ZlsLes"}, {"ZlsTrm", "ZlsZko"}, {}, {"ZlsLes", "ZlsSta"}},
    {"O2002TSW", {"TswIdn"},
     {"TswIdn", "TswW01", "TswW02", "TswW03", "TswW04", "TswW05", "TswW06", "TswW07", "TswW08",
      "TswW09", "TswW10", "TswW11", "TswW12", "TswW13", "TswW14", "TswW15", "TswW16", "TswF01",
      "TswF02", "TswF03", "TswF04", "TswF05", "TswF06", "TswF07", "TswF08", "TswF09", "TswF10"},
     {}, {}},
    {"Zdx119Msd", {"MsdSal", "MsdLfd"}, {"MsdSal", "MsdTxt", "MsdErf"}, {},
     {"MsdLfd", "MsdSpl", "MsdAnz", "MsdWrt", "MsdMnd", "MsdLiz", "MsdSta"}},
    {"Zdx102Whl", {"FtxNumSpr", "FtxWhl", "FtxSpr"}, {"FtxT50", "FtxT10"}, {},
     {"FtxNumSpr", "FtxWhl", "FtxSpr"}},
};

// A stored date the runtime reads: text 'YYYY-MM-DD HH:MM:SS' with a month,
// day, hour, minute and second in range (embedded database only).
constexpr std::string_view kDateForm =
    "(typeof(@C)='text' and @C GLOB "
    "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]' and "
    "substr(@C,6,2) between '01' and '12' and substr(@C,9,2) between '01' and '31' and "
    "substr(@C,12,2)<='23' and substr(@C,15,2)<='59' and substr(@C,18,2)<='59')";

// Values that the program reads but that a download cannot carry as they
// are: the badge is left out of the file (with a message), never written
// cut. "@C" stands for the column.
struct Limit {
  std::string_view table;
  std::string_view column;
  std::string_view condition;
  std::string_view problem;
  bool showValue;  // a PIN is never shown
};
const Limit kLimits[] = {
    {"Zdx301Asw", "AswNum", "SubStr(@C,51) is not null",
     "Ausweisnummer länger als 50 Zeichen, der Ausweis bleibt aus jeder Datei:", true},
    {"Zdx301Asw", "AswBkl", "SubStr(@C,6) is not null",
     "Zutrittsklasse länger als 5 Zeichen, der Ausweis bleibt ohne Zutrittsrecht aus IDSTAMM:", true},
    {"Zdx301Asw", "AswPin", "SubStr(@C,33) is not null",
     "PIN länger als 32 Zeichen, der Ausweis bleibt aus IDSTAMM", false},
    {"Zdx301Asw", "AswSal", "SubStr(@C,11) is not null",
     "Meldungssatz länger als 10 Zeichen, der Ausweis bleibt aus IDSTAMM:", true},
    {"Zdx1140Trm", "TrmSal", "SubStr(@C,11) is not null",
     "Meldungssatz länger als 10 Zeichen, Ausweise ohne eigenen Satz bleiben aus IDSTAMM:", true},
    {"MGSST35P", "M35Bkl", "SubStr(@C,16) is not null",
     "Zutrittsklasse länger als 15 Zeichen, sie fehlt in jeder Datei:", true},
    {"Zdx301Awb", "AwbBkl", "SubStr(@C,16) is not null",
     "Zutrittsklasse länger als 15 Zeichen, sie fehlt in jeder Datei:", true},
    {"Zdx301Asw", "AswSpr", "(@C<-999 or @C>9999)",
     "Sprachnummer nicht in vier Zeichen, der Ausweis bleibt aus IDSTAMM:", true},
    {"Zdx113Awv", "AwvSto", "(@C<0 or @C>99999)",
     "Standort nicht in fünf Ziffern, der Ausweis bleibt aus IDSTAMM:", true},
};

// The IDSTAMM fields that a double quote, carriage return or line feed
// would break: such a line is left out.
struct LineField {
  std::string_view table;
  std::string_view column;
  bool showValue;
};
const LineField kLineFields[] = {
    {"Zdx301Asw", "AswNum", true},  {"Zdx301Asw", "AswSal", true}, {"Zdx301Asw", "AswBkl", true},
    {"Zdx301Asw", "AswPin", false}, {"Zdx1140Trm", "TrmSal", true}, {"MGSST35P", "M35Bkl", true},
    {"Zdx301Awb", "AwbBkl", true},
};
constexpr std::string_view kLineBreakers =
    "(@C like '%\"%' or @C like '%\r%' or @C like '%\n%')";

const Table* FindTable(std::string_view name) {
  for (const Table& table : kTables) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

std::string Replaced(std::string_view text, std::string_view column) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.substr(i, 2) == "@C") {
      out += column;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct Checker {
  Checker(SqlSession& s, std::string& t, std::string& e) : session(s), text(t), error(e) {}

  SqlSession& session;
  std::string& text;
  std::string& error;
  int findings = 0;

  // Runs "select KEY..., COLUMN from TABLE where CONDITION" and names each
  // row found. False when the statement failed.
  bool Find(const Table& table, std::string_view column, const std::string& condition,
            const std::string& problem, bool showValue) {
    std::string statement = "select ";
    for (std::string_view key : table.key) statement += std::string(key) + " ,";
    statement += std::string(column) + "  from Zardonix." + std::string(table.name) + " where " +
                 condition;
    TextRows rows;
    const int32_t code = ReadRows(session, statement, {}, table.key.size() + 1, rows);
    if (code != sqlcode::kOk) {
      error = std::string(table.name) + "." + std::string(column) + ": " + Failure(session, code);
      return false;
    }
    for (const auto& row : rows) {
      const std::string key = KeyText(table, row);
      text += std::string(table.name) + "." + std::string(column) + ": " + problem +
              (showValue ? " '" + Shown(row.back()) + "'" : std::string()) + " (" + key + ")\n";
      ++findings;
    }
    return true;
  }

  // A value as the check shows it: one line of UTF-8 whatever it holds.
  static std::string Shown(std::string_view value) { return Utf8(PrintableLine(value)); }

  std::string KeyText(const Table& table, const std::vector<std::string>& row) {
    std::string key;
    std::size_t i = 0;
    for (std::string_view name : table.key) {
      key += (key.empty() ? "" : ", ") + std::string(name) + "=" +
             (row[i].empty() ? std::string("(leer)") : "'" + Shown(row[i]) + "'");
      ++i;
    }
    return key;
  }

  // Reads every text column of `table` through the runtime: a row with a
  // value the program cannot hold (a character without a Windows-1252
  // byte, a NUL byte) comes with -29275 and the column that has it.
  bool FindUnrepresentable(const Table& table) {
    std::string statement = "select ";
    std::vector<std::string_view> columns(table.key.begin(), table.key.end());
    columns.insert(columns.end(), table.texts.begin(), table.texts.end());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      statement += (i == 0 ? "" : " ,") + std::string(columns[i]);
    }
    statement += "  from Zardonix." + std::string(table.name);
    SqlCursor cursor;
    int32_t code = cursor.Open(session, statement, {});
    std::vector<std::array<char, 256>> buffers(columns.size());
    std::vector<HostVar> out;
    for (auto& buffer : buffers) out.push_back(StringVar(buffer.data(), 256));
    while (code == sqlcode::kOk || code == sqlcode::kUntranslatable) {
      for (auto& buffer : buffers) buffer.fill('\0');
      code = cursor.Fetch(out);
      if (code != sqlcode::kUntranslatable) continue;
      const int column = session.LastStatus().column;
      if (column < 0 || static_cast<std::size_t>(column) >= columns.size()) continue;
      std::vector<std::string> row;
      for (const auto& buffer : buffers) row.emplace_back(FieldText(buffer));
      text += std::string(table.name) + "." + std::string(columns[column]) +
              ": Zeichen außerhalb von Windows-1252 oder NUL-Byte, das Programm kann den Wert "
              "nicht lesen: '" + Shown(row[static_cast<std::size_t>(column)]) + "' (" +
              KeyText(table, row) + ")\n";
      ++findings;
    }
    if (cursor.IsOpen()) cursor.Close();
    if (code != sqlcode::kNoData) {
      error = std::string(table.name) + ": " + Failure(session, code);
      return false;
    }
    return true;
  }

  bool DuplicateTerminals() {
    TextRows rows;
    const int32_t code = ReadRows(
        session,
        "select TrmNam ,count(*)  from Zardonix.Zdx1140Trm where ((TrmSta<>4 and TrmSta<>8) or "
        "TrmSta is null ) group by TrmNam having count(*)>1 order by TrmNam",
        {}, 2, rows);
    if (code != sqlcode::kOk) {
      error = "Zdx1140Trm.TrmNam: " + Failure(session, code);
      return false;
    }
    for (const auto& row : rows) {
      text += "Zdx1140Trm.TrmNam: " + row[1] +
              " gültige Terminalzeilen (Status nicht 4/8) mit einem Namen; das Programm findet "
              "keine davon (TrmNam='" + Utf8(row[0]) + "')\n";
      ++findings;
    }
    return true;
  }

  bool Run(bool embedded) {
    for (const Table& table : kTables) {
      for (std::string_view column : table.texts) {
        if (!Find(table, column, std::string(column) + "=''", "leerer Text ('')", false)) {
          return false;
        }
      }
      if (!embedded) continue;
      for (std::string_view column : table.dates) {
        const std::string c(column);
        if (!Find(table, column, c + "=''", "leerer Text ('') statt eines Datums", false) ||
            !Find(table, column,
                  c + " is not null and " + c + "<>'' and not " + Replaced(kDateForm, column),
                  "Datum nicht in der Form 'YYYY-MM-DD HH:MM:SS':", true)) {
          return false;
        }
      }
      for (std::string_view column : table.numbers) {
        if (!Find(table, column, "typeof(" + std::string(column) + ") in ('text','blob')",
                  "Text in einer Zahlenspalte:", true)) {
          return false;
        }
      }
    }
    for (const Table& table : kTables) {
      if (!FindUnrepresentable(table)) return false;
    }
    for (const Limit& limit : kLimits) {
      const Table* table = FindTable(limit.table);
      if (table == nullptr ||
          !Find(*table, limit.column, Replaced(limit.condition, limit.column),
                std::string(limit.problem), limit.showValue)) {
        return false;
      }
    }
    for (const LineField& field : kLineFields) {
      const Table* table = FindTable(field.table);
      if (table == nullptr ||
          !Find(*table, field.column, Replaced(kLineBreakers, field.column),
                "Anführungszeichen oder Zeilenumbruch, die IDSTAMM-Zeile bleibt aus" +
                    std::string(field.showValue ? ":" : ""),
                field.showValue)) {
        return false;
      }
    }
    if (!DuplicateTerminals()) return false;
    text += findings == 0 ? "Keine Befunde: das Programm kann alle geprüften Werte lesen.\n"
                          : std::to_string(findings) + " Befund(e).\n";
    return true;
  }
};

}  // namespace

int CheckDatabase(SqlSession& session, bool embedded, std::string& text, std::string& error) {
  Checker checker(session, text, error);
  return checker.Run(embedded) ? checker.findings : -1;
}

}  // namespace zx::explain
