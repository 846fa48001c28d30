// Time and access rights of a badge on a terminal, and the terminal's readers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "queries/badge_record.h"

namespace zx {

// One access class, "%-3s", at most 15 characters plus terminator.
using AccessRightEntry = std::array<char, 16>;

// The access classes of the badge of the last CollectAccessRights call,
// distinct, in descending order; replaced by every call.
extern std::vector<AccessRightEntry> AccessRightList;
extern int32_t AccessRightCount;

// 1 when the badge (record.AswNum) has a time right on the terminal, else 0
// (an SQL error counts as no right). Prints "Aws: %s Zeitberechtigung: %d\n"
// while Verbose is set.
int HasTimeRight(const BadgeRecord& record, const char* terminalName);

// Fills AccessRightList for the badge; with withReaders set, also writes
// "%02d" of every reader 1..min(maxReader, 11) of the terminal into
// record.ReaderSlots. Returns 1 when the list holds at least one entry.
int CollectAccessRights(BadgeRecord& record, const char* terminalName, int32_t maxReader,
                        int withReaders);

// The statements behind the two answers. Texts are NUL-terminated and bound
// as STRING inputs of 256 (at most 255 characters are read). Each returns the
// SQLCODE of its statement and writes its outputs only when it is 0.

// Number of the terminal's time-right rows ('1') for classes the badge holds.
int32_t CountTimeRights(const char* badgeNumber, const char* terminalName, int32_t& count);

// The terminal's valid readers with ZlsLes <= maxReader, ascending. A row
// with NULL ZlsLes is fetched with readerNumber 0.
int32_t OpenZlsCursor(const char* terminalName, int32_t maxReader);
int32_t FetchZls(int32_t& readerNumber, std::array<char, 6>& zko);
int32_t CloseZlsCursor();

// The distinct access-right ('0') classes of the badge on the terminal,
// descending. Each class is fetched whole, as stored (at most 255
// characters); CollectAccessRights pads it to an entry.
int32_t OpenAccessClassCursor(const char* badgeNumber, const char* terminalName);
int32_t FetchAccessClass(std::array<char, 256>& accessClass);
int32_t CloseAccessClassCursor();

// Adds the entry at the end of AccessRightList. When no storage can be had
// it prints "Fehler beim allokieren von Speicher" (first entry) or "Fehler
// beim reallokieren von Speicher" and leaves the list as it was.
void AppendAccessRight(const AccessRightEntry& entry);

}  // namespace zx
