// Time and access rights of a badge on a terminal, and the terminal's readers.
#pragma once

#include <array>
#include <cstdint>
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

// 1 when the badge (record.AswNum) has a time right on the terminal, else 0
// (an SQL error counts as no right). Prints "Aws: %s Zeitberechtigung: %d\n"
// as a diagnostic line.
int HasTimeRight(SqlSession& session, Diagnostics& diagnostics, const BadgeRecord& record,
                 const char* terminalName);

// Fills `list` with the badge's access classes on the terminal; with
// withReaders set, also writes "%02d" of every reader 1..min(maxReader, 11)
// of the terminal into record.ReaderSlots. A class longer than an entry
// holds is left out and named in a message. Returns 1 when the list holds
// at least one entry.
int CollectAccessRights(SqlSession& session, Diagnostics& diagnostics, BadgeRecord& record,
                        const char* terminalName, int32_t maxReader, int withReaders,
                        AccessRightList& list);

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
