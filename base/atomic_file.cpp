#include "base/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <string_view>
#include <vector>

namespace zx {

namespace {

// As many links as the system itself follows before it reports a loop.
constexpr int kMaxLinks = 40;

// The directory part of a path with its trailing '/', empty for a bare name.
std::string DirectoryPrefix(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int MakeTemp(const std::string& pattern, std::string& tempPath) {
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) tempPath.assign(name.data());
  return fd;
}

// An empty file, readable and writable by its owner only, beside `target`.
int CreateTempBeside(const std::string& target, const char* suffix, std::string& tempPath) {
  const int fd = MakeTemp(target + suffix + "XXXXXX", tempPath);
  if (fd >= 0 || errno != ENAMETOOLONG) return fd;
  // The target's name fills the name length the directory allows.
  return MakeTemp(DirectoryPrefix(target) + "zeprink.tmpXXXXXX", tempPath);
}

// The replacement reads for everybody as the file it replaces. Owner and
// group are kept as far as the process may give them away (that needs
// privileges); failing that, at least the group the process belongs to.
bool CopyOwnerAndMode(int fd, const struct stat& existing) {
  if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
    (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
  }
  return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

// Writes all bytes, continuing after short writes and interrupts.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies the old file's content into fd. A missing file is an empty one.
// The file is the one Open looked at (`existing`, null when there was none):
// a link or another file put in its place since (in a directory others may
// write) is not read, as its content would go into the new file.
bool CopyOldContent(const std::string& path, int fd, const struct stat* existing) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return errno == ENOENT && existing == nullptr;
  struct stat st {};
  if (::fstat(in, &st) != 0 || existing == nullptr || st.st_dev != existing->st_dev ||
      st.st_ino != existing->st_ino) {
    ::close(in);
    errno = EAGAIN;
    return false;
  }
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(fd, buffer.data(), static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  const int saved = errno;
  ::close(in);
  errno = saved;
  return ok;
}

// The kernel's rule for following a link (protected symlinks): a link in a
// directory that everybody may write and that has the sticky bit is
// followed only when it belongs to the process's user or to the directory's
// owner. Elsewhere any link is followed.
bool MayFollowLink(const std::string& link, const struct stat& linkStatus) {
  if (linkStatus.st_uid == ::geteuid()) return true;
  struct stat directory {};
  if (::stat(DirectoryOf(link).c_str(), &directory) != 0) return false;
  if ((directory.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
  return directory.st_uid == linkStatus.st_uid;
}

// Whether descriptor `fd` is the file `file`; `name` gets the name the
// system gives it.
bool IsOpenAs(int fd, const struct stat& file, std::string& name) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_dev != file.st_dev || st.st_ino != file.st_ino) return false;
  const std::string entry = "/proc/self/fd/" + std::to_string(fd);
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink(entry.c_str(), buffer.data(), buffer.size() - 1);
  name = n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n))
               : "Dateideskriptor " + std::to_string(fd);
  return true;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Whether the process has `file` open, through any of its descriptors; the
// ones the system lists, or without that list every number it may use.
bool OpenByProcess(const struct stat& file, std::string& name) {
  const std::unique_ptr<DIR, DirCloser> fds(::opendir("/proc/self/fd"));
  if (fds) {
    const int own = ::dirfd(fds.get());
    while (const dirent* entry = ::readdir(fds.get())) {
      char* end = nullptr;
      const long fd = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || fd == own) continue;
      if (IsOpenAs(static_cast<int>(fd), file, name)) return true;
    }
    return false;
  }
  struct rlimit limit {};
  const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
  for (rlim_t fd = 0; fd < last; ++fd) {
    if (IsOpenAs(static_cast<int>(fd), file, name)) return true;
  }
  return false;
}

// Whether the regular file `path` holds exactly the `size` bytes of fd.
bool SameContent(int fd, off_t size, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != size) return false;
  const int old = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (old < 0) return false;
  std::vector<char> ours(1 << 16);
  std::vector<char> theirs(ours.size());
  bool same = true;
  for (off_t at = 0; same && at < size;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<off_t>(size - at, static_cast<off_t>(ours.size())));
    const ssize_t a = ::pread(fd, ours.data(), want, at);
    const ssize_t b = ::pread(old, theirs.data(), want, at);
    if (a < 0 && errno == EINTR) continue;
    same = a > 0 && a == b && std::memcmp(ours.data(), theirs.data(), static_cast<std::size_t>(a)) == 0;
    at += a;
  }
  ::close(old);
  return same;
}

}  // namespace

