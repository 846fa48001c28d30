// Reading DNL files by their layouts (base/dnl_layouts.h): the splitting of
// a file into records and fields, the recognition of a file's layout from its
// content, and the display of Windows-1252 text as UTF-8. Used by
// zeprink-show and zeprink-explain. Every function takes arbitrary bytes:
// nothing here reads beyond what it is given.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/dnl_layouts.h"
#include "base/win1252.h"

namespace zx::dnl {

// Windows-1252 text as UTF-8 and back, for showing and for comparing a value
// given on the command line.
using zx::Utf8ToWin1252;
using zx::Win1252ToUtf8;

struct Record {
  std::size_t number = 0;           // from 1, in file order
  std::vector<std::string> values;  // one per field of the layout, bytes as in the file
};

struct Decoded {
  std::vector<Record> records;
  // What could not be split: bytes after the last whole record, a line
  // that is not fourteen quoted fields. Empty when the whole file decoded.
  std::vector<std::string> problems;
};

// Splits the file into records of the layout.
Decoded Decode(const LayoutInfo& layout, std::string_view bytes);

// The badge number of a record: the first field, trailing blanks removed.
std::string_view BadgeNumber(const Record& record);

struct Recognition {
  const LayoutInfo* layout = nullptr;  // null: refused
  std::string reason;                  // why refused, or how recognised
};

// The layout of a file by its content: IDSTAMM when it is lines of fourteen
// quoted fields ending in CR LF; a fixed layout when its size is a multiple
// of the record length and every record's fields look as that layout writes
// them (dates of digits, right flags 0 or 1, reader numbers in their places,
// the constants of MGDNL31P). Refused when no layout or more than one fits,
// and for an empty file.
Recognition Recognise(std::string_view bytes);

}  // namespace zx::dnl
