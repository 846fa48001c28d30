// The display texts of the MGDNL18P download: the labels and value codes of
// a terminal's message set (by terminal name) or of a badge's message set
// (by badge number), read from the message table Zdx119Msd and the text
// table Zdx102Whl.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sql/session.h"

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

// A display text cursor: the texts of one message set, of a terminal or of
// a badge, and the key it was opened for.
struct DisplayTextCursor {
  SqlCursor rows;
  SqlSession* session = nullptr;
  bool badge = false;
  std::array<char, 256> key{};
};

// Terminal texts: the message set of the terminal row named `terminalName`.
// Badge texts: the message set of the badge `badgeNumber` (valid today);
// their labels are used without ReplaceEntity. All operations return the
// code of their last statement. A read returns 0 only when both the row and
// its value code were found; on a failed fetch `text` is unchanged, on a
// failed value-code lookup it holds the new row with Con unchanged. A NULL
// text column counts as the empty text. Open, read until non-zero, close
// (also after a failed open).
int32_t OpenTerminalTextCursor(SqlSession& session, DisplayTextCursor& cursor,
                               std::string_view terminalName);
int32_t OpenBadgeTextCursor(SqlSession& session, DisplayTextCursor& cursor,
                            std::string_view badgeNumber);
int32_t ReadTerminalText(DisplayTextCursor& cursor, DisplayText& text);
int32_t ReadBadgeText(DisplayTextCursor& cursor, DisplayText& text);
int32_t CloseTerminalTextCursor(DisplayTextCursor& cursor);
int32_t CloseBadgeTextCursor(DisplayTextCursor& cursor);

// Replaces the first "&#241;" in the NUL-terminated text held in the
// `size` bytes at `text` by the byte 0xF1 (keeping at most 20 characters
// after the reference) and cuts the result to 12 characters, in place.
// Never reads or writes beyond `size`; a text without terminator inside
// `size` is taken as its first size - 1 bytes. Returns 0.
int ReplaceEntity(char* text, std::size_t size);

}  // namespace zx
