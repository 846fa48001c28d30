// Replacing a file by a complete new one: the new content goes into a
// temporary file beside the file, is flushed to disk and renamed over it, and
// the rename is made durable by flushing the directory. A reader of the file
// sees either the old or the complete new content, never a part. The DNL file
// and the configuration file are replaced this way.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zx {

// Told when a temporary file exists under a name that nobody else uses, and
// when that stops (renamed into place or removed), so that a run ended by a
// signal can remove it. Called on the thread that uses the AtomicFile.
class TempFileWatcher {
 public:
  virtual ~TempFileWatcher() = default;
  // Returns what Unwatch takes for this file (negative: not watched).
  virtual int Watch(const std::string& tempPath) = 0;
  virtual void Unwatch(int watch) = 0;
};

// Why Open refused a path that the system itself would have let it use.
struct FileRefusal {
  enum class Kind {
    kNone,
    // A symbolic link that the kernel's rule for links in shared directories
    // (protected symlinks) does not let the process follow: it lies in a
    // directory that everybody may write and that has the sticky bit, and
    // neither the process's user nor the directory's owner owns it.
    // `name`: the link; `owner`: its owner.
    kUntrustedLink,
    // The path ends in '/': it names a directory, not a file.
    kDirectoryName,
    // The target is a file the process has open (the same device and
    // inode): its database, an output redirected into it. `name`: how the
    // system names the open file.
    kOpenByProcess,
    // The target is one of AtomicFileOptions::refuseFiles. `name`: that entry.
    kRefusedFile,
  };
  Kind kind = Kind::kNone;
  std::string name;
  uid_t owner = 0;
};

struct AtomicFileOptions {
  // The temporary name is the target's name, this suffix and six random
  // characters ("zeprink.tmp" and six characters where that is too long).
  const char* tempSuffix = ".tmp";
  // Start the new content with a copy of the old file's (a missing file is
  // an empty one); otherwise it starts empty.
  bool keepContent = false;
  // An existing file that the process may not write is not replaced.
  bool refuseReadOnlyTarget = false;
  // Permission bits of a file that did not exist before; unset: readable and
  // writable by its owner only. A replaced file keeps its owner and mode.
  std::optional<mode_t> newFileMode;
  TempFileWatcher* watcher = nullptr;
  // Refuse a link that the kernel's rule for links in shared directories
  // would not follow (FileRefusal::kUntrustedLink). Resolved in the
  // program, a link escapes that rule: a link another user plants in /tmp
  // would have the file it names replaced.
  bool refuseUntrustedLinks = false;
  // Refuse a target that is a file the process has open, or one of these
  // files (compared by device and inode, so also through another name).
  bool refuseOpenFiles = false;
  std::vector<std::string> refuseFiles;
  // A new content equal byte for byte to the file's leaves the file as it
  // is (the same inode and modification time), so that what copies files
  // on when they change sees no change; Replaced() tells which it was.
  bool keepEqualTarget = false;
};

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // discards an uncommitted temporary file
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Prepares the temporary file for `path`. When `path` is a symbolic link,
  // the file it names (followed through further links) is the one replaced
  // and the link stays. False (Error() tells why, and Refusal() for a path
  // refused by the options or ending in '/') when the path is empty, names
  // no regular file, a link cannot be followed, the old file cannot be
  // used or the temporary file cannot be made. Nothing is created then.
  bool Open(const std::string& path, const AtomicFileOptions& options);

  // Appends bytes. Once a write has failed, every later Write and the
  // Commit fail too: a file with a hole never replaces the old one.
  //
  // The bytes reach the file in blocks (kPendingBytes), but the room for
  // them is reserved on the file system as they come (fallocate, a step of
  // kReserveStep at a time, within the process's file size limit): a full
  // disk, a quota or the size limit fails the Write that does not fit, as
  // writing it at once would. Only an error of the device itself shows at
  // the Write that sends the block (or at the Commit). Where the file
  // system cannot reserve room, every Write goes to the file at once.
  bool Write(std::string_view bytes);

  // Flushes the temporary file to disk, lets `verify` look at it (by its
  // name) when given, renames it over the target and flushes the directory.
  // False when any step failed; the target is then unchanged and the
  // temporary file gone.
  bool Commit(const std::function<bool(const std::string& tempPath)>& verify = {});

  // Removes the temporary file; the target stays as it was.
  void Discard();

  // The last successful Commit renamed the new content over the target;
  // false when the target already held it byte for byte (keepEqualTarget).
  bool Replaced() const { return replaced_; }

  // errno of the last failure (0 when none).
  int Error() const { return error_; }
  const FileRefusal& Refusal() const { return refusal_; }
  // The directory whose refusal made Open fail (no temporary file could be
  // made there: no write permission, a read-only or full file system);
  // empty when the failure was the file's own.
  const std::string& FailedDirectory() const { return failedDirectory_; }
  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return tempPath_; }

  // Test seam: the n-th Write (counted from 1) fails as a full disk would.
  void FailAtWriteForTesting(int n) { failAtWrite_ = n; }

 private:
  static constexpr std::size_t kPendingBytes = 16 * 1024;
  static constexpr off_t kReserveStep = 1024 * 1024;

  bool Fail();
  void Unwatch();
  // Makes the file hold room up to `end`; false (error_ set) when it cannot.
  bool Reserve(off_t end);
  // Writes the pending bytes; false (error_ set) when that failed.
  bool FlushPending();
  // Writes bytes to the file at once; false (error_ set) when that failed.
  bool WriteNow(const char* data, std::size_t size);

  std::string target_;
  std::string failedDirectory_;
  std::string tempPath_;
  TempFileWatcher* watcher_ = nullptr;
  int watch_ = -1;
  int fd_ = -1;
  std::vector<char> pending_;  // bytes not yet written, within the reserved room
  off_t written_ = 0;          // the file's bytes written so far
  off_t reserved_ = 0;         // the file's size: written, then reserved room
  off_t sizeLimit_ = -1;       // RLIMIT_FSIZE; -1 none
  bool reserving_ = true;      // false: the file system cannot reserve room
  bool keepEqualTarget_ = false;
  bool replaced_ = false;
  int writes_ = 0;
  int failAtWrite_ = 0;
  bool writeFailed_ = false;
  int error_ = 0;
  FileRefusal refusal_;
};

// The file that opening `path` for writing reaches: `path` itself or, when
// it is a symbolic link, the file that the link names, followed through
// further links (a relative link counts from the directory that holds it); a
// dangling link gives the file that writing would create. Returns false
// (errno set) when a link cannot be read or the links loop; with `untrusted`,
// also for a link that the kernel's rule for links in shared directories
// would not follow (errno EACCES, the link and its owner in `*untrusted`).
bool ResolveLinks(const std::string& path, std::string& target, FileRefusal* untrusted = nullptr);

}  // namespace zx
