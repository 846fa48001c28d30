#include "writers/dnl_functions.h"

#include "writers/writers.h"

namespace zx {

namespace {

using dnl::Layout;
using dnl::LayoutOf;

constexpr DnlFunction kDnlFunctions[] = {
    {LayoutOf(Layout::kMgDnl17P), CreateMgDnl17P},
    {LayoutOf(Layout::kMgDnl18P), CreateMgDnl18P},
    {LayoutOf(Layout::kMgDnl31P), CreateMgDnl31P},
    {LayoutOf(Layout::kMgDnl60P), CreateMgDnl60P},
    {LayoutOf(Layout::kIdStamm), CreateIdStamm},
};

}  // namespace

std::span<const DnlFunction> DnlFunctions() { return kDnlFunctions; }

std::string DnlFunction::FailureMessage() const {
  std::string message = "Programmabbruch: Fehler bei Erstellung der Datei ";
  return message.append(name).append("!\n");
}

const DnlFunction* FindDnlFunction(std::string_view upperName) {
  for (const DnlFunction& function : kDnlFunctions) {
    if (upperName == function.name) return &function;
  }
  return nullptr;
}

std::string DnlFunctionNames(std::string_view lastSeparator) {
  std::string names;
  const std::span<const DnlFunction> all = DnlFunctions();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i > 0) names += i + 1 == all.size() ? lastSeparator : std::string_view(", ");
    names += all[i].name;
  }
  return names;
}

}  // namespace zx
