// The MGDNL18P download seen from outside: the real program on a database
// built for each case, its 173-character records pinned byte for byte.
#include <gtest/gtest.h>

#include <ctime>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/e2e.h"

namespace zx::test {
namespace {

const std::string kConnected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";
const std::string kN(1, static_cast<char>(0xF1));
const std::vector<std::string> kArgs = {"MGDNL18P", "T1", "@DNL", "1"};
const std::vector<std::string> kVerboseArgs = {"MGDNL18P", "T1", "@DNL", "1", "/d"};

// The line that "/d" prints for each terminal display text loaded.
std::string Loaded(std::string_view label, std::string_view code) {
  // Wert is 7 blanks when loaded; Txt the label padded to 13.
  return "Wert: " + std::string(7, ' ') + "  Txt: " + std::string(label) +
         std::string(13 - label.size(), ' ') + "  Con: " + std::string(code) + " !\n";
}

std::string Count(int fetched, int written) {
  return "Ausweise gesamt: " + std::to_string(fetched) +
         " davon in Datei gestellt: " + std::to_string(written) + "\n";
}

// Today as the records show it, "%d.%m.%y" of the local time.
std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, "%d.%m.%y", &local);
  return text;
}

// ---- Rows -----------------------------------------------------------------

std::string Q(const char* text) { return text ? "'" + std::string(text) + "'" : "NULL"; }

// Terminal T1 with message set S1, text variant 1, client 1, licence 1.
std::string Terminal(const char* model) {
  return "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', " +
         Q(model) + ", 'S1', 1, 1, 1);\n";
}

// The time right of class Z on T1.
const std::string kTimeRight = "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n";

// A badge valid since 2000 with text variant 1; with `timeRight` it holds class Z.
std::string Badge(const std::string& number, const char* pnr, const char* sal = nullptr,
                  bool timeRight = true) {
  std::string rows = "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswSal, AswSpr) VALUES ('" +
                     number + "', '2000-01-01 00:00:00', " + Q(pnr) + ", " + Q(sal) + ", 1);\n" +
                     "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', 7);\n";
  if (timeRight) rows += "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + number + "', 'Z');\n";
  return rows;
}

// A display text of message set `sal` in field `lfd`: the message row, its
// label row (FtxT50 `label`) and, unless `code` is "none", its value-code
// row (FtxT10 `code`). `key` links the three rows and must be unique.
std::string Display(int key, const char* sal, int lfd, const char* label, const char* code,
                    const char* spl = "NULL", const char* msdTxt = nullptr) {
  const std::string k = std::to_string(key);
  std::string rows =
      "INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz) VALUES (" +
      Q(sal) + ", " + std::to_string(lfd) + ", " + spl + ", " + Q(msdTxt) + ", " + k + ", " + k +
      ", 1, 1);\n" + "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50) VALUES (220001, " + k +
      ", 1, " + Q(label) + ");\n";
  if (code == nullptr || std::string_view(code) != "none") {
    rows += "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT10) VALUES (220002, " + k + ", 1, " +
            Q(code) + ");\n";
  }
  return rows;
}

// ---- Records --------------------------------------------------------------

std::string Pad(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return padded;
}

// One display field: 13 columns of label, 7 of value.
std::string Field(std::string_view label, std::string_view value) {
  return Pad(label, 13) + Pad(value, 7);
}
const std::string kBlank = Field("", "");

// The badge number in columns 0-12 and up to eight display fields of 20
// columns; fields not given are blank.
std::string Record(std::string_view number, std::vector<std::string> fields = {}) {
  std::string record = Pad(number, 13);
  for (const std::string& field : fields) record += field;
  return Pad(record, 173);
}

struct Case {
  const char* what;
  std::string rows;
  std::vector<std::string> args;
  std::string expectedOut;  // after the connection line
  std::string expectedDnl;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = c.rows, .args = c.args, .oldDnl = "old", .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 0) << c.what << "\n" << r.out;
    EXPECT_EQ(r.out, kConnected + c.expectedOut) << c.what;
    ASSERT_TRUE(r.dnl.has_value()) << c.what;
    EXPECT_EQ(r.dnl->size() % 173, 0u) << c.what;
    EXPECT_EQ(*r.dnl, c.expectedDnl) << c.what;
  }
}

