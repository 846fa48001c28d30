// The run driver seen from outside: command line, configuration, connection
// errors, the DNL file modes and its atomic replacement.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/config_cipher.h"
#include "tests/support/e2e.h"
#include "tests/support/pg_fixture.h"

namespace zx::test {
namespace {

const std::string kUsage =
    "Aufruf: ZEPRINK [Param1] [Param2] [Param3] [Param4] /d \n"
    "Param1: DNL-Funktion\n"
    "Param2: Terminal-Name\n"
    "Param3: Pfad der DNL-Datei\n"
    "Param4: 1: neu 0: dran h\xE4ngen\n";
const std::string kConnected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";
const std::string kEmptyCount = "Ausweise gesamt: 0 davon in Datei gestellt: 0\n";

// One badge valid today with a time right on terminal T1 and one without
// any right, so that "/d" shows in the output.
const std::string kTwoBadges =
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', '7600-000', 'S1');\n"
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswBkl) VALUES ('100', '2000-01-01 00:00:00', 'P100', 'Z');\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('100', 7);\n"
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES ('200', '2000-01-01 00:00:00', 'P200');\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('200', 7);\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'Z');\n";
const std::string kBadge100Line =
    "\"100\",\"20000101\",\"\",\"00007\",\"1\",\"0\",\"1\",\"S1\",\"001\",\"Z  \",\"\",\"100\",\"0\",\"\"\r\n";
const std::string kCount21 = "Ausweise gesamt: 2 davon in Datei gestellt: 1\n";

TEST(DriverCommandLine, TooFewParametersPrintUsageJoinedToTheCount) {
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{}, "Anzahl Parameter(mind. 4) unterschritten! AnzParam: 0" + kUsage},
      {{"IDSTAMM"}, "Anzahl Parameter(mind. 4) unterschritten! AnzParam: 1" + kUsage},
      {{"IDSTAMM", "T1", "@DNL"}, "Anzahl Parameter(mind. 4) unterschritten! AnzParam: 3" + kUsage},
  };
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = "", .args = c.args, .oldDnl = std::nullopt, .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 255) << c.args.size();
    EXPECT_EQ(r.out, c.expected) << c.args.size();
    EXPECT_FALSE(r.dnl.has_value()) << c.args.size();
  }
}

TEST(DriverCommandLine, HelpAndVersionOnlyAsTheOnlyParameter) {
  const struct {
    std::vector<std::string> args;
    int exitStatus;
    std::string outStart;
    std::vector<std::string> outHolds;
  } cases[] = {
      {{"--help"}, 0, "Aufruf: zeprink [--config DATEI] [--report DATEI] [--metrics DATEI] DNL-FUNKTION TERMINAL DNL-DATEI MODUS [/d]\n",
       {"MGDNL17P, MGDNL18P, MGDNL31P, MGDNL60P oder IDSTAMM", "../../files/morvalent.ini", "255"}},
      {{"--version"}, 0, "zeprink ", {"\nDatenbanken: SQLite 3.", ", libpq "}},
      {{"--HELP"}, 255, "Anzahl Parameter(mind. 4) unterschritten! AnzParam: 1" + kUsage, {}},
      {{"--help", "T1"}, 255, "Anzahl Parameter(mind. 4) unterschritten! AnzParam: 2" + kUsage, {}},
      {{"--version", "T1", "@DNL", "1"}, 255, "Unbekannte DNL-Funktion: --version!\n", {}},
  };
  for (const auto& c : cases) {
    const E2eResult r = RunZeprink({.args = c.args, .oldDnl = "old"});
    EXPECT_EQ(r.exitStatus, c.exitStatus) << c.args[0];
    EXPECT_EQ(r.out.substr(0, c.outStart.size()), c.outStart) << c.args[0] << ": " << r.out;
    for (const std::string& part : c.outHolds) EXPECT_NE(r.out.find(part), std::string::npos) << part;
    EXPECT_EQ(r.dnl, "old") << c.args[0];
  }
}

