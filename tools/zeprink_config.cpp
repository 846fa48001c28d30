// zeprink-config: writes, reads and checks ZEPRINK's configuration file, so
// that its enciphered values never need to be edited by hand. The file's
// format lives in base/config_file.h, the run's reading of it in
// driver/run_config.h; this is the command line around them.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/config_file.h"
#include "driver/db_session.h"
#include "driver/run_config.h"
#include "driver/run_driver.h"
#include "sql/session.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  zeprink-config create FILE [--force] [--login X] [--pass Y] [--net8 Z] [--db-system W] [--schema S]\n"
    "  zeprink-config set FILE [--force] KEY VALUE\n"
    "  zeprink-config set FILE [--login X] [--pass Y] [--net8 Z] [--db-system W] [--schema S]\n"
    "  zeprink-config get FILE KEY\n"
    "  zeprink-config check [FILE]\n"
    "  zeprink-config --help\n"
    "\n"
    "create  writes a new configuration file with the keys LOGIN, PASS, NET8, DB_SYSTEM and\n"
    "        SCHEMA, empty unless given by an option. An existing FILE is kept unless --force.\n"
    "set     enciphers VALUE and stores it under KEY (the key's first record is replaced, or\n"
    "        a record is appended); with options, stores each value given. KEY is one of\n"
    "        LOGIN, PASS, NET8, DB_SYSTEM, SCHEMA; --force stores any other key anyway.\n"
    "get     prints the deciphered value of KEY as stored, followed by a line feed.\n"
    "check   reads FILE as zeprink reads it (default ../../files/morvalent.ini, relative to\n"
    "        the working directory, as zeprink looks for it), shows what it found (never the\n"
    "        password), connects to the database and makes the schema current. Run it in\n"
    "        zeprink's working directory: a relative sqlite: path is taken from there.\n"
    "\n"
    "The file is always replaced whole (written under a temporary name and renamed). A new\n"
    "file gets mode 0600 (readable by its owner only); a replaced file keeps its mode, which\n"
    "this tool never widens. The cipher only hides the values from a casual look: every copy\n"
    "of the program holds its key. The mode is what protects them. Values are at most 96\n"
    "characters.\n"
    "\n"
    "SCHEMA: ZEPRINK drops the last character of the stored SCHEMA value, so the file stores\n"
    "the schema name followed by ';'. Both 'set FILE SCHEMA NAME' and --schema NAME take the\n"
    "plain name and append the ';'; a value that already ends in ';' is stored as given.\n"
    "'get FILE SCHEMA' shows the stored value, ';' included.\n"
    "\n"
    "Exit status: 0 done (check: connected), 1 failed (message on standard error), 2 bad\n"
    "command line.\n";

constexpr std::string_view kKeys[] = {"LOGIN", "PASS", "NET8", "DB_SYSTEM", "SCHEMA"};

// A bad command line: says what is wrong, not the whole usage.
int Bad(const std::string& what) {
  std::fprintf(stderr, "zeprink-config: %s (zeprink-config --help shows the usage)\n", what.c_str());
  return 2;
}

int Failed(const std::string& message) {
  std::fprintf(stderr, "zeprink-config: %s\n", message.c_str());
  return 1;
}

bool KnownKey(std::string_view key) {
  for (const std::string_view known : kKeys) {
    if (key == known) return true;
  }
  return false;
}

// The value as the file stores it: a SCHEMA name gets its trailing ';'.
std::string Stored(std::string_view key, std::string_view value) {
  return key == "SCHEMA" ? zx::StoredSchemaValue(value) : std::string(value);
}

struct Options {
  bool force = false;
  zx::ConfigEntries values;  // given by options, in the order of the file
};

// Parses the options from args[first] on. Returns the complaint about the
// first bad one (unknown, without its value, given twice), else empty.
std::string ParseOptions(const std::vector<std::string_view>& args, std::size_t first, bool allowForce,
                         Options& options) {
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
    const std::string name(args[i]);
    if (option == nullptr) return "unknown option '" + name + "'";
    if (i + 1 >= args.size()) return "option " + name + " needs a value";
    const std::string key(option->second);
    for (const auto& entry : options.values) {
      if (entry.first == key) return "option " + name + " given twice";
    }
    options.values.emplace_back(key, Stored(key, args[++i]));
  }
  return {};
}

