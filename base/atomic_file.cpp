#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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
bool CopyOldContent(const std::string& path, int fd) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno == ENOENT;
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

}  // namespace

bool ResolveLinks(const std::string& path, std::string& target) {
  target = path;
  std::vector<char> buffer(PATH_MAX + 1);
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat st {};
    // Missing or not a link: this is the file (what cannot be reached shows
    // when it is opened).
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
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
  target_.clear();
  failedDirectory_.clear();
  if (path.empty()) {
    errno = ENOENT;
    return Fail();
  }
  if (!ResolveLinks(path, target_)) return Fail();
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return Fail();
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
  if (!ready || (options.keepContent && !CopyOldContent(target_, fd_))) return Fail();
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
