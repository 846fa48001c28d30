// The fixed-record downloads MGDNL31P (48 characters), MGDNL17P (85) and
// MGDNL60P (45) seen from outside: the real program on a real database, every
// record and every output line pinned byte for byte.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e.h"

namespace zx::test {
namespace {

const std::string kConnected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";

std::string Count(int read, int written) {
  return "Ausweise gesamt: " + std::to_string(read) + " davon in Datei gestellt: " +
         std::to_string(written) + "\n";
}

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

// A badge row valid today and its badge-use row at location `sto`. Dates are
// 'YYYY-MM-DD' or empty for none; the personnel number is "P" and the number.
std::string Badge(const std::string& number, const std::string& gvo, const std::string& gbi,
                  int sto) {
  const auto date = [](const std::string& d) {
    return d.empty() ? std::string("NULL") : "'" + d + " 00:00:00'";
  };
  return "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr) VALUES ('" + number + "', " +
         date(gvo) + ", " + date(gbi) + ", 'P" + number.substr(0, 7) + "');\n" +
         "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', " +
         std::to_string(sto) + ");\n";
}

// A second badge row for a number that already has its badge-use row: the
// cursor then delivers the number twice, ordered by the first day.
std::string SecondPeriod(const std::string& number, const std::string& gvo) {
  return "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES ('" + number + "', '" + gvo +
         " 00:00:00', 'P" + number.substr(0, 7) + "');\n";
}

std::string Classes(const std::string& number, std::initializer_list<const char*> classes) {
  std::string sql;
  for (const char* c : classes) {
    sql += "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + number + "', '" + c + "');\n";
  }
  return sql;
}

// A balance row with one value column set; `value` is the SQL literal.
std::string Balance(const std::string& number, const std::string& column, const std::string& value) {
  return "INSERT INTO O2002TSW (TswIdn, " + column + ") VALUES ('" + number + "', " + value + ");\n";
}

// A row whose AswAtp does not fit a 32-bit integer, sorted after the others:
// its fetch fails with -1455 after the earlier rows have been written.
const std::string kBrokenBadgeLast =
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswAtp) VALUES ('ZZZ', '2000-01-01 00:00:00', 3000000000);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('ZZZ', 7);\n";

const std::string kLocations =
    "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (7, 'HALLE-NORD');\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (8, 'AB');\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (9, 'XY', 4);\n";

const std::string kOverLongNumber = "12345678901234";       // 14 characters
const std::string kLongestNumber = "1234567890123";         // 13 characters
const std::string kLongAswNum = std::string(51, '7');        // more than AswNum holds

const std::string kOld = "old content\r\n";

struct Case {
  const char* what;
  std::string rowsSql;
  std::vector<std::string> args;
  std::optional<std::string> oldDnl;
  int exitStatus;
  std::string out;
  std::optional<std::string> dnl;
};

void RunCases(const std::vector<Case>& cases, std::size_t recordLength) {
  for (const Case& c : cases) {
    const E2eResult r =
        RunZeprink({.rowsSql = c.rowsSql, .args = c.args, .oldDnl = c.oldDnl, .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, c.exitStatus) << c.what << "\n" << r.out;
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.dnl, c.dnl) << c.what;
    EXPECT_TRUE(r.leftover.empty()) << c.what;
    if (r.dnl && c.exitStatus == 0 && c.args.size() > 3 && c.args[3] == "1") {
      EXPECT_EQ(r.dnl->size() % recordLength, 0u) << c.what << ": whole records only";
    }
  }
}

// ---------------------------------------------------------------- MGDNL31P

const std::string kRows31 =
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'S');\n" + kLocations +
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '10', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '20', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCD', '0');\n";

// Badges 100 (two classes and a time right), 200 (no last day), 300 (no
// first day, location row with status 4), 400 (time right only), 500 (no class).
const std::string kBadges31 =
    Badge("100", "2000-01-01", "2099-12-31", 7) + Classes("100", {"10", "20", "Z"}) +
    Badge("200", "2000-01-01", "", 8) + Classes("200", {"10"}) +
    Badge("300", "", "2099-12-31", 9) + Classes("300", {"10"}) +
    Badge("400", "2000-01-01", "", 7) + Classes("400", {"Z"}) +
    Badge("500", "2000-01-01", "", 7);

