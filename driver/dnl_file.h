// The run's DNL file, replaced atomically (base/atomic_file.h): the run
// writes into a temporary file beside the target (in append mode starting
// with a copy of the old content), and only a committed run renames it over
// the target. A run that fails, or is killed, leaves the old file byte for
// byte as it was; a run ended by SIGTERM, SIGINT or SIGHUP also removes its
// temporary file (driver/signal_cleanup.h). When the path is a symbolic
// link, the target is the file the link names; the link stays. A link is
// followed only where the kernel's rule for links in shared directories
// would follow it. The new file keeps the old one's owner and permissions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "writers/run_context.h"

namespace zx {

class DnlFile final : public DnlSink {
 public:
  DnlFile() = default;

  // Prepares the temporary file for `path`: empty when `newFile`, else a
  // copy of the current content (none when the file does not exist yet).
  // Returns false when the directory or the old file cannot be used, and
  // for an existing file that the process may not write (Error() tells
  // why). Refused, with Refusal() saying why and nothing touched: a path
  // ending in '/', a link the kernel would not follow in its shared
  // directory, a file the process has open (its database, its output) and
  // any of `refuseFiles` (the configuration file). With `keepEqualFile`, a
  // new content equal to the old file's byte for byte leaves the old file
  // untouched (Replaced() then is false).
  bool Open(const std::string& path, bool newFile, const std::vector<std::string>& refuseFiles = {},
            bool keepEqualFile = false);

  // Appends bytes. Returns false when the write failed (nothing is printed);
  // once a write has failed, every later Write and the Commit fail too.
  bool Write(std::string_view bytes) override { return file_.Write(bytes); }

  // Flushes the temporary file to disk and renames it over the target.
  // Returns false when any step failed; the target is then unchanged.
  bool Commit() { return file_.Commit(); }

  // Removes the temporary file; the target stays as it was.
  void Discard() { file_.Discard(); }

  // The last Commit put a new file in place (not an equal one kept).
  bool Replaced() const { return file_.Replaced(); }

  const std::string& Path() const override { return path_; }
  // errno of the last failure (0 when none).
  int Error() const { return file_.Error(); }
  const FileRefusal& Refusal() const { return file_.Refusal(); }
  // The directory that refused the temporary file; empty when none did.
  const std::string& FailedDirectory() const { return file_.FailedDirectory(); }

  // Test seam: the n-th Write (counted from 1) fails as a full disk would.
  void FailAtWriteForTesting(int n) { file_.FailAtWriteForTesting(n); }

 private:
  std::string path_;  // as given, for messages
  AtomicFile file_;
};

}  // namespace zx