TEST(DriverCommandLine, RefusalsLeaveTheDnlFileAlone) {
  const std::string longName(256, 'T');
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {"unknown function", {"MGDNL99P", "T1", "@DNL", "1"}, "Unbekannte DNL-Funktion: MGDNL99P!\n"},
      {"function name with a suffix", {"IDSTAMMX", "T1", "@DNL", "1"}, "Unbekannte DNL-Funktion: IDSTAMMX!\n"},
      {"terminal name of 256 characters", {"IDSTAMM", longName, "@DNL", "1"},
       "Terminal-Name zu lang (mehr als 255 Zeichen): " + longName + "\n"},
  };
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = kTwoBadges, .args = c.args, .oldDnl = "old content", .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 255) << c.what;
    EXPECT_EQ(r.out, c.expected) << c.what;
    EXPECT_EQ(r.dnl, "old content") << c.what;
    EXPECT_TRUE(r.leftover.empty()) << c.what;
  }
}

TEST(DriverConnection, FailuresPrintTheCodeWithoutThePassword) {
  using Config = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* what;
    Config config;
    std::string expectedPrefix;  // followed by the net service name and the rest
    std::string expectedSuffix;
  } cases[] = {
      {"unknown schema",
       {{"LOGIN", "zeprink"}, {"PASS", "@PASS"}, {"NET8", "@NET8"}, {"DB_SYSTEM", "X"}, {"SCHEMA", "NOSUCH;"}},
       "DB-Connect-Error: -1435!Name:zeprink Pwd:*** Net:", " Schema:NOSUCH\n"},
      {"schema of one character is empty",
       {{"LOGIN", "zeprink"}, {"PASS", "@PASS"}, {"NET8", "@NET8"}, {"DB_SYSTEM", "X"}, {"SCHEMA", "Z"}},
       "DB-Connect-Error: -922!Name:zeprink Pwd:*** Net:", " Schema:\n"},
      {"missing schema key",
       {{"LOGIN", "zeprink"}, {"PASS", "@PASS"}, {"NET8", "@NET8"}},
       "DB-Connect-Error: -922!Name:zeprink Pwd:*** Net:", " Schema:\n"},
      {"missing database file",
       {{"LOGIN", "zeprink"}, {"PASS", ""}, {"NET8", "sqlite:/nonexistent/zardonix.db"}, {"DB_SYSTEM", "X"}, {"SCHEMA", "ZARDONIX;"}},
       "DB-Connect-Error: -12154!Name:zeprink Pwd: Net:", " Schema:ZARDONIX\n"},
  };
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = kTwoBadges, .args = {"IDSTAMM", "T1", "@DNL", "1"}, .oldDnl = "old", .config = c.config});
    EXPECT_EQ(r.exitStatus, 255) << c.what;
    ASSERT_GE(r.out.size(), c.expectedPrefix.size() + c.expectedSuffix.size()) << c.what << ": " << r.out;
    EXPECT_EQ(r.out.substr(0, c.expectedPrefix.size()), c.expectedPrefix) << c.what << ": " << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - c.expectedSuffix.size()), c.expectedSuffix) << c.what << ": " << r.out;
    EXPECT_EQ(r.out.find("geheim"), std::string::npos) << c.what;
    EXPECT_EQ(r.dnl, "old") << c.what;
  }
}

TEST(DriverConnection, ServerRefusalsPrintTheCodeWithoutThePassword) {
  // Named explicitly, these connections go to the database server on both
  // runs of the case.
  PgDatabase db;
  ZX_REQUIRE_PG(db);
  const std::string service = "postgresql:///" + db.name() + "?service=" + TestServer().service;
  const struct {
    const char* what;
    std::string password;
    std::string net8;
    int code;
  } cases[] = {
      {"wrong password", "wrong_pw", service, -1017},
      {"unknown service", TestServer().password, "zx_no_such_service", -12154},
      {"no server listening", TestServer().password, "postgresql://127.0.0.1:1/zeprink_test", -12541},
  };
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = kTwoBadges,
                              .args = {"IDSTAMM", "T1", "@DNL", "1"},
                              .oldDnl = "old",
                              .config = std::vector<std::pair<std::string, std::string>>{
                                  {"LOGIN", TestServer().user}, {"PASS", c.password}, {"NET8", c.net8},
                                  {"DB_SYSTEM", "X"}, {"SCHEMA", "ZARDONIX;"}}});
    EXPECT_EQ(r.exitStatus, 255) << c.what;
    EXPECT_EQ(r.out, "DB-Connect-Error: " + std::to_string(c.code) + "!Name:" + TestServer().user +
                         " Pwd:*** Net:" + c.net8 + " Schema:ZARDONIX\n")
        << c.what;
    EXPECT_EQ(r.dnl, "old") << c.what;
    EXPECT_TRUE(r.leftover.empty()) << c.what;
    // libpq's own words follow the reason's start.
    const std::string reason = "zeprink: Verbindung zur Datenbank \"" + c.net8 + "\" fehlgeschlagen: ";
    EXPECT_EQ(r.err.substr(0, reason.size()), reason) << c.what << ": " << r.err;
    EXPECT_GT(r.err.size(), reason.size() + 1) << c.what << ": " << r.err;
  }
}

