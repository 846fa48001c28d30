// Writers run in the process, for what the end-to-end runs cannot bring
// about (a DNL file whose k-th write fails): badge rows for a test database,
// a terminal read as the run driver reads it, and a writer run with its
// standard output captured.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "driver/dnl_file.h"
#include "queries/terminal_params.h"

namespace zx::test {

// INSERTs for the badges `numbers`: each valid since 2000-01-01, of person
// "P", with the one access class `accessClass`.
std::string BadgeRowsWithClass(std::initializer_list<const char*> numbers,
                               std::string_view accessClass);

// The parameters of terminal `name`, completed by ReadTerminal from the
// connected database as the run driver does.
TerminalParams ReadTestTerminal(const char* name);

// What a writer returned and printed.
struct WriterRun {
  int result = 0;
  std::string out;
};

// Runs `writer` for `terminal` with `file` (opened by the caller) as the
// run's DNL file and the file's path as the path argument. The run's DNL
// file is unset again afterwards; `file` is neither committed nor closed.
WriterRun RunWriter(int (*writer)(const char*, const TerminalParams&), DnlFile& file,
                    const TerminalParams& terminal);

}  // namespace zx::test
