// The display texts of the MGDNL18P download: the entity replacement of
// terminal labels and the two display text cursors on a real database.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"
#include "queries/display_texts.h"

namespace zx {
namespace {

const std::string kN(1, static_cast<char>(0xF1));

TEST(ReplaceEntity, ReplacesTheFirstReferenceAndCutsToTwelve) {
  const struct {
    const char* input;
    std::string expected;
  } cases[] = {
      {"ab&#241;cde", "ab" + kN + "cde"},
      {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKL"},
      {"ABCDEFGHIJKL", "ABCDEFGHIJKL"},
      {"a&#241;b&#241;c", "a" + kN + "b&#241;c"},
      {"&#241;&#241;&#241;", kN + "&#241;&#241"},
      {"abcdefghijk&#241;", "abcdefghijk" + kN},
      {"abcdefghijkl&#241;", "abcdefghijkl"},
      {"&#241;abcdefghijk", kN + "abcdefghijk"},
      {"&#241;", kN},
      {"ab&#24;cd", "ab&#24;cd"},
      {"ab&#2410", "ab&#2410"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::array<char, 41> text = {};
    std::memcpy(text.data(), c.input, std::strlen(c.input));
    EXPECT_EQ(ReplaceEntity(text.data(), text.size()), 0) << c.input;
    EXPECT_EQ(std::string(text.data()), c.expected) << c.input;
  }
}

TEST(ReplaceEntity, KeepsAtMostTwentyCharactersAfterTheReferenceAndStaysInItsBuffer) {
  // Reference at 3 with 30 characters behind it: 3 + 1 + 20, cut to 12.
  std::array<char, 64> text = {};
  const std::string input = "abc&#241;" + std::string(30, 'x');
  std::memcpy(text.data(), input.data(), input.size());
  ReplaceEntity(text.data(), text.size());
  EXPECT_EQ(std::string(text.data()), "abc" + kN + "xxxxxxxx");

  // A buffer without terminator is read only within its size.
  std::array<char, 8> unterminated;
  unterminated.fill('x');
  ReplaceEntity(unterminated.data(), unterminated.size());
  EXPECT_EQ(std::string(unterminated.data()), "xxxxxxx");

  std::array<char, 9> reference = {'&', '#', '2', '4', '1', ';', 'a', 'b', 'c'};
  ReplaceEntity(reference.data(), reference.size());
  EXPECT_EQ(std::string(reference.data()), kN + "ab");

  ReplaceEntity(nullptr, 0);
  char one[1] = {'z'};
  ReplaceEntity(one, 0);
  EXPECT_EQ(one[0], 'z');
}

// ---- The cursors on a real database --------------------------------------

// One message row with its label row (FtxNumSpr 220001) and, when codeRow,
// its value-code row (220002), linked by a unique key.
struct Message {
  const char* sal = "S1";
  int lfd = 1;
  const char* label = nullptr;  // FtxT50
  const char* code = nullptr;   // FtxT10
  bool codeRow = true;
  const char* spl = "NULL";
  const char* msdTxt = nullptr;
  int mnd = 1;
  const char* erf = nullptr;
  const char* sta = "NULL";
  int ftxSpr = 1;
};

std::string Rows(int key, const Message& m) {
  const std::string k = std::to_string(key);
  std::string rows =
      "INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) "
      "VALUES (" + test::SqlLiteral(m.sal) + ", " + std::to_string(m.lfd) + ", " + m.spl + ", " +
      test::SqlLiteral(m.msdTxt) + ", " + k + ", " + k + ", " + std::to_string(m.mnd) + ", 1, " +
      test::SqlLiteral(m.erf) + ", " + m.sta + ");\n" +
      "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50) VALUES (220001, " + k + ", " +
      std::to_string(m.ftxSpr) + ", " + test::SqlLiteral(m.label) + ");\n";
  if (m.codeRow) {
    rows += "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT10) VALUES (220002, " + k + ", " +
            std::to_string(m.ftxSpr) + ", " + test::SqlLiteral(m.code) + ");\n";
  }
  return rows;
}

std::string Rows(std::initializer_list<Message> messages) {
  std::string rows;
  int key = 0;
  for (const Message& m : messages) rows += Rows(++key, m);
  return rows;
}

struct Read {
  int32_t MsdLfd;
  int32_t MsdSpl;
  std::string Txt;
  std::string Con;
};

std::ostream& operator<<(std::ostream& out, const Read& r) {
  return out << "{" << r.MsdLfd << ", " << r.MsdSpl << ", \"" << r.Txt << "\", \"" << r.Con << "\"}";
}

bool operator==(const Read& a, const Read& b) {
  return a.MsdLfd == b.MsdLfd && a.MsdSpl == b.MsdSpl && a.Txt == b.Txt && a.Con == b.Con;
}

// Terminals T1 (set S1, variant 1, client 1) and T4 (the same, status 4);
// badge B1 (set S1, variant 1) valid today, B2 expired, B3 of variant 2.
const std::string kBaseRows =
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz) VALUES ('T1', 'M', 'S1', 1, 1, 1);\n"
    "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) VALUES ('T4', 'M', 'S1', 1, 1, 1, 4);\n"
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswSal, AswSpr) VALUES ('B1', '2000-01-01 00:00:00', 'S1', 1);\n"
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswSal, AswSpr) VALUES ('B2', '2000-01-01 00:00:00', '2001-01-01 00:00:00', 'S1', 1);\n"
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswSal, AswSpr) VALUES ('B3', '2000-01-01 00:00:00', 'S1', 2);\n";