TEST(DriverConnection, AnUnreadableConfigurationRecordEndsTheRunBeforeConnecting) {
  // NET8 enciphered into 208 digits does not fit the value field of 200:
  // neither cut nor passed over for an empty net service name (which would
  // connect to whatever database the client's defaults name).
  const std::string record = [] {
    std::string lines;
    const std::pair<const char*, std::string> values[] = {
        {"LOGIN", EncryptConfigValue("zeprink")},
        {"PASS", EncryptConfigValue("geheim")},
        {"NET8", EncryptConfigValue("sqlite:" + std::string(100, 'x'))},
        {"DB_SYSTEM", EncryptConfigValue("X")},
        {"SCHEMA", EncryptConfigValue("ZARDONIX;")},
    };
    int number = 0;
    for (const auto& [key, hex] : values) {
      lines += std::string(";ZEPRINK;") + key + ";\n" + std::to_string(++number) + ";" + key + ";" + hex + "\n";
    }
    return lines;
  }();
  E2eResult r = RunZeprink({.rowsSql = kTwoBadges,
                            .args = {"IDSTAMM", "T1", "@DNL", "1"},
                            .oldDnl = "old",
                            .config = std::nullopt,
                            .rawConfig = record});
  EXPECT_EQ(r.exitStatus, 255);
  EXPECT_EQ(r.out, "Konfigurationseintrag NET8 in ../../files/morvalent.ini zu lang oder ungueltig!\n");
  EXPECT_EQ(r.dnl, "old");
  EXPECT_TRUE(r.leftover.empty());
}

TEST(DriverRun, ModesOptionsAndLetterCase) {
  // What the run takes its parameters for stays; a mode other than 1 and 0,
  // a fifth parameter other than /d and parameters after it get a warning
  // that says what was taken.
  const std::string appended = "zeprink: Warnung: Modus \"21\" ist weder 1 noch 0: die Datei wird "
                               "angehaengt (nur 1 schreibt sie neu)\n";
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::optional<std::string> oldDnl;
    std::string expectedOut;
    std::string expectedDnl;
    std::string expectedErr;
  } cases[] = {
      {"new file", {"IDSTAMM", "T1", "@DNL", "1"}, "old\r\n", kConnected + kCount21, kBadge100Line, ""},
      {"new file for any text starting with 1", {"idstamm", "T1", "@DNL", "10"}, "old\r\n", kConnected + kCount21, kBadge100Line,
       "zeprink: Warnung: Modus \"10\" gilt als 1 (beginnt mit 1): die Datei wird neu geschrieben\n"},
      {"append", {"IdStamm", "T1", "@DNL", "0"}, "old\r\n", kConnected + kCount21, "old\r\n" + kBadge100Line, ""},
      {"append for any other text", {"IDSTAMM", "T1", "@DNL", "21"}, "old\r\n", kConnected + kCount21, "old\r\n" + kBadge100Line,
       appended},
      {"a typed l appends", {"IDSTAMM", "T1", "@DNL", "l"}, "old\r\n", kConnected + kCount21, "old\r\n" + kBadge100Line,
       "zeprink: Warnung: Modus \"l\" ist weder 1 noch 0: die Datei wird angehaengt (nur 1 schreibt sie neu)\n"},
      {"append creates a missing file", {"IDSTAMM", "T1", "@DNL", "0"}, std::nullopt, kConnected + kCount21, kBadge100Line, ""},
      {"/d sets Verbose",
       {"IDSTAMM", "T1", "@DNL", "1", "/d"}, std::nullopt,
       kConnected + "Aws: 100 Zeitberechtigung: 1\nAws: 200 Zeitberechtigung: 0\n"
                    "Ausweis 200 ohne Zeit-/Zutrittsberechtigung auf Terminal T1\n" + kCount21,
       kBadge100Line, "zeprink: Anweisungen: "},
      {"/D in capitals does not", {"IDSTAMM", "T1", "@DNL", "1", "/D"}, std::nullopt, kConnected + kCount21, kBadge100Line,
       "zeprink: Warnung: Parameter 5 \"/D\" ist nicht /d (nur klein geschrieben): keine Diagnosezeilen\n"},
      {"/d as fifth of six does not", {"IDSTAMM", "T1", "@DNL", "1", "/d", "x"}, std::nullopt, kConnected + kCount21, kBadge100Line,
       "zeprink: Warnung: /d wirkt nur als letzter Parameter: keine Diagnosezeilen\n"
       "zeprink: Warnung: 1 Parameter nach dem fuenften nicht beachtet: x\n"},
      {"another fifth and a sixth", {"IDSTAMM", "T1", "@DNL", "0", "x", "y z"}, std::nullopt, kConnected + kCount21, kBadge100Line,
       "zeprink: Warnung: Parameter 5 \"x\" ist nicht /d: keine Diagnosezeilen\n"
       "zeprink: Warnung: 1 Parameter nach dem fuenften nicht beachtet: y z\n"},
  };
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = kTwoBadges, .args = c.args, .oldDnl = c.oldDnl, .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 0) << c.what;
    EXPECT_EQ(r.out, c.expectedOut) << c.what;
    EXPECT_EQ(r.dnl, c.expectedDnl) << c.what;
    EXPECT_TRUE(r.leftover.empty()) << c.what;
    // /d adds its statement counts: only the start is fixed.
    EXPECT_EQ(r.err.substr(0, c.expectedErr.size()), c.expectedErr) << c.what;
    if (c.args.size() != 5 || c.args[4] != "/d") {
      EXPECT_EQ(r.err, c.expectedErr) << c.what;
    }
  }
}

