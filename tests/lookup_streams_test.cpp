// The per-badge lookups answered from their streams give every writer the
// very records and messages that the lookups' own statements give, on awkward
// data: a badge in the cursor twice, two location rows for one badge, two
// balance rows, NULLs, a number column holding text, bytes 0x80..0x9F in
// badge numbers, lookup rows of badges outside the cursor and of numbers
// between two of its badges, display texts that tie in their order.
#include <gtest/gtest.h>

#include <string>

#include "support/pg_fixture.h"
#include "support/sqlite_fixture.h"
#include "support/writer_fixture.h"
#include "writers/dnl_functions.h"

namespace zx::test {
namespace {

std::string Badge(const std::string& number, const std::string& sal = "'S1'", int liz = 1) {
  return "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswSal, AswSpr, AswLiz, AswMnd) VALUES ('" +
         number + "', '2000-01-01 00:00:00', 'P', " + sal + ", 1, " + std::to_string(liz) + ", 1);\n" +
         "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', 1);\n";
}

std::string Rows(const std::string& table, const std::string& columns, const std::string& values) {
  return "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ");\n";
}

// T1 reads every badge (a badge-text terminal), T2 the badges of licence 2.
std::string Site() {
  std::string sql;
  sql += Rows("Zdx1140Trm", "TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz", "'T1', '7744-010', 'S1', 1, 1, 1");
  sql += Rows("Zdx1140Trm", "TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz", "'T2', 'M', 'S1', 1, 1, 1");
  sql += Rows("Zdx115Tfz", "TfzTrm, TfzLiz, TfzMnd", "'T2', 2, 1");
  for (const char* t : {"'T1'", "'T2'"}) {
    sql += Rows("Zdx401Zls", "ZlsTrm, ZlsLes", std::string(t) + ", 1");
    sql += Rows("MGSST35P", "M35Trm, M35Bkl, M35Bch", std::string(t) + ", 'A', '0'");
    sql += Rows("MGSST35P", "M35Trm, M35Bkl, M35Bch", std::string(t) + ", 'Z', '1'");
  }
  sql += Rows("Zdx113Sto", "StoNum, StoKtx", "1, 'NRD'");
  sql += Rows("Zdx113Sto", "StoNum, StoKtx", "2, NULL");
  // The message set's texts: fields 1 and 2, and field 3 twice (a tie in
  // their order with different labels).
  int key = 1;
  for (const auto& [lfd, label] : std::initializer_list<std::pair<int, const char*>>{
           {1, "Urlaub"}, {2, "Gleitzeit"}, {3, "Rest A"}, {3, "Rest B"}}) {
    const std::string k = std::to_string(key++);
    sql += Rows("Zdx119Msd", "MsdSal, MsdLfd, MsdSpl, MsdAnz, MsdWrt, MsdMnd, MsdLiz",
                "'S1', " + std::to_string(lfd) + ", 1, " + k + ", " + k + ", 1, 1");
    sql += Rows("Zdx102Whl", "FtxNumSpr, FtxWhl, FtxSpr, FtxT50", "220001, " + k + ", 1, '" + label + "'");
    sql += Rows("Zdx102Whl", "FtxNumSpr, FtxWhl, FtxSpr, FtxT10", "220002, " + k + ", 1, 'C" + k + "'");
  }
  // Badges 100..139 with classes, balances and (all but every fifth) the
  // licence of T2; the number of each seventh has a byte of 0x80..0x9F.
  for (int i = 100; i < 140; ++i) {
    std::string number = std::to_string(i);
    // (Bytes that Windows-1252 defines: 0x81, 0x8D, 0x8F, 0x90 and 0x9D it does not.)
    constexpr unsigned char kHigh[] = {0x80, 0x8A, 0x9C, 0x9F, 0x8C};
    if (i % 7 == 0) number += static_cast<char>(kHigh[(i / 7) % 5]);
    sql += Badge(number, i % 9 == 0 ? "'S2'" : "'S1'", i % 5 == 0 ? 1 : 2);
    sql += Rows("Zdx301Awb", "AwbAsw, AwbBkl", "'" + number + "', '" + (i % 2 ? "A" : "Z") + "'");
    if (i % 3 == 0) sql += Rows("Zdx301Awb", "AwbAsw, AwbBkl", "'" + number + "', NULL");
    if (i % 4 != 0) {
      sql += Rows("O2002TSW", "TswIdn, TswW01, TswW02, TswF01",
                  "'" + number + "', " + std::to_string(i) + ", '+" + std::to_string(i) + "', 'F'");
    }
  }
  // In the cursor twice: a second badge row of the same number.
  sql += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswSal, AswSpr, AswLiz, AswMnd) VALUES "
         "('110', '2001-01-01 00:00:00', 'P2', 'S1', 1, 2, 1);\n";
  // Two location rows: the badge is in the cursor twice and its location
  // lookup fails with its own code.
  sql += Rows("Zdx113Awv", "AwvNum, AwvSto", "'120', 2");
  // Two balance rows: that lookup fails for the badge alone.
  sql += Rows("O2002TSW", "TswIdn, TswW02", "'125', '+9'");
  // Rows of badges the cursor does not hold: expired, and between two of its numbers.
  sql += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr) VALUES "
         "('115x', '2000-01-01 00:00:00', '2000-02-01 00:00:00', 'P');\n";
  sql += Rows("Zdx301Awb", "AwbAsw, AwbBkl", "'115x', 'A'");
  sql += Rows("Zdx301Awb", "AwbAsw, AwbBkl", "'1005', 'A'");
  sql += Rows("O2002TSW", "TswIdn, TswW02", "'1005', '+1'");
  sql += Rows("Zdx113Awv", "AwvNum, AwvSto", "'1005', 1");
  // A number with the characters an array or a quoted literal would need escaped.
  sql += Badge("13\"q\\,{}");
  sql += Rows("Zdx301Awb", "AwbAsw, AwbBkl", "'13\"q\\,{}', 'A'");
  sql += Rows("O2002TSW", "TswIdn, TswW02", "'13\"q\\,{}', '+7'");
  // A badge without any lookup rows, with a NULL message set.
  sql += Badge("199", "NULL");
  return sql;
}

