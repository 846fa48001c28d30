// The DNL functions of the program, in one table: each one's name (the
// first command-line parameter, upper-cased), its writer and the message a
// failed writer ends with. The run driver, the site's job reader, the help
// text and zeprink-explain all read it; a new DNL function is one row here
// plus its writer.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "queries/terminal_params.h"
#include "writers/run_context.h"

namespace zx {

using Writer = int (*)(RunContext&, const TerminalParams&);

struct DnlFunction {
  const char* name;            // "MGDNL17P", ..., "IDSTAMM"
  Writer writer;               // writers/writers.h
  const char* failureMessage;  // printed when the writer reports failure
};

// Every DNL function, in the order in which the driver tests them.
std::span<const DnlFunction> DnlFunctions();

// The DNL function of an upper-cased name; nullptr for none.
const DnlFunction* FindDnlFunction(std::string_view upperName);

// The names of all DNL functions, separated by ", " (the last by
// `lastSeparator`, e.g. " oder ").
std::string DnlFunctionNames(std::string_view lastSeparator = ", ");

}  // namespace zx
