#include "driver/dnl_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/file_replace.h"
#include "driver/run_state.h"

namespace zx {

int Verbose = 0;

namespace {

DnlFile* runDnlFile = nullptr;

// The uncommitted temporary file, for a run that a signal ends: SIGTERM (a
// scheduler's time limit), SIGINT (Ctrl-C) and SIGHUP remove it before the
// process ends by the signal as it would have. The path is kept in a fixed
// buffer because the handler may only make async-signal-safe calls.
std::array<char, 4096> signalTempPath{};
volatile std::sig_atomic_t signalTempSet = 0;

void RemoveTempAndEnd(int signalNumber) {
  if (signalTempSet != 0) ::unlink(signalTempPath.data());
  // SA_RESETHAND has restored the default action: the signal ends the
  // process as soon as the handler returns.
  ::raise(signalNumber);
}

void InstallTempRemoval() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    // A signal the caller ignores (nohup) stays ignored.
    if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemoveTempAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signalNumber, &action, nullptr);
  }
}

void WatchTemp(const std::string& path) {
  signalTempSet = 0;
  // A path the buffer cannot hold stays behind as after SIGKILL.
  if (path.size() >= signalTempPath.size()) return;
  std::memcpy(signalTempPath.data(), path.c_str(), path.size() + 1);
  InstallTempRemoval();
  signalTempSet = 1;
}

void UnwatchTemp() { signalTempSet = 0; }

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

// The mode a plain create gives a new file.
mode_t NewFileMode() {
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
  writeFailed_ = false;
  if (path.empty()) return false;
  // A link is written through: the file it names is replaced, the link stays.
  if (!ResolveLinks(path, target_)) return false;
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return false;
  // A file that may not be written is not replaced either.
  if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return false;
  fd_ = CreateTempBeside(target_, ".tmp", tempPath_);
  if (fd_ < 0) return false;
  WatchTemp(tempPath_);
  const bool ready = exists ? CopyOwnerAndMode(fd_, st) : ::fchmod(fd_, NewFileMode()) == 0;
  if (!ready || (!newFile && !CopyOldContent(target_, fd_))) {
    Discard();
    return false;
  }
  return true;
}

bool DnlFile::Write(std::string_view bytes) {
  if (fd_ < 0 || writeFailed_) return false;
  ++writes_;
  if (failAtWrite_ > 0 && writes_ == failAtWrite_) {
    errno = ENOSPC;
    writeFailed_ = true;
    return false;
  }
  writeFailed_ = !WriteAll(fd_, bytes.data(), bytes.size());
  return !writeFailed_;
}

bool DnlFile::Commit() {
  if (fd_ < 0) return false;
  // A file in which a write failed has a hole: it never replaces the old one.
  bool ok = !writeFailed_ && ::fsync(fd_) == 0;
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  // From here on the name may be the target's: a signal must not remove it.
  UnwatchTemp();
  if (ok) ok = ::rename(tempPath_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    Discard();
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

void DnlFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    UnwatchTemp();
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
