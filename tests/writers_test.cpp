// The five writers in the process, with a DNL sink whose k-th write fails as
// a full disk would, which the end-to-end runs cannot bring about: the writer
// stops at once, prints the message naming the file and the count line of
// how far it went, and reports failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/fixed_text.h"
#include "queries/terminal_params.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx::test {
namespace {

// Three badges, each with one access class and a time right on T1, and a
// reader: one record (one line) per badge in every download.
std::string ThreeBadges() {
  return "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', 'M', 'S1', 1, 1, 1);\n"
         "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
         "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
         "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '1');\n" +
         BadgeRowsWithClass({"100", "200", "300"}, "A");
}

TEST(Writers, FailedWriteStopsTheWriterWithFailure) {
  SqliteDatabase db(ThreeBadges());
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);
  const TerminalParams terminal = ReadTestTerminal(session, "T1");

  const struct {
    const char* name;
    Writer writer;
    std::size_t recordLength;  // of each badge's one record; 0: lines of their own length
  } writers[] = {
      {"MGDNL17P", CreateMgDnl17P, 85}, {"MGDNL18P", CreateMgDnl18P, 173},
      {"MGDNL31P", CreateMgDnl31P, 48}, {"MGDNL60P", CreateMgDnl60P, 45},
      {"IDSTAMM", CreateIdStamm, 0},
  };
  for (const auto& w : writers) {
    for (const int failAt : {1, 2, 0}) {
      StringSink sink(std::string(w.name) + ".dnl", failAt);
      const WriterRun run = RunWriter(w.writer, session, terminal, sink);
      const std::string where = std::string(w.name) + ", write " + std::to_string(failAt);
      if (failAt == 0) {
        EXPECT_EQ(run.result, 1) << where;
        const std::string endLine = std::string(w.name) == "MGDNL31P"
                                        ? "Ausweiscursor lesen: Ausweis Nr. 3 RC: 1403 \n"
                                        : "";
        EXPECT_EQ(run.out, endLine + "Ausweise gesamt: 3 davon in Datei gestellt: 3\n") << where;
        if (w.recordLength > 0) {
          EXPECT_EQ(run.dnl.size(), 3 * w.recordLength) << where;
        }
        continue;
      }
      EXPECT_EQ(run.result, 0) << where;
      // The badge after the failed write is not fetched; the count line
      // tells how far it went. MGDNL31P prints no end-of-cursor line then.
      EXPECT_EQ(run.out, "Downloadfile " + std::string(w.name) +
                             ".dnl konnte nicht geschrieben werden!\n"
                             "Ausweise gesamt: " + std::to_string(failAt) +
                             " davon in Datei gestellt: " + std::to_string(failAt - 1) + "\n")
          << where;
      if (w.recordLength > 0) {
        EXPECT_EQ(run.dnl.size(), static_cast<std::size_t>(failAt - 1) * w.recordLength) << where;
      } else {
        EXPECT_EQ(static_cast<int>(std::count(run.dnl.begin(), run.dnl.end(), '\n')), failAt - 1)
            << where;
      }
    }
  }
}

