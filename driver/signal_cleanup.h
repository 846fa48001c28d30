// Removal of the run's temporary DNL file when a signal ends the run:
// SIGTERM (a scheduler's time limit), SIGINT (Ctrl-C) and SIGHUP remove it
// before the process ends by the signal as it would have. A signal that the
// process ignores when the watch starts (nohup) stays ignored. This is the
// program's only process-wide state: a signal handler can reach nothing else.
#pragma once

#include <cstddef>

#include "base/atomic_file.h"

namespace zx {

// Temporary files removed on a signal at most at a time (a site run keeps
// its jobs in flight within this).
inline constexpr std::size_t kMaxWatchedTempFiles = 256;

// The watcher that the DNL files report their temporary files to; up to
// kMaxWatchedTempFiles at a time (a run of many jobs writes several at once).
TempFileWatcher& SignalTempFileWatcher();

}  // namespace zx
