// The run driver: one run creates or extends one DNL file for one terminal
// and one DNL function.
#pragma once

#include "base/diagnostics.h"

namespace zx {

// The configuration file, relative to the working directory.
inline constexpr const char* kConfigFilePath = "../../files/morvalent.ini";

// Runs the program with its parameters (without the program name) and
// returns the exit status: 0 on success, -1 on failure.
int RunDriver(int paramCount, const char* const* params);

// The same with the messages going to `out`.
int RunDriver(Diagnostics& out, int paramCount, const char* const* params);

}  // namespace zx
