// The MGDNL18P writer in process: what it does when the DNL file cannot be
// written, which the end-to-end runs cannot bring about.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/dnl_file.h"
#include "queries/badge_cursor.h"
#include "queries/sql_runtime.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

TEST(MgDnl18PWriter, FailedWriteStopsTheWriterWithFailure) {
  const std::string rows =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', 'M', 'S1', 1, 1, 1);\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n" +
      test::BadgeRowsWithClass({"100", "200", "300"}, "Z");
  test::SqliteDatabase db(rows);
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(db.Connect(), 0);

  const std::string path = (fs::path(db.directory()) / "out.dnl").string();
  DnlFile file;
  file.FailAtWriteForTesting(2);
  ASSERT_TRUE(file.Open(path, true));
  const test::WriterRun run = test::RunWriter(CreateMgDnl18P, file, test::ReadTestTerminal("T1"));

  EXPECT_EQ(run.result, 0);
  // The third badge is not fetched; the count line tells how far it went.
  EXPECT_EQ(run.out, "Downloadfile " + path + " konnte nicht geschrieben werden!\n"
                     "Ausweise gesamt: 2 davon in Datei gestellt: 1\n");
  // The badge cursor was closed.
  EXPECT_EQ(CloseBadgeCursor(), sqlcode::kInvalidCursor);
  SqlDisconnect();
}

}  // namespace
}  // namespace zx