TEST(DriverRun, LowerCaseSchemaIsUpperCasedAndEmptyDatabaseGivesEmptyFile) {
  E2eResult r = RunZeprink({.rowsSql = "INSERT INTO Zdx1140Trm (TrmNam) VALUES ('T1');\n",
                            .args = {"IDSTAMM", "T1", "@DNL", "1"},
                            .oldDnl = "old",
                            .config = std::vector<std::pair<std::string, std::string>>{
                                {"LOGIN", "zeprink"}, {"PASS", "@PASS"}, {"NET8", "@NET8"}, {"DB_SYSTEM", "S"}, {"SCHEMA", "zardonix;"}}});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, kConnected + kEmptyCount);
  EXPECT_EQ(r.dnl, "");
}

TEST(DriverTerminal, NamesTheSystemDoesNotKnowOrCannotTellApartAreRefused) {
  const std::string validT1 = "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'S');\n";
  const struct {
    const char* what;
    std::string rows;
    std::vector<std::string> args;
    std::string expected;  // after the connection line
  } cases[] = {
      {"in neither table", "", {"IDSTAMM", "T1", "@DNL", "1"}, "Terminal T1 unbekannt!\n"},
      {"in another letter case, append mode", validT1 + "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T1');\n",
       {"MGDNL60P", "t1", "@DNL", "0"}, "Terminal t1 unbekannt!\n"},
      {"two valid rows (an invalid third does not count)",
       validT1 + validT1 + "INSERT INTO Zdx1140Trm (TrmNam, TrmSta) VALUES ('T1', 4);\n",
       {"MGDNL17P", "T1", "@DNL", "1"}, "Terminal T1 mehrfach vorhanden!\n"},
      {"the assignment table cannot be read (known terminal)", validT1 + "DROP TABLE Zdx115Tfz;\n",
       {"IDSTAMM", "T1", "@DNL", "1"}, "Terminal T1 konnte nicht gelesen werden! SQLCode:-942\n"},
      {"the assignment table cannot be read (name not in the terminal table)", "DROP TABLE Zdx115Tfz;\n",
       {"IDSTAMM", "T2", "@DNL", "1"}, "Terminal T2 konnte nicht gelesen werden! SQLCode:-942\n"},
      {"an unusable DNL file is reported first", "", {"IDSTAMM", "T1", "/nonexistent-dir/x.dnl", "1"},
       "Downloadfile /nonexistent-dir/x.dnl konnte nicht geoeffnet werden!\n"},
  };
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = c.rows, .args = c.args, .oldDnl = "old\r\n", .config = std::nullopt});
    EXPECT_EQ(r.exitStatus, 255) << c.what;
    EXPECT_EQ(r.out, kConnected + c.expected) << c.what;
    EXPECT_EQ(r.dnl, "old\r\n") << c.what;
    EXPECT_TRUE(r.leftover.empty()) << c.what;
  }
}

