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

}  // namespace zx
