// The command an operator names to hear of a changed DNL file (for example
// to hand it to the program that transfers files to the terminals). It is
// started directly, never through a shell: no word of a terminal name or a
// path is ever read as shell syntax.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zx {

// Runs `program` (found through PATH when it holds no '/') with `args` and
// waits for it; its standard output goes to `reasons` (standard error), so
// that the run's own messages stay as they are. Returns "" when it ended
// with status 0, else why not, in words for the reason line.
std::string RunOnChange(const std::string& program, const std::vector<std::string>& args,
                        std::FILE* reasons);

}  // namespace zx
