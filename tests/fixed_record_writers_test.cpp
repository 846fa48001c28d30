// The MGDNL17P, MGDNL31P and MGDNL60P writers in process: what they do when
// the DNL file cannot be written, which the end-to-end runs cannot bring about.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/dnl_file.h"
#include "queries/badge_cursor.h"
#include "queries/sql_runtime.h"
#include "queries/terminal_params.h"
#include "tests/support/sqlite_fixture.h"
#include "tests/support/writer_fixture.h"
#include "writers/writers.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

TEST(FixedRecordWriters, FailedWriteStopsTheWriterWithFailure) {
  // Three badges, each with one access class and a time right on T1: one
  // record per badge in every one of the three downloads.
  const std::string rows =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'S1');\n"
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '1');\n" +
      test::BadgeRowsWithClass({"100", "200", "300"}, "A");
  test::SqliteDatabase db(rows);
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(db.Connect(), 0);

  const struct {
    const char* name;
    int (*writer)(const char*, const TerminalParams&);
  } writers[] = {
      {"MGDNL17P", CreateMgDnl17P}, {"MGDNL31P", CreateMgDnl31P}, {"MGDNL60P", CreateMgDnl60P}};
  for (const auto& w : writers) {
    const std::string path = (fs::path(db.directory()) / (std::string(w.name) + ".dnl")).string();
    DnlFile file;
    file.FailAtWriteForTesting(2);
    ASSERT_TRUE(file.Open(path, true)) << w.name;
    const test::WriterRun run = test::RunWriter(w.writer, file, test::ReadTestTerminal("T1"));

    EXPECT_EQ(run.result, 0) << w.name;
    // The third badge is not fetched; the count line tells how far it went.
    EXPECT_EQ(run.out, "Downloadfile " + path + " konnte nicht geschrieben werden!\n"
                       "Ausweise gesamt: 2 davon in Datei gestellt: 1\n")
        << w.name;
    EXPECT_EQ(CloseBadgeCursor(), sqlcode::kInvalidCursor) << w.name << ": cursor left open";
  }
  SqlDisconnect();
}

}  // namespace
}  // namespace zx
