// The display texts of the MGDNL18P download: the labels and value codes of
// a terminal's message set (by terminal name) or of a badge's message set
// (by badge number), read from the message table Zdx119Msd and the text
// table Zdx102Whl.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zx {

struct DisplayText {
  int32_t MsdLfd = 0;              // display field 1..8 the text belongs to
  int32_t MsdSpl = 0;              // column indicator (1 when NULL); 2 shifts fields 5..8
  std::array<char, 14> Txt = {};   // label, "%-12s " (13 characters), or empty
  std::array<char, 11> Con = {};   // value code, e.g. "#W5"
  std::array<char, 23> Wert = {};  // value beside the label; the reads set 7 blanks
};

// Slot n - 1 holds the text whose MsdLfd is n. An unfilled slot is all empty.
using DisplayTextTable = std::array<DisplayText, 8>;

// Every field empty or 0.
void ClearDisplayText(DisplayText& text);
void ClearDisplayTextTable(DisplayTextTable& table);

// Terminal text cursor: the texts of the message set of the terminal row
// named `terminalName`. All operations return the SQLCODE of their last
// statement. A read returns 0 only when both the row and its value code were
// found; on a failed fetch `text` is unchanged, on a failed value-code lookup
// it holds the new row with Con unchanged. A NULL text column counts as the
// empty text. Open, read until non-zero, close (also after a failed open).
int32_t OpenTerminalTextCursor(std::string_view terminalName);
int32_t ReadTerminalText(DisplayText& text);
int32_t CloseTerminalTextCursor();

// Badge text cursor: the texts of the message set of the badge `badgeNumber`
// (valid today). Same contract as the terminal cursor; the label is used
// without ReplaceEntity.
int32_t OpenBadgeTextCursor(std::string_view badgeNumber);
int32_t ReadBadgeText(DisplayText& text);
int32_t CloseBadgeTextCursor();

// Replaces the first "&#241;" in the NUL-terminated text held in the
// `size` bytes at `text` by the byte 0xF1 (keeping at most 20 characters
// after the reference) and cuts the result to 12 characters, in place.
// Never reads or writes beyond `size`; a text without terminator inside
// `size` is taken as its first size - 1 bytes. Returns 0.
int ReplaceEntity(char* text, std::size_t size);

}  // namespace zx
