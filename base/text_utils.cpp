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

std::string PrintableLine(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      line += "\\x";
      line += kHex[byte >> 4];
      line += kHex[byte & 0x0F];
    }
  }
  return line;
}

}  // namespace zx
