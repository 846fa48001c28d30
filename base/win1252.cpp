#include "base/win1252.h"

#include <array>
#include <cstdio>

namespace zx {

namespace {

// The characters of the bytes 0x80..0x9F.
constexpr std::array<char16_t, 32> kHighCharacters = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The next code point of UTF-8 text from `at`; false for a malformed
// sequence (overlong forms and surrogates included), `at` unchanged.
bool NextCodePoint(std::string_view text, std::size_t& at, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    length = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    code = lead & 0x1F;
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    code = lead & 0x0F;
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    code = lead & 0x07;
    length = 4;
  } else {
    return false;
  }
  if (text.size() - at < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return false;
    code = (code << 6) | (next & 0x3F);
  }
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return false;
  }
  at += length;
  return true;
}

// The Windows-1252 byte of a character; false when it has none.
bool ByteOf(char32_t code, char& byte) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
    byte = static_cast<char>(code);
    return true;
  }
  for (std::size_t i = 0; i < kHighCharacters.size(); ++i) {
    if (kHighCharacters[i] == code) {
      byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace

char32_t Win1252HighCharacter(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighCharacters[byte - 0x80] : byte;
}

void AppendWin1252AsUtf8(std::string_view bytes, std::string& out) {
  for (const char c : bytes) AppendUtf8(out, Win1252HighCharacter(static_cast<unsigned char>(c)));
}

std::string Win1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  AppendWin1252AsUtf8(bytes, out);
  return out;
}

bool Utf8ToWin1252(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  bool representable = true;
  std::size_t at = 0;
  while (at < utf8.size()) {
    char32_t code = 0;
    char byte = 0;
    char shown[16];
    if (!NextCodePoint(utf8, at, code)) {
      std::snprintf(shown, sizeof shown, "<x%02X>", static_cast<unsigned char>(utf8[at]));
      ++at;
    } else if (ByteOf(code, byte)) {
      out += byte;
      continue;
    } else {
      std::snprintf(shown, sizeof shown, "<U+%04X>", static_cast<unsigned>(code));
    }
    out += shown;
    representable = false;
  }
  return representable;
}

}  // namespace zx
