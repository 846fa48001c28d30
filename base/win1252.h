// Windows-1252, the program's text, and UTF-8, the text of a database server
// that stores Unicode. Every byte has a character: the five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number (U+0081, ...), so every byte string
// goes to UTF-8 and back unchanged.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace zx {

// True when every byte of `text` is below 0x80: the same text in both.
inline bool IsAscii(std::string_view text) {
  const char* at = text.data();
  std::size_t left = text.size();
  constexpr unsigned long long kHighBits = 0x8080808080808080ULL;
  for (; left >= 8; at += 8, left -= 8) {
    unsigned long long word = 0;
    std::memcpy(&word, at, sizeof word);
    if ((word & kHighBits) != 0) return false;
  }
  for (; left > 0; ++at, --left) {
    if ((static_cast<unsigned char>(*at) & 0x80) != 0) return false;
  }
  return true;
}

// The character of a Windows-1252 byte 0x80..0x9F (those above are the
// code points of their own number).
char32_t Win1252HighCharacter(unsigned char byte);

// Windows-1252 text as UTF-8, appended to `out`.
void AppendWin1252AsUtf8(std::string_view bytes, std::string& out);
std::string Win1252ToUtf8(std::string_view bytes);

// UTF-8 text as Windows-1252 into `out`. False when a character has no
// Windows-1252 byte or the text is not UTF-8 (a cut or overlong sequence, a
// surrogate, a byte that begins none): `out` then holds the text in a
// printable form, each such character as <U+XXXX> (at least four
// hexadecimal digits) and each byte that is not UTF-8 as <xHH>.
bool Utf8ToWin1252(std::string_view utf8, std::string& out);

}  // namespace zx
