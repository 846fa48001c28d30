#include "writers/dnl_functions.h"

#include "writers/writers.h"

namespace zx {

namespace {

constexpr DnlFunction kDnlFunctions[] = {
    {"MGDNL17P", CreateMgDnl17P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL17P!\n"},
    {"MGDNL18P", CreateMgDnl18P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL18P!\n"},
    {"MGDNL31P", CreateMgDnl31P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n"},
    {"MGDNL60P", CreateMgDnl60P, "Programmabbruch: Fehler bei Erstellung der Datei MGDNL60P!\n"},
    {"IDSTAMM", CreateIdStamm, "Programmabbruch: Fehler bei Erstellung der Datei IDSTAMM!\n"},
};

}  // namespace

std::span<const DnlFunction> DnlFunctions() { return kDnlFunctions; }

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