// Number, first day, last day, time right, access right, the two constants,
// class, location short text.
std::string Record31(const std::string& number, const std::string& gvo, const std::string& gbi,
                     const std::string& timeRight, const std::string& accessClass,
                     const std::string& location) {
  std::string r = number + Blanks(13 - number.size()) + gvo + gbi + timeRight + "1" + "XXXX,XX-" +
                  "001" + accessClass + location;
  EXPECT_EQ(r.size(), 48u) << r;
  return r;
}

const std::string kMain31 =
    Record31("100", "20000101", "20991231", "1", "20 ", "HAL") +
    Record31("100", "20000101", "20991231", "1", "10 ", "HAL") +
    Record31("200", "20000101", "00000000", "0", "10 ", "AB ") +
    Record31("300", "00000000", "20991231", "0", "10 ", "   ");

TEST(MgDnl31P, Records) {
  const std::vector<std::string> args = {"MGDNL31P", "T1", "@DNL", "1"};
  const std::string read5 = "Ausweiscursor lesen: Ausweis Nr. 5 RC: 1403 \n" + Count(5, 3);
  RunCases(
      {
          {"access classes, time right only and no class", kRows31 + kBadges31, args, kOld, 0,
           kConnected + read5, kMain31},
          {"lower-case function name, appended", kRows31 + kBadges31,
           {"mgdnl31p", "T1", "@DNL", "0"}, kOld, 0, kConnected + read5, kOld + kMain31},
          {"/d names the badges without access right", kRows31 + kBadges31,
           {"MGDNL31P", "T1", "@DNL", "1", "/d"}, std::nullopt, 0,
           kConnected + "Aws: 100 Zeitberechtigung: 1\n" + "Aws: 200 Zeitberechtigung: 0\n" +
               "Aws: 300 Zeitberechtigung: 0\n" + "Aws: 400 Zeitberechtigung: 1\n" +
               "Ausweis 400 ohne Zutrittsberechtigung auf Terminal T1\n" +
               "Aws: 500 Zeitberechtigung: 0\n" +
               "Ausweis 500 ohne Zutrittsberechtigung auf Terminal T1\n" + read5,
           kMain31},
          {"repeated badge number: every row gives its records",
           kRows31 + Badge("100", "2000-01-01", "2099-12-31", 8) + SecondPeriod("100", "2001-01-01") +
               Classes("100", {"10", "20"}),
           args, std::nullopt, 0,
           kConnected + "Ausweiscursor lesen: Ausweis Nr. 2 RC: 1403 \n" + Count(2, 2),
           Record31("100", "20000101", "20991231", "0", "20 ", "AB ") +
               Record31("100", "20000101", "20991231", "0", "10 ", "AB ") +
               Record31("100", "20010101", "00000000", "0", "20 ", "AB ") +
               Record31("100", "20010101", "00000000", "0", "10 ", "AB ")},
          {"over-long badge numbers and classes are left out, never cut",
           kRows31 + Badge(kLongestNumber, "2000-01-01", "", 7) + Classes(kLongestNumber, {"10"}) +
               Badge(kOverLongNumber, "2000-01-01", "", 7) + Classes(kOverLongNumber, {"10"}) +
               Badge("600", "2000-01-01", "", 7) + Classes("600", {"ABCD", "10"}) +
               Badge(kLongAswNum, "2000-01-01", "", 7) + Classes(kLongAswNum, {"10"}),
           args, std::nullopt, 0,
           kConnected + "Ausweis " + kOverLongNumber +
               " passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweis 600 Zutrittsklasse ABCD passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweis " + kLongAswNum + " passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweiscursor lesen: Ausweis Nr. 4 RC: 1403 \n" + Count(4, 2),
           Record31(kLongestNumber, "20000101", "00000000", "0", "10 ", "HAL") +
               Record31("600", "20000101", "00000000", "0", "10 ", "HAL")},
          {"location lookup with an SQL error: positions 46-48 blank, no message",
           kRows31 + Badge("600", "2000-01-01", "", 7) +
               "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('600', 8);\n" + Classes("600", {"10"}),
           args, std::nullopt, 0,
           kConnected + "Ausweiscursor lesen: Ausweis Nr. 2 RC: 1403 \n" + Count(2, 2),
           Record31("600", "20000101", "00000000", "0", "10 ", "   ") +
               Record31("600", "20000101", "00000000", "0", "10 ", "   ")},
          {"empty cursor, new file", kRows31, args, kOld, 0,
           kConnected + "Ausweiscursor lesen: RC: 1403 \n" + Count(0, 0), ""},
          {"empty cursor, appended", kRows31, {"MGDNL31P", "T1", "@DNL", "0"}, kOld, 0,
           kConnected + "Ausweiscursor lesen: RC: 1403 \n" + Count(0, 0), kOld},
          {"fetch error after records: old file kept", kRows31 + kBadges31 + kBrokenBadgeLast, args,
           kOld, 255,
           kConnected + "Ausweiscursor lesen: Ausweis Nr. 5 RC: -1455 \n" + Count(5, 3) +
               "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n",
           kOld},
          {"badge cursor that cannot be opened: both cursor messages, the old file kept",
           kRows31 + kBadges31 + "DROP TABLE Zdx113Awv;\n", args, kOld, 255,
           kConnected + "Ausweiscursor oeffnen: RC: -942 \n" + "Ausweiscursor lesen: RC: -1001 \n" +
               Count(0, 0) + "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n",
           kOld},
          {"fetch error on the first row", kRows31 + kBrokenBadgeLast, args, std::nullopt, 255,
           kConnected + "Ausweiscursor lesen: RC: -1455 \n" + Count(0, 0) +
               "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n",
           std::nullopt},
      },
      48);
}

