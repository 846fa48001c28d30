// The fixed-length records of the downloads: a record buffer filled by the
// fields of its layout (base/dnl_layouts.h), the checks that keep a badge
// number or an access class from being cut to fit its positions, the right
// flags and readers, and the writing of one badge row's records, one per
// access class.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "base/diagnostics.h"
#include "base/dnl_layouts.h"
#include "base/fixed_text.h"
#include "writers/badge_rights.h"
#include "writers/run_context.h"

namespace zx {

// One record of layout L, no terminator, no line end. Values are placed by
// the layout's fields (dnl::FieldOf<L>("name")).
template <dnl::Layout L>
class FixedRecord {
 public:
  using Field = dnl::Field<L>;
  static constexpr std::size_t kLength = dnl::LayoutOf(L).recordLength;
  static_assert(kLength > 0, "a layout of lines has no fixed records");

  FixedRecord() { Blank(); }

  // Every position a blank, as each badge's record starts.
  void Blank() { bytes_.fill(' '); }

  // Lays `text` into the field: at most its width of characters (callers
  // check beforehand that a badge number or class fits; nothing that
  // identifies a badge is cut here), the rest left as it is.
  void Put(Field field, std::string_view text) {
    const std::size_t start = field.position - 1;
    if (start >= kLength) return;
    std::size_t n = text.size() < field.width ? text.size() : field.width;
    if (n > kLength - start) n = kLength - start;
    text.copy(bytes_.data() + start, n);
  }

  // Sets the field's positions to blanks.
  void Blank(Field field) { Repeat(field, ' '); }

  // Puts a text into the field filled with blanks first, so a shorter text
  // leaves the rest blank.
  void PutPadded(Field field, std::string_view text) {
    Blank(field);
    Put(field, text);
  }

  // Sets the field to its fill: blanks, zeros ("0" for a right not held), or
  // its constant.
  void Fill(Field field) {
    switch (field.fill) {
      case dnl::Fill::kBlank:
        Blank(field);
        return;
      case dnl::Fill::kZeros:
        Repeat(field, '0');
        return;
      case dnl::Fill::kConstant:
        PutPadded(field, field.constant);
        return;
    }
  }

  // Lays `text` into the field; when that leaves the field blank, its fill
  // goes there instead: a badge without a date has "00000000" for it.
  void PutOrFill(Field field, std::string_view text) {
    Put(field, text);
    if (Text(field).find_first_not_of(' ') == std::string_view::npos) Fill(field);
  }

  std::string_view Text(Field field) const { return Bytes().substr(field.position - 1, field.width); }

  std::string_view Bytes() const { return std::string_view(bytes_.data(), kLength); }

 private:
  void Repeat(Field field, char c) {
    for (std::size_t i = field.position - 1; i < kLength && i < field.position - 1 + field.width;
         ++i) {
      bytes_[i] = c;
    }
  }

