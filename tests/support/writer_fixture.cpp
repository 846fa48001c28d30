#include "tests/support/writer_fixture.h"

#include <gtest/gtest.h>

#include "queries/fixed_text.h"
#include "queries/terminal_lookup.h"

namespace zx::test {

std::string BadgeRowsWithClass(std::initializer_list<const char*> numbers,
                               std::string_view accessClass) {
  const std::string c(accessClass);
  std::string rows;
  for (const char* number : numbers) {
    const std::string b = number;
    rows += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES ('" + b + "', '2000-01-01 00:00:00', 'P');\n"
            "INSERT INTO Zdx113Awv (AwvNum) VALUES ('" + b + "');\n"
            "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + b + "', '" + c + "');\n";
  }
  return rows;
}

TerminalParams ReadTestTerminal(const char* name) {
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, name);
  ReadTerminal(terminal);
  return terminal;
}

WriterRun RunWriter(int (*writer)(const char*, const TerminalParams&), DnlFile& file,
                    const TerminalParams& terminal) {
  SetRunDnlFile(&file);
  testing::internal::CaptureStdout();
  WriterRun run;
  run.result = writer(file.Path().c_str(), terminal);
  run.out = testing::internal::GetCapturedStdout();
  SetRunDnlFile(nullptr);
  return run;
}

}  // namespace zx::test
