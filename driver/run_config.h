// The run's connection data from the configuration file, read as every run
// reads it, for the run driver and for "zeprink-config check".
#pragma once

#include <string>

#include "sql/connection_settings.h"

namespace zx {

struct RunConfig {
  ConnectionSettings login;  // LOGIN, PASS, NET8
  std::string dbSystem;  // read and kept, used by nothing
  std::string schema;    // as the run uses it: last character dropped, upper-cased
};

// Reads LOGIN, PASS, NET8, DB_SYSTEM and SCHEMA from the file at `path`; a
// missing file or key gives the empty value. Returns the first key whose
// first record cannot be read whole (the run then ends), else empty.
std::string ReadRunConfig(const std::string& path, RunConfig& config);

// errno of opening and reading the file at `path`; 0 when it can be read.
int ConfigFileError(const std::string& path);

// The permission bits of the file at `path` when group or others may read it
// (the values are enciphered, but with a key every copy of the program
// holds: only the mode keeps them from other users); 0 otherwise.
unsigned ConfigFileReadableByOthers(const std::string& path);

// The path as an absolute one, for messages that people read.
std::string AbsolutePath(const std::string& path);

// The same with its links left as they are: the name of a link itself.
std::string AbsoluteName(const std::string& path);

}  // namespace zx
