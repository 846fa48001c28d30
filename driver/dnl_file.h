// The run's DNL file, replaced atomically: the run writes into a temporary
// file beside the target (in append mode starting with a copy of the old
// content), and only a committed run renames it over the target. A run that
// fails, or is killed, leaves the old file byte for byte as it was; a run
// ended by SIGTERM, SIGINT or SIGHUP also removes its temporary file. When the
// path is a symbolic link, the target is the file the link names; the link
// stays. The new file keeps the old one's owner and permissions.
#pragma once

#include <string>
#include <string_view>

namespace zx {

class DnlFile {
 public:
  DnlFile() = default;
  ~DnlFile();  // discards an uncommitted temporary file
  DnlFile(const DnlFile&) = delete;
  DnlFile& operator=(const DnlFile&) = delete;

  // Prepares the temporary file for `path`: empty when `newFile`, else a
  // copy of the current content (none when the file does not exist yet).
  // Returns false when the directory or the old file cannot be used, and
  // for an existing file that the process may not write.
  bool Open(const std::string& path, bool newFile);

  // Appends bytes. Returns false when the write failed (nothing is printed);
  // once a write has failed, every later Write and the Commit fail too.
  bool Write(std::string_view bytes);

  // Flushes the temporary file to disk and renames it over the target.
  // Returns false when any step failed; the target is then unchanged.
  bool Commit();

  // Removes the temporary file; the target stays as it was.
  void Discard();

  const std::string& Path() const { return path_; }

  // Test seam: the n-th Write (counted from 1) fails as a full disk would.
  void FailAtWriteForTesting(int n) { failAtWrite_ = n; }

 private:
  std::string path_;      // as given, for messages
  std::string target_;    // the file replaced: path_ with its links followed
  std::string tempPath_;
  int fd_ = -1;
  int writes_ = 0;
  bool writeFailed_ = false;
  int failAtWrite_ = 0;
};

// Makes `file` the run's DnlFile that WriteDnl writes to (nullptr: none).
void SetRunDnlFile(DnlFile* file);

}  // namespace zx
