#include "writers/fixed_record.h"

#include <string>

#include "base/fixed_text.h"
#include "base/text_utils.h"

namespace zx {

std::string_view FullBadgeNumber(const BadgeRecord& record) {
  const std::string_view longNumber = FieldText(record.LongAswNum);
  return longNumber.empty() ? FieldText(record.AswNum) : longNumber;
}

bool BadgeNumberFits(Diagnostics& diagnostics, const BadgeRecord& record) {
  const std::string_view number = FullBadgeNumber(record);
  if (FieldText(record.LongAswNum).empty() && number.size() <= kBadgeNumberWidth) return true;
  diagnostics.Print("Ausweis %.*s passt nicht in den Satz, nicht in Datei gestellt\n",
              static_cast<int>(number.size()), number.data());
  return false;
}

bool RowIsRepresentable(Diagnostics& diagnostics, const BadgeRecord& record) {
  const std::string_view column = FieldText(record.UnrepresentableColumn);
  if (column.empty()) return true;
  const std::string number = PrintableLine(FullBadgeNumber(record));
  diagnostics.Print("Ausweis %s: Wert in %.*s nicht darstellbar, nicht in Datei gestellt\n",
                    number.c_str(), static_cast<int>(column.size()), column.data());
  return false;
}

bool AccessClassFits(Diagnostics& diagnostics, const BadgeRecord& record,
                     const AccessRightEntry& entry) {
  const std::string_view accessClass = FieldText(entry);
  if (accessClass.size() <= kAccessClassWidth) return true;
  const std::string_view number = FullBadgeNumber(record);
  diagnostics.Print("Ausweis %.*s Zutrittsklasse %.*s passt nicht in den Satz, nicht in Datei gestellt\n",
              static_cast<int>(number.size()), number.data(), static_cast<int>(accessClass.size()),
              accessClass.data());
  return false;
}

std::string_view ReaderNumber(const BadgeRecord& record, std::size_t k) {
  if (k < 1 || k > record.ReaderSlots.size()) return {};
  const std::string_view slot = FieldText(record.ReaderSlots[k - 1]);
  return slot == "  " ? std::string_view() : slot;
}

}  // namespace zx
