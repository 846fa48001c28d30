// Small text utilities on NUL-terminated single-byte text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zx {

// Removes trailing blanks and tabs (not line feeds) in place; returns text.
char* TrimRight(char* text);

// Replaces every letter a..z by its capital in place; other bytes stay.
// Returns text.
char* ToUpper(char* text);

// The first character that is not a blank, tab or line feed; the start of
// the text itself when there is none.
const char* SkipBlanks(const char* text);

// Copies `length` characters of `text` from `start` into `dest` (of
// `destSize` bytes, terminator included) and terminates it. Length 0 means
// everything from start to the end; a negative length leaves dest empty.
// Never writes beyond destSize (a longer copy is cut) nor reads beyond the
// end of text. Returns false when the copy had to be cut.
bool CopySubstring(const char* text, int start, int length, char* dest, std::size_t destSize);

// Position (from 0) of the n-th occurrence of c in text; of the last one
// when there are fewer than n; -1 when there is none or text is empty, and
// for an n below 1.
int FindNthChar(const char* text, char c, int n);

// True when `text` begins with `prefix`.
constexpr bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// `text` as one line of printable text, for a line that people read
// (a reason on standard error) whatever bytes the data brought: CR, LF and
// tab as \r, \n, \t, every other control byte (below 0x20, and DEL) as
// \xHH. Other bytes stay as they are.
std::string PrintableLine(std::string_view text);

}  // namespace zx
