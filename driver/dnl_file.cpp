#include "driver/dnl_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "driver/run_state.h"

namespace zx {

int Verbose = 0;

namespace {

DnlFile* runDnlFile = nullptr;

// Writes all bytes, continuing after short writes and interrupts.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Copies the old file's content into fd. A missing file is an empty one.
bool CopyOldContent(const std::string& path, int fd) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno == ENOENT;
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return ok;
}

// The mode the new file gets: the old file's, or what a plain create gives.
mode_t TargetMode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

DnlFile::~DnlFile() { Discard(); }

bool DnlFile::Open(const std::string& path, bool newFile) {
  Discard();
  path_ = path;
  writes_ = 0;
  if (path.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  std::string pattern = path + ".tmpXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  fd_ = fd;
  tempPath_.assign(name.data());
  if (::fchmod(fd_, TargetMode(path)) != 0 || (!newFile && !CopyOldContent(path, fd_))) {
    Discard();
    return false;
  }
  return true;
}

bool DnlFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  ++writes_;
  if (failAtWrite_ > 0 && writes_ == failAtWrite_) {
    errno = ENOSPC;
    return false;
  }
  return WriteAll(fd_, bytes.data(), bytes.size());
}

bool DnlFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = ::fsync(fd_) == 0;
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (ok) ok = ::rename(tempPath_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    Discard();
    return false;
  }
  tempPath_.clear();
  // Make the rename itself durable.
  const int dir = ::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void DnlFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

void SetRunDnlFile(DnlFile* file) { runDnlFile = file; }

bool WriteDnl(std::string_view bytes) {
  if (runDnlFile == nullptr) {
    std::printf("Downloadfile: keine Datei geoeffnet!\n");
    return false;
  }
  if (!runDnlFile->Write(bytes)) {
    std::printf("Downloadfile %s konnte nicht geschrieben werden!\n", runDnlFile->Path().c_str());
    return false;
  }
  return true;
}

}  // namespace zx
