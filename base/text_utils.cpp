#include "base/text_utils.h"

#include <climits>
#include <cstring>

namespace zx {

char* TrimRight(char* text) {
  if (text == nullptr) return text;
  std::size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) --length;
  text[length] = '\0';
  return text;
}

char* ToUpper(char* text) {
  if (text == nullptr) return text;
  // Only the ASCII letters change; bytes above 127 (letters with diacritics
  // included) stay as they are, whatever the locale says.
  for (std::size_t i = std::strlen(text); i > 0; --i) {
    char& c = text[i - 1];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

const char* SkipBlanks(const char* text) {
  if (text == nullptr) return text;
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n') ++p;
  // A text of nothing but blanks yields its start, not its end.
  return *p == '\0' ? text : p;
}

bool CopySubstring(const char* text, int start, int length, char* dest, std::size_t destSize) {
  if (dest == nullptr || destSize == 0) return false;
  dest[0] = '\0';
  // A negative length is what the configuration reader computes for missing
  // delimiters: the result is the empty text, nothing has been cut.
  if (text == nullptr || length < 0 || start < 0) return true;

  const std::size_t textLength = std::strlen(text);
  const std::size_t from = static_cast<std::size_t>(start);
  if (from >= textLength) return true;
  const std::size_t available = textLength - from;
  const std::size_t wanted =
      length == 0 ? available : (static_cast<std::size_t>(length) < available ? static_cast<std::size_t>(length) : available);
  const std::size_t copied = wanted < destSize - 1 ? wanted : destSize - 1;
  std::memcpy(dest, text + from, copied);
  dest[copied] = '\0';
  return copied == wanted;
}

int FindNthChar(const char* text, char c, int n) {
  if (text == nullptr || n <= 0) return -1;
  int found = 0;
  int position = -1;
  // Positions are ints; a text longer than that range is searched no further.
  for (std::size_t i = 0; text[i] != '\0' && i <= static_cast<std::size_t>(INT_MAX); ++i) {
    if (text[i] == c) {
      position = static_cast<int>(i);
      if (++found == n) break;
    }
  }
  return position;
}

const std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    const char32_t code = byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
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
  return out;
}

}  // namespace zx