class DisplayTextCursors : public ::testing::Test {
 protected:
  // Builds the database from the base rows and `messages` and connects.
  void Build(const std::string& messages) {
    db_ = std::make_unique<test::SqliteDatabase>(kBaseRows + messages);
    ASSERT_TRUE(db_->ok()) << db_->error();
    ASSERT_EQ(db_->Connect(session_), 0);
  }

  // Reads the cursor until it returns non-zero; that result goes to `last`.
  template <typename ReadText>
  std::vector<Read> ReadAll(ReadText read, int32_t& last) {
    std::vector<Read> reads;
    DisplayText text;
    while ((last = read(cursor_, text)) == 0) {
      reads.push_back({text.MsdLfd, text.MsdSpl, text.Txt.data(), text.Con.data()});
      EXPECT_EQ(std::string(text.Wert.data()), "       ");
    }
    return reads;
  }

  std::unique_ptr<test::SqliteDatabase> db_;
  SqlSession session_;
  DisplayTextCursor cursor_;
};

TEST_F(DisplayTextCursors, TerminalTextsOfTheTerminalsSetInFieldOrder) {
  Build(Rows({
      {.lfd = 3, .label = "Fremd", .code = "#W21", .spl = "0", .msdTxt = "  Eigen"},
      {.lfd = 1, .label = "Ma&#241;ana", .code = "#W1"},
      {.lfd = 2, .label = "ABCDEFGHIJKLMNOPQRST", .code = "#W2", .spl = "2", .msdTxt = "   "},
      {.lfd = 4, .label = "Kaldova", .code = "#W4", .mnd = 2, .erf = "KALDOVA"},
      {.lfd = 5, .label = "Fremder Mnd", .code = "#W5", .mnd = 2, .erf = "OTHER"},
      {.lfd = 6, .label = "Status 4", .code = "#W6", .sta = "4"},
      {.lfd = 7, .label = "Status 8", .code = "#W7", .sta = "8"},
      {.lfd = 8, .label = "Variante 2", .code = "#W8", .ftxSpr = 2},
      {.sal = "S2", .lfd = 1, .label = "Anderer Satz", .code = "#W9"},
      {.lfd = 9, .label = "Status 0", .code = "#W10", .msdTxt = "Eigen  \t", .sta = "0"},
  }));
  ASSERT_EQ(OpenTerminalTextCursor(session_, cursor_, "T1"), 0);
  int32_t last = 0;
  const std::vector<Read> reads = ReadAll(ReadTerminalText, last);
  EXPECT_EQ(last, 1403);
  EXPECT_EQ(CloseTerminalTextCursor(cursor_), 0);
  const std::vector<Read> expected = {
      {1, 1, "Ma" + kN + "ana" + std::string(7, ' '), "#W1"},
      {2, 2, "ABCDEFGHIJKL ", "#W2"},
      {3, 0, "  Eigen      ", "#W21"},
      {4, 1, "Kaldova      ", "#W4"},
      {9, 1, "Eigen        ", "#W10"},
  };
  EXPECT_EQ(reads, expected);

  // A terminal with status 4 has no texts; neither has an unknown one.
  for (const char* name : {"T4", "T9"}) {
    ASSERT_EQ(OpenTerminalTextCursor(session_, cursor_, name), 0) << name;
    EXPECT_EQ(ReadAll(ReadTerminalText, last).size(), 0u) << name;
    EXPECT_EQ(last, 1403) << name;
    CloseTerminalTextCursor(cursor_);
  }
}

