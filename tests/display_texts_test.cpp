// The display texts of the MGDNL18P download: the entity replacement of
// terminal labels and the two display text cursors on a real database.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "writers/display_texts.h"

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

}  // namespace
}  // namespace zx
