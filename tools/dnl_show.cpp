#include "tools/dnl_show.h"

#include <cstdio>
#include <map>

namespace zx::dnl {

namespace {

// Whether the byte is a control character: C0, DEL, or one of the five
// bytes that Windows-1252 leaves undefined (shown as C1 controls).
bool IsControl(unsigned char byte) {
  return byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F ||
         byte == 0x90 || byte == 0x9D;
}

// The UTF-8 of Windows-1252 bytes, each control character written as
// `format` gives it ("\\x%02X", "\\u%04X").
std::string Escaped(std::string_view bytes, const char* format) {
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsControl(byte)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, format, byte);
      out += escape;
    } else {
      out += Win1252ToUtf8(std::string_view(&c, 1));
    }
  }
  return out;
}

// The UTF-8 of a field for people: control characters as \xNN.
std::string Shown(std::string_view bytes) { return Escaped(bytes, "\\x%02X"); }

// Characters (not bytes) of UTF-8 text, for aligning columns.
std::size_t Width(std::string_view utf8) {
  std::size_t width = 0;
  for (char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  }
  return width;
}

std::string Padded(std::string_view text, std::size_t width) {
  std::string out(text);
  for (std::size_t w = Width(text); w < width; ++w) out += ' ';
  return out;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonString(std::string_view bytes) {
  std::string quotedText;
  for (char c : bytes) {
    if (c == '"' || c == '\\') quotedText += '\\';
    quotedText += c;
  }
  return std::string("\"").append(Escaped(quotedText, "\\u%04X")).append("\"");
}

std::string FormatTable(const LayoutInfo& layout, const std::vector<Record>& records) {
  std::vector<std::string> header = {"record"};
  for (const FieldDef& field : layout.fields) header.emplace_back(field.name);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::size_t> widths;
  for (const std::string& name : header) widths.push_back(Width(name));
  for (const Record& record : records) {
    std::vector<std::string> row = {std::to_string(record.number)};
    for (const std::string& value : record.values) row.push_back(Shown(value));
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      if (Width(row[i]) > widths[i]) widths[i] = Width(row[i]);
    }
    rows.push_back(std::move(row));
  }
  auto line = [&widths](const std::vector<std::string>& cells) {
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) out += " | ";
      // The last column is not padded: no blanks at the end of a line
      // beyond those of the value itself.
      out += i + 1 < cells.size() ? Padded(cells[i], widths[i]) : cells[i];
    }
    return out + "\n";
  };
  std::string out = line(header);
  for (const auto& row : rows) out += line(row);
  return out;
}

std::string FormatCsv(const LayoutInfo& layout, const std::vector<Record>& records) {
  std::string out = "record";
  for (const FieldDef& field : layout.fields) out.append(",").append(CsvField(field.name));
  out += "\n";
  for (const Record& record : records) {
    out += std::to_string(record.number);
    for (const std::string& value : record.values) out.append(",").append(CsvField(Shown(value)));
    out += "\n";
  }
  return out;
}

std::string FormatJson(const LayoutInfo& layout, const std::vector<Record>& records) {
  std::string out = "{\"layout\": " + JsonString(layout.name) + ", \"records\": [";
  for (std::size_t r = 0; r < records.size(); ++r) {
    out += r == 0 ? "\n  " : ",\n  ";
    out += "{\"record\": " + std::to_string(records[r].number) + ", \"fields\": {";
    for (std::size_t i = 0; i < records[r].values.size() && i < layout.fields.size(); ++i) {
      if (i > 0) out += ", ";
      out += JsonString(layout.fields[i].name) + ": " + JsonString(records[r].values[i]);
    }
    out += "}}";
  }
  out += records.empty() ? "]}\n" : "\n]}\n";
  return out;
}

std::string Quoted(std::string_view bytes) { return std::string("\"").append(Shown(bytes)).append("\""); }

std::string Records(std::size_t n) { return std::to_string(n) + (n == 1 ? " record" : " records"); }

// The lines that tell how the records of one badge changed.
constexpr std::string_view kPinField = "PIN";
constexpr std::string_view kMaskedPin = "****";

std::string Masked(const std::string& value) {
  return value.empty() ? value : std::string(kMaskedPin);
}