TEST_F(DisplayTextCursors, MissingCodeStopsTheReadAndNullsReadAsEmpty) {
  Build(Rows({
      {.lfd = 1, .label = "Eins", .code = "#W2", .msdTxt = "Eigen"},
      {.lfd = 2, .label = "Zwei", .codeRow = false},
      {.lfd = 3, .label = nullptr, .code = nullptr},
      {.lfd = 4, .label = "Vier", .code = "#W4"},
  }));
  ASSERT_EQ(OpenTerminalTextCursor(session_, cursor_, "T1"), 0);
  DisplayText text;
  ASSERT_EQ(ReadTerminalText(cursor_, text), 0);
  EXPECT_EQ(std::string(text.Txt.data()), "Eigen        ");

  // The row is there but its code is not: 1403 with the new row and the old code.
  EXPECT_EQ(ReadTerminalText(cursor_, text), 1403);
  EXPECT_EQ(text.MsdLfd, 2);
  EXPECT_EQ(std::string(text.Txt.data()), "Zwei         ");
  EXPECT_EQ(std::string(text.Con.data()), "#W2");

  // NULL MsdTxt, FtxT50 and FtxT10: empty, never the values read before.
  ASSERT_EQ(ReadTerminalText(cursor_, text), 0);
  EXPECT_EQ(text.MsdLfd, 3);
  EXPECT_EQ(std::string(text.Txt.data()), std::string(13, ' '));
  EXPECT_EQ(std::string(text.Con.data()), "");

  // The cursor goes on after the missing code.
  ASSERT_EQ(ReadTerminalText(cursor_, text), 0);
  EXPECT_EQ(text.MsdLfd, 4);
  EXPECT_EQ(std::string(text.Con.data()), "#W4");

  // At the end the text is left as it was.
  EXPECT_EQ(ReadTerminalText(cursor_, text), 1403);
  EXPECT_EQ(text.MsdLfd, 4);
  EXPECT_EQ(std::string(text.Txt.data()), "Vier         ");
  EXPECT_EQ(CloseTerminalTextCursor(cursor_), 0);
}

TEST_F(DisplayTextCursors, BadgeTextsKeepTheReferenceAndNeedAValidBadge) {
  Build(Rows({
      {.lfd = 2, .label = "Ma&#241;ana", .code = "#W3"},
      {.lfd = 1, .label = "ABCDEFGHIJKLMNOPQ", .code = "#W1", .spl = "2"},
      {.lfd = 3, .label = "Nur Var. 2", .code = "#W5", .ftxSpr = 2},
      {.lfd = 4, .label = "Status 8", .code = "#W6", .sta = "8"},
  }));
  int32_t last = 0;
  ASSERT_EQ(OpenBadgeTextCursor(session_, cursor_, "B1"), 0);
  const std::vector<Read> expected = {
      {1, 2, "ABCDEFGHIJKL ", "#W1"},
      {2, 1, "Ma&#241;ana  ", "#W3"},
  };
  EXPECT_EQ(ReadAll(ReadBadgeText, last), expected);
  EXPECT_EQ(last, 1403);
  EXPECT_EQ(CloseBadgeTextCursor(cursor_), 0);

  // The text variant follows the badge's AswSpr.
  ASSERT_EQ(OpenBadgeTextCursor(session_, cursor_, "B3"), 0);
  const std::vector<Read> variant2 = {{3, 1, "Nur Var. 2   ", "#W5"}};
  EXPECT_EQ(ReadAll(ReadBadgeText, last), variant2);
  CloseBadgeTextCursor(cursor_);

  // An expired badge and an unknown one have no texts.
  for (const char* badge : {"B2", "B9"}) {
    ASSERT_EQ(OpenBadgeTextCursor(session_, cursor_, badge), 0) << badge;
    EXPECT_EQ(ReadAll(ReadBadgeText, last).size(), 0u) << badge;
    EXPECT_EQ(last, 1403) << badge;
    CloseBadgeTextCursor(cursor_);
  }
}

TEST_F(DisplayTextCursors, ReadAndCloseOfACursorNotOpenFail) {
  Build("");
  DisplayText text;
  text.MsdLfd = 42;
  EXPECT_EQ(ReadTerminalText(cursor_, text), sqlcode::kInvalidCursor);
  EXPECT_EQ(ReadBadgeText(cursor_, text), sqlcode::kInvalidCursor);
  EXPECT_EQ(text.MsdLfd, 42);
  EXPECT_EQ(CloseTerminalTextCursor(cursor_), sqlcode::kInvalidCursor);
  EXPECT_EQ(CloseBadgeTextCursor(cursor_), sqlcode::kInvalidCursor);
}

}  // namespace
}  // namespace zx
