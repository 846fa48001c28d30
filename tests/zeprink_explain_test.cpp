// zeprink-explain on the demo site: a badge in the files and one out for each
// reason, on the embedded database and, with the same words, on PostgreSQL.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/config_file.h"
#include "tests/support/e2e.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;

struct ExplainRun {
  int status = -1;
  std::string out;
};

// Runs zeprink-explain as the program runs: in a working directory two
// levels below files/morvalent.ini, which names the database.
ExplainRun Explain(const std::string& netService, const std::string& password,
                   const std::vector<std::string>& args) {
  ExplainRun run;
  char pattern[] = "/tmp/zeprink-explain-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) return run;
  const fs::path root(made);
  fs::create_directories(root / "site" / "run");
  fs::create_directories(root / "files");
  std::string error;
  if (!WriteConfigFile((root / "files" / "morvalent.ini").string(),
                       {{"LOGIN", "zeprink"}, {"PASS", password}, {"NET8", netService},
                        {"DB_SYSTEM", "ORACLE"}, {"SCHEMA", "ZARDONIX;"}},
                       &error)) {
    run.out = error;
  } else {
    run.status = RunProgram(ZEPRINK_EXPLAIN_BINARY, args, (root / "site" / "run").string(), run.out);
  }
  fs::remove_all(root);
  return run;
}

struct Case {
  const char* what;
  std::vector<std::string> args;
  std::vector<const char*> expected;  // lines (or parts of lines) of the explanation
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"in the file",
       {"HAUPTEINGANG", "10001"},
       {"Darum gilt die Zuordnungsform des Ausweiscursors",
        "  Zeile 1 in Zdx301Asw: gültig von 01.01.2020 bis 31.12.2040, Status (leer), Lizenz 10, "
        "Mandant 1: erfüllt die Bedingungen des Cursors.\n",
        "  Zeitberechtigung: ja, über die Klasse(n) 10.\n",
        "  Zutrittsberechtigung: ja, Zutrittsklassen '20 ', '10 '",
        "  Standort: Kurztext 'Ver'", "MGDNL17P: in der Datei, 2 Sätze.\n",
        "MGDNL18P: in der Datei, 1 Satz.\n", "MGDNL31P: in der Datei, 2 Sätze.\n",
        "MGDNL60P: in der Datei, 2 Sätze.\n", "IDSTAMM: in der Datei, 2 Sätze.\n", "PIN '****'"}},
      {"expired",
       {"--function", "IDSTAMM", "HAUPTEINGANG", "10019"},
       {": abgelaufen (nur bis 31.12.2019).\n", "IDSTAMM: NICHT in der Datei.\n"
                                                "  Grund: der Ausweiscursor liefert den Ausweis "
                                                "nicht (siehe oben).\n"}},
      {"not yet valid",
       {"--function", "IDSTAMM", "HAUPTEINGANG", "10020"},
       {": noch nicht gültig (erst ab 01.01.2041).\n", "IDSTAMM: NICHT in der Datei.\n"}},
      {"deleted badge row",
       {"--function", "mgdnl17p", "HAUPTEINGANG", "10010"},
       {"Status 4, Lizenz 10, Mandant 1: Status AswSta 4", "MGDNL17P: NICHT in der Datei.\n"}},
      {"blocked badge use",
       {"--function", "IDSTAMM", "HAUPTEINGANG", "10012"},
       {"AwvCod 8, Status (leer): gesperrt (AwvCod 8).\n", "IDSTAMM: NICHT in der Datei.\n"}},
      {"not assigned to the terminal",
       {"--function", "IDSTAMM", "HAUPTEINGANG", "10006"},
       {"keine gültige Zuordnungszeile des Terminals für Lizenz 12, Mandant 1.\n",
        "IDSTAMM: NICHT in der Datei.\n"}},
      {"no right on the terminal",
       {"HAUPTEINGANG", "10011"},
       {"  Zeitberechtigung: nein", "  Zutrittsberechtigung: nein",
        "IDSTAMM: NICHT in der Datei.\n  Grund: weder Zeit- noch Zutrittsberechtigung auf dem "
        "Terminal.\n  Meldung des Programms: Ausweis 10011 ohne Zeit-/Zutrittsberechtigung auf "
        "Terminal HAUPTEINGANG\n",
        "MGDNL31P: NICHT in der Datei.\n  Grund: keine Zutrittsberechtigung auf dem Terminal"}},
      {"time right only, so not in MGDNL31P",
       {"HAUPTEINGANG", "10014"},
       {"MGDNL31P: NICHT in der Datei.\n  Grund: keine Zutrittsberechtigung",
        "IDSTAMM: in der Datei, 1 Satz.\n", "  Standort: kein gültiger Standort"}},
      {"no personnel number, so not in MGDNL18P",
       {"--function", "MGDNL18P", "HAUPTEINGANG", "10008"},
       {"  Grund: keine Personalnummer (AswPnr)"}},
      {"an expired and a current period",
       {"--function", "IDSTAMM", "HAUPTEINGANG", "10005"},
       {"  Zeile 1 in Zdx301Asw: gültig von 01.01.2015 bis 31.12.2019",
        "  Zeile 2 in Zdx301Asw: gültig von 01.01.2020 bis 31.12.2040",
        "IDSTAMM: in der Datei, 1 Satz.\n"}},
      {"terminal without assignments",
       {"--function", "MGDNL31P", "WERKSTOR2", "10006"},
       {"  Darum liest der Ausweiscursor alle heute gültigen Ausweise (keine Zuordnungen).\n",
        "MGDNL31P: in der Datei"}},
  };
  return cases;
}