// A value that a host STRING cannot hold (here a NUL byte, which the
// embedded database keeps inside a text) costs its badge row alone in every
// download: the row is named with its column and left out, every other
// record is written as without it, and the writer succeeds.
TEST(Writers, AValueTheProgramCannotHoldCostsThatBadgeAlone) {
  const struct {
    const char* column;  // as the message names it
    std::string update;  // makes badge 200's value hold a NUL byte
  } cases[] = {
      {"Zdx301Asw.AswPin", "UPDATE Zdx301Asw SET AswPin = CAST(X'500050' AS TEXT) WHERE AswNum = '200';\n"},
      {"Zdx301Asw.AswNum",
       "UPDATE Zdx301Asw SET AswNum = CAST(X'320030' AS TEXT) WHERE AswNum = '200';\n"
       "UPDATE Zdx113Awv SET AwvNum = CAST(X'320030' AS TEXT) WHERE AwvNum = '200';\n"},
  };
  const struct {
    const char* name;
    Writer writer;
    const char* endLine;  // before the count line
  } writers[] = {
      {"MGDNL17P", CreateMgDnl17P, ""}, {"MGDNL18P", CreateMgDnl18P, ""},
      {"MGDNL31P", CreateMgDnl31P, "Ausweiscursor lesen: Ausweis Nr. 3 RC: 1403 \n"},
      {"MGDNL60P", CreateMgDnl60P, ""}, {"IDSTAMM", CreateIdStamm, ""},
  };
  // The records of badges 100 and 300 alone, as every writer writes them.
  SqliteDatabase without(ThreeBadges() + "DELETE FROM Zdx301Asw WHERE AswNum = '200';\n");
  ASSERT_TRUE(without.ok()) << without.error();
  SqlSession withoutSession;
  ASSERT_EQ(without.Connect(withoutSession), 0);
  const TerminalParams withoutTerminal = ReadTestTerminal(withoutSession, "T1");
  for (const auto& c : cases) {
    SqliteDatabase db(ThreeBadges() + c.update);
    ASSERT_TRUE(db.ok()) << db.error();
    SqlSession session;
    ASSERT_EQ(db.Connect(session), 0);
    const TerminalParams terminal = ReadTestTerminal(session, "T1");
    for (const auto& w : writers) {
      const std::string where = std::string(c.column) + ", " + w.name;
      StringSink expectedSink;
      const WriterRun expected = RunWriter(w.writer, withoutSession, withoutTerminal, expectedSink);
      StringSink sink;
      const WriterRun run = RunWriter(w.writer, session, terminal, sink);
      EXPECT_EQ(run.result, 1) << where;
      const std::string number = std::string(c.column) == "Zdx301Asw.AswNum" ? "2<NUL>0" : "200";
      EXPECT_EQ(run.out, "Ausweis " + number + ": Wert in " + c.column +
                             " nicht darstellbar, nicht in Datei gestellt\n" + w.endLine +
                             "Ausweise gesamt: 3 davon in Datei gestellt: 2\n")
          << where;
      EXPECT_FALSE(run.dnl.empty()) << where;
      EXPECT_EQ(run.dnl, expected.dnl) << where;
    }
  }
}

// Badge 100 has two access classes (two lines), badge 200 one: a write
// that fails between the two lines of one badge leaves that badge unwritten.
TEST(Writers, IdStammStopsBetweenTheLinesOfOneBadge) {
  std::string rows =
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K1', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K2', '0');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'K1');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'K2');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('200', 'K1');\n";
  for (const char* number : {"100", "200"}) {
    rows += std::string("INSERT INTO Zdx301Asw (AswNum, AswGvo, AswSpr, AswAtp) VALUES ('") + number +
            "', " + SqlLiteral(DateFromToday(-1).c_str()) + ", 2, 3);\n" +
            "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', 7);\n";
  }
  SqliteDatabase db(rows);
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, "T1");
  SetField(terminal.TrmSal, "TSAL");
  terminal.TfzCount = 0;
  const std::string yesterday = YyyymmddFromToday(-1);
  const std::string line100 = "\"100\",\"" + yesterday + "\",\"\",\"00007\",\"0\",\"1\",\"2\",\"TSAL\",\"001\",\"";
  const std::string tail100 = "\",\"\",\"100\",\"3\",\"\"\r\n";

  const struct {
    int failAtWrite;  // 0: none fails
    int result;
    std::string out;
  } cases[] = {
      {1, 0, "Ausweise gesamt: 1 davon in Datei gestellt: 0\n"},
      {2, 0, "Ausweise gesamt: 1 davon in Datei gestellt: 0\n"},
      {3, 0, "Ausweise gesamt: 2 davon in Datei gestellt: 1\n"},
      {0, 1, "Ausweise gesamt: 2 davon in Datei gestellt: 2\n"},
  };
  for (const auto& c : cases) {
    StringSink sink("idstamm.dnl", c.failAtWrite);
    const WriterRun run = RunWriter(CreateIdStamm, session, terminal, sink);
    EXPECT_EQ(run.result, c.result) << "write " << c.failAtWrite;
    const std::string message =
        c.failAtWrite == 0 ? "" : "Downloadfile idstamm.dnl konnte nicht geschrieben werden!\n";
    EXPECT_EQ(run.out, message + c.out) << "write " << c.failAtWrite;
    if (c.result == 1) {
      EXPECT_EQ(run.dnl, line100 + "K2 " + tail100 + line100 + "K1 " + tail100 + "\"200\",\"" +
                             yesterday +
                             "\",\"\",\"00007\",\"0\",\"1\",\"2\",\"TSAL\",\"001\",\"K1 \",\"\","
                             "\"200\",\"3\",\"\"\r\n");
    }
  }
}

}  // namespace
}  // namespace zx::test
