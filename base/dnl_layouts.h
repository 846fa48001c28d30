// The record layouts of the DNL files as data: for each layout its name (the
// name of its DNL function and file too), the length of its records and its
// fields, in the order in which they stand in a record, each with its name,
// position, width and fill. The writers place their values by these fields
// and zeprink-show reads files by them, so a layout is described here and
// nowhere else. A writer looks its fields up by name when the program is
// built (FieldOf): a name the layout does not have fails the build.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace zx::dnl {

enum class Layout { kMgDnl17P, kMgDnl18P, kMgDnl31P, kMgDnl60P, kIdStamm };

// What a field holds when the badge gives no value for it.
enum class Fill {
  kBlank,     // blanks (in an IDSTAMM line: nothing between the quotes)
  kZeros,     // '0' in every position: a date the badge does not have, a right it does not hold
  kConstant,  // always the field's constant text
};

// One field. Positions count from 1, as the file layouts give them; the
// fields of IDSTAMM's lines have none (0 and 0) and count by their order.
struct FieldDef {
  std::string_view name;
  std::size_t position = 0;
  std::size_t width = 0;
  Fill fill = Fill::kBlank;
  std::string_view constant = {};  // the text of a kConstant field
};

struct LayoutInfo {
  Layout layout;
  std::string_view name;             // the layout's, its DNL function's and its file's name
  std::size_t recordLength;          // 0 for IDSTAMM (lines)
  std::span<const FieldDef> fields;  // for IDSTAMM: the names, in field order
};

inline constexpr FieldDef kMgDnl17PFields[] = {
    {"badge number", 1, 13},
    {"validity start", 14, 8, Fill::kZeros},
    {"time right", 22, 1, Fill::kZeros},
    {"access right", 23, 1, Fill::kZeros},
    {"balance", 24, 7},
    {"reader 1", 31, 2},        {"access class 1", 33, 3},
    {"reader 2", 36, 2},        {"access class 2", 38, 3},
    {"reader 3", 41, 2},        {"access class 3", 43, 3},
    {"reader 4", 46, 2},        {"access class 4", 48, 3},
    {"reader 5", 51, 2},        {"access class 5", 53, 3},
    {"reader 6", 56, 2},        {"access class 6", 58, 3},
    {"reader 7", 61, 2},        {"location", 63, 3},
    {"reader 8", 66, 5},        {"reader 9", 71, 5},
    {"reader 10", 76, 5},       {"reader 11", 81, 5},
};

inline constexpr FieldDef kMgDnl18PFields[] = {
    {"badge number", 1, 13},
    {"label 1", 14, 13},  {"value 1", 27, 7},  {"label 2", 34, 13},  {"value 2", 47, 7},
    {"label 3", 54, 13},  {"value 3", 67, 7},  {"label 4", 74, 13},  {"value 4", 87, 7},
    {"label 5", 94, 13},  {"value 5", 107, 7}, {"label 6", 114, 13}, {"value 6", 127, 7},
    {"label 7", 134, 13}, {"value 7", 147, 7}, {"label 8", 154, 13}, {"value 8", 167, 7},
};

inline constexpr FieldDef kMgDnl31PFields[] = {
    {"badge number", 1, 13},
    {"validity start", 14, 8, Fill::kZeros},
    {"validity end", 22, 8, Fill::kZeros},
    {"time right", 30, 1, Fill::kZeros},
    {"access right", 31, 1, Fill::kZeros},
    {"fixed XXXX,XX-", 32, 8, Fill::kConstant, "XXXX,XX-"},
    {"fixed 001", 40, 3, Fill::kConstant, "001"},
    {"access class", 43, 3},
    {"location", 46, 3},
};

inline constexpr FieldDef kMgDnl60PFields[] = {
    {"badge number", 1, 13},
    {"validity start", 14, 8, Fill::kZeros},
    {"time right", 22, 1, Fill::kZeros},
    {"access right", 23, 1, Fill::kZeros},
    {"balance", 24, 7},
    {"reader 1", 31, 2},        {"access class 1", 33, 3},
    {"reader 2", 36, 2},        {"access class 2", 38, 3},
    {"reader 3", 41, 2},        {"access class 3", 43, 3},
};

