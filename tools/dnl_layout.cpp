#include "tools/dnl_layout.h"

#include <array>
#include <cstdint>

#include "base/text_utils.h"

namespace zx::dnl {

namespace {

constexpr FieldDef kMgDnl17PFields[] = {
    {"badge number", 1, 13},    {"validity start", 14, 8},  {"time right", 22, 1},
    {"access right", 23, 1},    {"balance", 24, 7},         {"reader 1", 31, 2},
    {"access class 1", 33, 3},  {"reader 2", 36, 2},        {"access class 2", 38, 3},
    {"reader 3", 41, 2},        {"access class 3", 43, 3},  {"reader 4", 46, 2},
    {"access class 4", 48, 3},  {"reader 5", 51, 2},        {"access class 5", 53, 3},
    {"reader 6", 56, 2},        {"access class 6", 58, 3},  {"reader 7", 61, 2},
    {"location", 63, 3},        {"reader 8", 66, 5},        {"reader 9", 71, 5},
    {"reader 10", 76, 5},       {"reader 11", 81, 5},
};

constexpr FieldDef kMgDnl18PFields[] = {
    {"badge number", 1, 13}, {"label 1", 14, 13},  {"value 1", 27, 7},  {"label 2", 34, 13},
    {"value 2", 47, 7},      {"label 3", 54, 13},  {"value 3", 67, 7},  {"label 4", 74, 13},
    {"value 4", 87, 7},      {"label 5", 94, 13},  {"value 5", 107, 7}, {"label 6", 114, 13},
    {"value 6", 127, 7},     {"label 7", 134, 13}, {"value 7", 147, 7}, {"label 8", 154, 13},
    {"value 8", 167, 7},
};

constexpr FieldDef kMgDnl31PFields[] = {
    {"badge number", 1, 13},   {"validity start", 14, 8}, {"validity end", 22, 8},
    {"time right", 30, 1},     {"access right", 31, 1},   {"fixed XXXX,XX-", 32, 8},
    {"fixed 001", 40, 3},      {"access class", 43, 3},   {"location", 46, 3},
};

constexpr FieldDef kMgDnl60PFields[] = {
    {"badge number", 1, 13},   {"validity start", 14, 8}, {"time right", 22, 1},
    {"access right", 23, 1},   {"balance", 24, 7},        {"reader 1", 31, 2},
    {"access class 1", 33, 3}, {"reader 2", 36, 2},       {"access class 2", 38, 3},
    {"reader 3", 41, 2},       {"access class 3", 43, 3},
};

// IDSTAMM fields carry no positions; only their names and order count.
constexpr FieldDef kIdStammFields[] = {
    {"badge number", 0, 0},    {"validity start", 0, 0}, {"validity end", 0, 0},
    {"location number", 0, 0}, {"time right", 0, 0},     {"access right", 0, 0},
    {"text variant", 0, 0},    {"message set", 0, 0},    {"fixed 001", 0, 0},
    {"access class", 0, 0},    {"spare", 0, 0},          {"badge number 2", 0, 0},
    {"badge type", 0, 0},      {"PIN", 0, 0},
};
static_assert(std::size(kIdStammFields) == kIdStammFieldCount);

constexpr LayoutInfo kLayouts[] = {
    {Layout::kMgDnl17P, "MGDNL17P", 85, kMgDnl17PFields},
    {Layout::kMgDnl18P, "MGDNL18P", 173, kMgDnl18PFields},
    {Layout::kMgDnl31P, "MGDNL31P", 48, kMgDnl31PFields},
    {Layout::kMgDnl60P, "MGDNL60P", 45, kMgDnl60PFields},
    {Layout::kIdStamm, "IDSTAMM", 0, kIdStammFields},
};

// The fields of a fixed layout cover the record without gaps or overlaps.
constexpr bool CoversRecord(const LayoutInfo& layout) {
  std::size_t next = 1;
  for (const FieldDef& field : layout.fields) {
    if (field.position != next || field.width == 0) return false;
    next += field.width;
  }
  return next == layout.recordLength + 1;
}
static_assert(CoversRecord(kLayouts[0]) && CoversRecord(kLayouts[1]) &&
              CoversRecord(kLayouts[2]) && CoversRecord(kLayouts[3]));

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFieldSeparator = "\",\"";

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

// One IDSTAMM line (without CR LF) split into its fields; false when it is
// not fourteen fields, each in double quotes, separated by commas.
bool SplitIdStammLine(std::string_view line, std::vector<std::string>& values) {
  values.clear();
  if (line.size() < 2 || line.front() != '"' || line.back() != '"') return false;
  std::string_view inner = line.substr(1, line.size() - 2);
  for (;;) {
    const std::size_t at = inner.find(kFieldSeparator);
    if (at == std::string_view::npos) break;
    values.emplace_back(inner.substr(0, at));
    inner.remove_prefix(at + kFieldSeparator.size());
    if (values.size() > kIdStammFieldCount) return false;
  }
  values.emplace_back(inner);
  return values.size() == kIdStammFieldCount;
}

Decoded DecodeLines(std::string_view bytes) {
  Decoded decoded;
  std::size_t lineNumber = 0;
  while (!bytes.empty()) {
    ++lineNumber;
    const std::size_t end = bytes.find(kLineEnd);
    const std::string_view line = bytes.substr(0, end);
    if (end == std::string_view::npos) {
      decoded.problems.push_back("line " + std::to_string(lineNumber) + ": no CR LF at its end");
      bytes = {};
    } else {
      bytes.remove_prefix(end + kLineEnd.size());
    }
    Record record;
    record.number = lineNumber;
    if (SplitIdStammLine(line, record.values)) {
      decoded.records.push_back(std::move(record));
    } else {
      decoded.problems.push_back("line " + std::to_string(lineNumber) +
                                 ": not fourteen quoted, comma-separated fields");
    }
  }
  return decoded;
}

Decoded DecodeFixed(const LayoutInfo& layout, std::string_view bytes) {
  Decoded decoded;
  const std::size_t length = layout.recordLength;
  const std::size_t count = bytes.size() / length;
  decoded.records.reserve(count);
  for (std::size_t n = 0; n < count; ++n) {
    const std::string_view bytesOfRecord = bytes.substr(n * length, length);
    Record record;
    record.number = n + 1;
    for (const FieldDef& field : layout.fields) {
      record.values.emplace_back(bytesOfRecord.substr(field.position - 1, field.width));
    }
    decoded.records.push_back(std::move(record));
  }
  if (const std::size_t rest = bytes.size() % length; rest != 0) {
    decoded.problems.push_back(std::to_string(rest) + " bytes after record " +
                               std::to_string(count) + " make no whole record of " +
                               std::to_string(length) + " bytes");
  }
  return decoded;
}

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsFlag(std::string_view text) { return text == "0" || text == "1"; }

// Text of a record: no control bytes, as no database text the writers put
// in a record holds them.
bool IsText(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// Reader k's number positions: blank, or the two digits of k.
bool IsReaderNumber(std::string_view text, std::size_t k) {
  const std::string_view number = text.substr(0, 2);
  if (number == "  ") return true;
  return number.size() == 2 && AllDigits(number) &&
         static_cast<std::size_t>((number[0] - '0') * 10 + (number[1] - '0')) == k;
}

// The value of the field named `name` in the record (empty when none).
std::string_view Value(const LayoutInfo& layout, const Record& record, std::string_view name) {
  for (std::size_t i = 0; i < layout.fields.size() && i < record.values.size(); ++i) {
    if (layout.fields[i].name == name) return record.values[i];
  }
  return {};
}

// Whether one record's fields look as the layout's writer lays them out.
bool Plausible(const LayoutInfo& layout, const Record& record) {
  for (const std::string& value : record.values) {
    if (!IsText(value)) return false;
  }
  if (BadgeNumber(record).empty()) return false;
  switch (layout.layout) {
    case Layout::kMgDnl17P:
    case Layout::kMgDnl60P: {
      if (!AllDigits(Value(layout, record, "validity start")) ||
          !IsFlag(Value(layout, record, "time right")) ||
          !IsFlag(Value(layout, record, "access right"))) {
        return false;
      }
      const std::size_t readers = layout.layout == Layout::kMgDnl17P ? 11 : 3;
      for (std::size_t k = 1; k <= readers; ++k) {
        if (!IsReaderNumber(Value(layout, record, "reader " + std::to_string(k)), k)) return false;
      }
      return true;
    }
    case Layout::kMgDnl31P:
      return AllDigits(Value(layout, record, "validity start")) &&
             AllDigits(Value(layout, record, "validity end")) &&
             IsFlag(Value(layout, record, "time right")) &&
             Value(layout, record, "access right") == "1" &&
             Value(layout, record, "fixed XXXX,XX-") == "XXXX,XX-" &&
             Value(layout, record, "fixed 001") == "001";
    case Layout::kMgDnl18P:
      return true;  // labels and values are free text
    case Layout::kIdStamm:
      return false;
  }
  return false;
}

}  // namespace

std::span<const LayoutInfo> AllLayouts() { return kLayouts; }

const LayoutInfo* FindLayout(std::string_view name) {
  for (const LayoutInfo& layout : kLayouts) {
    if (EqualsIgnoreCase(layout.name, name)) return &layout;
  }
  return nullptr;
}

Decoded Decode(const LayoutInfo& layout, std::string_view bytes) {
  return layout.recordLength == 0 ? DecodeLines(bytes) : DecodeFixed(layout, bytes);
}

std::string_view BadgeNumber(const Record& record) {
  if (record.values.empty()) return {};
  std::string_view number = record.values.front();
  while (!number.empty() && number.back() == ' ') number.remove_suffix(1);
  return number;
}

Recognition Recognise(std::string_view bytes) {
  Recognition result;
  if (bytes.empty()) {
    result.reason = "the file is empty: no record tells its layout";
    return result;
  }
  const LayoutInfo& idstamm = kLayouts[4];
  if (bytes.front() == '"' || bytes.find(kLineEnd) != std::string_view::npos) {
    const Decoded lines = DecodeLines(bytes);
    if (lines.problems.empty()) {
      result.layout = &idstamm;
      result.reason = "lines of fourteen quoted fields ending in CR LF";
      return result;
    }
    if (bytes.front() == '"' && bytes.ends_with(kLineEnd)) {
      result.reason = "it looks like IDSTAMM lines, but " + lines.problems.front();
      return result;
    }
  }

  std::vector<const LayoutInfo*> bySize;
  std::vector<const LayoutInfo*> plausible;
  std::string notPlausible;
  for (const LayoutInfo& layout : kLayouts) {
    if (layout.recordLength == 0 || bytes.size() % layout.recordLength != 0) continue;
    bySize.push_back(&layout);
    const Decoded decoded = DecodeFixed(layout, bytes);
    const Record* wrong = nullptr;
    for (const Record& record : decoded.records) {
      if (!Plausible(layout, record)) {
        wrong = &record;
        break;
      }
    }
    if (wrong == nullptr) {
      plausible.push_back(&layout);
    } else {
      notPlausible += std::string(notPlausible.empty() ? "" : "; ") + std::string(layout.name) +
                      ": record " + std::to_string(wrong->number) +
                      " does not hold its fields as that layout writes them";
    }
  }
  const std::string size = std::to_string(bytes.size()) + " bytes";
  if (bySize.empty()) {
    result.reason = "the size (" + size +
                    ") is no multiple of a record length (85, 173, 48, 45) and the file is not "
                    "IDSTAMM lines";
  } else if (plausible.empty()) {
    result.reason = "the size (" + size + ") fits, but the content does not: " + notPlausible;
  } else if (plausible.size() > 1) {
    result.reason = "the file (" + size + ") reads as more than one layout:";
    for (const LayoutInfo* layout : plausible) result.reason.append(" ").append(layout->name);
    result.reason += "; name one with --layout";
  } else {
    result.layout = plausible.front();
    result.reason = std::to_string(bytes.size() / result.layout->recordLength) + " records of " +
                    std::to_string(result.layout->recordLength) + " bytes";
  }
  return result;
}

}  // namespace zx::dnl