TEST(MgDnl18PEndToEnd, LabelsValuesAndTheDate) {
  const std::string date = Today();
  const std::string base = Terminal("7600-000") + kTimeRight + Badge("100", "P100");
  RunCases({
      {"worked example: a 6-letter label and #W5 with a 5-character negative value",
       base + Display(1, "S1", 3, "Urlaub", "#W5") +
           "INSERT INTO O2002TSW (TswIdn, TswW05) VALUES ('100', '-12,50');\n",
       kVerboseArgs,
       Loaded("Urlaub", "#W5") +
       "Aws: 100 Zeitberechtigung: 1\n" + Count(1, 1),
       Record("100", {kBlank, kBlank, Field("Urlaub", " 12,50-")})},

      {"the first #W1 slot shows the whole date, a later one loses its last digit; "
       "missing balances leave balance values blank",
       base + Display(1, "S1", 1, "Saldo", "#W2") + Display(2, "S1", 3, "Urlaub", "#W1") +
           Display(3, "S1", 5, "Stand", "#W1"),
       kVerboseArgs,
       Loaded("Saldo", "#W2") +
       Loaded("Urlaub", "#W1") +
       Loaded("Stand", "#W1") +
       "Aws: 100 Zeitberechtigung: 1\n"
       "Ausweis:100 Person:P100 Saldodaten nicht gefunden! 1403\n" + Count(1, 1),
       Record("100", {Field("Saldo", ""), kBlank, Pad("Urlaub", 12) + date, kBlank,
                      Field("Stand", date.substr(0, 7))})},

      {"terminal without display texts: number and blanks only",
       base + Badge("200", "P200"), kArgs, Count(2, 2), Record("100") + Record("200")},

      {"MsdSpl 2 shifts the labels of fields 5 to 8 only",
       base + Display(1, "S1", 2, "Xyzabcdef", "-", "2") +
           Display(2, "S1", 5, "ABCDEFGHIJKL", "-", "2") +
           Display(3, "S1", 6, "Abcdefghi", "#W2", "2") + Display(4, "S1", 7, "Ohne", "-", "3") +
           Display(5, "S1", 8, "Null", "-") +
           "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('100', '+7');\n",
       kArgs, Count(1, 1),
       Record("100", {kBlank, Field("Xyzabcdef", ""), kBlank, kBlank,
                      " ABCDEFGHIJKL" + Pad("", 7), " " + Pad("Abcdefghi", 12) + "     7 ",
                      Field("Ohne", ""), Field("Null", "")})},

      {"a missing value code ends the loading of the terminal texts",
       base + Display(1, "S1", 1, "Eins", "#W2") + Display(2, "S1", 2, "Zwei", "none") +
           Display(3, "S1", 3, "Drei", "#W3") +
           "INSERT INTO O2002TSW (TswIdn, TswW02, TswW03) VALUES ('100', '+1', '+2');\n",
       kVerboseArgs,
       Loaded("Eins", "#W2") +
       "Aws: 100 Zeitberechtigung: 1\n" + Count(1, 1),
       Record("100", {Field("Eins", "     1 ")})},

      {"texts numbered 0 or 9 have no field and are not stored",
       base + Display(1, "S1", 0, "Null", "#W2") + Display(2, "S1", 4, "Vier", "#W2") +
           Display(3, "S1", 9, "Neun", "#W2") +
           "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('100', '-3');\n",
       kVerboseArgs,
       "Anzeigetext Nr. 0 liegt nicht in Feld 1 bis 8, nicht gespeichert!\n" +
       Loaded("Vier", "#W2") +
       "Anzeigetext Nr. 9 liegt nicht in Feld 1 bis 8, nicht gespeichert!\n"
       "Aws: 100 Zeitberechtigung: 1\n" + Count(1, 1),
       Record("100", {kBlank, kBlank, kBlank, Field("Vier", "     3-")})},

      {"texts load in field order whatever order they were stored in; a NULL field number "
       "sorts last, and as its value code is not found (the lookup asks for field 0) it ends "
       "the loading there",
       base + Display(1, "S1", 3, "Drei", "-") + Display(2, "S1", 9, "Neun", "-") +
           Display(3, "S1", 0, "Ohne", "-") + Display(4, "S1", 1, "Eins", "-") +
           "UPDATE Zdx119Msd SET MsdLfd = NULL WHERE MsdAnz = 3;\n" +
           "INSERT INTO O2002TSW (TswIdn) VALUES ('100');\n",
       kVerboseArgs,
       Loaded("Eins", "-") +
       Loaded("Drei", "-") +
       "Anzeigetext Nr. 9 liegt nicht in Feld 1 bis 8, nicht gespeichert!\n"
       "Aws: 100 Zeitberechtigung: 1\n" + Count(1, 1),
       Record("100", {Field("Eins", ""), kBlank, Field("Drei", "")})},

      {"a NULL text or code reads as empty, never as the previous row's",
       base + Display(1, "S1", 1, "Fremd", "#W2", "NULL", "Eigen") +
           Display(2, "S1", 2, nullptr, nullptr) +
           "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('100', '+4');\n",
       kVerboseArgs,
       Loaded("Eigen", "#W2") +
       Loaded("", "") +
       "Aws: 100 Zeitberechtigung: 1\n" + Count(1, 1),
       Record("100", {Field("Eigen", "     4 ")})},
  });
}

