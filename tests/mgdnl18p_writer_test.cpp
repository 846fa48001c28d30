// The MGDNL18P writer in process: what it does when the DNL file cannot be
// written, which the end-to-end runs cannot bring about.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/dnl_file.h"
#include "driver/run_state.h"
#include "queries/badge_cursor.h"
#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"
#include "queries/terminal_lookup.h"
#include "queries/terminal_params.h"
#include "tests/support/sqlite_fixture.h"
#include "writers/writers.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

TEST(MgDnl18PWriter, FailedWriteStopsTheWriterWithFailure) {
  std::string rows =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', 'M', 'S1', 1, 1, 1);\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n";
  for (const char* badge : {"100", "200", "300"}) {
    const std::string b = badge;
    rows += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES ('" + b + "', '2000-01-01 00:00:00', 'P');\n"
            "INSERT INTO Zdx113Awv (AwvNum) VALUES ('" + b + "');\n"
            "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + b + "', 'Z');\n";
  }
  test::SqliteDatabase db(rows);
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(db.Connect(), 0);

  const std::string path = (fs::path(db.directory()) / "out.dnl").string();
  DnlFile file;
  file.FailAtWriteForTesting(2);
  ASSERT_TRUE(file.Open(path, true));
  SetRunDnlFile(&file);
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, "T1");
  ReadTerminal(terminal);

  testing::internal::CaptureStdout();
  const int result = CreateMgDnl18P(path.c_str(), terminal);
  const std::string out = testing::internal::GetCapturedStdout();
  SetRunDnlFile(nullptr);

  EXPECT_EQ(result, 0);
  // The third badge is not fetched; the count line tells how far it went.
  EXPECT_EQ(out, "Downloadfile " + path + " konnte nicht geschrieben werden!\n"
                 "Ausweise gesamt: 2 davon in Datei gestellt: 1\n");
  // The badge cursor was closed.
  EXPECT_EQ(CloseBadgeCursor(), sqlcode::kInvalidCursor);
  SqlDisconnect();
}

}  // namespace
}  // namespace zx
