// The fixed-length records of the MGDNL17P, MGDNL31P and MGDNL60P downloads:
// a record buffer laid out by position, and the checks that keep a badge
// number or an access class from being cut to fit its positions.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "queries/access_rights.h"
#include "queries/badge_record.h"

namespace zx {

// One record of N characters, no terminator, no line end. Positions count
// from 1 as the record layouts give them.
template <std::size_t N>
class FixedRecord {
 public:
  FixedRecord() { Blank(); }

  // Every position a blank, as each badge's record starts.
  void Blank() { bytes_.fill(' '); }

  // Lays `text` into the `width` positions from `position`: at most `width`
  // characters (callers check beforehand that a badge number or class fits;
  // nothing that identifies a badge is cut here), the rest left as it is.
  void Put(std::size_t position, std::size_t width, std::string_view text) {
    const std::size_t start = position - 1;
    if (start >= N) return;
    std::size_t n = text.size() < width ? text.size() : width;
    if (n > N - start) n = N - start;
    text.copy(bytes_.data() + start, n);
  }

  // Puts a field's text into `width` positions filled with blanks first, so
  // a shorter text leaves the rest blank.
  void PutPadded(std::size_t position, std::size_t width, std::string_view text) {
    for (std::size_t i = position - 1; i < N && i < position - 1 + width; ++i) bytes_[i] = ' ';
    Put(position, width, text);
  }

  // Lays a "yyyymmdd" date at `position`; a badge without that date leaves
  // the eight positions blank, and they then read "00000000".
  void PutDate(std::size_t position, std::string_view yyyymmdd) {
    Put(position, 8, yyyymmdd);
    if (Text(position, 8) == "        ") Put(position, 8, "00000000");
  }

  std::string_view Text(std::size_t position, std::size_t width) const {
    return Bytes().substr(position - 1, width);
  }

  std::string_view Bytes() const { return std::string_view(bytes_.data(), N); }

 private:
  std::array<char, N> bytes_;
};

// Positions of the badge number and of an access class in every layout.
inline constexpr std::size_t kBadgeNumberWidth = 13;
inline constexpr std::size_t kAccessClassWidth = 3;

// The whole badge number of the row: LongAswNum when the number was longer
// than AswNum holds, else AswNum.
std::string_view FullBadgeNumber(const BadgeRecord& record);

// True when the row's badge number fits the badge-number positions. When it
// does not, prints "Ausweis %s passt nicht in den Satz, nicht in Datei
// gestellt\n" with the whole number: the badge is left out, since a cut
// number could name another badge.
bool BadgeNumberFits(const BadgeRecord& record);

// True when the access class of `entry` fits the class positions. When it
// does not, prints "Ausweis %s Zutrittsklasse %s passt nicht in den Satz,
// nicht in Datei gestellt\n": that class's record is left out, since a cut
// class could name another class.
bool AccessClassFits(const BadgeRecord& record, const AccessRightEntry& entry);

// Sets ReaderSlots 1 to `count` to two blanks: a slot that keeps them after
// CollectAccessRights means the terminal has no such reader.
void BlankReaderSlots(BadgeRecord& record, std::size_t count);

// The reader number in slot k (1 to 11), or empty when the terminal has no
// reader k.
std::string_view ReaderNumber(const BadgeRecord& record, std::size_t k);

// The entries of AccessRightList for the current badge, in list order.
std::span<const AccessRightEntry> CurrentAccessRights();

}  // namespace zx
