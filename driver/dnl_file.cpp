#include "driver/dnl_file.h"

#include <sys/stat.h>

#include "driver/signal_cleanup.h"

namespace zx {

namespace {

// The mode a plain create gives a new file.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool DnlFile::Open(const std::string& path, bool newFile) {
  path_ = path;
  AtomicFileOptions options;
  options.tempSuffix = ".tmp";
  options.keepContent = !newFile;
  options.refuseReadOnlyTarget = true;
  options.newFileMode = NewFileMode();
  options.watcher = &SignalTempFileWatcher();
  return file_.Open(path, options);
}

}  // namespace zx
