// The IDSTAMM writer in the process, with a DNL file whose k-th write fails
// as a full disk would: the writer stops at once, closes the cursor, prints
// the count line and reports failure.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver/dnl_file.h"
#include "queries/badge_cursor.h"
#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"
#include "queries/terminal_params.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx::test {
namespace {

// Badge 100 has two access classes (two lines), badge 200 one.
std::string Rows() {
  std::string sql =
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K1', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K2', '0');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'K1');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'K2');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('200', 'K1');\n";
  for (const char* number : {"100", "200"}) {
    sql += std::string("INSERT INTO Zdx301Asw (AswNum, AswGvo, AswSpr, AswAtp) VALUES ('") + number +
           "', " + SqlLiteral(DateFromToday(-1).c_str()) + ", 2, 3);\n" +
           "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', 7);\n";
  }
  return sql;
}

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class IdStammWriter : public ::testing::Test {
 protected:
  void TearDown() override {
    SetRunDnlFile(nullptr);
    SqlDisconnect();
  }
};

TEST_F(IdStammWriter, FailedWriteEndsTheWriter) {
  SqliteDatabase db(Rows());
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(db.Connect(), 0);
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, "T1");
  SetField(terminal.TrmSal, "TSAL");
  terminal.TfzCount = 0;
  const std::string path = db.directory() + "/idstamm.dnl";
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
    DnlFile file;
    ASSERT_TRUE(file.Open(path, true));
    file.FailAtWriteForTesting(c.failAtWrite);
    const WriterRun run = RunWriter(CreateIdStamm, file, terminal);
    EXPECT_EQ(run.result, c.result) << "write " << c.failAtWrite;
    const std::string message =
        c.failAtWrite == 0 ? "" : "Downloadfile " + path + " konnte nicht geschrieben werden!\n";
    EXPECT_EQ(run.out, message + c.out) << "write " << c.failAtWrite;
    EXPECT_EQ(CloseBadgeCursor(), sqlcode::kInvalidCursor) << "cursor left open, write " << c.failAtWrite;
    if (c.result == 1) {
      ASSERT_TRUE(file.Commit());
      EXPECT_EQ(FileContent(path), line100 + "K2 " + tail100 + line100 + "K1 " + tail100 +
                             "\"200\",\"" + yesterday +
                             "\",\"\",\"00007\",\"0\",\"1\",\"2\",\"TSAL\",\"001\",\"K1 \",\"\","
                             "\"200\",\"3\",\"\"\r\n");
    }
  }
}

}  // namespace
}  // namespace zx::test
