// Process-wide values of the run that the writers and queries share.
#pragma once

#include <string_view>

namespace zx {

// 1 while the option "/d" is set: diagnostic lines are printed.
extern int Verbose;

// Appends bytes to the run's DNL file. Returns false when the write failed;
// the message naming the file has then been printed and the writer must
// stop and report failure (the old file is kept).
bool WriteDnl(std::string_view bytes);

}  // namespace zx
