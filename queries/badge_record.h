// One badge row as fixed-width text fields, with the fields that the other
// lookups fill for the same badge (balances, location text, reader slots).
#pragma once

#include <array>
#include <cstdint>

namespace zx {

struct BadgeRecord {
  std::array<char, 51> AswNum;  // badge number
  std::array<char, 15> AswGvo;  // first day of validity, "yyyymmdd"
  std::array<char, 15> AswGbi;  // last day of validity, "yyyymmdd"
  std::array<char, 11> AswSal;  // message set of the badge
  std::array<char, 5> AswSpr;   // text variant, decimal ("1" when NULL)
  std::array<char, 6> AswBkl;   // access class, "%-3s"
  std::array<char, 6> AswBk2;   // second access class, "%-3s"
  std::array<char, 4> StoKtx;   // first 3 characters of the location short text
  std::array<char, 9> AwvSto;   // location number, "%08s" with '0' fill
  std::array<char, 6> AswGrp;
  std::array<char, 9> AswPnr;   // personnel number
  std::array<char, 51> SpareText;  // filled by nothing; always empty
  std::array<char, 50> AswAtp;  // decimal
  std::array<char, 33> AswPin;
  // Balance values: six characters of value, right-aligned, then the sign.
  std::array<char, 8> TswW02, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16,
      TswW08, TswW05, TswW06, TswW07, TswW03, TswW04;
  // Balance texts, "%-20s".
  std::array<char, 21> TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09,
      TswF10;
  // Reader numbers 1 to 11 ("01" .. "11") where the terminal has the reader.
  std::array<std::array<char, 3>, 11> ReaderSlots;
  // The whole badge number when it is longer than AswNum holds (otherwise
  // empty). Such a row is never written under a cut number: the writers
  // leave it out and name it in a message.
  std::array<char, 256> LongAswNum;
  // The whole access class AswBkl when it is longer than AswBkl holds
  // (otherwise empty); a line with a cut class could open another door.
  std::array<char, 256> LongAswBkl;
  // Set when AswPin is longer than AswPin holds; AswPin then stays empty.
  // The PIN itself is never printed.
  bool AswPinTooLong;
  // The whole message set AswSal when it is longer than AswSal holds
  // (otherwise empty); a cut set would be another set.
  std::array<char, 256> LongAswSal;
  // The whole location number AwvSto when AwvSto cannot hold it as eight
  // digits (longer, or negative); otherwise empty.
  std::array<char, 256> LongAwvSto;
  // "table.column" of a value of the row that the program cannot hold (a
  // character without a Windows-1252 byte, or a NUL byte); otherwise empty.
  // The other fields are filled, that value in a printable form, so that
  // the row can be named; it is never written.
  std::array<char, 24> UnrepresentableColumn;
  // The display texts that ReadBalanceData had to cut to their width, one
  // bit each: BalanceValueCut / BalanceTextCut name them.
  uint32_t CutDisplayTexts;
};

// The bit of CutDisplayTexts for the balance value TswWnn (nn 2..16) and
// for the balance text TswFnn (nn 1..10).
constexpr uint32_t BalanceValueCut(int nn) { return 1u << (nn - 2); }
constexpr uint32_t BalanceTextCut(int nn) { return 1u << (15 + nn - 1); }

// Every field empty (all bytes zero), as the writers clear the record
// before each fetch.
void ClearBadgeRecord(BadgeRecord& record);

}  // namespace zx