// A number column holding text, which only the embedded database keeps.
const std::string kTextInNumberColumn = Rows("O2002TSW", "TswIdn, TswW01, TswW02", "'131', 'x1', '+1'");

void ExpectStreamsAnswerAsStatements(const std::function<int32_t(SqlSession&)>& connect,
                                     const char* what) {
  for (const DnlFunction& function : DnlFunctions()) {
    for (const char* terminalName : {"T1", "T2"}) {
      const std::string name = std::string(what) + ", " + std::string(function.name) + ", " + terminalName;
      WriterRun runs[2];
      int64_t streamed[2] = {0, 0};
      for (const bool streams : {false, true}) {
        SqlSession session;
        ASSERT_EQ(connect(session), 0) << name;
        session.UseStreams(streams);
        const TerminalParams terminal = ReadTestTerminal(session, terminalName);
        StringSink sink;
        runs[streams] = RunWriter(function.writer, session, terminal, sink, true);
        streamed[streams] = session.StreamedAnswers();
      }
      EXPECT_EQ(streamed[0], 0) << name;
      EXPECT_GT(streamed[1], 20) << name << ": the streams answered next to nothing";
      EXPECT_EQ(runs[1].result, runs[0].result) << name;
      EXPECT_EQ(runs[1].out, runs[0].out) << name;
      EXPECT_EQ(runs[1].dnl, runs[0].dnl) << name;
    }
  }
}

TEST(LookupStreams, EveryWriterGetsWhatTheStatementsGive) {
  SqliteDatabase lite(Site() + kTextInNumberColumn);
  ASSERT_TRUE(lite.ok()) << lite.error();
  ExpectStreamsAnswerAsStatements([&lite](SqlSession& s) { return lite.Connect(s); },
                                  "embedded database");

  PgDatabase pg(Site());
  ZX_REQUIRE_PG(pg);
  ExpectStreamsAnswerAsStatements([&pg](SqlSession& s) { return pg.Connect(s); }, "server");
}

}  // namespace
}  // namespace zx::test
