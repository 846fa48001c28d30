#include "base/dnl_layouts.h"

namespace zx::dnl {

namespace {

static_assert([] {
  for (std::size_t i = 0; i < std::size(kLayouts); ++i) {
    if (static_cast<std::size_t>(kLayouts[i].layout) != i) return false;
  }
  return true;
}(), "kLayouts is in the order of Layout");

// The fields of a fixed layout cover the record without gaps or overlaps,
// and a constant fills its field exactly.
constexpr bool CoversRecord(const LayoutInfo& layout) {
  std::size_t next = 1;
  for (const FieldDef& field : layout.fields) {
    if (field.position != next || field.width == 0) return false;
    if (field.fill == Fill::kConstant && field.constant.size() != field.width) return false;
    next += field.width;
  }
  return next == layout.recordLength + 1;
}
static_assert(CoversRecord(LayoutOf(Layout::kMgDnl17P)) &&
              CoversRecord(LayoutOf(Layout::kMgDnl18P)) &&
              CoversRecord(LayoutOf(Layout::kMgDnl31P)) &&
              CoversRecord(LayoutOf(Layout::kMgDnl60P)));

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

const LayoutInfo* FindLayout(std::string_view name) {
  for (const LayoutInfo& layout : kLayouts) {
    if (EqualsIgnoreCase(layout.name, name)) return &layout;
  }
  return nullptr;
}

}  // namespace zx::dnl
