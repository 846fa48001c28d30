#include "driver/run_config.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/config_file.h"
#include "base/text_utils.h"

namespace zx {

std::string ReadRunConfig(const std::string& path, RunConfig& config) {
  const struct {
    const char* key;
    std::string* value;
  } keys[] = {{"LOGIN", &config.login.user},
              {"PASS", &config.login.password},
              {"NET8", &config.login.netService},
              {"DB_SYSTEM", &config.dbSystem},
              {"SCHEMA", &config.schema}};
  for (const auto& [key, value] : keys) {
    // Refused, never cut nor passed over for a later record or the empty value.
    if (FindConfigValue("", key, 0, path, *value) == ConfigLookup::kRefused) return key;
  }
  if (!config.schema.empty()) config.schema.pop_back();
  ToUpper(config.schema.data());
  return {};
}

int ConfigFileError(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return errno;
  std::fgetc(file);
  const int error = std::ferror(file) ? errno : 0;
  std::fclose(file);
  return error;
}

unsigned ConfigFileReadableByOthers(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  const unsigned mode = info.st_mode & 07777;
  return (mode & (S_IRGRP | S_IROTH)) != 0 ? mode : 0;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : resolved).string();
}

std::string AbsoluteName(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace zx
