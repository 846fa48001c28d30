// Jobs of one session that read their badges together (zeprink-site): each
// job's records, messages and result equal those of its own run, on both
// databases, over several chunks of rows, with two jobs of one terminal and
// jobs of a terminal with assignments beside them, a lookup that fails for
// one badge, and a job whose DNL file fails in the middle while the others
// go on; and the per-badge lookups are asked once for all jobs, not per job.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/shared_scan.h"
#include "sql/session.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx::test {
namespace {

// 700 badges (three chunks), each with classes, most with a balance and a
// location; T1 has no assignments (every badge), T2 the licences 1 and 3
// (half of them). Both grant time and access rights and have readers.
std::string Site() {
  std::string sql;
  for (const char* terminal : {"T1", "T2"}) {
    const std::string t = std::string("'") + terminal + "'";
    sql += "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES (" + t +
           ", 'M', 'S1', 1, 1, 1);\n";
    sql += "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES (" + t + ", 1);\n";
    sql += "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES (" + t + ", 3);\n";
    sql += "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES (" + t + ", 'A', '0');\n";
    sql += "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES (" + t + ", 'C', '1');\n";
  }
  sql += "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T2', 'B', '0');\n";
  sql += "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd) VALUES ('T2', 1, 1);\n";
  sql += "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd) VALUES ('T2', 3, 1);\n";
  sql += "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (1, 'NORD');\n";
  sql += "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (2, 'SUED');\n";
  for (int i = 0; i < 700; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "'%06d'", i);
    const std::string n = number;
    sql += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswLiz, AswMnd) VALUES (" + n +
           ", '2000-01-01 00:00:00', 'P" + std::to_string(i) + "', " + std::to_string(i % 4) + ", 1);\n";
    sql += "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES (" + n + ", " + std::to_string(i % 3) + ");\n";
    sql += std::string("INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (") + n + ", '" + "ABC"[i % 3] + "');\n";
    if (i % 4 == 0) sql += "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (" + n + ", 'B');\n";
    if (i % 5 != 0) {
      sql += "INSERT INTO O2002TSW (TswIdn, TswW02, TswF01) VALUES (" + n + ", '+" +
             std::to_string(100 + i) + "', 'T" + std::to_string(i) + "');\n";
    }
  }
  // Two balance rows: that badge's lookup fails with its own code.
  sql += "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('000007', '+9');\n";
  return sql;
}

struct ScanJob {
  const char* name;
  Writer writer;
  const char* terminal;
  int failAtWrite;  // the DNL file fails from this write on (0: never)
};

// Every writer for T1, two for T2, and one more for T1 whose file fails in
// its second chunk of badges.
const ScanJob kJobs[] = {
    {"IDSTAMM T1", CreateIdStamm, "T1", 0},   {"MGDNL17P T1", CreateMgDnl17P, "T1", 0},
    {"MGDNL18P T1", CreateMgDnl18P, "T1", 0}, {"MGDNL31P T1", CreateMgDnl31P, "T1", 0},
    {"MGDNL60P T1", CreateMgDnl60P, "T1", 0}, {"IDSTAMM T2", CreateIdStamm, "T2", 0},
    {"MGDNL17P T2", CreateMgDnl17P, "T2", 0}, {"MGDNL17P T1 failing", CreateMgDnl17P, "T1", 300},
};

// Runs every job alone, then all of them in one scan on a new session, and
// compares; returns the statements and round trips of the scan and the sum
// of those of the runs alone.
void ExpectScanEqualsRunsAlone(const std::function<int(SqlSession&)>& connect, const char* what,
                               SqlCounters& scanCost, SqlCounters& aloneCost) {
  constexpr std::size_t kCount = std::size(kJobs);
  std::vector<WriterRun> alone;
  {
    SqlSession session;
    ASSERT_EQ(connect(session), 0) << what;
    for (const ScanJob& job : kJobs) {
      const TerminalParams terminal = ReadTestTerminal(session, job.terminal);
      StringSink sink("test.dnl", job.failAtWrite);
      const SqlCounters before = session.Counters();
      alone.push_back(RunWriter(job.writer, session, terminal, sink, true));
      aloneCost.statements += session.Counters().statements - before.statements;
      aloneCost.roundTrips += session.Counters().roundTrips - before.roundTrips;
    }
  }

  SqlSession session;
  ASSERT_EQ(connect(session), 0) << what;
  std::vector<TerminalParams> terminals;
  std::vector<std::unique_ptr<StringSink>> sinks;
  for (const ScanJob& job : kJobs) {
    terminals.push_back(ReadTestTerminal(session, job.terminal));
    sinks.push_back(std::make_unique<StringSink>("test.dnl", job.failAtWrite));
  }
  std::vector<WriterRun> together(kCount);
  const SqlCounters before = session.Counters();
  RunSharedScan(session, kCount, [&](std::size_t j, ScanFeed& feed) {
    std::string reasons;
    Diagnostics diagnostics(&together[j].out, &reasons, true);
    RunContext context{session, *sinks[j], diagnostics, nullptr, &feed};
    together[j].result = kJobs[j].writer(context, terminals[j]);
    together[j].dnl = sinks[j]->Bytes();
  });
  scanCost.statements = session.Counters().statements - before.statements;
  scanCost.roundTrips = session.Counters().roundTrips - before.roundTrips;

  for (std::size_t j = 0; j < kCount; ++j) {
    const std::string name = std::string(what) + ": " + kJobs[j].name;
    EXPECT_EQ(together[j].result, alone[j].result) << name;
    EXPECT_EQ(together[j].out, alone[j].out) << name;
    EXPECT_EQ(together[j].dnl, alone[j].dnl) << name;
  }
  // The fixture shows what it should: the failing file stopped, the others
  // succeeded, and the badge with two balance rows got its own code.
  EXPECT_EQ(alone[kCount - 1].result, 0) << what;
  EXPECT_EQ(alone[1].result, 1) << what;
  EXPECT_NE(alone[1].out.find("SQLCode:-1422"), std::string::npos) << what;
}

TEST(SharedScan, EveryJobAsItsOwnRunAndTheLookupsAskedOnce) {
  const std::string rows = Site();
  SqliteDatabase lite(rows);
  ASSERT_TRUE(lite.ok()) << lite.error();
  SqlCounters scan;
  SqlCounters alone;
  ExpectScanEqualsRunsAlone([&lite](SqlSession& s) { return lite.Connect(s); }, "embedded database",
                            scan, alone);
  // Seven jobs read T1's 700 badges, two T2's 350: alone each job runs its
  // cursor and its lookups' streams; together the jobs of a selection share
  // one cursor and its streams.
  EXPECT_LT(scan.statements, alone.statements) << scan.statements << " " << alone.statements;

  PgDatabase pg(rows);
  ZX_REQUIRE_PG(pg);
  scan = alone = SqlCounters{};
  ExpectScanEqualsRunsAlone([&pg](SqlSession& s) { return pg.Connect(s); }, "server", scan, alone);
  EXPECT_LT(scan.statements, alone.statements) << scan.statements << " " << alone.statements;
  // Each cursor's batch is read and its lookups run ahead once for all its
  // jobs: fewer round trips than the runs alone.
  EXPECT_LT(scan.roundTrips, alone.roundTrips) << scan.roundTrips << " " << alone.roundTrips;
}

}  // namespace
}  // namespace zx::test
