// The badge cursor on a real SQLite database: the form chosen by the
// terminal's assignment count, the formats of the record fields, NULL
// columns, over-long values, and the end and misuse of the cursor.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "sql/session.h"
#include "queries/terminal_params.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

TerminalParams Terminal(const char* name, int32_t tfzCount) {
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, name);
  terminal.TfzCount = tfzCount;
  return terminal;
}

// A badge row valid since yesterday with the given (column, SQL literal)
// pairs, and its badge-use row at location `awvSto` (an SQL literal).
std::string BadgeRow(const std::string& number, const std::vector<std::pair<std::string, std::string>>& columns,
                     const std::string& awvSto = "NULL") {
  std::string names = "AswNum, AswGvo";
  std::string values = SqlLiteral(number.c_str()) + ", " + SqlLiteral(DateFromToday(-1).c_str());
  for (const auto& [column, literal] : columns) {
    names += ", " + column;
    values += ", " + literal;
  }
  return "INSERT INTO Zdx301Asw (" + names + ") VALUES (" + values + ");\n" +
         "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES (" + SqlLiteral(number.c_str()) + ", " +
         awvSto + ");\n";
}

std::string_view Field(const BadgeRecord& r, std::string_view name) {
  if (name == "AswNum") return FieldText(r.AswNum);
  if (name == "AswGvo") return FieldText(r.AswGvo);
  if (name == "AswGbi") return FieldText(r.AswGbi);
  if (name == "AswSal") return FieldText(r.AswSal);
  if (name == "AswSpr") return FieldText(r.AswSpr);
  if (name == "AswBkl") return FieldText(r.AswBkl);
  if (name == "AswBk2") return FieldText(r.AswBk2);
  if (name == "AwvSto") return FieldText(r.AwvSto);
  if (name == "AswGrp") return FieldText(r.AswGrp);
  if (name == "AswPnr") return FieldText(r.AswPnr);
  if (name == "AswAtp") return FieldText(r.AswAtp);
  if (name == "AswPin") return FieldText(r.AswPin);
  if (name == "LongAswNum") return FieldText(r.LongAswNum);
  ADD_FAILURE() << "no field " << name;
  return {};
}

class BadgeCursorTest : public ::testing::Test {
 protected:
  void Connect(const std::string& rows) {
    db_ = std::make_unique<SqliteDatabase>(rows);
    ASSERT_TRUE(db_->ok()) << db_->error();
    ASSERT_EQ(db_->Connect(session_), 0);
  }

  // The badge numbers the cursor delivers for the terminal.
  std::vector<std::string> Numbers(const TerminalParams& terminal) {
    std::vector<std::string> numbers;
    EXPECT_EQ(OpenBadgeCursor(session_, cursor_, terminal), 0);
    BadgeRecord record;
    ClearBadgeRecord(record);
    int32_t rc = 0;
    while ((rc = FetchBadge(cursor_, record)) == 0) {
      numbers.emplace_back(FieldText(record.AswNum));
      ClearBadgeRecord(record);
    }
    EXPECT_EQ(rc, 1403);
    EXPECT_EQ(CloseBadgeCursor(cursor_), 0);
    return numbers;
  }

  std::unique_ptr<SqliteDatabase> db_;
  SqlSession session_;
  BadgeCursor cursor_;
};

