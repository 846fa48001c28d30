// The run's terminal: filled with '0' bytes by the run driver, named from the
// command line and completed by ReadTerminal.
#pragma once

#include <array>
#include <cstdint>

namespace zx {

struct TerminalParams {
  std::array<char, 256> TrmNam;  // terminal name, at most 255 characters
  std::array<char, 11> TrmMod;   // terminal model, at most 10
  std::array<char, 11> TrmSal;   // message set of the terminal, at most 10
  int32_t TfzCount;              // valid badge assignments of the terminal
  // The whole message set when TrmSal cannot hold it (otherwise empty): a
  // cut set would be another set.
  std::array<char, 256> LongTrmSal;
};

// Every byte '0', as the run driver prepares the record before the lookup:
// TfzCount then reads 808464432 and the text fields hold no terminator.
// LongTrmSal, which no lookup result may leave '0'-filled, starts empty.
void FillTerminalParamsWithZeros(TerminalParams& terminal);

}  // namespace zx
