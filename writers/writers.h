// The DNL functions. Each writer walks the badge cursor for the terminal and
// writes its records to the run's DNL file (DnlFile). Returns 1 when the
// cursor ended normally, 0 on failure (a fetch error or a failed write).
#pragma once

#include "queries/terminal_params.h"

namespace zx {

int CreateMgDnl17P(const char* dnlPath, const TerminalParams& terminal);
int CreateMgDnl18P(const char* dnlPath, const TerminalParams& terminal);
int CreateMgDnl31P(const char* dnlPath, const TerminalParams& terminal);
int CreateMgDnl60P(const char* dnlPath, const TerminalParams& terminal);
int CreateIdStamm(const char* dnlPath, const TerminalParams& terminal);

}  // namespace zx