TEST(MgDnl18PEndToEnd, TerminalModels) {
  const std::string date = Today();
  const std::string balances =
      "INSERT INTO O2002TSW (TswIdn, TswW02, TswW03) VALUES ('100', '+5', '+6');\n"
      "INSERT INTO O2002TSW (TswIdn, TswW02, TswW03) VALUES ('200', '+5', '+6');\n"
      "INSERT INTO O2002TSW (TswIdn, TswW02, TswW03) VALUES ('300', '+5', '+6');\n";
  const std::string eightFields =
      Display(1, "S1", 1, "Eins", "#W2") + Display(2, "S1", 4, "Vier", "#W3") +
      Display(3, "S1", 5, "Fuenf", "#W2") + Display(4, "S1", 8, "Acht", "#W3");
  RunCases({
      {"7598-002: fields 5 to 8 are blank",
       Terminal("7598-002") + kTimeRight + Badge("100", "P100") + eightFields + balances, kArgs,
       Count(1, 1),
       Record("100", {Field("Eins", "     5 "), kBlank, kBlank, Field("Vier", "     6 ")})},

      {"another model keeps fields 5 to 8",
       Terminal("7598-001") + kTimeRight + Badge("100", "P100") + eightFields + balances, kArgs,
       Count(1, 1),
       Record("100", {Field("Eins", "     5 "), kBlank, kBlank, Field("Vier", "     6 "),
                      Field("Fuenf", "     5 "), kBlank, kBlank, Field("Acht", "     6 ")})},

      {"7744-010: badge texts when AswSal is set; the entity is replaced on the terminal path only",
       Terminal("7744-010") + kTimeRight + Badge("100", "P100") + Badge("200", "P200", "B1") +
           Badge("300", "P300", "B2") + Display(1, "S1", 1, "Ma&#241;ana", "#W2") +
           Display(2, "B1", 1, "Ma&#241;ana", "#W3") + Display(3, "B1", 4, "Ausweis", "#W1") +
           balances,
       kArgs, Count(3, 3),
       Record("100", {Field("Ma" + kN + "ana", "     5 ")}) +
           Record("200", {Field("Ma&#241;ana", "     6 "), kBlank, kBlank,
                          Pad("Ausweis", 12) + date}) +
           Record("300")},

      {"7744-010: badge texts of a badge on its last and on its first day",
       Terminal("7744-010") + kTimeRight + Badge("200", "P200", "B1") + Badge("300", "P300", "B1") +
           "UPDATE Zdx301Asw SET AswGvo = NULL, AswGbi = '" + DaysFromToday(0, "00:00:00") +
           "' WHERE AswNum = '200';\n" + "UPDATE Zdx301Asw SET AswGvo = '" +
           DaysFromToday(0, "00:00:00") + "' WHERE AswNum = '300';\n" +
           Display(1, "B1", 1, "Ausweis", "-"),
       kArgs, Count(2, 2),
       Record("200", {Field("Ausweis", "")}) + Record("300", {Field("Ausweis", "")})},

      {"another model ignores AswSal",
       Terminal("7600-000") + kTimeRight + Badge("200", "P200", "B1") +
           Display(1, "S1", 1, "Terminal", "#W2") + Display(2, "B1", 1, "Ausweis", "#W3") +
           balances,
       kArgs, Count(1, 1), Record("200", {Field("Terminal", "     5 ")})},
  });
}

TEST(MgDnl18PEndToEnd, WhichBadgesAreWritten) {
  const std::string base = Terminal("7600-000") + kTimeRight;
  const std::string balance = "INSERT INTO O2002TSW (TswIdn) VALUES ('100');\n"
                              "INSERT INTO O2002TSW (TswIdn) VALUES ('400');\n";
  const std::string long60(60, '7');
  RunCases({
      {"repeated number, no person number, no time right",
       base + Badge("100", "P100") + "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('100', 8);\n" +
           Badge("200", nullptr) + Badge("300", "P300", nullptr, false) + Badge("400", "P400") +
           balance,
       kVerboseArgs,
       "Aws: 100 Zeitberechtigung: 1\n"
       "Aws: 100 Zeitberechtigung: 1\n"
       "Aws: 200 Zeitberechtigung: 1\n"
       "Aws: 300 Zeitberechtigung: 0\n"
       "Ausweis 300 auf Terminal T1 nicht zulaessig!\n"
       "Aws: 400 Zeitberechtigung: 1\n" + Count(5, 2),
       Record("100") + Record("400")},

      {"a repeated number whose first row gave no record is written from its next row",
       base + Badge("500", nullptr) +
           "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswSpr) VALUES "
           "('500', '2001-01-01 00:00:00', 'P500', 1);\n",
       kVerboseArgs,
       "Aws: 500 Zeitberechtigung: 1\n"
       "Aws: 500 Zeitberechtigung: 1\n"
       "Ausweis:500 Person:P500 Saldodaten nicht gefunden! 1403\n" + Count(2, 1),
       Record("500")},

      {"an empty badge cursor", base + Display(1, "S1", 1, "Eins", "#W2"), kArgs, Count(0, 0), ""},

      {"a badge number longer than 13 characters is left out, never cut",
       base + Badge("1234567890123", "P1") + Badge("12345678901234", "P2") + Badge(long60, "P3"),
       kArgs,
       "Ausweis 12345678901234 passt nicht in den Satz, nicht in Datei gestellt\n"
       "Ausweis " + long60 + " passt nicht in den Satz, nicht in Datei gestellt\n" + Count(3, 1),
       Record("1234567890123")},
  });
}