// ---------------------------------------------------------------- MGDNL17P

// Terminal T1 has the readers 1, 2 and 9 (and 12, beyond the eleven slots).
const std::string kRows17 =
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'S');\n" + kLocations +
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 2);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 9);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 12);\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '10', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '20', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCD', '0');\n";

// 100: classes 10 and 20 and a time right, balance +12,50, location HALLE-NORD.
// 200: time right only, no first day, no balance row, location AB.
// 300: class 10, balance -1234,567, no location row, a second badge row.
// 400: no right, a second badge row (skipped, although 400 gave no record).
const std::string kBadges17 =
    Badge("100", "2000-01-01", "2099-12-31", 7) + Classes("100", {"10", "20", "Z"}) +
    Balance("100", "TswW02", "'+   12,50'") +
    Badge("200", "", "2099-12-31", 8) + Classes("200", {"Z"}) +
    Badge("300", "2000-01-01", "", 99) + SecondPeriod("300", "2001-01-01") + Classes("300", {"10"}) +
    Balance("300", "TswW02", "'-1234,567'") +
    Badge("400", "2000-01-01", "", 7) + SecondPeriod("400", "2001-01-01") +
    Balance("400", "TswW02", "'+1'");

// Number, first day, time right, access right, balance, then the eleven
// reader positions of five characters.
std::string Record17(const std::string& number, const std::string& gvo, const std::string& timeRight,
                     const std::string& accessRight, const std::string& balance,
                     const std::vector<std::string>& readers) {
  std::string r = number + Blanks(13 - number.size()) + gvo + timeRight + accessRight + balance;
  for (const std::string& reader : readers) r += reader;
  EXPECT_EQ(r.size(), 85u) << r;
  return r;
}

const std::string k5 = Blanks(5);

const std::string kMain17 =
    // readers:                                       1        2        3   4   5   6   7        8   9        10  11
    Record17("100", "20000101", "1", "1", " 12,50 ", {"0120 ", "0220 ", k5, k5, k5, k5, "07HAL", k5, "09   ", k5, k5}) +
    Record17("100", "20000101", "1", "1", " 12,50 ", {"0110 ", "0210 ", k5, k5, k5, k5, "07HAL", k5, "09   ", k5, k5}) +
    Record17("200", "00000000", "1", "0", Blanks(7), {k5, k5, k5, k5, k5, k5, "07AB ", k5, k5, k5, k5}) +
    Record17("300", "20000101", "0", "1", "1234,5-", {"0110 ", "0210 ", k5, k5, k5, k5, k5, k5, "09   ", k5, k5});