TEST_F(BadgeCursorTest, AssignmentCountChoosesTheForm) {
  Connect("INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd) VALUES ('T1', 1, 1);\n" +
          BadgeRow("B1", {{"AswLiz", "1"}, {"AswMnd", "1"}}) +
          BadgeRow("B2", {{"AswLiz", "2"}, {"AswMnd", "1"}}) +
          BadgeRow("B3", {{"AswLiz", "1"}, {"AswMnd", "2"}}) + BadgeRow("B4", {}));
  const struct {
    const char* terminal;
    int32_t tfzCount;
    bool filtered;
    std::vector<std::string> numbers;
  } cases[] = {
      {"T1", 1, true, {"B1"}},
      {"T1", 0, false, {"B1", "B2", "B3", "B4"}},
      // The '0' fill of a terminal that the lookup did not find counts as
      // assignments: the filtered form, which finds none for that name.
      {"TX", 808464432, true, {}},
      {"T1", -1, false, {"B1", "B2", "B3", "B4"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Numbers(Terminal(c.terminal, c.tfzCount)), c.numbers)
        << c.terminal << " TfzCount " << c.tfzCount;
    EXPECT_EQ(cursor_.filtered, c.filtered) << c.terminal << " TfzCount " << c.tfzCount;
  }
}

TEST_F(BadgeCursorTest, FieldsAreFormattedAndNullsDoNotCarryOver) {
  const std::string number50 = "C" + std::string(49, '5');
  const std::string number51 = "D" + std::string(50, '6');
  const std::string number255 = "E" + std::string(254, '7');
  const struct {
    std::string number;
    std::vector<std::pair<std::string, std::string>> columns;
    std::string awvSto;
    std::vector<std::pair<std::string_view, std::string>> expected;
  } cases[] = {
      {"A1",
       {{"AswGbi", SqlLiteral(DateFromToday(1, "13:45:00").c_str())},
        {"AswPnr", "'12345678'"}, {"AswBkl", "'A'"}, {"AswBk2", "'ABCDE'"}, {"AswGrp", "'G1'"},
        {"AswAan", "'ignored'"}, {"AswSal", "'SAL'"}, {"AswPin", "'p\"i,n'"}, {"AswSpr", "7"},
        {"AswAtp", "-5"}},
       "42",
       {{"AswNum", "A1"}, {"AswGvo", YyyymmddFromToday(-1)}, {"AswGbi", YyyymmddFromToday(1)},
        {"AswPnr", "12345678"}, {"AswBkl", "A  "}, {"AswBk2", "ABCDE"}, {"AswGrp", "G1"},
        {"AswSal", "SAL"}, {"AswPin", "p\"i,n"}, {"AswSpr", "7"}, {"AswAtp", "-5"},
        {"AwvSto", "00000042"}, {"LongAswNum", ""}}},
      // Every column NULL, right after a row that had them all: nothing of
      // the previous row survives, even without clearing the record.
      {"A2",
       {},
       "NULL",
       {{"AswGbi", ""}, {"AswPnr", ""}, {"AswBkl", "   "}, {"AswBk2", "   "}, {"AswGrp", ""},
        {"AswSal", ""}, {"AswPin", ""}, {"AswSpr", "1"}, {"AswAtp", "0"}, {"AwvSto", "00000000"}}},
      {"A3", {{"AswBkl", "'AB'"}, {"AswSpr", "9999"}, {"AswAtp", "2147483647"}}, "0",
       {{"AswBkl", "AB "}, {"AswSpr", "9999"}, {"AswAtp", "2147483647"}, {"AwvSto", "00000000"}}},
      {"A4", {{"AswSpr", "-999"}, {"AswAtp", "-2147483648"}}, "100000",
       {{"AswSpr", "-999"}, {"AswAtp", "-2147483648"}, {"AwvSto", "00100000"}}},
      // AswSpr that does not fit its 4 characters is left empty, not cut.
      {"A5", {{"AswSpr", "10000"}}, "12345678", {{"AswSpr", ""}, {"AwvSto", "12345678"}}},
      {"A6", {{"AswSpr", "-1000"}}, "1234", {{"AswSpr", ""}, {"AwvSto", "00001234"}}},
      {number50, {}, "NULL", {{"AswNum", number50}, {"LongAswNum", ""}}},
      // Longer than AswNum holds: the whole number in LongAswNum.
      {number51, {}, "NULL", {{"AswNum", number51.substr(0, 50)}, {"LongAswNum", number51}}},
      {number255, {}, "NULL", {{"AswNum", number255.substr(0, 50)}, {"LongAswNum", number255}}},
      // A normal number after a long one: LongAswNum is empty again.
      {"F", {}, "NULL", {{"AswNum", "F"}, {"LongAswNum", ""}}},
  };
  std::string rows;
  for (const auto& c : cases) rows += BadgeRow(c.number, c.columns, c.awvSto);
  Connect(rows);

  ASSERT_EQ(OpenBadgeCursor(session_, cursor_, Terminal("T1", 0)), 0);
  BadgeRecord record;
  ClearBadgeRecord(record);
  // The cursor delivers the rows in badge-number order, which is the
  // order of the table.
  for (const auto& c : cases) {
    ASSERT_EQ(FetchBadge(cursor_, record), 0) << c.number;
    for (const auto& [name, expected] : c.expected) {
      EXPECT_EQ(Field(record, name), expected) << c.number << " " << name;
    }
  }
  EXPECT_EQ(FetchBadge(cursor_, record), 1403);
  EXPECT_EQ(CloseBadgeCursor(cursor_), 0);
}

TEST_F(BadgeCursorTest, EndOfCursorAndMisuseLeaveTheRecordUnchanged) {
  Connect(BadgeRow("B1", {{"AswSal", "'S1'"}}));
  BadgeRecord record;
  ClearBadgeRecord(record);
  SetField(record.AswSal, "MARK");

  EXPECT_EQ(FetchBadge(cursor_, record), -1001) << "fetch before the open";
  EXPECT_EQ(CloseBadgeCursor(cursor_), -1001) << "close before the open";
  EXPECT_EQ(FieldText(record.AswSal), "MARK");

  ASSERT_EQ(OpenBadgeCursor(session_, cursor_, Terminal("T1", 0)), 0);
  ASSERT_EQ(FetchBadge(cursor_, record), 0);
  EXPECT_EQ(FieldText(record.AswSal), "S1");
  SetField(record.AswSal, "MARK");
  EXPECT_EQ(FetchBadge(cursor_, record), 1403);
  EXPECT_EQ(FieldText(record.AswSal), "MARK");
  EXPECT_EQ(CloseBadgeCursor(cursor_), 0);
  EXPECT_EQ(CloseBadgeCursor(cursor_), -1001) << "second close";
}

TEST_F(BadgeCursorTest, FetchErrorLeavesTheRecordUnchanged) {
  // B2's integer column AswAtp holds a text that is no number.
  Connect(BadgeRow("B1", {{"AswSal", "'S1'"}}) + BadgeRow("B2", {{"AswAtp", "'x1'"}}));
  ASSERT_EQ(OpenBadgeCursor(session_, cursor_, Terminal("T1", 0)), 0);
  BadgeRecord record;
  ClearBadgeRecord(record);
  ASSERT_EQ(FetchBadge(cursor_, record), 0);
  EXPECT_EQ(FetchBadge(cursor_, record), -1722);
  EXPECT_EQ(FieldText(record.AswNum), "B1");
  EXPECT_EQ(FieldText(record.AswSal), "S1");
  EXPECT_EQ(CloseBadgeCursor(cursor_), 0);
}

}  // namespace
}  // namespace zx::test
