#include "driver/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

int MakeTemp(const std::string& pattern, std::string& tempPath) {
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) tempPath.assign(name.data());
  return fd;
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

int CreateTempBeside(const std::string& target, const char* suffix, std::string& tempPath) {
  const int fd = MakeTemp(target + suffix + "XXXXXX", tempPath);
  if (fd >= 0 || errno != ENAMETOOLONG) return fd;
  // The target's name fills the name length the directory allows.
  return MakeTemp(DirectoryPrefix(target) + "zeprink.tmpXXXXXX", tempPath);
}

bool CopyOwnerAndMode(int fd, const struct stat& existing) {
  if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
    // Without the right to give the file away, at least its group (one the
    // process belongs to) may still be kept.
    if (::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
      // The replacement then belongs to the process's user and group.
    }
  }
  return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

}  // namespace zx