TEST(MgDnl17P, Records) {
  const std::vector<std::string> args = {"MGDNL17P", "T1", "@DNL", "1"};
  const std::string abort = "Programmabbruch: Fehler bei Erstellung der Datei MGDNL17P!\n";
  RunCases(
      {
          {"readers 1, 2 and 9 with classes 10 and 20, time right only, repeated number skipped",
           kRows17 + kBadges17, args, kOld, 0, kConnected + Count(4, 3), kMain17},
          {"/d adds the balance and right messages", kRows17 + kBadges17,
           {"MGDNL17P", "T1", "@DNL", "1", "/d"}, std::nullopt, 0,
           kConnected + "Aws: 100 Zeitberechtigung: 1\n" +
               "Saldo Ermitteln. Pnr: P200 SQLCode:1403\n" + "Aws: 200 Zeitberechtigung: 1\n" +
               "Aws: 300 Zeitberechtigung: 0\n" +
               "Ausweis 300: Anzeigetext TswW02 auf die Breite des Feldes gekuerzt\n" +
               "Aws: 400 Zeitberechtigung: 0\n" +
               "Ausweis 400 ohne Zeit-/Zutrittsberechtigung auf Terminal T1\n" + Count(4, 3),
           kMain17},
          {"readers 6, 7, 10 and 11: the class on reader 6 only, reader 7 the location or blank",
           kRows17 +
               "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T7', 'M', 'S');\n"
               "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T7', 6);\n"
               "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T7', 7);\n"
               "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T7', 10);\n"
               "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T7', 11);\n"
               "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T7', '10', '0');\n" +
               kBadges17,
           {"MGDNL17P", "T7", "@DNL", "1"}, std::nullopt, 0, kConnected + Count(4, 2),
           Record17("100", "20000101", "0", "1", " 12,50 ", {k5, k5, k5, k5, k5, "0610 ", "07HAL", k5, k5, "10   ", "11   "}) +
               Record17("300", "20000101", "0", "1", "1234,5-", {k5, k5, k5, k5, k5, "0610 ", "07   ", k5, k5, "10   ", "11   "})},
          {"balance values as the terminal shows them",
           kRows17 + Badge("B1", "2000-01-01", "", 99) + Classes("B1", {"Z"}) +
               Balance("B1", "TswW02", "'-         '") +
               Badge("B2", "2000-01-01", "", 99) + Classes("B2", {"Z"}) +
               "INSERT INTO O2002TSW (TswIdn, TswW02, TswW03) VALUES ('B2', NULL, '-5');\n" +
               Badge("B3", "2000-01-01", "", 99) + Classes("B3", {"Z"}) +
               Balance("B3", "TswW02", "'+ABCDEFGHI'"),
           args, std::nullopt, 0, kConnected + Count(3, 3),
           Record17("B1", "20000101", "1", "0", "      -", std::vector<std::string>(11, k5)) +
               Record17("B2", "20000101", "1", "0", Blanks(7), std::vector<std::string>(11, k5)) +
               Record17("B3", "20000101", "1", "0", "ABCDEF ", std::vector<std::string>(11, k5))},
          {"balance and location lookups that fail with an SQL error",
           kRows17 + Badge("500", "2000-01-01", "", 7) + Classes("500", {"10"}) +
               Balance("500", "TswW02", "'+1'") + Balance("500", "TswW02", "'+2'") +
               Badge("600", "2000-01-01", "", 7) +
               "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('600', 8);\n" + Classes("600", {"10"}),
           {"MGDNL17P", "T1", "@DNL", "1", "/d"}, std::nullopt, 0,
           kConnected + "Saldo Ermitteln. Pnr: P500 SQLCode:-1422\n" +
               "Aws: 500 Zeitberechtigung: 0\n" + "Saldo Ermitteln. Pnr: P600 SQLCode:1403\n" +
               "Aws: 600 Zeitberechtigung: 0\n" + "SQL Standortbez. Ermitteln. SQLCode:-1422\n" +
               Count(2, 2),
           Record17("500", "20000101", "0", "1", Blanks(7), {"0110 ", "0210 ", k5, k5, k5, k5, "07HAL", k5, "09   ", k5, k5}) +
               Record17("600", "20000101", "0", "1", Blanks(7), {"0110 ", "0210 ", k5, k5, k5, k5, k5, k5, "09   ", k5, k5})},
          {"location error is printed also without /d",
           kRows17 + Badge("600", "2000-01-01", "", 7) +
               "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('600', 8);\n" + Classes("600", {"Z"}),
           args, std::nullopt, 0,
           kConnected + "SQL Standortbez. Ermitteln. SQLCode:-1422\n" + Count(1, 1),
           Record17("600", "20000101", "1", "0", Blanks(7), std::vector<std::string>(11, k5))},
          {"over-long badge numbers and classes are left out, never cut",
           kRows17 + Badge(kLongestNumber, "2000-01-01", "", 8) + Classes(kLongestNumber, {"Z"}) +
               Badge(kOverLongNumber, "2000-01-01", "", 8) + Classes(kOverLongNumber, {"10"}) +
               Badge("700", "2000-01-01", "", 8) + Classes("700", {"ABCD", "10"}) +
               Badge(kLongAswNum, "2000-01-01", "", 8) + SecondPeriod(kLongAswNum, "2001-01-01") +
               Classes(kLongAswNum, {"10"}),
           args, std::nullopt, 0,
           kConnected + "Ausweis " + kOverLongNumber +
               " passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweis 700 Zutrittsklasse ABCD passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweis " + kLongAswNum + " passt nicht in den Satz, nicht in Datei gestellt\n" +
               Count(4, 2),
           Record17(kLongestNumber, "20000101", "1", "0", Blanks(7), {k5, k5, k5, k5, k5, k5, "07AB ", k5, k5, k5, k5}) +
               Record17("700", "20000101", "0", "1", Blanks(7), {"0110 ", "0210 ", k5, k5, k5, k5, "07AB ", k5, "09   ", k5, k5})},
          {"empty cursor", kRows17, args, kOld, 0, kConnected + Count(0, 0), ""},
          {"fetch error after records: old file kept", kRows17 + kBadges17 + kBrokenBadgeLast, args,
           kOld, 255, kConnected + Count(4, 3) + "FehlerCode EndWorkMgDnl17P: -1455\n" + abort, kOld},
      },
      85);
}

