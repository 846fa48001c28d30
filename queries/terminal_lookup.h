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

// Whether the system knows the terminal name at all: a row of the terminal
// table with any status, or a badge assignment row of the name. Returns 0
// with `known` set, or the code of the statement that failed (`known` is
// then unchanged).
int32_t FindTerminalName(SqlSession& session, const TerminalParams& terminal, bool& known);

}  // namespace zx