TEST(DriverReasons, EveryFailedRunSaysWhyOnStandardError) {
  using Config = std::vector<std::pair<std::string, std::string>>;
  const Config missingDatabase = {{"LOGIN", "zeprink"}, {"PASS", "x"}, {"NET8", "sqlite:/nonexistent/zardonix.db"},
                                  {"DB_SYSTEM", "X"}, {"SCHEMA", "ZARDONIX;"}};
  const Config relativeDatabase = {{"LOGIN", "zeprink"}, {"PASS", "x"}, {"NET8", "sqlite:nosuch.db"},
                                   {"DB_SYSTEM", "X"}, {"SCHEMA", "ZARDONIX;"}};
  const Config unknownSchema = {{"LOGIN", "zeprink"}, {"PASS", "@PASS"}, {"NET8", "@NET8"},
                                {"DB_SYSTEM", "X"}, {"SCHEMA", "NOSUCH;"}};
  // The badge cursor's fetch of ZZZ fails: its AswAtp does not fit 32 bits.
  const std::string brokenBadge =
      kTwoBadges +
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswAtp) VALUES ('ZZZ', '2000-01-01 00:00:00', 3000000000);\n"
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('ZZZ', 7);\n";
  const struct {
    const char* what;
    E2eOptions options;
    std::string reason;  // the line's start; the database's own words may follow
    bool databaseWords;  // more text must follow
  } cases[] = {
      {"too few parameters", {.args = {"IDSTAMM"}}, "zeprink: 1 Parameter, mindestens 4 noetig", false},
      {"unknown function", {.args = {"MGDNL99P", "T1", "@DNL", "1"}},
       "zeprink: DNL-Funktion MGDNL99P gibt es nicht; bekannt sind MGDNL17P, MGDNL18P, MGDNL31P, MGDNL60P, "
       "IDSTAMM\n",
       false},
      {"no configuration file", {.args = {"IDSTAMM", "T1", "@DNL", "1"}, .noConfigFile = true},
       "zeprink: Konfigurationsdatei @ROOT/files/morvalent.ini nicht lesbar (No such file or directory), "
       "daher keine Anmeldedaten\n",
       false},
      {"no database file", {.args = {"IDSTAMM", "T1", "@DNL", "1"}, .config = missingDatabase},
       "zeprink: Verbindung zur Datenbank \"sqlite:/nonexistent/zardonix.db\" fehlgeschlagen: ", true},
      {"a relative database path, shown absolute", {.args = {"IDSTAMM", "T1", "@DNL", "1"}, .config = relativeDatabase},
       "zeprink: Verbindung zur Datenbank \"sqlite:nosuch.db\" fehlgeschlagen: @ROOT/site/run/nosuch.db: No "
       "such file or directory\n", false},
      {"unknown schema", {.args = {"IDSTAMM", "T1", "@DNL", "1"}, .config = unknownSchema},
       "zeprink: Schema \"NOSUCH\" nicht einstellbar: ", true},
      {"DNL file in a missing directory", {.args = {"IDSTAMM", "T1", "/nonexistent-dir/x.dnl", "1"}},
       "zeprink: Downloadfile /nonexistent-dir/x.dnl: Verzeichnis /nonexistent-dir: No such file or "
       "directory (keine temporaere Datei moeglich)\n", false},
      {"unknown terminal", {.args = {"IDSTAMM", "TX", "@DNL", "1"}},
       "zeprink: Terminal TX steht weder in Zdx1140Trm noch in Zdx115Tfz", false},
      {"terminal lookup fails",
       {.rowsSql = "DROP TABLE Zdx115Tfz;", .args = {"IDSTAMM", "TX", "@DNL", "1"}},
       "zeprink: SQL-Anweisung \"Terminalnamen in Zdx115Tfz suchen\" fehlgeschlagen, SQLCode -942: ", true},
      {"badge fetch fails in the writer", {.rowsSql = brokenBadge, .args = {"IDSTAMM", "T1", "@DNL", "1"}},
       "zeprink: SQL-Anweisung \"gueltige Ausweise lesen (Ausweiscursor)\" fehlgeschlagen, SQLCode -1455: ", true},
  };
  for (const auto& c : cases) {
    E2eOptions options = c.options;
    if (options.rowsSql.empty()) options.rowsSql = kTwoBadges;
    options.oldDnl = "old";
    const E2eResult r = RunZeprink(options);
    EXPECT_EQ(r.exitStatus, 255) << c.what;
    std::vector<std::string> runs = r.otherErr;
    runs.insert(runs.begin(), r.err);
    for (const std::string& err : runs) {
      EXPECT_EQ(err.substr(0, c.reason.size()), c.reason) << c.what << ": " << err;
      if (c.databaseWords) {
        EXPECT_GT(err.size(), c.reason.size() + 1) << c.what << ": " << err;
      }
      EXPECT_EQ(err.find("geheim"), std::string::npos) << c.what;
    }
  }
}