// ---------------------------------------------------------------- MGDNL60P

// Terminal T1 has the readers 1, 3 and 5; terminal T2 only reader 4.
const std::string kRows60 =
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'S');\n"
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T2', 'M', 'S');\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 3);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 5);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T2', 4);\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '5', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '7', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCD', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T2', '5', '0');\n";

// 100: classes 5 and 7 and a time right, TswW09 +12,50 (TswW02 not shown).
// 200: time right only, no first day, no balance row.
// 300: class 5, TswW09 -1234,567, two badge rows.
// 400: no right.
const std::string kBadges60 =
    Badge("100", "2000-01-01", "2099-12-31", 7) + Classes("100", {"5", "7", "Z"}) +
    "INSERT INTO O2002TSW (TswIdn, TswW02, TswW09) VALUES ('100', '-99', '+   12,50');\n" +
    Badge("200", "", "2099-12-31", 8) + Classes("200", {"Z"}) +
    Badge("300", "2000-01-01", "", 7) + SecondPeriod("300", "2001-01-01") + Classes("300", {"5"}) +
    Balance("300", "TswW09", "'-1234,567'") +
    Badge("400", "2000-01-01", "", 7);

// Number, first day, time right, access right, balance, readers 1 to 3.
std::string Record60(const std::string& number, const std::string& gvo, const std::string& timeRight,
                     const std::string& accessRight, const std::string& balance,
                     const std::string& reader1, const std::string& reader2,
                     const std::string& reader3) {
  std::string r = number + Blanks(13 - number.size()) + gvo + timeRight + accessRight + balance +
                  reader1 + reader2 + reader3;
  EXPECT_EQ(r.size(), 45u) << r;
  return r;
}

const std::string kMain60 =
    Record60("100", "20000101", "1", "1", " 12,50 ", "017  ", k5, "037  ") +
    Record60("100", "20000101", "1", "1", " 12,50 ", "015  ", k5, "035  ") +
    Record60("200", "00000000", "1", "0", Blanks(7), k5, k5, k5) +
    Record60("300", "20000101", "0", "1", "1234,5-", "015  ", k5, "035  ") +
    Record60("300", "20010101", "0", "1", "1234,5-", "015  ", k5, "035  ");

// A balance value of more than six characters is written as the display
// shows it, cut to six: said under /d for each badge written, and once per
// run on standard error.
TEST(MgDnl60P, DisplayTextsCutToTheirWidthAreSaid) {
  const std::string rows = kRows60 + Badge("700", "2000-01-01", "", 7) + Classes("700", {"Z"}) +
                           Balance("700", "TswW09", "'+1234567'") +
                           Badge("800", "2000-01-01", "", 7) + Classes("800", {"Z"}) +
                           Balance("800", "TswW09", "'+123456'");
  const std::string records = Record60("700", "20000101", "1", "0", "123456 ", k5, k5, k5) +
                              Record60("800", "20000101", "1", "0", "123456 ", k5, k5, k5);
  const E2eResult plain = RunZeprink({.rowsSql = rows, .args = {"MGDNL60P", "T1", "@DNL", "1"}});
  EXPECT_EQ(plain.exitStatus, 0);
  EXPECT_EQ(plain.out, kConnected + Count(2, 2));
  EXPECT_EQ(plain.dnl, records);
  EXPECT_EQ(plain.err,
            "zeprink: Warnung: 1 Anzeigetext(e) auf die Breite ihres Feldes gekuerzt (Einzelheiten "
            "mit /d)\n");
  const E2eResult verbose =
      RunZeprink({.rowsSql = rows, .args = {"MGDNL60P", "T1", "@DNL", "1", "/d"}});
  EXPECT_EQ(verbose.out, kConnected + "Aws: 700 Zeitberechtigung: 1\n" +
                             "Ausweis 700: Anzeigetext TswW09 auf die Breite des Feldes gekuerzt\n" +
                             "Aws: 800 Zeitberechtigung: 1\n" + Count(2, 2));
  EXPECT_EQ(verbose.dnl, records);
}

