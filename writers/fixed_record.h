// The fixed-length records of the MGDNL17P, MGDNL18P, MGDNL31P and MGDNL60P
// downloads: a record buffer laid out by position, the checks that keep a badge number
// or an access class from being cut to fit its positions, the right flags and
// reader positions, and the writing of one badge row's records, one per
// access class.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "writers/run_context.h"

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

  // Sets the `width` positions from `position` to blanks.
  void Blank(std::size_t position, std::size_t width) {
    for (std::size_t i = position - 1; i < N && i < position - 1 + width; ++i) bytes_[i] = ' ';
  }

  // Puts a field's text into `width` positions filled with blanks first, so
  // a shorter text leaves the rest blank.
  void PutPadded(std::size_t position, std::size_t width, std::string_view text) {
    Blank(position, width);
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

// Sets ReaderSlots 1 to `count` to two blanks: a slot that keeps them after
// CollectAccessRights means the terminal has no such reader.
void BlankReaderSlots(BadgeRecord& record, std::size_t count);

// The reader number in slot k (1 to 11), or empty when the terminal has no
// reader k.
std::string_view ReaderNumber(const BadgeRecord& record, std::size_t k);

// Reader k (from 1) of the MGDNL17P and MGDNL60P layouts takes five
// positions from 31 + 5 * (k - 1): two for the reader number, then three for
// the access class.
constexpr std::size_t ReaderPosition(std::size_t k) { return 31 + 5 * (k - 1); }

// What a badge row may do on the terminal.
struct TerminalRights {
  bool time = false;    // HasTimeRight
  bool access = false;  // CollectAccessRights: AccessRightList holds the classes
};

// Asks the rights of one badge row on the terminal and lays them into the
// MGDNL17P and MGDNL60P layouts: position 22 "1" with a time right, else
// "0"; position 23 "1" with an access right, else "0", and with an access
// right the reader number of each reader 1 to `readerCount` that the
// terminal has into the first two characters of its reader position. The
// reader slots must be blank beforehand (BlankReaderSlots); `readers` keeps
// the terminal's readers for the whole run.
template <std::size_t N>
TerminalRights PutRights(RunContext& run, FixedRecord<N>& out, BadgeRecord& record,
                         const char* terminalName, std::size_t readerCount,
                         AccessRightList& classes, TerminalReaders& readers,
                         RightsCache& rightsCache) {
  TerminalRights rights;
  out.Put(22, 1, "0");
  out.Put(23, 1, "0");
  rights.time =
      HasTimeRight(run.session, run.diagnostics, record, terminalName, &rightsCache) != 0;
  if (rights.time) out.Put(22, 1, "1");
  rights.access = CollectAccessRights(run.session, run.diagnostics, record, terminalName,
                                      static_cast<int32_t>(readerCount), 1, classes,
                                      &readers, &rightsCache) != 0;
  if (rights.access) {
    out.Put(23, 1, "1");
    for (std::size_t k = 1; k <= readerCount; ++k) {
      const std::string_view reader = ReaderNumber(record, k);
      if (!reader.empty()) out.Put(ReaderPosition(k), 2, reader);
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
template <std::size_t N, typename PutClass>
RowRecords WriteClassRecords(RunContext& run, FixedRecord<N>& out, const BadgeRecord& record,
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

// Writes the records of one badge row with a right on the terminal in the
// MGDNL17P and MGDNL60P layouts. With an access right, one record per access
// class as WriteClassRecords does, the class put into the class positions
// of those readers 1 to `readersWithClass` that the terminal has; with a
// time right only, `out` once as it is.
template <std::size_t N>
RowRecords WriteReaderRecords(RunContext& run, FixedRecord<N>& out, const BadgeRecord& record,
                              const TerminalRights& rights, const AccessRightList& classes,
                              std::size_t readersWithClass) {
  if (!rights.access) {
    const bool ok = run.WriteDnl(out.Bytes());
    return RowRecords{.written = ok, .failed = !ok};
  }
  return WriteClassRecords(
      run, out, record, classes,
      [&record, readersWithClass](FixedRecord<N>& r, std::string_view accessClass) {
        for (std::size_t k = 1; k <= readersWithClass; ++k) {
          if (!ReaderNumber(record, k).empty()) {
            r.PutPadded(ReaderPosition(k) + 2, kAccessClassWidth, accessClass);
          }
        }
      });
}

}  // namespace zx
