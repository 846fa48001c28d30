#include "queries/terminal_lookup.h"

#include <array>
#include <cstring>
#include <string_view>

#include "base/fixed_text.h"
#include "queries/statements.h"

namespace zx {

void FillTerminalParamsWithZeros(TerminalParams& terminal) {
  std::memset(&terminal, '0', sizeof terminal);
  ClearField(terminal.LongTrmSal);
}

int32_t ReadTerminal(SqlSession& session, TerminalParams& terminal) {
  // The name may fill all 255 characters; bind it terminated.
  std::array<char, 256> name{};
  SetField(name, FieldText(terminal.TrmNam));

  // Both outputs start empty, so a NULL column yields an empty text. The
  // message set is read wider than TrmSal holds, so that a longer one is
  // seen instead of arriving cut.
  std::array<char, 11> trmMod{};
  std::array<char, 256> trmSal{};
  const HostVar outputs[] = {StringVar(trmMod.data(), 11), StringVar(trmSal.data(), 256)};
  const HostVar inputs[] = {StringIn(name.data(), 256)};
  const int32_t found = session.SelectInto(statements::kSelectTerminal, outputs, inputs);
  if (found != sqlcode::kOk) return found;
  terminal.TrmMod = trmMod;
  if (SetField(terminal.TrmSal, FieldText(trmSal))) {
    ClearField(terminal.LongTrmSal);
  } else {
    SetField(terminal.LongTrmSal, FieldText(trmSal));
  }

  int32_t count = 0;
  const HostVar countOut[] = {IntegerVar(&count)};
  const int32_t counted = session.SelectInto(statements::kCountAssignments, countOut, inputs);
  if (counted == sqlcode::kOk) terminal.TfzCount = count;
  return counted;
}

int32_t FindTerminalName(SqlSession& session, const TerminalParams& terminal, bool& known) {
  std::array<char, 256> name{};
  SetField(name, FieldText(terminal.TrmNam));
  const HostVar inputs[] = {StringIn(name.data(), 256)};
  for (const std::string_view statement :
       {statements::kCountTerminalNames, statements::kCountAssignmentNames}) {
    int32_t count = 0;
    const HostVar countOut[] = {IntegerVar(&count)};
    const int32_t counted = session.SelectInto(statement, countOut, inputs);
    if (counted != sqlcode::kOk) return counted;
    if (count > 0) {
      known = true;
      return sqlcode::kOk;
    }
  }
  known = false;
  return sqlcode::kOk;
}

}  // namespace zx
