// Replacing a file by a complete new one: the new content goes into a
// temporary file beside the file and is renamed over it. The DNL file and the
// configuration file are replaced this way.
#pragma once

#include <sys/stat.h>

#include <string>

namespace zx {

// The file that opening `path` for writing reaches: `path` itself or, when
// it is a symbolic link, the file that the link names, followed through
// further links (a relative link counts from the directory that holds it); a
// dangling link gives the file that writing would create. Renaming over the
// result replaces the file and keeps the link. Returns false (errno set)
// when a link cannot be read or the links loop.
bool ResolveLinks(const std::string& path, std::string& target);

// Creates an empty file, readable and writable by its owner only, beside
// `target`: named `target` + `suffix` + six random characters or, where that
// name is too long for the file system, "zeprink.tmp" + six random
// characters in the same directory. Returns its descriptor (close-on-exec)
// and sets `tempPath`; -1 (errno set) on failure.
int CreateTempBeside(const std::string& target, const char* suffix, std::string& tempPath);

// Gives the file open as `fd` the owner, group and permission bits of the
// file `existing` describes, so that the replacement reads for everybody as
// the file it replaces. Owner and group are kept as far as the process may
// give them away (that needs privileges). False when the permission bits
// cannot be set.
bool CopyOwnerAndMode(int fd, const struct stat& existing);

}  // namespace zx
