#include "driver/dnl_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <mutex>

#include "driver/signal_cleanup.h"

namespace zx {

namespace {

// The process's file mode creation mask, read once: setting it to read it
// back must not happen while another run of the process creates a file.
mode_t ProcessUmask() {
  static std::once_flag once;
  static mode_t mask = 022;
  std::call_once(once, [] {
    // Where the system says it, it is read without touching it.
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status != nullptr) {
      char line[256];
      while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
          mask = static_cast<mode_t>(value);
          std::fclose(status);
          return;
        }
      }
      std::fclose(status);
    }
    mask = ::umask(0);
    ::umask(mask);
  });
  return mask;
}

// The mode a plain create gives a new file.
mode_t NewFileMode() { return 0666 & ~ProcessUmask(); }

}  // namespace

bool DnlFile::Open(const std::string& path, bool newFile, const std::vector<std::string>& refuseFiles,
                   bool keepEqualFile) {
  path_ = path;
  AtomicFileOptions options;
  options.tempSuffix = ".tmp";
  options.keepContent = !newFile;
  options.refuseReadOnlyTarget = true;
  options.newFileMode = NewFileMode();
  options.watcher = &SignalTempFileWatcher();
  options.refuseUntrustedLinks = true;
  options.refuseOpenFiles = true;
  options.refuseFiles = refuseFiles;
  options.keepEqualTarget = keepEqualFile;
  return file_.Open(path, options);
}

}  // namespace zx
