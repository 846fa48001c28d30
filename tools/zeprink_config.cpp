// zeprink-config: writes and reads ZEPRINK's configuration file, so that its
// enciphered values never need to be edited by hand. The logic lives in
// driver/config_file.h; this is the command line around it.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/config_file.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  zeprink-config create FILE [--force] [--login X] [--pass Y] [--net8 Z] [--db-system W] [--schema S]\n"
    "  zeprink-config set FILE KEY VALUE\n"
    "  zeprink-config set FILE [--login X] [--pass Y] [--net8 Z] [--db-system W] [--schema S]\n"
    "  zeprink-config get FILE KEY\n"
    "\n"
    "create  writes a new configuration file with the keys LOGIN, PASS, NET8, DB_SYSTEM and\n"
    "        SCHEMA, empty unless given by an option. An existing FILE is kept unless --force.\n"
    "set     enciphers VALUE and stores it under KEY (the key's first record is replaced, or\n"
    "        a record is appended); with options, stores each value given.\n"
    "get     prints the deciphered value of KEY as ZEPRINK reads it, followed by a line feed.\n"
    "\n"
    "The file is always replaced whole (written under a temporary name and renamed); a new\n"
    "file is readable by its owner only. Values are at most 96 characters.\n"
    "\n"
    "SCHEMA: ZEPRINK drops the last character of the stored SCHEMA value, so the stored value\n"
    "carries one extra trailing character. --schema takes the plain schema name and appends\n"
    "';' itself. 'set FILE SCHEMA VALUE' stores VALUE exactly as given (give the trailing\n"
    "character yourself), and 'get FILE SCHEMA' shows the stored value, trailing character\n"
    "included.\n"
    "\n"
    "Exit status: 0 done, 1 failed (message on standard error), 2 bad command line.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Failed(const std::string& message) {
  std::fprintf(stderr, "zeprink-config: %s\n", message.c_str());
  return 1;
}

struct Options {
  bool force = false;
  zx::ConfigEntries values;  // given by options, in the order of the file
};

// Parses the options from args[first] on. False on anything unknown, a
// missing argument, or a key given twice.
bool ParseOptions(const std::vector<std::string_view>& args, std::size_t first, bool allowForce, Options& options) {
  static constexpr std::pair<std::string_view, std::string_view> kKeyOptions[] = {
      {"--login", "LOGIN"}, {"--pass", "PASS"}, {"--net8", "NET8"}, {"--db-system", "DB_SYSTEM"}, {"--schema", "SCHEMA"},
  };
  for (std::size_t i = first; i < args.size(); ++i) {
    if (allowForce && args[i] == "--force") {
      options.force = true;
      continue;
    }
    const std::pair<std::string_view, std::string_view>* option = nullptr;
    for (const auto& candidate : kKeyOptions) {
      if (args[i] == candidate.first) option = &candidate;
    }
    if (option == nullptr || i + 1 >= args.size()) return false;
    const std::string key(option->second);
    for (const auto& entry : options.values) {
      if (entry.first == key) return false;
    }
    const std::string_view given = args[++i];
    options.values.emplace_back(key, key == "SCHEMA" ? zx::StoredSchemaValue(given) : std::string(given));
  }
  return true;
}

int Create(const std::string& path, const Options& options) {
  std::error_code ec;
  if (!options.force && std::filesystem::exists(path, ec)) {
    return Failed(path + " exists; use --force to replace it");
  }
  zx::ConfigEntries entries;
  for (const char* key : {"LOGIN", "PASS", "NET8", "DB_SYSTEM", "SCHEMA"}) {
    std::string value;
    for (const auto& given : options.values) {
      if (given.first == key) value = given.second;
    }
    entries.emplace_back(key, value);
  }
  std::string error;
  if (!zx::WriteConfigFile(path, entries, &error)) return Failed(error);
  return 0;
}

int Set(const std::string& path, const zx::ConfigEntries& values) {
  for (const auto& [key, value] : values) {
    std::string error;
    if (!zx::SetConfigValue(path, key, value, &error)) return Failed(error);
  }
  return 0;
}

int Get(const std::string& path, std::string_view key) {
  std::string value;
  switch (zx::FindConfigValue("", key, 0, path, value)) {
    case zx::ConfigLookup::kFound:
      std::fwrite(value.data(), 1, value.size(), stdout);
      std::fputc('\n', stdout);
      return std::fflush(stdout) == 0 ? 0 : Failed("cannot write the value");
    case zx::ConfigLookup::kNoFile:
      return Failed("cannot read " + path);
    case zx::ConfigLookup::kNoRecord:
      return Failed("no record for " + std::string(key) + " in " + path);
    case zx::ConfigLookup::kRefused:
      return Failed("the record for " + std::string(key) + " in " + path +
                    " cannot be read (a line or field too long, a zero byte or a number beyond 32 bits); "
                    "set the key anew");
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::string_view command = args[0];
  const std::string path(args[1]);

  if (command == "create") {
    Options options;
    if (!ParseOptions(args, 2, true, options)) return Usage();
    return Create(path, options);
  }
  if (command == "set") {
    if (args.size() == 4 && !args[2].starts_with("--")) {
      return Set(path, {{std::string(args[2]), std::string(args[3])}});
    }
    Options options;
    if (args.size() < 4 || !ParseOptions(args, 2, false, options)) return Usage();
    return Set(path, options.values);
  }
  if (command == "get") {
    if (args.size() != 3) return Usage();
    return Get(path, args[2]);
  }
  return Usage();
}
