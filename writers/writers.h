// The DNL functions. Each writer walks the badge cursor for the terminal and
// writes its records to the run's DNL file (run.dnl), printing its messages
// to run.diagnostics. Returns 1 when the cursor ended normally, 0 on failure
// (a fetch error or a failed write).
#pragma once

#include <string_view>

#include "queries/terminal_params.h"
#include "writers/run_context.h"

namespace zx {

// The terminal model whose MGDNL18P records show a badge's own display
// texts (from its message set AswSal) instead of the terminal's.
inline constexpr std::string_view kBadgeTextModel = "7744-010";

int CreateMgDnl17P(RunContext& run, const TerminalParams& terminal);
int CreateMgDnl18P(RunContext& run, const TerminalParams& terminal);
int CreateMgDnl31P(RunContext& run, const TerminalParams& terminal);
int CreateMgDnl60P(RunContext& run, const TerminalParams& terminal);
int CreateIdStamm(RunContext& run, const TerminalParams& terminal);

}  // namespace zx
