#include "base/text_utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zx {
namespace {

TEST(TextUtils, TrimRightRemovesBlanksAndTabsOnly) {
  const struct {
    const char* input;
    const char* expected;
  } cases[] = {
      {"abc  \t", "abc"}, {"   ", ""}, {"", ""}, {" a b ", " a b"}, {"abc\n ", "abc\n"}, {"abc\t\n", "abc\t\n"},
  };
  for (const auto& c : cases) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s", c.input);
    EXPECT_EQ(TrimRight(buffer), buffer) << c.input;
    EXPECT_STREQ(buffer, c.expected) << "[" << c.input << "]";
  }
}

TEST(TextUtils, ToUpperChangesAsciiLettersOnly) {
  char buffer[] = "abc\xe4xyz 09;{}`AZ";
  EXPECT_EQ(ToUpper(buffer), buffer);
  EXPECT_STREQ(buffer, "ABC\xe4XYZ 09;{}`AZ");
}

TEST(TextUtils, SkipBlanksGivesTheStartWhenAllIsBlank) {
  const struct {
    const char* input;
    std::ptrdiff_t expectedOffset;
  } cases[] = {
      {"  \t\nab", 4}, {"ab", 0}, {"   ", 0}, {"", 0}, {" \n\t", 0}, {" \ra", 1}, {" x ", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SkipBlanks(c.input) - c.input, c.expectedOffset) << "[" << c.input << "]";
  }
}

TEST(TextUtils, CopySubstringIsBoundedByTextAndDestination) {
  const struct {
    const char* text;
    int start;
    int length;
    std::size_t destSize;
    const char* expected;
    bool complete;
  } cases[] = {
      {"a;b;c", 2, 1, 10, "b", true},
      {"hello", 1, 0, 10, "ello", true},     // 0: everything to the end
      {"hello", 0, -1, 10, "", true},        // negative: empty
      {"hello", 3, 10, 10, "lo", true},      // ends with the text
      {"hello", 5, 1, 10, "", true},
      {"hello", 9, 0, 10, "", true},
      {"hello", 0, 0, 3, "he", false},       // cut by the destination
      {"hello", 0, 2, 3, "he", true},
      {"hello", 1, 3, 1, "", false},
      {"", 0, 0, 4, "", true},
  };
  for (const auto& c : cases) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(CopySubstring(c.text, c.start, c.length, buffer, c.destSize), c.complete)
        << c.text << " from " << c.start << " length " << c.length << " into " << c.destSize;
    EXPECT_STREQ(buffer, c.expected) << c.text << " from " << c.start << " length " << c.length;
    for (std::size_t i = c.destSize; i < sizeof buffer; ++i) {
      EXPECT_EQ(buffer[i], 'X') << "written beyond destSize " << c.destSize << " at " << i;
    }
  }
  char untouched = 'X';
  EXPECT_FALSE(CopySubstring("abc", 0, 1, &untouched, 0));
  EXPECT_EQ(untouched, 'X');
}

TEST(TextUtils, FindNthCharFallsBackToTheLastOccurrence) {
  const struct {
    const char* text;
    int n;
    int expected;
  } cases[] = {
      {"a;b", 2, 1},   {"a;b;c", 1, 1}, {"a;b;c", 2, 3}, {";;", 5, 1}, {"abc", 1, -1},
      {"", 1, -1},     {"a;b", 0, -1},  {";", 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindNthChar(c.text, ';', c.n), c.expected) << "[" << c.text << "] n=" << c.n;
  }
}

TEST(TextUtils, PrintableLineEscapesEveryByteThatWouldBreakTheLine) {
  const struct {
    std::string text;
    std::string line;
  } cases[] = {
      {"Terminal HAUPTEINGANG", "Terminal HAUPTEINGANG"},
      {"A\r\nB\tC", "A\\r\\nB\\tC"},
      {std::string("\x1b[2J\x7f\x01", 6) + std::string(1, '\0'), "\\x1b[2J\\x7f\\x01\\x00"},
      {"K\xE4se \x80", "K\xE4se \x80"},  // Windows-1252 text stays
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableLine(c.text), c.line) << c.text;
}

}  // namespace
}  // namespace zx