  std::array<char, kLength> bytes_;
};

// The badge number and an access class are as wide in every fixed layout.
inline constexpr std::size_t kBadgeNumberWidth =
    dnl::FieldOf<dnl::Layout::kMgDnl17P>("badge number").width;
inline constexpr std::size_t kAccessClassWidth =
    dnl::FieldOf<dnl::Layout::kMgDnl31P>("access class").width;
static_assert(dnl::FieldOf<dnl::Layout::kMgDnl18P>("badge number").width == kBadgeNumberWidth &&
              dnl::FieldOf<dnl::Layout::kMgDnl31P>("badge number").width == kBadgeNumberWidth &&
              dnl::FieldOf<dnl::Layout::kMgDnl60P>("badge number").width == kBadgeNumberWidth &&
              dnl::FieldOf<dnl::Layout::kMgDnl17P>("access class 1").width == kAccessClassWidth &&
              dnl::FieldOf<dnl::Layout::kMgDnl60P>("access class 1").width == kAccessClassWidth);

// The whole badge number of the row: LongAswNum when the number was longer
// than AswNum holds, else AswNum.
std::string_view FullBadgeNumber(const BadgeRecord& record);

// True when the row's badge number fits the badge-number positions. When it
// does not, prints "Ausweis %s passt nicht in den Satz, nicht in Datei
// gestellt\n" with the whole number: the badge is left out, since a cut
// number could name another badge.
bool BadgeNumberFits(Diagnostics& diagnostics, const BadgeRecord& record);

// True when every value of the row could be held (UnrepresentableColumn
// empty). When one could not, prints "Ausweis %s: Wert in %s nicht
// darstellbar, nicht in Datei gestellt\n" with the badge number (in a
// printable form) and the column: the row is left out, the run goes on.
bool RowIsRepresentable(Diagnostics& diagnostics, const BadgeRecord& record);

// True when the access class of `entry` fits the class positions. When it
// does not, prints "Ausweis %s Zutrittsklasse %s passt nicht in den Satz,
// nicht in Datei gestellt\n": that class's record is left out, since a cut
// class could name another class.
bool AccessClassFits(Diagnostics& diagnostics, const BadgeRecord& record,
                     const AccessRightEntry& entry);

// The reader number in slot k (1 to 11), or empty when the terminal has no
// reader k.
std::string_view ReaderNumber(const BadgeRecord& record, std::size_t k);

// The readers of the layouts that have them (MGDNL17P, MGDNL60P): fields
// "reader 1" to "reader n", each followed by the access class of that
// reader in "access class k" for the first of them.
template <dnl::Layout L>
inline constexpr std::size_t kReaderCount = dnl::NumberedFieldCount<L>("reader ");
template <dnl::Layout L>
inline constexpr std::size_t kReadersWithClass = dnl::NumberedFieldCount<L>("access class ");

// What a badge row may do on the terminal.
struct TerminalRights {
  bool time = false;    // BadgeRights::Time
  bool access = false;  // BadgeRights::AccessOnReaders: BadgeRights::Classes() holds the classes
};

// Asks the rights of one badge row on the terminal and lays them into a
// layout with readers: "time right" "1" with a time right, else its fill
// "0"; "access right" likewise, and with an access right the reader number
// of each of the layout's readers that the terminal has into its "reader k".
template <dnl::Layout L>
TerminalRights PutRights(FixedRecord<L>& out, BadgeRecord& record, BadgeRights& badgeRights) {
  static constexpr auto kTimeRight = dnl::FieldOf<L>("time right");
  static constexpr auto kAccessRight = dnl::FieldOf<L>("access right");
  static constexpr auto kReaders = dnl::NumberedFields<L, kReaderCount<L>>("reader ");
  TerminalRights rights;
  out.Fill(kTimeRight);
  out.Fill(kAccessRight);
  rights.time = badgeRights.Time(record);
  if (rights.time) out.Put(kTimeRight, "1");
  rights.access = badgeRights.AccessOnReaders(record, kReaderCount<L>);
  if (rights.access) {
    out.Put(kAccessRight, "1");
    for (std::size_t k = 1; k <= kReaders.size(); ++k) {
      const std::string_view reader = ReaderNumber(record, k);
      if (!reader.empty()) out.Put(kReaders[k - 1], reader);
    }
  }
  return rights;
}

// What writing the records of one badge row came to.
struct RowRecords {
  bool written = false;  // at least one record went to the DNL file: the badge counts as written
  bool failed = false;   // a write failed (RunContext::WriteDnl has said so): the writer stops
};

// Writes one record per access class of the badge, in list order. A class that does not fit the class positions gives
// no record (AccessClassFits prints why); for every other class
// `putClass(out, accessClass)` lays it into `out`, and the whole of `out` is
// written. The records of a row thus differ only where the class goes.
// Stops at the first failed write; the records before it stay written.
template <dnl::Layout L, typename PutClass>
RowRecords WriteClassRecords(RunContext& run, FixedRecord<L>& out, const BadgeRecord& record,
                             const AccessRightList& classes, PutClass putClass) {
  RowRecords row;
  for (const AccessRightEntry& entry : classes) {
    if (!AccessClassFits(run.diagnostics, record, entry)) continue;
    putClass(out, FieldText(entry));
    if (!run.WriteDnl(out.Bytes())) {
      row.failed = true;
      break;
    }
    row.written = true;
  }
  return row;
}

// Writes the records of one badge row with a right on the terminal in a
// layout with readers. With an access right, one record per access class as
// WriteClassRecords does, the class put into "access class k" of each of
// those readers that the terminal has; with a time right only, `out` once
// as it is.
template <dnl::Layout L>
RowRecords WriteReaderRecords(RunContext& run, FixedRecord<L>& out, const BadgeRecord& record,
                              const TerminalRights& rights, const AccessRightList& classes) {
  static constexpr auto kClasses =
      dnl::NumberedFields<L, kReadersWithClass<L>>("access class ");
  if (!rights.access) {
    const bool ok = run.WriteDnl(out.Bytes());
    return RowRecords{.written = ok, .failed = !ok};
  }
  return WriteClassRecords(run, out, record, classes,
                           [&record](FixedRecord<L>& r, std::string_view accessClass) {
                             for (std::size_t k = 1; k <= kClasses.size(); ++k) {
                               if (!ReaderNumber(record, k).empty()) {
                                 r.PutPadded(kClasses[k - 1], accessClass);
                               }
                             }
                           });
}

}  // namespace zx
