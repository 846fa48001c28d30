// Showing decoded DNL records for people and programs (a table, CSV or
// JSON, all in UTF-8) and the badges that differ between two files of one
// layout.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/dnl_layout.h"

namespace zx::dnl {

enum class Format { kTable, kCsv, kJson };

// The format of that name ("table", "csv", "json"); false for another.
bool ParseFormat(std::string_view name, Format& format);

// The records, a column "record" (its number in the file) first, then one
// column per field of the layout, with a header line (table, CSV) or as one
// JSON object {"layout": NAME, "records": [{"record": N, "fields": {...}}]}.
// Values are the field bytes as in the file, Windows-1252 shown as UTF-8;
// a control byte shows as \xNN (in JSON as \u00NN).
std::string FormatRecords(const LayoutInfo& layout, const std::vector<Record>& records,
                          Format format);

// The records with every PIN that is not empty shown as "****": what a
// viewer prints ends up in tickets and mails.
std::vector<Record> MaskedPins(const LayoutInfo& layout, std::vector<Record> records);

// The records of the badge `number` (Windows-1252 bytes, compared with the
// badge number without its trailing blanks).
std::vector<Record> RecordsOfBadge(const std::vector<Record>& records, std::string_view number);

struct BadgeDiff {
  std::vector<std::string> added, removed, changed;  // badge numbers, in byte order
  std::size_t unchanged = 0;
  std::string text;  // one line per badge and difference, then a summary line
};

// The badges whose records differ between two files of the layout: a badge
// is added when only the new file has records of it, removed when only the
// old one has, changed when its records (in file order) differ. A changed
// PIN is named, its values shown as "****" unless `showPins`.
BadgeDiff DiffBadges(const LayoutInfo& layout, const std::vector<Record>& oldRecords,
                     const std::vector<Record>& newRecords, bool showPins = false);

}  // namespace zx::dnl
