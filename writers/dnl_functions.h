// The DNL functions of the program, in one table: each one's layout (whose
// name is the function's: the first command-line parameter, upper-cased),
// its writer and the message a failed writer ends with. The run driver, the
// site's job reader, the help text and zeprink-explain all read it; a new
// DNL function is one row here, its layout in base/dnl_layouts.h and its
// writer.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "base/dnl_layouts.h"
#include "queries/terminal_params.h"
#include "writers/run_context.h"

namespace zx {

using Writer = int (*)(RunContext&, const TerminalParams&);

struct DnlFunction {
  constexpr DnlFunction(const dnl::LayoutInfo& layoutOfFile, Writer writerOfFile)
      : layout(&layoutOfFile), name(layoutOfFile.name), writer(writerOfFile) {}

  const dnl::LayoutInfo* layout;  // the records it writes
  std::string_view name;          // its layout's name
  Writer writer;                  // writers/writers.h

  // What a run prints when the writer reports failure:
  // "Programmabbruch: Fehler bei Erstellung der Datei <name>!\n".
  std::string FailureMessage() const;
};

// Every DNL function, in the order in which the driver tests them.
std::span<const DnlFunction> DnlFunctions();

// The DNL function of an upper-cased name; nullptr for none.
const DnlFunction* FindDnlFunction(std::string_view upperName);

// The names of all DNL functions, separated by ", " (the last by
// `lastSeparator`, e.g. " oder ").
std::string DnlFunctionNames(std::string_view lastSeparator = ", ");

}  // namespace zx
