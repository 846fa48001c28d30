// IDSTAMM seen from outside: the real program on a real database, every line
// of the DNL file and every output line pinned byte for byte.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e.h"

namespace zx::test {
namespace {

const std::string kConnected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";
const std::string kAbort = "Programmabbruch: Fehler bei Erstellung der Datei IDSTAMM!\n";
const std::string kOld = "old line\r\n";

std::string Count(int read, int written) {
  return "Ausweise gesamt: " + std::to_string(read) + " davon in Datei gestellt: " +
         std::to_string(written) + "\n";
}

std::string Quoted(const std::string& text) {
  std::string literal = "'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  return literal + "'";
}

std::string Date(int days, const char* time = "00:00:00") { return Quoted(DaysFromToday(days, time)); }

// Terminal T1 (message set TSAL) grants access rights ('0') for the classes
// K1, ABCDE and A, and a time right ('1') for Z.
const std::string kRights =
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K1', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCDE', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n";
const std::string kTerminal =
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'TSAL');\n" + kRights;

// One badge row with its badge-use row and its classes. Values are SQL
// literals; the defaults give a badge valid since ten days with the access
// class K1 at location 42.
struct Badge {
  std::string number;
  std::string gvo = Date(-10);
  std::string gbi = "NULL";
  std::string bkl = "'K1'";
  std::string sal = "'BSAL'";
  std::string spr = "2";
  std::string atp = "3";
  std::string pin = "'PIN'";
  std::string liz = "1";
  std::string mnd = "1";
  std::string sta = "NULL";
  std::string sto = "42";
  std::string cod = "NULL";
  std::string awvSta = "NULL";
  std::vector<std::string> classes = {"K1"};
  int useRows = 1;  // badge-use rows
};

std::string BadgeRows(const Badge& b) {
  std::string sql =
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswBkl, AswSal, AswSpr, AswAtp, AswPin, "
      "AswLiz, AswMnd, AswSta) VALUES (" +
      Quoted(b.number) + ", " + b.gvo + ", " + b.gbi + ", " + b.bkl + ", " + b.sal + ", " + b.spr +
      ", " + b.atp + ", " + b.pin + ", " + b.liz + ", " + b.mnd + ", " + b.sta + ");\n";
  for (int k = 0; k < b.useRows; ++k) {
    sql += "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES (" + Quoted(b.number) +
           ", " + b.sto + ", " + b.cod + ", " + b.awvSta + ");\n";
  }
  for (const std::string& c : b.classes) {
    sql += "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (" + Quoted(b.number) + ", " +
           Quoted(c) + ");\n";
  }
  return sql;
}

std::string Rows(const std::vector<Badge>& badges) {
  std::string sql;
  for (const Badge& b : badges) sql += BadgeRows(b);
  return sql;
}

// The field texts of one line, with the defaults of Badge.
struct Line {
  std::string number;
  std::string gvo = Yyyymmdd(-10);
  std::string gbi = "";
  std::string sto = "00042";
  std::string timeRight = "0";
  std::string accessRight = "1";
  std::string spr = "2";
  std::string sal = "BSAL";
  std::string accessClass = "K1 ";
  std::string atp = "3";
  std::string pin = "PIN";
};

std::string Lines(const std::vector<Line>& lines) {
  std::string bytes;
  for (const Line& l : lines) {
    const std::string fields[] = {l.number, l.gvo, l.gbi, l.sto, l.timeRight, l.accessRight,
                                  l.spr, l.sal, "001", l.accessClass, "", l.number, l.atp, l.pin};
    std::string line;
    for (const std::string& f : fields) line += (line.empty() ? "\"" : ",\"") + f + "\"";
    bytes += line + "\r\n";
  }
  return bytes;
}

const std::vector<std::string> kArgs = {"IDSTAMM", "T1", "@DNL", "1"};
const std::vector<std::string> kArgsVerbose = {"IDSTAMM", "T1", "@DNL", "1", "/d"};

struct Case {
  const char* what;
  std::string rowsSql;
  std::string out;  // after the connection line
  std::optional<std::string> dnl;
  std::vector<std::string> args = kArgs;
  std::optional<std::string> oldDnl = std::nullopt;
  int exitStatus = 0;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const E2eResult r = RunZeprink(
        {.rowsSql = c.rowsSql, .args = c.args, .oldDnl = c.oldDnl, .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, c.exitStatus) << c.what << "\n" << r.out;
    EXPECT_EQ(r.out, kConnected + c.out) << c.what;
    EXPECT_EQ(r.dnl, c.dnl) << c.what;
    EXPECT_TRUE(r.leftover.empty()) << c.what;
  }
}

TEST(IdStammEndToEnd, WhichBadgeRowsAreDelivered) {
  RunCases({
      {"no assignments: every valid badge",
       kTerminal + Rows({{.number = "100"}, {.number = "200", .liz = "2", .mnd = "9"}}),
       Count(2, 2), Lines({{.number = "100"}, {.number = "200"}})},
      {"assignment rows with status 4 or 8 are not counted: every valid badge",
       kTerminal +
           "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('T1', 1, 1, 4);\n"
           "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('T1', 1, 1, 8);\n" +
           Rows({{.number = "100"}, {.number = "200", .liz = "2", .mnd = "9"}}),
       Count(2, 2), Lines({{.number = "100"}, {.number = "200"}})},
      {"assignments: only matching LIZ and MND; two matching assignment rows give the badge "
       "twice (the cursor does not test their status)",
       kTerminal +
           "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('T1', 1, 1, NULL);\n"
           "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('T1', 1, 1, 4);\n"
           "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('T2', 2, 9, NULL);\n" +
           Rows({{.number = "100"},
                 {.number = "200", .liz = "2", .mnd = "9"},
                 {.number = "300", .liz = "1", .mnd = "2"}}),
       Count(2, 2), Lines({{.number = "100"}, {.number = "100"}})},
      {"terminal with assignment rows only: the '0' fill counts as assignments and AswSal NULL "
       "takes it",
       "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd) VALUES ('TX', 1, 1);\n"
       "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('TX', 'K1', '0');\n" +
           Rows({{.number = "100", .sal = "NULL"}}),
       Count(1, 1), Lines({{.number = "100", .sal = "0000000000"}}),
       {"IDSTAMM", "TX", "@DNL", "1"}},
      {"terminal rows with status 4 or 8 count as absent: the '0' fill gives the filtered form "
       "and AswSal NULL takes it",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T1', 'M', 'TSAL', 4);\n"
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T1', 'M', 'TSAL', 8);\n"
       "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd) VALUES ('T1', 1, 1);\n" +
           kRights +
           Rows({{.number = "100", .sal = "NULL"}, {.number = "200", .liz = "2", .mnd = "9"}}),
       Count(1, 1), Lines({{.number = "100", .sal = "0000000000"}})},
      {"validity today",
       kTerminal + Rows({
                       {.number = "V1", .gvo = Date(0)},
                       {.number = "V2", .gvo = Date(0, "08:00:00")},
                       {.number = "V3", .gvo = "NULL", .gbi = Date(0, "23:59:59")},
                       {.number = "V4", .gvo = "NULL", .gbi = Date(0)},
                       {.number = "V5", .gvo = "NULL", .gbi = Date(-1, "23:59:59")},
                       {.number = "V6", .gvo = "NULL", .gbi = "NULL"},
                       {.number = "V7", .gvo = Date(-5, "12:00:00"), .gbi = Date(5)},
                       {.number = "V8", .gvo = Date(1)},
                       {.number = "V9", .gvo = Date(-5), .gbi = Date(-1)},
                       {.number = "VA", .gvo = Date(0), .gbi = Date(0)},
                   }),
       Count(5, 5),
       Lines({{.number = "V1", .gvo = Yyyymmdd(0)},
              {.number = "V3", .gvo = "", .gbi = Yyyymmdd(0)},
              {.number = "V4", .gvo = "", .gbi = Yyyymmdd(0)},
              {.number = "V7", .gvo = Yyyymmdd(-5), .gbi = Yyyymmdd(5)},
              {.number = "VA", .gvo = Yyyymmdd(0), .gbi = Yyyymmdd(0)}})},
      {"status of badge and badge use, badge-use code 8",
       kTerminal + Rows({
                       {.number = "S1", .sta = "4"},
                       {.number = "S2", .sta = "8"},
                       {.number = "S3", .sta = "0"},
                       {.number = "S4", .awvSta = "4"},
                       {.number = "S5", .awvSta = "8"},
                       {.number = "S6", .awvSta = "1"},
                       {.number = "S7", .cod = "8"},
                       {.number = "S8", .cod = "7"},
                       {.number = "S9"},
                   }),
       Count(4, 4),
       Lines({{.number = "S3"}, {.number = "S6"}, {.number = "S8"}, {.number = "S9"}})},
      {"two badge-use rows give two rows; two validity periods come in order of the first day",
       kTerminal + Rows({{.number = "D1", .useRows = 2},
                         {.number = "D2", .gvo = Date(-3), .useRows = 1},
                         {.number = "D2", .gvo = Date(-20), .gbi = Date(1), .classes = {},
                          .useRows = 0}}),
       Count(4, 4),
       Lines({{.number = "D1"},
              {.number = "D1"},
              {.number = "D2", .gvo = Yyyymmdd(-20), .gbi = Yyyymmdd(1)},
              {.number = "D2", .gvo = Yyyymmdd(-3)}})},
      {"no badge row at all", kTerminal, Count(0, 0), ""},
  });
}

TEST(IdStammEndToEnd, LineContents) {
  RunCases({
      {"access classes descending, one line each; time right only gives AswBkl; no right no line",
       kTerminal + Rows({
                       {.number = "C1", .classes = {"K1", "ABCDE", "Z", "Q"}},
                       {.number = "C2", .bkl = "'Q'", .classes = {"Z"}},
                       {.number = "C3", .bkl = "NULL", .classes = {"Z", "Q"}},
                       {.number = "C4", .classes = {}},
                       {.number = "C5", .bkl = "'WXYZ'", .classes = {"A"}},
                       {.number = "C6", .classes = {"Q"}},
                   }),
       Count(6, 4),
       Lines({{.number = "C1", .timeRight = "1"},
              {.number = "C1", .timeRight = "1", .accessClass = "ABCDE"},
              {.number = "C2", .timeRight = "1", .accessRight = "0", .accessClass = "Q  "},
              {.number = "C3", .timeRight = "1", .accessRight = "0", .accessClass = "   "},
              {.number = "C5", .accessClass = "A  "}})},
      {"location number in field 4; one that five digits cannot show is never cut: the badge "
       "is left out with a message",
       kTerminal + Rows({
                       {.number = "F0", .sto = "0"},
                       {.number = "F1", .sto = "42"},
                       {.number = "F2", .sto = "1234"},
                       {.number = "F3", .sto = "100000"},
                       {.number = "F4", .sto = "NULL"},
                       {.number = "F5", .sto = "99999"},
                       {.number = "F6", .sto = "123456"},
                       {.number = "F7", .sto = "123456789"},
                       {.number = "F8", .sto = "-5"},
                       {.number = "F9", .sto = "0", .classes = {}},
                   }),
       "Ausweis F3: Standort 100000 passt nicht in den Satz, nicht in Datei gestellt\n"
       "Ausweis F6: Standort 123456 passt nicht in den Satz, nicht in Datei gestellt\n"
       "Ausweis F7: Standort 123456789 passt nicht in den Satz, nicht in Datei gestellt\n"
       "Ausweis F8: Standort -5 passt nicht in den Satz, nicht in Datei gestellt\n" +
           Count(10, 5),
       Lines({{.number = "F0", .sto = ""},
              {.number = "F1", .sto = "00042"},
              {.number = "F2", .sto = "01234"},
              {.number = "F4", .sto = ""},
              {.number = "F5", .sto = "99999"}})},
      {"empty AswSal takes TrmSal; commas unchanged; NULL AswSpr 1, NULL AswAtp 0",
       kTerminal + Rows({
                       {.number = "Q1", .sal = "NULL"},
                       {.number = "Q2x,y", .sal = "'S,'", .pin = "'ab,c'"},
                       {.number = "Q3", .spr = "NULL", .atp = "NULL", .pin = "NULL"},
                       {.number = "Q4", .spr = "-999", .atp = "-7"},
                       {.number = "Q5", .spr = "9999", .atp = "2147483647"},
                   }),
       Count(5, 5),
       Lines({{.number = "Q1", .sal = "TSAL"},
              {.number = "Q2x,y", .sal = "S,", .pin = "ab,c"},
              {.number = "Q3", .spr = "1", .atp = "0", .pin = ""},
              {.number = "Q4", .spr = "-999", .atp = "-7"},
              {.number = "Q5", .spr = "9999", .atp = "2147483647"}})},
      {"a double quote, carriage return or line feed in a field would break the line: that line "
       "is left out and named, every other line stays",
       kTerminal +
           "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K\"', '0');\n" +
           Rows({{.number = "H1"},
                 {.number = "H2\r\nZ"},
                 {.number = "H3\"", .classes = {"K1", "Z"}},
                 {.number = "H4", .sal = "'S\nT'"},
                 {.number = "H5", .pin = "'P\"'"},
                 {.number = "H6", .pin = "'P\r'", .classes = {"Z"}},
                 {.number = "H7", .bkl = "'Q\"'", .classes = {"Z"}},
                 {.number = "H8", .classes = {"K1", "K\""}},
                 {.number = "H9"}}),
       "Ausweis H2\\r\\nZ: Feld 1 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in "
       "Datei gestellt\n"
       "Ausweis H3\": Feld 1 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
       "gestellt\n"
       "Ausweis H4: Feld 8 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
       "gestellt\n"
       "Ausweis H5: Feld 14 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
       "gestellt\n"
       "Ausweis H6: Feld 14 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
       "gestellt\n"
       "Ausweis H7: Feld 10 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
       "gestellt\n"
       "Ausweis H8: Feld 10 enthaelt Anfuehrungszeichen oder Zeilenumbruch, nicht in Datei "
       "gestellt\n" +
           Count(9, 3),
       Lines({{.number = "H1"}, {.number = "H8"}, {.number = "H9"}})},
      {"a message set that field 8 cannot hold is never cut: the badge that would carry it is "
       "left out with a message",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'TSAL56789012345');\n" +
           kRights +
           Rows({{.number = "M1", .sal = "'S234567890'"},
                 {.number = "M2", .sal = "'S2345678901'"},
                 {.number = "M3", .sal = "NULL"},
                 {.number = "M4", .sal = "NULL", .classes = {}}}),
       "Ausweis M2: Meldungssatz S2345678901 zu lang, nicht in Datei gestellt\n"
       "Ausweis M3: Meldungssatz TSAL56789012345 zu lang, nicht in Datei gestellt\n" +
           Count(4, 1),
       Lines({{.number = "M1", .sal = "S234567890"}})},
      {"badge number of 50 characters written, of 51 left out with a message",
       kTerminal + Rows({{.number = std::string(50, '5')}, {.number = std::string(51, '6')}}),
       "Ausweis " + std::string(51, '6') + ": Ausweisnummer zu lang, nicht in Datei gestellt\n" +
           Count(2, 1),
       Lines({{.number = std::string(50, '5')}})},
      {"AswSpr that does not fit four characters: left out with a message when it has a right",
       kTerminal + Rows({{.number = "P1", .spr = "10000"},
                         {.number = "P2", .spr = "-1000", .classes = {"Z"}},
                         {.number = "P3", .spr = "12345", .classes = {}},
                         {.number = "P4"}}),
       "Ausweis P1: Sprachnummer zu lang, nicht in Datei gestellt\n"
       "Ausweis P2: Sprachnummer zu lang, nicht in Datei gestellt\n" +
           Count(4, 1),
       Lines({{.number = "P4"}})},
      {"a class or PIN that does not fit its field is never cut: written whole or left out",
       kTerminal +
           "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCDEFGHIJKLMNO', '0');\n"
           "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCDEFGHIJKLMNOP', '0');\n" +
           Rows({{.number = "L1", .classes = {"K1", "ABCDEFGHIJKLMNO"}},
                 {.number = "L2", .classes = {"K1", "ABCDEFGHIJKLMNOP"}},
                 {.number = "L3", .bkl = "'ABCDE'", .classes = {"Z"}},
                 {.number = "L4", .bkl = "'ABCDEF'", .classes = {"Z"}},
                 {.number = "L5", .bkl = "'ABCDEF'"},
                 {.number = "L6", .pin = Quoted(std::string(32, '7'))},
                 {.number = "L7", .pin = Quoted(std::string(33, '7'))}}),
       "Ausweis L2: Zutrittsklasse ABCDEFGHIJKLMNOP zu lang, nicht in Datei gestellt\n"
       "Ausweis L4: Zutrittsklasse ABCDEF zu lang, nicht in Datei gestellt\n"
       "Ausweis L7: PIN zu lang, nicht in Datei gestellt\n" +
           Count(7, 5),
       Lines({{.number = "L1"},
              {.number = "L1", .accessClass = "ABCDEFGHIJKLMNO"},
              {.number = "L2"},
              {.number = "L3", .timeRight = "1", .accessRight = "0", .accessClass = "ABCDE"},
              {.number = "L5"},
              {.number = "L6", .pin = std::string(32, '7')}})},
      {"/d: the time-right line of every row and the message for a badge without rights",
       kTerminal + Rows({{.number = "100", .classes = {"K1", "Z"}}, {.number = "200", .classes = {}}}),
       "Aws: 100 Zeitberechtigung: 1\n"
       "Aws: 200 Zeitberechtigung: 0\n"
       "Ausweis 200 ohne Zeit-/Zutrittsberechtigung auf Terminal T1\n" +
           Count(2, 1),
       Lines({{.number = "100", .timeRight = "1"}}), kArgsVerbose},
  });
}