bool ResolveLinks(const std::string& path, std::string& target, FileRefusal* untrusted) {
  target = path;
  std::vector<char> buffer(PATH_MAX + 1);
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat st {};
    // Missing or not a link: this is the file (what cannot be reached shows
    // when it is opened).
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (untrusted != nullptr && !MayFollowLink(target, st)) {
      untrusted->kind = FileRefusal::Kind::kUntrustedLink;
      untrusted->name = target;
      untrusted->owner = st.st_uid;
      errno = EACCES;
      return false;
    }
    const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
    if (n <= 0) {
      if (n == 0) errno = EINVAL;
      return false;
    }
    if (static_cast<std::size_t>(n) >= buffer.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string link(buffer.data(), static_cast<std::size_t>(n));
    target = link.front() == '/' ? link : DirectoryPrefix(target) + link;
  }
  errno = ELOOP;
  return false;
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Unwatch() {
  if (watcher_ != nullptr && watch_ >= 0) watcher_->Unwatch(watch_);
  watch_ = -1;
}

bool AtomicFile::Fail() {
  error_ = errno;
  Discard();
  return false;
}

bool AtomicFile::Open(const std::string& path, const AtomicFileOptions& options) {
  Discard();
  writes_ = 0;
  writeFailed_ = false;
  error_ = 0;
  refusal_ = FileRefusal{};
  replaced_ = false;
  keepEqualTarget_ = options.keepEqualTarget;
  target_.clear();
  failedDirectory_.clear();
  if (path.empty()) {
    errno = ENOENT;
    return Fail();
  }
  // "b.dnl/" names a directory; it is not taken for the file "b.dnl".
  if (path.back() == '/') {
    refusal_.kind = FileRefusal::Kind::kDirectoryName;
    errno = EISDIR;
    return Fail();
  }
  if (!ResolveLinks(path, target_, options.refuseUntrustedLinks ? &refusal_ : nullptr)) return Fail();
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return Fail();
  }
  if (exists && options.refuseOpenFiles && OpenByProcess(st, refusal_.name)) {
    refusal_.kind = FileRefusal::Kind::kOpenByProcess;
    errno = EBUSY;
    return Fail();
  }
  for (std::size_t i = 0; exists && i < options.refuseFiles.size(); ++i) {
    struct stat other {};
    if (::stat(options.refuseFiles[i].c_str(), &other) == 0 && other.st_dev == st.st_dev &&
        other.st_ino == st.st_ino) {
      refusal_ = FileRefusal{FileRefusal::Kind::kRefusedFile, options.refuseFiles[i], 0};
      errno = EBUSY;
      return Fail();
    }
  }
  if (exists && options.refuseReadOnlyTarget &&
      ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    return Fail();
  }
  fd_ = CreateTempBeside(target_, options.tempSuffix, tempPath_);
  if (fd_ < 0) {
    tempPath_.clear();
    failedDirectory_ = DirectoryOf(target_);
    return Fail();
  }
  watcher_ = options.watcher;
  if (watcher_ != nullptr) watch_ = watcher_->Watch(tempPath_);
  bool ready = true;
  if (exists) {
    ready = CopyOwnerAndMode(fd_, st);
  } else if (options.newFileMode) {
    ready = ::fchmod(fd_, *options.newFileMode) == 0;
  }
  if (!ready || (options.keepContent && !CopyOldContent(target_, fd_, exists ? &st : nullptr))) {
    return Fail();
  }
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);
  if (end < 0) return Fail();
  written_ = end;
  reserved_ = end;
  reserving_ = true;
  pending_.clear();
  struct rlimit limit {};
  sizeLimit_ = ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                   ? static_cast<off_t>(limit.rlim_cur)
                   : -1;
  return true;
}

