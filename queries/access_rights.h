// Time and access rights of a badge on a terminal, and the terminal's readers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "queries/badge_record.h"
#include "sql/session.h"

namespace zx {

// One access class, "%-3s", at most 15 characters plus terminator.
using AccessRightEntry = std::array<char, 16>;

// The access classes of one badge on the terminal, distinct, in descending
// order; CollectAccessRights replaces them for every badge.
using AccessRightList = std::vector<AccessRightEntry>;

// The terminal's readers as CollectAccessRights lays them into the reader
// slots. They depend on the terminal alone, so a run reads them once: the
// first call fills this, later calls for the same terminal and reader limit
// take them from here. A read that did not end normally is not kept.
struct TerminalReaders {
  bool loaded = false;
  std::string terminalName;
  int32_t maxReader = 0;
  std::array<bool, 11> present{};  // reader k + 1 is there
};

// The rights of a run's terminal and of the badge asked last. The terminal's
// right rows depend on the terminal alone and are read once; a badge's
// classes are read once for both of its questions (time right, access
// classes), which are then answered from these rows as the statements
// kCountTimeRights and kAccessClasses answer them: a right row counts when
// its class equals one of the badge's classes, byte for byte. A read that
// does not end normally is not kept: the question then goes to its
// statement, as without this.
struct RightsCache {
  struct Right {
    std::string accessClass;
    bool time = false;  // M35Bch '1'; '0' is an access right, other kinds neither
  };
  bool terminalLoaded = false;
  std::string terminalName;
  std::vector<Right> rights;

  bool badgeLoaded = false;
  std::string badgeNumber;
  std::vector<std::string> badgeClasses;  // sorted, distinct
};

// 1 when the badge (record.AswNum) has a time right on the terminal, else 0
// (an SQL error counts as no right). Prints "Aws: %s Zeitberechtigung: %d\n"
// as a diagnostic line.
int HasTimeRight(SqlSession& session, Diagnostics& diagnostics, const BadgeRecord& record,
                 const char* terminalName, RightsCache* cache = nullptr);

// Fills `list` with the badge's access classes on the terminal; with
// withReaders set, also writes "%02d" of every reader 1..min(maxReader, 11)
// of the terminal into record.ReaderSlots (from `readers` when given and
// already read for this terminal and limit). A class longer than an entry
// holds is left out and named in a message. Returns 1 when the list holds
// at least one entry.
int CollectAccessRights(SqlSession& session, Diagnostics& diagnostics, BadgeRecord& record,
                        const char* terminalName, int32_t maxReader, int withReaders,
                        AccessRightList& list, TerminalReaders* readers = nullptr,
                        RightsCache* cache = nullptr);

// The statements behind the two answers. Texts are NUL-terminated and bound
// as STRING inputs of 256 (at most 255 characters are read). Each returns the
// code of its statement and writes its outputs only when it is 0.

// Number of the terminal's time-right rows ('1') for classes the badge holds.
int32_t CountTimeRights(SqlSession& session, const char* badgeNumber, const char* terminalName,
                        int32_t& count);

// The terminal's valid readers with ZlsLes <= maxReader, ascending. A row
// with NULL ZlsLes is fetched with readerNumber 0.
int32_t OpenZlsCursor(SqlSession& session, SqlCursor& cursor, const char* terminalName,
                      int32_t maxReader);
int32_t FetchZls(SqlCursor& cursor, int32_t& readerNumber, std::array<char, 6>& zko);
int32_t CloseZlsCursor(SqlCursor& cursor);

// The distinct access-right ('0') classes of the badge on the terminal,
// descending. Each class is fetched whole, as stored (at most 255
// characters); CollectAccessRights pads it to an entry.
int32_t OpenAccessClassCursor(SqlSession& session, SqlCursor& cursor, const char* badgeNumber,
                              const char* terminalName);
int32_t FetchAccessClass(SqlCursor& cursor, std::array<char, 256>& accessClass);
int32_t CloseAccessClassCursor(SqlCursor& cursor);

// Adds the entry at the end of `list`. When no storage can be had it prints
// "Fehler beim allokieren von Speicher" (first entry) or "Fehler beim
// reallokieren von Speicher" and leaves the list as it was.
void AppendAccessRight(Diagnostics& diagnostics, AccessRightList& list,
                       const AccessRightEntry& entry);

}  // namespace zx
