#include "tests/support/writer_fixture.h"

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "queries/terminal_lookup.h"

namespace zx::test {

bool StringSink::Write(std::string_view bytes) {
  ++writes_;
  if (failAtWrite_ > 0 && writes_ >= failAtWrite_) return false;
  bytes_.append(bytes);
  return true;
}

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

TerminalParams ReadTestTerminal(SqlSession& session, const char* name) {
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, name);
  ReadTerminal(session, terminal);
  return terminal;
}

WriterRun RunWriter(Writer writer, SqlSession& session, const TerminalParams& terminal,
                    StringSink& sink, bool verbose, BadgeFeed* badges) {
  WriterRun run;
  std::string reasons;
  Diagnostics diagnostics(&run.out, &reasons, verbose);
  RunContext context{session, sink, diagnostics};
  context.badges = badges;
  run.result = writer(context, terminal);
  run.dnl = sink.Bytes();
  return run;
}

}  // namespace zx::test
