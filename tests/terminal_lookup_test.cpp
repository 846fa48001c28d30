// The terminal lookup on a real SQLite database: which row completes the
// record, what a failed lookup leaves, and how assignments are counted.
#include "queries/terminal_lookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/fixed_text.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

constexpr int32_t kZeroFill = 808464432;  // four '0' bytes

// The record as the run driver prepares it for terminal `name`.
TerminalParams ZeroFilledTerminal(const std::string& name) {
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, name);
  return terminal;
}

TEST(TerminalLookup, CompletesTheRecordOrLeavesTheZeroFill) {
  const struct {
    const char* what;
    std::string rows;
    int32_t code;
    const char* mod;  // nullptr: still the '0' fill without terminator
    const char* sal;
    int32_t count;
  } cases[] = {
      {"found, no assignments",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T1', '7744-010', 'MS01', NULL);", 0,
       "7744-010", "MS01", 0},
      {"assignments with status 4 or 8 are not counted, NULL and others are",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T1', 'M', 'S', 0);"
       "INSERT INTO Zdx115Tfz (TfzTrm, TfzSta) VALUES ('T1', NULL), ('T1', 1), ('T1', 4), ('T1', 8), ('T2', NULL);",
       0, "M", "S", 2},
      {"NULL model and message set give empty texts",
       "INSERT INTO Zdx1140Trm (TrmNam) VALUES ('T1');", 0, "", "", 0},
      {"values longer than 10 characters arrive cut",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', '7744-010-XYZ', 'ABCDEFGHIJKL');", 0,
       "7744-010-X", "ABCDEFGHIJ", 0},
      {"no row", "INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('t1', 'M');", 1403, nullptr, nullptr,
       kZeroFill},
      {"row with status 4 is absent", "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSta) VALUES ('T1', 'M', 4);",
       1403, nullptr, nullptr, kZeroFill},
      {"row with status 8 is absent", "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSta) VALUES ('T1', 'M', 8);",
       1403, nullptr, nullptr, kZeroFill},
      {"two valid rows",
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('T1', 'M');"
       "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSta) VALUES ('T1', 'N', 4), ('T1', 'O', NULL);"
       "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T1');",
       -1422, nullptr, nullptr, kZeroFill},
  };
  for (const auto& c : cases) {
    SqliteDatabase db(c.rows);
    ASSERT_TRUE(db.ok()) << c.what << ": " << db.error();
    SqlSession session;
    ASSERT_EQ(db.Connect(session), 0) << c.what;
    TerminalParams terminal = ZeroFilledTerminal("T1");
    EXPECT_EQ(ReadTerminal(session, terminal), c.code) << c.what;
    EXPECT_EQ(terminal.TfzCount, c.count) << c.what;
    if (c.mod == nullptr) {
      EXPECT_EQ(FieldText(terminal.TrmMod), std::string(11, '0')) << c.what;
      EXPECT_EQ(FieldText(terminal.TrmSal), std::string(11, '0')) << c.what;
    } else {
      EXPECT_EQ(FieldText(terminal.TrmMod), c.mod) << c.what;
      EXPECT_EQ(FieldText(terminal.TrmSal), c.sal) << c.what;
    }
    EXPECT_EQ(FieldText(terminal.TrmNam), "T1") << c.what;
  }
}

TEST(TerminalLookup, ANameIsKnownFromAnyTerminalRowOrAnyAssignmentRow) {
  const struct {
    const char* what;
    std::string rows;
    bool known;
  } cases[] = {
      {"no rows", "", false},
      {"terminal row with status 8", "INSERT INTO Zdx1140Trm (TrmNam, TrmSta) VALUES ('T1', 8);", true},
      {"assignment row with status 4 only", "INSERT INTO Zdx115Tfz (TfzTrm, TfzSta) VALUES ('T1', 4);", true},
      {"rows of other names and letter cases",
       "INSERT INTO Zdx1140Trm (TrmNam) VALUES ('t1'), ('T10');"
       "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T2'), (' T1');",
       false},
  };
  for (const auto& c : cases) {
    SqliteDatabase db(c.rows);
    ASSERT_TRUE(db.ok()) << c.what << ": " << db.error();
    SqlSession session;
    ASSERT_EQ(db.Connect(session), 0) << c.what;
    bool known = !c.known;
    EXPECT_EQ(FindTerminalName(session, ZeroFilledTerminal("T1"), known), 0) << c.what;
    EXPECT_EQ(known, c.known) << c.what;
  }
}

TEST(TerminalLookup, ANameOfFullWidthIsLookedUpWhole) {
  const std::string name(255, 'N');
  SqliteDatabase db("INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('" + name + "', 'M');");
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);
  TerminalParams terminal = ZeroFilledTerminal(name);
  EXPECT_EQ(ReadTerminal(session, terminal), 0);
  EXPECT_EQ(FieldText(terminal.TrmMod), "M");
}

}  // namespace
}  // namespace zx::test
