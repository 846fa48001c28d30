// What the programs share on their command line: one convention of exit
// statuses, the version line, and reason lines on standard error that stay
// one line of printable text whatever the data brings.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zx {

// Exit statuses of every program (docs/tools.md).
inline constexpr int kExitDone = 0;     // done (also --help and --version)
inline constexpr int kExitFound = 1;    // done, and found what was asked about (a difference, a finding)
inline constexpr int kExitFailed = 255; // failed or refused, a bad command line too: nothing changed

// "PROGRAM VERSION\n".
std::string VersionLine(std::string_view program);

// Writes "PROGRAM: TEXT" as one line of printable text (PrintableLine) to
// `to`; returns kExitFailed.
int ToolReason(std::FILE* to, std::string_view program, std::string_view text);

// Writes `text` to standard output and flushes it; false when it could not.
bool PrintToStdout(std::string_view text);

}  // namespace zx
