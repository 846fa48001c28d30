// The per-badge lookups on the database server, answered from their
// streams: every writer gives the same records and messages on the server
// as on the embedded database, over several blocks of the badge cursor,
// with badge numbers that need quoting, a lookup that finds two rows (its
// own code, for that badge only) and badges without the rows a lookup
// reads; and the round trips stay few. A lookup the server refuses gives
// each badge the code its own statement gets.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "base/fixed_text.h"
#include "queries/badge_cursor.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/session.h"
#include "sql/sql_backend.h"
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

// A writer's verbose run for terminal T1 on each of two sessions; with
// `secondsBadges`, the second run reads its badge rows from that feed.
std::pair<WriterRun, WriterRun> RunOnBoth(Writer writer, SqlSession& first, SqlSession& second,
                                          BadgeFeed* secondsBadges = nullptr) {
  StringSink firstSink;
  StringSink secondSink;
  WriterRun one = RunWriter(writer, first, ReadTestTerminal(first, "T1"), firstSink, true);
  WriterRun other =
      RunWriter(writer, second, ReadTestTerminal(second, "T1"), secondSink, true, secondsBadges);
  return {std::move(one), std::move(other)};
}

TEST(ServerLookups, ServerAnswersEqualTheLookupsOwnRuns) {
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
    // Three batches of badges, each: one round trip on the session (its
    // fetch and the lookups of the first half of its badges) and one on the
    // helper session (those of the other half); a few more for the
    // terminal's own rows, and with the first cursor, opening the helper
    // (sharing the snapshot, connecting, its settings: seven).
    EXPECT_LE(onServer.Counters().roundTrips - roundTripsBefore, 18) << w.name;
  }
  // The badge with two balance rows: its lookup failed on both databases.
  StringSink sink;
  const WriterRun run = RunWriter(CreateMgDnl17P, onServer, serverTerminal, sink, true);
  EXPECT_NE(run.out.find("Saldo Ermitteln. Pnr: P7 SQLCode:-1422\n"), std::string::npos);
}

// A terminal of model 7744-010 shows each badge's own display texts with
// their value codes. 1,300 badges: a third have message set B1 (fields 1, 3
// and 8; field 3 has no value-code row), a third B2 (fields 2 and 5), the
// rest none. The value codes are run ahead only for the badges and fields that
// have a text: the records are those of the embedded database, in a few
// round trips.
TEST(ServerLookups, ValueCodesOnlyForTheBadgesTextsThatExist) {
  std::string rows =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', '7744-010', 'S1', 1, 1, 1);\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n";
  // A text of message set `sal` in field `lfd` with label L<key> and, when
  // given, a value code (#W2, #W3: the badge's balances).
  const auto text = [&rows](int key, const char* sal, const char* lfd, const char* code) {
    const std::string k = std::to_string(key);
    rows += std::string("INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdAnz, MsdWrt, MsdMnd, MsdLiz) VALUES ('") +
            sal + "', " + lfd + ", " + k + ", " + k + ", 1, 1);\n" +
            "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50) VALUES (220001, " + k + ", 1, 'L" + k +
            "');\n";
    if (code != nullptr) {
      rows += "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT10) VALUES (220002, " + k + ", 1, '" +
              code + "');\n";
    }
  };
  text(1, "B1", "1", "#W2");
  text(2, "B1", "3", nullptr);
  text(3, "B1", "8", "#W3");
  text(4, "B2", "2", "#W3");
  text(5, "B2", "5", "#W2");
  for (int i = 0; i < 1300; ++i) {
    const std::string n = "'" + std::to_string(100000 + i) + "'";
    const char* sal = i % 3 == 0 ? "'B1'" : i % 3 == 1 ? "'B2'" : "NULL";
    rows += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswSal, AswSpr) VALUES (" + n +
            ", '2000-01-01 00:00:00', 'P', " + sal + ", 1);\n" +
            "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES (" + n + ", 1);\n" +
            "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (" + n + ", 'Z');\n" +
            "INSERT INTO O2002TSW (TswIdn, TswW02, TswW03) VALUES (" + n + ", '+" + std::to_string(i) +
            "', '-" + std::to_string(i % 97) + "');\n";
  }
  PgDatabase pg(rows);
  ZX_REQUIRE_PG(pg);
  SqliteDatabase lite(rows);
  ASSERT_TRUE(lite.ok()) << lite.error();
  SqlSession onServer;
  SqlSession embedded;
  ASSERT_EQ(pg.Connect(onServer), 0);
  ASSERT_EQ(lite.Connect(embedded), 0);

  const auto [server, expected] = RunOnBoth(CreateMgDnl18P, onServer, embedded);
  EXPECT_EQ(server.result, 1);
  EXPECT_EQ(expected.result, 1);
  EXPECT_EQ(server.dnl, expected.dnl);
  EXPECT_EQ(server.out, expected.out);
  // Three batches, each: its fetch and the lookups for every badge, then
  // the value codes for the badges with texts (each a round trip on the
  // session and one on its helper); a few more for the terminal's rows and
  // for opening the helper (seven). Each code asked on its own would be
  // hundreds.
  EXPECT_LE(onServer.Counters().roundTrips, 36);
}