TEST(IdStammEndToEnd, NewAppendAndFailure) {
  // ZZZ sorts after 100; its AswAtp does not fit a 32-bit integer, so its
  // fetch fails after 100 has been written.
  const std::string broken = Rows({{.number = "ZZZ", .atp = "3000000000"}});
  RunCases({
      {"parameter 4 of 1 replaces the old file", kTerminal + Rows({{.number = "100"}}), Count(1, 1),
       Lines({{.number = "100"}}), kArgs, kOld},
      {"parameter 4 of 0 appends to the old file", kTerminal + Rows({{.number = "100"}}),
       Count(1, 1), kOld + Lines({{.number = "100"}}), {"IDSTAMM", "T1", "@DNL", "0"}, kOld},
      {"a fetch error mid-run keeps the old file", kTerminal + Rows({{.number = "100"}}) + broken,
       Count(1, 1) + kAbort, kOld, kArgs, kOld, 255},
      {"a fetch error mid-run in append mode keeps the old file",
       kTerminal + Rows({{.number = "100"}}) + broken, Count(1, 1) + kAbort, kOld,
       {"IDSTAMM", "T1", "@DNL", "0"}, kOld, 255},
      {"a fetch error on the first row leaves no file where there was none",
       kTerminal + broken, Count(0, 0) + kAbort, std::nullopt, kArgs, std::nullopt, 255},
  });
}

}  // namespace
}  // namespace zx::test
