#include "queries/badge_lookups.h"

#include "queries/statements.h"

namespace zx {

namespace {

constexpr BadgeLookupInfo kBadgeLookups[] = {
    {BadgeLookup::kClasses, statements::kBadgeClasses, BadgeLookup::kClasses},
    {BadgeLookup::kBalance, statements::kBalanceData, BadgeLookup::kBalance},
    {BadgeLookup::kLocation, statements::kLocationText, BadgeLookup::kLocation},
    {BadgeLookup::kBadgeTexts, statements::kBadgeTexts, BadgeLookup::kBadgeTexts},
    {BadgeLookup::kBadgeTextCode, statements::kBadgeTextCode, BadgeLookup::kBadgeTexts},
};

}  // namespace

std::span<const BadgeLookupInfo> BadgeLookupTable() { return kBadgeLookups; }

bool BadgeLookups::Has(BadgeLookup lookup) const {
  for (const BadgeLookupInfo& info : kBadgeLookups) {
    if (info.lookup == lookup) return (bits_ & (Bit(lookup) | Bit(info.with))) != 0;
  }
  return false;
}

}  // namespace zx