inline constexpr FieldDef kIdStammFields[] = {
    {"badge number"},
    {"validity start"},
    {"validity end"},
    {"location number"},
    {"time right", 0, 0, Fill::kZeros},
    {"access right", 0, 0, Fill::kZeros},
    {"text variant"},
    {"message set"},
    {"fixed 001", 0, 0, Fill::kConstant, "001"},
    {"access class"},
    {"spare"},
    {"badge number 2"},
    {"badge type"},
    {"PIN"},
};

// Every layout, in the order of Layout.
inline constexpr LayoutInfo kLayouts[] = {
    {Layout::kMgDnl17P, "MGDNL17P", 85, kMgDnl17PFields},
    {Layout::kMgDnl18P, "MGDNL18P", 173, kMgDnl18PFields},
    {Layout::kMgDnl31P, "MGDNL31P", 48, kMgDnl31PFields},
    {Layout::kMgDnl60P, "MGDNL60P", 45, kMgDnl60PFields},
    {Layout::kIdStamm, "IDSTAMM", 0, kIdStammFields},
};

constexpr const LayoutInfo& LayoutOf(Layout layout) {
  return kLayouts[static_cast<std::size_t>(layout)];
}

// Every layout, in the order of Layout.
constexpr std::span<const LayoutInfo> AllLayouts() { return kLayouts; }

// The layout of that name (any letter case), or null.
const LayoutInfo* FindLayout(std::string_view name);

// The number of fields in each IDSTAMM line.
inline constexpr std::size_t kIdStammFieldCount = std::size(kIdStammFields);

// The index (from 0) of the field of `layout` named `name`, found when the
// program is built: for a name the layout does not have the call is no
// constant expression, and the build fails there.
consteval std::size_t FieldIndex(Layout layout, std::string_view name) {
  const std::span<const FieldDef> fields = LayoutOf(layout).fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == name) return i;
  }
  throw "the layout has no field of that name";
}

// FieldIndex of layout L, for templates over the layout.
template <Layout L>
consteval std::size_t FieldIndexOf(std::string_view name) {
  return FieldIndex(L, name);
}

// A field of layout L as a writer addresses it. Only a record of layout L
// takes it, so a field of another layout fails the build too.
template <Layout L>
struct Field {
  std::size_t position = 0;
  std::size_t width = 0;
  Fill fill = Fill::kBlank;
  std::string_view constant = {};
};

template <Layout L>
constexpr Field<L> FieldOfLayout(const FieldDef& field) {
  return Field<L>{field.position, field.width, field.fill, field.constant};
}

// The field of layout L named `name` (see FieldIndex).
template <Layout L>
consteval Field<L> FieldOf(std::string_view name) {
  return FieldOfLayout<L>(LayoutOf(L).fields[FieldIndex(L, name)]);
}

// The number k of a field named `prefix` followed by k ("reader 7": 7),
// or 0 when the name is not of that form.
constexpr std::size_t FieldNumber(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || name.size() == prefix.size()) return 0;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.front() == '0') return 0;
  std::size_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<std::size_t>(c - '0');
  }
  return number;
}

// How many fields "<prefix>1", "<prefix>2", ... layout L has, counted up to
// the first number it lacks.
template <Layout L>
consteval std::size_t NumberedFieldCount(std::string_view prefix) {
  std::size_t count = 0;
  for (bool found = true; found;) {
    found = false;
    for (const FieldDef& field : LayoutOf(L).fields) {
      found = found || FieldNumber(field.name, prefix) == count + 1;
    }
    if (found) ++count;
  }
  return count;
}

// The fields "<prefix>1" to "<prefix>Count" of layout L, in that order
// (readers, display fields); a number the layout lacks fails the build.
template <Layout L, std::size_t Count>
consteval std::array<Field<L>, Count> NumberedFields(std::string_view prefix) {
  std::array<Field<L>, Count> numbered{};
  for (std::size_t k = 1; k <= Count; ++k) {
    bool found = false;
    for (const FieldDef& field : LayoutOf(L).fields) {
      if (FieldNumber(field.name, prefix) != k) continue;
      numbered[k - 1] = FieldOfLayout<L>(field);
      found = true;
    }
    if (!found) throw "the layout has no field of that number";
  }
  return numbered;
}

}  // namespace zx::dnl