TEST(MgDnl18PEndToEnd, ValueCodesAreExact) {
  // Every balance value and text distinct; TswW01 is never shown.
  std::string balance = "INSERT INTO O2002TSW (TswIdn, TswW01";
  std::string values = "'100', '+999'";
  for (int w = 2; w <= 16; ++w) {
    char column[8];
    std::snprintf(column, sizeof column, "TswW%02d", w);
    balance += std::string(", ") + column;
    values += ", '-" + std::to_string(w * 11) + "'";
  }
  for (int f = 1; f <= 10; ++f) {
    char column[8];
    std::snprintf(column, sizeof column, "TswF%02d", f);
    balance += std::string(", ") + column;
    values += ", 'Text " + std::to_string(f) + "'";
  }
  balance += ") VALUES (" + values + ");\n";

  // Each code with the 20 columns of its field, labelled "L".
  const std::string date = Today();
  std::vector<std::pair<std::string, std::string>> codes = {{"#W1", Pad("L", 12) + date}};
  for (int w = 2; w <= 16; ++w) {
    const std::string number = std::to_string(w * 11);
    codes.push_back({"#W" + std::to_string(w), Field("L", std::string(6 - number.size(), ' ') + number + "-")});
  }
  for (int f = 1; f <= 10; ++f) {
    codes.push_back({"#W" + std::to_string(20 + f), Pad("Text " + std::to_string(f), 20)});
  }
  for (const char* other : {"#w2", "#W17", "#W20", "#W31", "#W01", "W2", "#W2 x"}) {
    codes.push_back({other, Field("L", "")});
  }

  // Eight codes per run; "#W1" is in the first slot of the first run.
  for (std::size_t first = 0; first < codes.size(); first += 8) {
    std::string rows = Terminal("7600-000") + kTimeRight + Badge("100", "P100") + balance;
    std::vector<std::string> fields;
    std::string what;
    for (std::size_t i = first; i < codes.size() && i < first + 8; ++i) {
      rows += Display(static_cast<int>(i) + 1, "S1", static_cast<int>(i - first) + 1, "L",
                      codes[i].first.c_str());
      fields.push_back(codes[i].second);
      what += "[" + codes[i].first + "]";
    }
    E2eResult r = RunZeprink({.rowsSql = rows, .args = kArgs, .oldDnl = std::nullopt, .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 0) << what << r.out;
    EXPECT_EQ(r.out, kConnected + Count(1, 1)) << what;
    EXPECT_EQ(r.dnl, Record("100", fields)) << what;
  }
}

TEST(MgDnl18PEndToEnd, FetchFailureKeepsTheOldFile) {
  // The badge sorted last holds an AswAtp too large for its integer, so
  // fetching it fails.
  const std::string rows =
      Terminal("7600-000") + kTimeRight + Badge("100", "P100") + Badge("ZZZ", "PZ") +
      "UPDATE Zdx301Asw SET AswAtp = 3000000000 WHERE AswNum = 'ZZZ';\n";
  for (const char* mode : {"1", "0"}) {
    E2eResult r = RunZeprink({.rowsSql = rows, .args = {"MGDNL18P", "T1", "@DNL", mode}, .oldDnl = "old\r\ncontent", .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 255) << mode;
    EXPECT_EQ(r.out, kConnected + Count(1, 1) +
                         "Programmabbruch: Fehler bei Erstellung der Datei MGDNL18P!\n")
        << mode;
    EXPECT_EQ(r.dnl, "old\r\ncontent") << mode;
    EXPECT_TRUE(r.leftover.empty()) << mode;
  }
}

}  // namespace
}  // namespace zx::test