bool AtomicFile::Reserve(off_t end) {
  // A step ahead, but never past the largest file the process may write:
  // reserving there would end the process (SIGXFSZ) where writing the same
  // records would not.
  off_t step = reserved_ + kReserveStep;
  if (sizeLimit_ >= 0 && step > sizeLimit_) step = sizeLimit_;
  if (step > end && ::fallocate(fd_, 0, reserved_, step - reserved_) == 0) {
    reserved_ = step;
    return true;
  }
  if (errno == EOPNOTSUPP || errno == ENOSYS) {
    // The file system cannot reserve: every record is written as it comes.
    reserving_ = false;
    return FlushPending();
  }
  // Exactly what this write needs; what fails here fails as its write would.
  if (::fallocate(fd_, 0, reserved_, end - reserved_) == 0) {
    reserved_ = end;
    return true;
  }
  if (errno == EOPNOTSUPP || errno == ENOSYS) {
    reserving_ = false;
    return FlushPending();
  }
  error_ = errno;
  return false;
}

bool AtomicFile::FlushPending() {
  if (pending_.empty()) return true;
  if (!WriteNow(pending_.data(), pending_.size())) return false;
  pending_.clear();
  return true;
}

bool AtomicFile::WriteNow(const char* data, std::size_t size) {
  if (!WriteAll(fd_, data, size)) {
    error_ = errno;
    return false;
  }
  written_ += static_cast<off_t>(size);
  return true;
}

bool AtomicFile::Write(std::string_view bytes) {
  if (fd_ < 0 || writeFailed_) return false;
  ++writes_;
  if (failAtWrite_ > 0 && writes_ == failAtWrite_) {
    error_ = ENOSPC;
    writeFailed_ = true;
    return false;
  }
  if (reserving_) {
    const off_t end = written_ + static_cast<off_t>(pending_.size() + bytes.size());
    if (end > reserved_ && !Reserve(end)) {
      writeFailed_ = true;
      return false;
    }
  }
  // The block never grows past kPendingBytes: it is sent before bytes that
  // would not fit, and bytes that fill a block on their own go at once (as
  // every write does where the file system cannot reserve room).
  if (pending_.size() + bytes.size() > kPendingBytes && !FlushPending()) {
    writeFailed_ = true;
    return false;
  }
  if (!reserving_ || bytes.size() >= kPendingBytes) {
    writeFailed_ = !WriteNow(bytes.data(), bytes.size());
    return !writeFailed_;
  }
  if (pending_.capacity() < kPendingBytes) pending_.reserve(kPendingBytes);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  return true;
}

bool AtomicFile::Commit(const std::function<bool(const std::string& tempPath)>& verify) {
  if (fd_ < 0) return false;
  // A file in which a write failed has a hole: it never replaces the old one.
  if (writeFailed_ || !FlushPending()) {
    Discard();
    return false;
  }
  // The room reserved beyond the last record is not part of the file.
  if (reserved_ > written_ && ::ftruncate(fd_, written_) != 0) return Fail();
  if (keepEqualTarget_ && !verify && SameContent(fd_, written_, target_)) {
    Discard();
    return true;
  }
  if (::fsync(fd_) != 0) return Fail();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail();
  if (verify && !verify(tempPath_)) {
    error_ = 0;
    Discard();
    return false;
  }
  // From here on the name may be the target's: a signal must not remove it.
  Unwatch();
  if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    error_ = errno;
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  tempPath_.clear();
  replaced_ = true;
  // Make the rename itself durable.
  const int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    Unwatch();
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

}  // namespace zx
