// zeprink-config: writes, reads and checks ZEPRINK's configuration file, so
// that its enciphered values never need to be edited by hand. The file's
// format lives in base/config_file.h, the run's reading of it in
// driver/run_config.h; this is the command line around them.

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/config_file.h"
#include "base/tool_cli.h"
#include "driver/db_session.h"
#include "driver/run_config.h"
#include "driver/run_driver.h"
#include "sql/session.h"

namespace {

constexpr char kProgram[] = "zeprink-config";

constexpr char kUsage[] =
    "usage:\n"
    "  zeprink-config create FILE [--force] [--login X] [--pass Y] [--net8 Z] [--db-system W] [--schema S]\n"
    "  zeprink-config set FILE [--force] KEY VALUE\n"
    "  zeprink-config set FILE [--login X] [--pass Y] [--net8 Z] [--db-system W] [--schema S]\n"
    "  zeprink-config get FILE KEY\n"
    "  zeprink-config check [FILE | --config FILE]\n"
    "  zeprink-config --help | --version\n"
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
    "A value given as - (--pass -, or set FILE PASS -) is read from standard input, one\n"
    "line; on a terminal it is asked for without echo. So the password shows neither in the\n"
    "process list nor in the shell's history. Only one value per call can come that way.\n"
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
    "Exit status: 0 done (check: connected); 255 failed or a bad command line (reason on\n"
    "standard error).\n";

// A value of "-" on the command line: read from standard input.
constexpr std::string_view kFromStdin = "-";

constexpr std::string_view kKeys[] = {"LOGIN", "PASS", "NET8", "DB_SYSTEM", "SCHEMA"};

// A bad command line: says what is wrong, not the whole usage.
int Bad(const std::string& what) {
  return zx::ToolReason(stderr, kProgram, what + " (zeprink-config --help shows the usage)");
}

int Failed(const std::string& message) { return zx::ToolReason(stderr, kProgram, message); }

// Switches the terminal's echo off while it lives, and back on.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

// The value of `key` from standard input: one line, its line end (LF or
// CR LF) dropped. On a terminal it is asked for, without echo. False when
// nothing came.
bool ReadValueFromStdin(std::string_view key, std::string& value) {
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  if (terminal) {
    std::fprintf(stderr, "%s: ", std::string(key).c_str());
    std::fflush(stderr);
  }
  bool read = false;
  {
    std::optional<EchoOff> echoOff;
    if (terminal) echoOff.emplace(STDIN_FILENO);
    read = static_cast<bool>(std::getline(std::cin, value));
  }
  if (terminal) std::fputc('\n', stderr);
  if (!value.empty() && value.back() == '\r') value.pop_back();
  return read;
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

// The value given on the command line for `key`, or read from standard
// input for "-" (once per call). Empty `complaint` when it could be had.
std::string GivenValue(std::string_view key, std::string_view given, bool& stdinUsed,
                       std::string& complaint) {
  if (given != kFromStdin) return std::string(given);
  if (stdinUsed) {
    complaint = "only one value can come from standard input (-)";
    return {};
  }
  stdinUsed = true;
  std::string value;
  if (!ReadValueFromStdin(key, value)) complaint = "no value for " + std::string(key) + " on standard input";
  return value;
}

struct Options {
  bool force = false;
  bool stdinUsed = false;
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
    std::string complaint;
    const std::string value = GivenValue(key, args[++i], options.stdinUsed, complaint);
    if (!complaint.empty()) return complaint;
    options.values.emplace_back(key, Stored(key, value));
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
  return zx::kExitFailed;
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
  std::printf("LOGIN:     %s\n", config.login.user.c_str());
  std::printf("PASS:      %s\n", config.login.password.empty() ? "(empty)" : "(set)");
  std::printf("NET8:      %s\n", config.login.netService.c_str());
  std::printf("DB_SYSTEM: %s\n", config.dbSystem.c_str());
  std::printf("SCHEMA:    %s (as zeprink uses it)\n", config.schema.c_str());
  std::fflush(stdout);
  zx::SqlSession session;
  const int32_t code = zx::ConnectDatabase(session, config.login, config.schema.c_str());
  if (code != 0) {
    const std::string words = session.LastStatus().code == code ? session.LastStatus().message : std::string();
    return Failed(std::string(session.Connected() ? "schema cannot be made current" : "cannot connect") +
                  ", code " + std::to_string(code) + (words.empty() ? "" : ": " + words));
  }
  std::printf("connected, schema %s is current\n", config.schema.c_str());
  return std::fflush(stdout) == 0 ? zx::kExitDone : zx::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // A write beyond the file size limit fails as on a full disk (the old
  // file kept, the temporary one removed) instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    return zx::PrintToStdout(kUsage) ? zx::kExitDone : zx::kExitFailed;
  }
  if (args.size() == 1 && args[0] == "--version") {
    return zx::PrintToStdout(zx::VersionLine(kProgram)) ? zx::kExitDone : zx::kExitFailed;
  }
  if (args.empty()) return Bad("no command given");
  const std::string_view command = args[0];
  if (command == "check") {
    // "check FILE" or, as the other programs name it, "check --config FILE".
    const bool option = args.size() == 3 && args[1] == "--config";
    if (args.size() > 2 && !option) return Bad("check takes at most one FILE");
    if (args.size() == 2 && args[1].starts_with("--")) return Bad("check --config needs a FILE");
    return Check(args.size() >= 2 ? std::string(args.back()) : std::string(zx::kConfigFilePath));
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
      bool stdinUsed = false;
      std::string complaint;
      const std::string value = GivenValue(args[key], args[key + 1], stdinUsed, complaint);
      if (!complaint.empty()) return Failed(complaint);
      return Set(path, {{std::string(args[key]), Stored(args[key], value)}});
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
