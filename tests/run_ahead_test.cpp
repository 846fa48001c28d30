// The per-badge lookups that the database server is sent ahead, a batch of
// badges at a time: every writer gives the same records and messages on the
// server as on the embedded database (which runs each lookup on its own),
// over several batches, with badge numbers that need quoting in an array,
// a lookup that finds two rows (its own code, for that badge only) and
// badges without the rows a lookup reads; and the round trips stay few.
#include <gtest/gtest.h>

#include <string>

#include "base/fixed_text.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/session.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx::test {
namespace {

// 1,300 badges (more than two batches), each with classes, most with a
// balance and a location; T1 grants time and access rights and has readers.
std::string Site() {
  std::string sql =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', 'M', 'S1', 1, 1, 1);\n"
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 3);\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'B', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'C', '1');\n"
      "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (1, 'NORD');\n"
      "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (2, 'SUED');\n";
  const auto badge = [&sql](const std::string& number, int i) {
    const std::string n = SqlLiteral(number.c_str());
    sql += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES (" + n +
           ", '2000-01-01 00:00:00', 'P" + std::to_string(i) + "');\n";
    sql += "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES (" + n + ", " + std::to_string(i % 3) + ");\n";
    sql += std::string("INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (") + n + ", '" + "ABC"[i % 3] + "');\n";
    if (i % 4 == 0) sql += "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (" + n + ", 'B');\n";
    if (i % 5 != 0) {
      sql += "INSERT INTO O2002TSW (TswIdn, TswW02, TswW09, TswF01) VALUES (" + n + ", '+" +
             std::to_string(100 + i) + "', '-1', 'T" + std::to_string(i) + "');\n";
    }
  };
  for (int i = 0; i < 1300; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%06d", i);
    badge(number, i);
  }
  // Numbers an array literal must quote, and bytes above 0x7F.
  badge("Q\"1\\,{x}", 1);
  badge("Q \xe4\x80", 2);
  // Two balance rows: that badge's lookup fails with its own code.
  sql += "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('000007', '+9');\n";
  return sql;
}

TEST(RunAhead, ServerAnswersEqualTheLookupsOwnRuns) {
  const std::string rows = Site();
  PgDatabase pg(rows);
  ZX_REQUIRE_PG(pg);
  SqliteDatabase lite(rows);
  ASSERT_TRUE(lite.ok()) << lite.error();
  SqlSession onServer;
  SqlSession embedded;
  ASSERT_EQ(pg.Connect(onServer), 0);
  ASSERT_EQ(lite.Connect(embedded), 0);
  const TerminalParams serverTerminal = ReadTestTerminal(onServer, "T1");
  const TerminalParams embeddedTerminal = ReadTestTerminal(embedded, "T1");

  const struct {
    const char* name;
    Writer writer;
  } writers[] = {{"MGDNL17P", CreateMgDnl17P}, {"MGDNL18P", CreateMgDnl18P},
                 {"MGDNL31P", CreateMgDnl31P}, {"MGDNL60P", CreateMgDnl60P},
                 {"IDSTAMM", CreateIdStamm}};
  for (const auto& w : writers) {
    const int64_t roundTripsBefore = onServer.Counters().roundTrips;
    StringSink serverSink;
    StringSink embeddedSink;
    const WriterRun server = RunWriter(w.writer, onServer, serverTerminal, serverSink, true);
    const WriterRun expected = RunWriter(w.writer, embedded, embeddedTerminal, embeddedSink, true);
    EXPECT_EQ(server.result, 1) << w.name;
    EXPECT_EQ(expected.result, 1) << w.name;
    EXPECT_FALSE(expected.dnl.empty()) << w.name;
    EXPECT_EQ(server.dnl, expected.dnl) << w.name;
    EXPECT_EQ(server.out, expected.out) << w.name;
    // Three batches of badges, each: its fetch and one round trip for all
    // lookups; a few more for the terminal's own rows.
    EXPECT_LE(onServer.Counters().roundTrips - roundTripsBefore, 12) << w.name;
  }
  // The badge with two balance rows: its lookup failed on both databases.
  StringSink sink;
  const WriterRun run = RunWriter(CreateMgDnl17P, onServer, serverTerminal, sink, true);
  EXPECT_NE(run.out.find("Saldo Ermitteln. Pnr: P7 SQLCode:-1422\n"), std::string::npos);
}

}  // namespace
}  // namespace zx::test
