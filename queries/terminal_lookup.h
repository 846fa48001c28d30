// The terminal lookup: completes the run's TerminalParams from the terminal
// table and the badge assignments.
#pragma once

#include <cstdint>

#include "queries/terminal_params.h"
#include "sql/session.h"

namespace zx {

// Completes `terminal` (TrmNam set) from the terminal table: TrmMod and
// TrmSal, then TfzCount, the number of valid badge assignments. Returns the
// code of the last statement. When the terminal row is not found (or not
// unique, or an error occurs) the record keeps what it held; when only the
// count fails, TfzCount keeps what it held.
int32_t ReadTerminal(SqlSession& session, TerminalParams& terminal);

}  // namespace zx