void ExpectExplanations(const std::string& netService, const std::string& password,
                        std::vector<std::string>* outputs) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    const ExplainRun run = Explain(netService, password, c.args);
    EXPECT_EQ(run.status, 0) << run.out;
    for (const char* expected : c.expected) {
      EXPECT_NE(run.out.find(expected), std::string::npos) << "missing: " << expected << "\n"
                                                           << run.out;
    }
    if (outputs != nullptr) outputs->push_back(run.out);
  }
}

TEST(ZeprinkExplain, SaysWhyEachBadgeIsOrIsNotInTheFiles) {
  SqliteDatabase db(DemoRows());
  ASSERT_TRUE(db.ok()) << db.error();
  std::vector<std::string> embedded;
  ExpectExplanations(db.NetService(), "geheim", &embedded);

  // The same words on PostgreSQL.
  PgDatabase server(DemoRows());
  ZX_REQUIRE_PG(server);
  std::vector<std::string> postgres;
  ExpectExplanations(server.NetService(), TestServer().password, &postgres);
  EXPECT_EQ(postgres, embedded);
}

TEST(ZeprinkExplain, FailsWith255WhenItCannotExplain) {
  SqliteDatabase db(DemoRows());
  ASSERT_TRUE(db.ok()) << db.error();
  const struct {
    const char* what;
    std::string netService;
    std::vector<std::string> args;
  } cases[] = {
      {"no such database", "sqlite:/nonexistent/zardonix.db", {"HAUPTEINGANG", "10001"}},
      {"unknown DNL function", db.NetService(), {"--function", "MGDNL99P", "HAUPTEINGANG", "1"}},
      {"badge missing", db.NetService(), {"HAUPTEINGANG"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ExplainRun run = Explain(c.netService, "geheim", c.args);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
  }
  // A database without the tables: the badge cursor fails.
  SqliteDatabase empty("", true);
  ASSERT_TRUE(empty.ok());
  ASSERT_EQ(empty.Execute("DROP TABLE Zdx301Asw;"), "");
  EXPECT_EQ(Explain(empty.NetService(), "geheim", {"HAUPTEINGANG", "1"}).status, 255);
}

// The data check: each planted value is named by table, column and key; a
// clean site has none.
TEST(ZeprinkExplainCheck, NamesEveryValueTheProgramCannotUse) {
  const struct {
    const char* what;
    const char* sql;
    const char* finding;
  } cases[] = {
      {"empty text", "UPDATE Zdx301Asw SET AswPnr = '' WHERE AswNum = '10002';",
       "Zdx301Asw.AswPnr: leerer Text ('') (AswNum='10002', AswGvo='2020-01-01 00:00:00')\n"},
      {"empty date", "UPDATE Zdx301Asw SET AswGbi = '' WHERE AswNum = '10003';",
       "Zdx301Asw.AswGbi: leerer Text ('') statt eines Datums (AswNum='10003', AswGvo=(leer))\n"},
      {"month 13", "UPDATE Zdx301Asw SET AswGvo = '2020-13-01 00:00:00' WHERE AswNum = '10004';",
       "Zdx301Asw.AswGvo: Datum nicht in der Form 'YYYY-MM-DD HH:MM:SS': '2020-13-01 00:00:00' "
       "(AswNum='10004', AswGvo='2020-13-01 00:00:00')\n"},
      {"date without time", "UPDATE Zdx301Asw SET AswGbi = '2040-12-31' WHERE AswNum = '10007';",
       "Zdx301Asw.AswGbi: Datum nicht in der Form 'YYYY-MM-DD HH:MM:SS': '2040-12-31' "
       "(AswNum='10007', AswGvo='2020-01-01 00:00:00')\n"},
      {"date as a number", "UPDATE Zdx301Asw SET AswGbi = 20401231 WHERE AswNum = '10007';",
       "Zdx301Asw.AswGbi: Datum nicht in der Form 'YYYY-MM-DD HH:MM:SS': '20401231' "
       "(AswNum='10007', AswGvo='2020-01-01 00:00:00')\n"},
      {"text in a number column", "UPDATE Zdx113Awv SET AwvCod = 'x8' WHERE AwvNum = '10007';",
       "Zdx113Awv.AwvCod: Text in einer Zahlenspalte: 'x8' (AwvNum='10007')\n"},
      {"a NUL byte, which no host STRING holds",
       "UPDATE Zdx301Asw SET AswPnr = CAST(X'500050' AS TEXT) WHERE AswNum = '10002';",
       "Zdx301Asw.AswPnr: Zeichen außerhalb von Windows-1252 oder NUL-Byte, das Programm kann den "
       "Wert nicht lesen: 'P<NUL>P' (AswNum='10002', AswGvo='2020-01-01 00:00:00')\n"},
      {"a badge number of 51 characters",
       "UPDATE Zdx301Asw SET AswNum = '123456789012345678901234567890123456789012345678901' "
       "WHERE AswNum = '10002';",
       "Zdx301Asw.AswNum: Ausweisnummer länger als 50 Zeichen, der Ausweis bleibt aus jeder Datei: "
       "'123456789012345678901234567890123456789012345678901' "
       "(AswNum='123456789012345678901234567890123456789012345678901', AswGvo='2020-01-01 "
       "00:00:00')\n"},
      {"a message set of 11 characters on the terminal",
       "UPDATE Zdx1140Trm SET TrmSal = 'S2345678901' WHERE TrmNam = 'KANTINE';",
       "Zdx1140Trm.TrmSal: Meldungssatz länger als 10 Zeichen, Ausweise ohne eigenen Satz bleiben "
       "aus IDSTAMM: 'S2345678901' (TrmNam='KANTINE')\n"},
      {"a location of six digits", "UPDATE Zdx113Awv SET AwvSto = 123456 WHERE AwvNum = '10007';",
       "Zdx113Awv.AwvSto: Standort nicht in fünf Ziffern, der Ausweis bleibt aus IDSTAMM: '123456' "
       "(AwvNum='10007')\n"},
      {"a line feed in a PIN, never shown",
       "UPDATE Zdx301Asw SET AswPin = 'a' || char(10) || 'b' WHERE AswNum = '10002';",
       "Zdx301Asw.AswPin: Anführungszeichen oder Zeilenumbruch, die IDSTAMM-Zeile bleibt aus "
       "(AswNum='10002', AswGvo='2020-01-01 00:00:00')\n"},
      {"two valid terminal rows",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmSta) VALUES ('KANTINE', 0);"
       // LAGER's first row is deleted: one valid row is no finding.
       "INSERT INTO Zdx1140Trm (TrmNam, TrmSta) VALUES ('LAGER', NULL);",
       "Zdx1140Trm.TrmNam: 2 gültige Terminalzeilen (Status nicht 4/8) mit einem Namen; das "
       "Programm findet keine davon (TrmNam='KANTINE')\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // The planted values are what the schema refuses: the checks are off.
    SqliteDatabase db(std::string(kAllowEmptyTexts) + DemoRows() + c.sql);
    ASSERT_TRUE(db.ok()) << db.error();
    const ExplainRun run = Explain(db.NetService(), "geheim", {"--check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, std::string(c.finding) + "1 Befund(e).\n");
  }

  SqliteDatabase clean(DemoRows());
  ASSERT_TRUE(clean.ok()) << clean.error();
  const ExplainRun run = Explain(clean.NetService(), "geheim", {"--check"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Keine Befunde: das Programm kann alle geprüften Werte lesen.\n");
}

TEST(ZeprinkExplainCheck, RunsOnPostgresToo) {
  PgDatabase server(std::string(kAllowEmptyTexts) + DemoRows() +
                    "UPDATE zardonix.Zdx301Asw SET AswPin = '' WHERE AswNum = '10002';"
                    "UPDATE zardonix.Zdx301Asw SET AswPnr = 'P' || chr(937) WHERE AswNum = '10003';"
                    "INSERT INTO zardonix.Zdx1140Trm (TrmNam, TrmSta) VALUES ('KANTINE', NULL);");
  ZX_REQUIRE_PG(server);
  const ExplainRun run = Explain(server.NetService(), TestServer().password, {"--check"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Zdx301Asw.AswPin: leerer Text ('') (AswNum='10002', AswGvo='2020-01-01 00:00:00')\n"
            "Zdx301Asw.AswPnr: Zeichen außerhalb von Windows-1252 oder NUL-Byte, das Programm kann "
            "den Wert nicht lesen: 'P<U+03A9>' (AswNum='10003', AswGvo=(leer))\n"
            "Zdx1140Trm.TrmNam: 2 gültige Terminalzeilen (Status nicht 4/8) mit einem Namen; das "
            "Programm findet keine davon (TrmNam='KANTINE')\n"
            "3 Befund(e).\n");
}

}  // namespace
}  // namespace zx::test
