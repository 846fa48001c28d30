#include "queries/terminal_lookup.h"

#include <array>
#include <cstring>

#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"

namespace zx {

namespace {

constexpr const char* kSelectTerminal =
    "select TRMMOD ,TRMSAL into :b0:b1,:b2:b3  from Zardonix.Zdx1140Trm where (TrmNam=:b4 and "
    "((TrmSta<>4 and TrmSta<>8) or TrmSta is null ))";

constexpr const char* kCountAssignments =
    "select count(*)  into :b0:b1  from Zardonix.Zdx115Tfz where (TfzTrm=:b2 and ((TfzSta<>4 "
    "and TfzSta<>8) or TfzSta is null ))";

}  // namespace

void FillTerminalParamsWithZeros(TerminalParams& terminal) {
  std::memset(&terminal, '0', sizeof terminal);
}

int32_t ReadTerminal(TerminalParams& terminal) {
  // The name may fill all 255 characters; bind it terminated.
  std::array<char, 256> name{};
  SetField(name, FieldText(terminal.TrmNam));

  // Both outputs start empty, so a NULL column yields an empty text.
  std::array<char, 11> trmMod{};
  std::array<char, 11> trmSal{};
  const HostVar outputs[] = {StringVar(trmMod.data(), 11), StringVar(trmSal.data(), 11)};
  const HostVar inputs[] = {StringIn(name.data(), 256)};
  if (SqlSelectInto(kSelectTerminal, outputs, inputs) != 0) return SQLCODE;
  terminal.TrmMod = trmMod;
  terminal.TrmSal = trmSal;

  int32_t count = 0;
  const HostVar countOut[] = {IntegerVar(&count)};
  if (SqlSelectInto(kCountAssignments, countOut, inputs) == 0) terminal.TfzCount = count;
  return SQLCODE;
}

}  // namespace zx
