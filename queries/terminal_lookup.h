#pragma once

#include <cstdint>

#include "queries/terminal_params.h"

namespace zx {

// Completes `terminal` (TrmNam set) from the terminal table: TrmMod and
// TrmSal, then TfzCount, the number of valid badge assignments. Returns the
// SQLCODE of the last statement. When the terminal row is not found (or not
// unique, or an error occurs) the record keeps what it held; when only the
// count fails, TfzCount keeps what it held.
int32_t ReadTerminal(TerminalParams& terminal);

}  // namespace zx
