// The lookups made for each badge of the badge cursor, in one table: each
// one's statement, keyed by the badge number (AswNum as FetchBadge delivers
// it), and the lookups it comes with. A writer names the ones it makes; the
// badge cursor names them to the session, which answers them from one
// ordered stream each (sql/lookup_stream.h); the site run's shared answers
// keep them for the other jobs. A new per-badge lookup is one row here plus
// the operation that runs it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace zx {

enum class BadgeLookup : uint8_t {
  kClasses,        // the badge's classes (its time right and access classes)
  kBalance,        // ReadBalanceData
  kLocation,       // ReadLocationText
  kBadgeTexts,     // the badge's display texts (a cursor) ...
  kBadgeTextCode,  // ... and the value code of each (fields 1 to 8)
};

struct BadgeLookupInfo {
  BadgeLookup lookup;
  std::string_view statement;  // queries/statements.h
  // Made only together with this one (the value codes of the texts read);
  // itself when it stands alone.
  BadgeLookup with;
};

// Every per-badge lookup, in the order the cursor names them.
std::span<const BadgeLookupInfo> BadgeLookupTable();

// A set of lookups: what a writer makes for each badge.
class BadgeLookups {
 public:
  constexpr BadgeLookups() = default;
  constexpr BadgeLookups(std::initializer_list<BadgeLookup> lookups) {
    for (const BadgeLookup lookup : lookups) Add(lookup);
  }
  constexpr void Add(BadgeLookup lookup) { bits_ |= Bit(lookup); }
  constexpr void Add(const BadgeLookups& other) { bits_ |= other.bits_; }
  // Whether the lookup is made: named, or made with one that is.
  bool Has(BadgeLookup lookup) const;
  constexpr bool Empty() const { return bits_ == 0; }

 private:
  static constexpr uint32_t Bit(BadgeLookup lookup) {
    return uint32_t{1} << static_cast<unsigned>(lookup);
  }
  uint32_t bits_ = 0;
};

}  // namespace zx
