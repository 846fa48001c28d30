// Windows-1252 <-> UTF-8: every byte goes there and back; UTF-8 that has no
// Windows-1252 form, or is no UTF-8 at all, comes back in a printable form.
#include "base/win1252.h"

#include <gtest/gtest.h>

#include <string>

namespace zx {
namespace {

TEST(Win1252, EveryByteGoesToUtf8AndBack) {
  std::string all;
  for (int byte = 0; byte <= 0xFF; ++byte) all += static_cast<char>(byte);
  const std::string utf8 = Win1252ToUtf8(all);
  // 0x80 is the euro sign, 0x81 (undefined) the control character U+0081,
  // 0x9F Y with diaeresis, 0xA0..0xFF the code points of their number.
  EXPECT_EQ(utf8.substr(0x80, 3), "\xE2\x82\xAC");
  EXPECT_EQ(utf8.substr(0x83, 2), "\xC2\x81");
  EXPECT_NE(utf8.find("\xC5\xB8\xC2\xA0"), std::string::npos);  // 0x9F, 0xA0
  EXPECT_EQ(utf8.substr(utf8.size() - 2), "\xC3\xBF");
  std::string back;
  EXPECT_TRUE(Utf8ToWin1252(utf8, back));
  EXPECT_EQ(back, all);
}

TEST(Win1252, Utf8WithoutAWindows1252FormIsShownPrintably) {
  const struct {
    const char* utf8;
    bool representable;
    const char* win1252;  // or its printable form
  } cases[] = {
      {"", true, ""},
      {"H2 plain", true, "H2 plain"},
      {"M\xC3\xA4rz \xE2\x82\xAC \xC5\xA0\xC5\xB8", true, "M\xE4rz \x80 \x8A\x9F"},
      {"\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", true, "\x81\x8D\x8F\x90\x9D"},
      // A character without a byte: Greek Omega, a C1 control that is not
      // one of the five, CJK, and one of four bytes (U+1F600).
      {"H\xCE\xA9", false, "H<U+03A9>"},
      {"\xC2\x80x", false, "<U+0080>x"},
      {"\xE4\xB8\xAD", false, "<U+4E2D>"},
      {"a\xF0\x9F\x98\x80z", false, "a<U+1F600>z"},
      // Not UTF-8: each byte that begins no sequence is shown on its own.
      {"\xC3", false, "<xC3>"},                          // cut at the end
      {"\xC3(", false, "<xC3>("},                        // cut before another character
      {"\xC0\xB1", false, "<xC0><xB1>"},                 // overlong form of '1'
      {"\xE0\x80\xB1", false, "<xE0><x80><xB1>"},        // overlong in three bytes
      {"\xF0\x80\x80\xB1", false, "<xF0><x80><x80><xB1>"},  // overlong in four bytes
      {"\xED\xA0\x80", false, "<xED><xA0><x80>"},        // a surrogate
      {"\xF4\x90\x80\x80", false, "<xF4><x90><x80><x80>"},  // beyond U+10FFFF
      {"\xE4 ok", false, "<xE4> ok"},                    // Windows-1252, not UTF-8
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(Utf8ToWin1252(c.utf8, out), c.representable) << c.utf8;
    EXPECT_EQ(out, c.win1252) << c.utf8;
  }
}

TEST(Win1252, AsciiIsFoundInEveryPosition) {
  std::string text(37, 'a');
  EXPECT_TRUE(IsAscii(text));
  EXPECT_TRUE(IsAscii(""));
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::string high = text;
    high[at] = '\x80';
    EXPECT_FALSE(IsAscii(high)) << at;
  }
}

}  // namespace
}  // namespace zx