int Create(const std::string& path, const Options& options) {
  std::error_code ec;
  if (!options.force && std::filesystem::exists(path, ec)) {
    return Failed(path + " exists; use --force to replace it");
  }
  zx::ConfigEntries entries;
  for (const std::string_view key : kKeys) {
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

// Reads the file as a run does, shows what a run would use and connects.
int Check(const std::string& path) {
  const std::string shown = zx::AbsolutePath(path);
  if (const int error = zx::ConfigFileError(path); error != 0) {
    return Failed("cannot read " + shown + ": " + std::strerror(error));
  }
  std::printf("file:      %s\n", shown.c_str());
  if (const unsigned mode = zx::ConfigFileReadableByOthers(path); mode != 0) {
    std::printf("warning:   mode %04o lets group or others read the file; chmod 600 %s\n", mode, shown.c_str());
  }
  zx::RunConfig config;
  if (const std::string refused = zx::ReadRunConfig(path, config); !refused.empty()) {
    std::fflush(stdout);
    return Failed("the record for " + refused + " cannot be read; zeprink would stop here. Set it anew.");
  }
  std::printf("LOGIN:     %s\n", config.user.c_str());
  std::printf("PASS:      %s\n", config.password.empty() ? "(empty)" : "(set)");
  std::printf("NET8:      %s\n", config.netService.c_str());
  std::printf("DB_SYSTEM: %s\n", config.dbSystem.c_str());
  std::printf("SCHEMA:    %s (as zeprink uses it)\n", config.schema.c_str());
  std::fflush(stdout);
  zx::SqlSession session;
  const int32_t code = zx::ConnectDatabase(session, config.user.c_str(), config.password.c_str(),
                                           config.netService.c_str(), config.schema.c_str());
  if (code != 0) {
    const std::string words = session.LastStatus().code == code ? session.LastStatus().message : std::string();
    return Failed(std::string(session.Connected() ? "schema cannot be made current" : "cannot connect") +
                  ", code " + std::to_string(code) + (words.empty() ? "" : ": " + words));
  }
  std::printf("connected, schema %s is current\n", config.schema.c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (args.empty()) return Bad("no command given");
  const std::string_view command = args[0];
  if (command == "check") {
    if (args.size() > 2) return Bad("check takes at most one FILE");
    return Check(args.size() == 2 ? std::string(args[1]) : std::string(zx::kConfigFilePath));
  }
  if (command != "create" && command != "set" && command != "get") {
    return Bad("unknown command '" + std::string(command) + "'");
  }
  if (args.size() < 2) return Bad(std::string(command) + " needs a FILE");
  const std::string path(args[1]);

  if (command == "create") {
    Options options;
    if (const std::string bad = ParseOptions(args, 2, true, options); !bad.empty()) return Bad(bad);
    return Create(path, options);
  }
  if (command == "set") {
    // "set FILE [--force] KEY VALUE"
    const bool force = args.size() > 2 && args[2] == "--force";
    const std::size_t key = force ? 3 : 2;
    if (args.size() == key + 2 && !args[key].starts_with("--")) {
      if (!force && !KnownKey(args[key])) {
        return Failed("unknown key '" + std::string(args[key]) +
                      "': zeprink reads LOGIN, PASS, NET8, DB_SYSTEM and SCHEMA; use --force to store it anyway");
      }
      return Set(path, {{std::string(args[key]), Stored(args[key], args[key + 1])}});
    }
    if (force) return Bad("set FILE --force takes KEY VALUE");
    if (args.size() < 4) return Bad("set needs KEY VALUE or at least one option with its value");
    Options options;
    if (const std::string bad = ParseOptions(args, 2, false, options); !bad.empty()) return Bad(bad);
    return Set(path, options.values);
  }
  if (args.size() != 3) return Bad("get needs FILE and one KEY");
  return Get(path, args[2]);
}