TEST(DriverRun, AConfigurationFileOthersMayReadIsWarnedAboutAndTheRunGoesOn) {
  const struct {
    unsigned mode;
    std::string err;
  } cases[] = {
      {0640, "zeprink: Warnung: Konfigurationsdatei @ROOT/files/morvalent.ini ist fuer Gruppe oder andere "
             "lesbar (Modus 0640); chmod 600 empfohlen\n"},
      {0604, "zeprink: Warnung: Konfigurationsdatei @ROOT/files/morvalent.ini ist fuer Gruppe oder andere "
             "lesbar (Modus 0604); chmod 600 empfohlen\n"},
      {0620, ""},  // writable by the group, but not readable: nothing leaks
      {0600, ""},
  };
  for (const auto& c : cases) {
    const E2eResult r =
        RunZeprink({.rowsSql = kTwoBadges, .args = {"IDSTAMM", "T1", "@DNL", "1"}, .configMode = c.mode});
    EXPECT_EQ(r.exitStatus, 0) << c.mode;
    EXPECT_EQ(r.out, kConnected + kCount21) << c.mode;
    EXPECT_EQ(r.err, c.err) << c.mode;
  }
}

TEST(DriverRun, UnopenableDnlFileIsReported) {
  E2eResult r = RunZeprink({.rowsSql = kTwoBadges, .args = {"IDSTAMM", "T1", "/nonexistent-dir/x.dnl", "1"}, .oldDnl = std::nullopt, .config = std::nullopt});
  EXPECT_EQ(r.exitStatus, 255);
  EXPECT_EQ(r.out, kConnected + "Downloadfile /nonexistent-dir/x.dnl konnte nicht geoeffnet werden!\n");
}

// Badges 1000..1249 without rights make "/d" print several buffers of
// messages before badge 999, which has a time right, is read; their number
// also takes the cursor beyond one batch of rows.
std::string ManyMessagesThenBadge999() {
  std::string rows = kTwoBadges;
  for (int i = 0; i < 250; ++i) {
    const std::string number = std::to_string(1000 + i);
    rows += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES ('" + number + "', '2000-01-01 00:00:00', 'P" +
            number + "');\nINSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', 7);\n";
  }
  rows +=
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswBkl) VALUES ('999', '2000-01-01 00:00:00', 'P999', 'Z');\n"
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('999', 7);\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('999', 'Z');\n";
  return rows;
}

TEST(DriverRun, StandardOutputThatCannotBeWrittenLeavesTheRunIntact) {
  // Closed at the start, the run's messages must not end up in whatever the
  // program opens next (the database connection, the DNL file). A pipe whose
  // reader has gone must not end the run half-way: the messages are lost,
  // the DNL file is written as ever.
  std::string badge999Line = kBadge100Line;
  for (size_t at = badge999Line.find("100"); at != std::string::npos; at = badge999Line.find("100", at))
    badge999Line.replace(at, 3, "999");
  for (const StdoutMode mode : {StdoutMode::kClosed, StdoutMode::kReaderGone}) {
    SCOPED_TRACE(mode == StdoutMode::kClosed ? "closed" : "reader gone");
    E2eResult r = RunZeprink({.rowsSql = ManyMessagesThenBadge999(),
                              .args = {"IDSTAMM", "T1", "@DNL", "1", "/d"},
                              .oldDnl = "old",
                              .config = std::nullopt,
                              .stdoutMode = mode});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.dnl, kBadge100Line + badge999Line);
    EXPECT_TRUE(r.leftover.empty());
  }
}

}  // namespace
}  // namespace zx::test