void DescribeChange(const LayoutInfo& layout, std::string_view number,
                    const std::vector<const Record*>& before,
                    const std::vector<const Record*>& after, bool showPins, std::string& text) {
  const std::string prefix = "~ " + Shown(number) + ": ";
  if (before.size() != after.size()) {
    text += prefix + Records(before.size()) + " -> " + Records(after.size()) + "\n";
  }
  const std::size_t common = before.size() < after.size() ? before.size() : after.size();
  for (std::size_t k = 0; k < common; ++k) {
    const Record& a = *before[k];
    const Record& b = *after[k];
    for (std::size_t i = 0; i < layout.fields.size() && i < a.values.size() && i < b.values.size();
         ++i) {
      if (a.values[i] == b.values[i]) continue;
      const bool mask = !showPins && layout.fields[i].name == kPinField;
      text += prefix + "record " + std::to_string(k + 1) + " of the badge: " +
              std::string(layout.fields[i].name) + " " +
              Quoted(mask ? Masked(a.values[i]) : a.values[i]) + " -> " +
              Quoted(mask ? Masked(b.values[i]) : b.values[i]) + "\n";
    }
  }
}

using ByBadge = std::map<std::string, std::vector<const Record*>>;

ByBadge GroupByBadge(const std::vector<Record>& records) {
  ByBadge groups;
  for (const Record& record : records) groups[std::string(BadgeNumber(record))].push_back(&record);
  return groups;
}

bool SameRecords(const std::vector<const Record*>& a, const std::vector<const Record*>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i]->values != b[i]->values) return false;
  }
  return true;
}

}  // namespace

bool ParseFormat(std::string_view name, Format& format) {
  if (name == "table") {
    format = Format::kTable;
  } else if (name == "csv") {
    format = Format::kCsv;
  } else if (name == "json") {
    format = Format::kJson;
  } else {
    return false;
  }
  return true;
}

std::string FormatRecords(const LayoutInfo& layout, const std::vector<Record>& records,
                          Format format) {
  switch (format) {
    case Format::kTable:
      return FormatTable(layout, records);
    case Format::kCsv:
      return FormatCsv(layout, records);
    case Format::kJson:
      return FormatJson(layout, records);
  }
  return {};
}

std::vector<Record> RecordsOfBadge(const std::vector<Record>& records, std::string_view number) {
  std::vector<Record> found;
  for (const Record& record : records) {
    if (BadgeNumber(record) == number) found.push_back(record);
  }
  return found;
}

std::vector<Record> MaskedPins(const LayoutInfo& layout, std::vector<Record> records) {
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    if (layout.fields[i].name != kPinField) continue;
    for (Record& record : records) {
      if (i < record.values.size()) record.values[i] = Masked(record.values[i]);
    }
  }
  return records;
}

BadgeDiff DiffBadges(const LayoutInfo& layout, const std::vector<Record>& oldRecords,
                     const std::vector<Record>& newRecords, bool showPins) {
  BadgeDiff diff;
  const ByBadge before = GroupByBadge(oldRecords);
  const ByBadge after = GroupByBadge(newRecords);
  auto a = before.begin();
  auto b = after.begin();
  while (a != before.end() || b != after.end()) {
    if (b == after.end() || (a != before.end() && a->first < b->first)) {
      diff.removed.push_back(a->first);
      diff.text += "- " + Shown(a->first) + ": " + Records(a->second.size()) + "\n";
      ++a;
    } else if (a == before.end() || b->first < a->first) {
      diff.added.push_back(b->first);
      diff.text += "+ " + Shown(b->first) + ": " + Records(b->second.size()) + "\n";
      ++b;
    } else {
      if (SameRecords(a->second, b->second)) {
        ++diff.unchanged;
      } else {
        diff.changed.push_back(a->first);
        DescribeChange(layout, a->first, a->second, b->second, showPins, diff.text);
      }
      ++a;
      ++b;
    }
  }
  diff.text += "added " + std::to_string(diff.added.size()) + ", removed " +
               std::to_string(diff.removed.size()) + ", changed " +
               std::to_string(diff.changed.size()) + ", unchanged " +
               std::to_string(diff.unchanged) + "\n";
  return diff;
}

}  // namespace zx::dnl
