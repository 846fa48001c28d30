#include "tools/dnl_layout.h"

#include <array>
#include <cstdint>

#include "base/text_utils.h"

namespace zx::dnl {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFieldSeparator = "\",\"";

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

// The value of field `index` of the record (empty when it has none).
std::string_view Value(const Record& record, std::size_t index) {
  return index < record.values.size() ? std::string_view(record.values[index]) : std::string_view();
}

// The validity start, the right flags and the reader numbers of the layouts
// with readers, each reader k's number in its place.
template <Layout L>
bool RightsAndReadersPlausible(const LayoutInfo& layout, const Record& record) {
  if (!AllDigits(Value(record, FieldIndexOf<L>("validity start"))) ||
      !IsFlag(Value(record, FieldIndexOf<L>("time right"))) ||
      !IsFlag(Value(record, FieldIndexOf<L>("access right")))) {
    return false;
  }
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const std::size_t k = FieldNumber(layout.fields[i].name, "reader ");
    if (k != 0 && !IsReaderNumber(Value(record, i), k)) return false;
  }
  return true;
}

// Whether one record's fields look as the layout's writer lays them out.
bool Plausible(const LayoutInfo& layout, const Record& record) {
  for (const std::string& value : record.values) {
    if (!IsText(value)) return false;
  }
  if (BadgeNumber(record).empty()) return false;
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const FieldDef& field = layout.fields[i];
    if (field.fill == Fill::kConstant && Value(record, i) != field.constant) return false;
  }
  switch (layout.layout) {
    case Layout::kMgDnl17P:
      return RightsAndReadersPlausible<Layout::kMgDnl17P>(layout, record);
    case Layout::kMgDnl60P:
      return RightsAndReadersPlausible<Layout::kMgDnl60P>(layout, record);
    case Layout::kMgDnl31P: {
      constexpr Layout k31P = Layout::kMgDnl31P;
      return AllDigits(Value(record, FieldIndex(k31P, "validity start"))) &&
             AllDigits(Value(record, FieldIndex(k31P, "validity end"))) &&
             IsFlag(Value(record, FieldIndex(k31P, "time right"))) &&
             Value(record, FieldIndex(k31P, "access right")) == "1";
    }
    case Layout::kMgDnl18P:
      return true;  // labels and values are free text
    case Layout::kIdStamm:
      return false;
  }
  return false;
}

}  // namespace

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
  const LayoutInfo& idstamm = LayoutOf(Layout::kIdStamm);
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
    std::string lengths;
    for (const LayoutInfo& layout : kLayouts) {
      if (layout.recordLength == 0) continue;
      lengths.append(lengths.empty() ? "" : ", ").append(std::to_string(layout.recordLength));
    }
    result.reason = "the size (" + size + ") is no multiple of a record length (" + lengths +
                    ") and the file is not " + std::string(idstamm.name) + " lines";
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