TEST(MgDnl60P, Records) {
  const std::vector<std::string> args = {"MGDNL60P", "T1", "@DNL", "1"};
  RunCases(
      {
          {"readers 1 and 3 with classes 5 and 7, time right only, repeated number written",
           kRows60 + kBadges60, args, kOld, 0, kConnected + Count(5, 4), kMain60},
          {"/d names the badge without any right", kRows60 + kBadges60,
           {"MGDNL60P", "T1", "@DNL", "0", "/d"}, kOld, 0,
           kConnected + "Aws: 100 Zeitberechtigung: 1\n" + "Aws: 200 Zeitberechtigung: 1\n" +
               "Aws: 300 Zeitberechtigung: 0\n" +
               "Ausweis 300: Anzeigetext TswW09 auf die Breite des Feldes gekuerzt\n" +
               "Aws: 300 Zeitberechtigung: 0\n" +
               "Ausweis 300: Anzeigetext TswW09 auf die Breite des Feldes gekuerzt\n" +
               "Aws: 400 Zeitberechtigung: 0\n" +
               "Ausweis 400 ohne Zeit-/Zutrittsberechtigung auf Terminal T1\n" + Count(5, 4),
           kOld + kMain60},
          {"terminal with reader 4 only: access right, blank readers", kRows60 + kBadges60,
           {"MGDNL60P", "T2", "@DNL", "1"}, std::nullopt, 0, kConnected + Count(5, 3),
           Record60("100", "20000101", "0", "1", " 12,50 ", k5, k5, k5) +
               Record60("300", "20000101", "0", "1", "1234,5-", k5, k5, k5) +
               Record60("300", "20010101", "0", "1", "1234,5-", k5, k5, k5)},
          {"balance lookup with an SQL error leaves the balance blank",
           kRows60 + Badge("500", "2000-01-01", "", 7) + Classes("500", {"Z"}) +
               Balance("500", "TswW09", "'+1'") + Balance("500", "TswW09", "'+2'"),
           args, std::nullopt, 0, kConnected + Count(1, 1),
           Record60("500", "20000101", "1", "0", Blanks(7), k5, k5, k5)},
          {"over-long badge numbers and classes are left out, never cut",
           kRows60 + Badge(kLongestNumber, "2000-01-01", "", 7) + Classes(kLongestNumber, {"Z"}) +
               Badge(kOverLongNumber, "2000-01-01", "", 7) + Classes(kOverLongNumber, {"Z"}) +
               Badge("600", "2000-01-01", "", 7) + Classes("600", {"ABCD", "7"}) +
               Badge(kLongAswNum, "2000-01-01", "", 7) + Classes(kLongAswNum, {"5"}),
           args, std::nullopt, 0,
           kConnected + "Ausweis " + kOverLongNumber +
               " passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweis 600 Zutrittsklasse ABCD passt nicht in den Satz, nicht in Datei gestellt\n" +
               "Ausweis " + kLongAswNum + " passt nicht in den Satz, nicht in Datei gestellt\n" +
               Count(4, 2),
           Record60(kLongestNumber, "20000101", "1", "0", Blanks(7), k5, k5, k5) +
               Record60("600", "20000101", "0", "1", Blanks(7), "017  ", k5, "037  ")},
          {"empty cursor", kRows60, args, kOld, 0, kConnected + Count(0, 0), ""},
          {"fetch error after records: old file kept", kRows60 + kBadges60 + kBrokenBadgeLast, args,
           kOld, 255,
           kConnected + Count(5, 4) + "Programmabbruch: Fehler bei Erstellung der Datei MGDNL60P!\n",
           kOld},
      },
      45);
}

}  // namespace
}  // namespace zx::test