// The rows of the writer's own cursor opened without lookups: each badge's
// lookups go to the server one by one, as the badge's own statements.
class OwnStatements final : public BadgeFeed {
 public:
  explicit OwnStatements(SqlSession& session) : session_(session) {}
  int32_t Open(const TerminalParams& terminal, const BadgeLookups&) override {
    return OpenBadgeCursor(session_, cursor_, terminal);
  }
  int32_t Fetch(BadgeRecord& record) override {
    ClearBadgeRecord(record);
    return FetchBadge(cursor_, record);
  }
  int32_t Close() override { return CloseBadgeCursor(cursor_); }

 private:
  SqlSession& session_;
  BadgeCursor cursor_;
};

// The run's login may not read one lookup table (the balances, or the
// locations): the server refuses that lookup for every batch of badges. A
// refusal is no missing row: every badge gets the refusal's code exactly as
// its own statement gets it, and the records are those of the badges' own
// statements, over all batches.
TEST(ServerLookups, ALookupTheServerRefusesGivesEachBadgeItsOwnCode) {
  PgDatabase pg(Site());
  ZX_REQUIRE_PG(pg);
  const struct {
    const char* table;
    const char* name;
    Writer writer;
  } cases[] = {{"O2002TSW", "MGDNL17P", CreateMgDnl17P}, {"O2002TSW", "MGDNL18P", CreateMgDnl18P},
               {"O2002TSW", "MGDNL60P", CreateMgDnl60P}, {"Zdx113Sto", "MGDNL17P", CreateMgDnl17P},
               {"Zdx113Sto", "MGDNL31P", CreateMgDnl31P}};
  for (const auto& c : cases) {
    const std::string what = std::string(c.name) + " without " + c.table;
    ASSERT_EQ(pg.Execute(std::string("REVOKE SELECT ON Zardonix.") + c.table + " FROM CURRENT_USER"), "");
    ASSERT_EQ(pg.Value(std::string("SELECT has_table_privilege('zardonix.") + c.table + "', 'SELECT')"), "f")
        << "the login keeps its right (a superuser?)";
    SqlSession ahead;
    SqlSession own;
    ASSERT_EQ(pg.Connect(ahead), 0);
    ASSERT_EQ(pg.Connect(own), 0);
    OwnStatements ownRows(own);
    const auto [run, expected] = RunOnBoth(c.writer, ahead, own, &ownRows);
    EXPECT_EQ(expected.result, 1) << what;
    EXPECT_FALSE(expected.dnl.empty()) << what;
    EXPECT_EQ(run.result, expected.result) << what;
    EXPECT_EQ(run.dnl, expected.dnl) << what;
    EXPECT_EQ(run.out, expected.out) << what;
    // The writers that report the lookup's code name the refusal.
    if (c.writer != CreateMgDnl60P && c.writer != CreateMgDnl31P) {
      EXPECT_NE(expected.out.find("-1031\n"), std::string::npos) << what;
    }
    ASSERT_EQ(pg.Execute(std::string("GRANT SELECT ON Zardonix.") + c.table + " TO CURRENT_USER"), "");
  }
}


}  // namespace
}  // namespace zx::test
