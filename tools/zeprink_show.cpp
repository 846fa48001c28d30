// zeprink-show: shows a DNL file one record per line with the fields of its
// layout named, and lists the badges that differ between two files. The
// layouts live in base/dnl_layouts.h and are read by tools/dnl_layout.h;
// this is the command line around them.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/tool_cli.h"
#include "tools/dnl_layout.h"
#include "tools/dnl_show.h"

namespace {

constexpr char kProgram[] = "zeprink-show";

constexpr char kUsageHead[] =
    "usage:\n"
    "  zeprink-show [--layout NAME] [--format table|csv|json] [--badge NUMBER] [--show-pins] FILE\n"
    "  zeprink-show --diff [--layout NAME] [--show-pins] OLD NEW\n"
    "  zeprink-show --help | --version\n"
    "\n";

constexpr char kUsageTail[] =
    "\n"
    "--format     table (default), csv or json\n"
    "--badge      only the records of that badge number\n"
    "--diff       the badges added, removed and changed from OLD to NEW (one layout)\n"
    "--show-pins  the badges' PINs as they are; without it every PIN shows as ****\n"
    "             (an output that ends up in a ticket or a mail carries no PIN)\n"
    "\n"
    "Exit status: 0 shown (--diff: no difference), 1 --diff found differences,\n"
    "255 refused or failed, or a bad command line (reason on standard error).\n";

// The usage's paragraphs hold at most this many characters a line.
constexpr std::size_t kUsageWidth = 91;

// `text` as lines of whole words, each at most kUsageWidth characters.
std::string Wrapped(std::string_view text) {
  std::string out;
  std::size_t lineStart = 0;
  std::istringstream words{std::string(text)};
  for (std::string word; words >> word;) {
    if (out.size() > lineStart && out.size() - lineStart + 1 + word.size() > kUsageWidth) {
      out += '\n';
      lineStart = out.size();
    } else if (out.size() > lineStart) {
      out += ' ';
    }
    out += word;
  }
  return out + "\n";
}

// The usage, naming every layout of the table.
std::string Usage() {
  std::string layouts;
  for (const zx::dnl::LayoutInfo& layout : zx::dnl::AllLayouts()) {
    layouts.append(layouts.empty() ? "" : ", ").append(layout.name);
  }
  std::string about =
      "Shows the records of a DNL file, one per line, with the fields of its layout named; "
      "Windows-1252 text is shown as UTF-8. The layout (";
  about.append(layouts).append(
      ") is recognised from the file's content and size unless --layout names it; a file that "
      "could be more than one layout, or none, is refused.");
  return std::string(kUsageHead).append(Wrapped(about)).append(kUsageTail);
}

constexpr int kDifferent = zx::kExitFound;

int Failed(const std::string& message) { return zx::ToolReason(stderr, kProgram, message); }

struct Options {
  const zx::dnl::LayoutInfo* layout = nullptr;
  zx::dnl::Format format = zx::dnl::Format::kTable;
  bool diff = false;
  bool badgeGiven = false;
  bool showPins = false;
  std::string badge;  // Windows-1252
  std::vector<std::string> files;
};

// False (after saying why) on anything unknown or incomplete.
bool ParseArgs(const std::vector<std::string_view>& args, Options& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--diff") {
      options.diff = true;
    } else if (arg == "--show-pins") {
      options.showPins = true;
    } else if (arg == "--layout" && hasValue) {
      options.layout = zx::dnl::FindLayout(args[++i]);
      if (options.layout == nullptr) {
        Failed("unknown layout " + std::string(args[i]));
        return false;
      }
    } else if (arg == "--format" && hasValue) {
      if (!zx::dnl::ParseFormat(args[++i], options.format)) {
        Failed("unknown format " + std::string(args[i]) + " (table, csv or json)");
        return false;
      }
    } else if (arg == "--badge" && hasValue) {
      options.badgeGiven = true;
      if (!zx::dnl::Utf8ToWin1252(args[++i], options.badge)) {
        Failed("the badge number has a character that Windows-1252 cannot hold");
        return false;
      }
    } else if (arg.starts_with("--") || (arg.starts_with("-") && arg.size() > 1)) {
      Failed("unknown option " + std::string(arg) + " (zeprink-show --help)");
      return false;
    } else {
      options.files.emplace_back(arg);
    }
  }
  if (options.files.size() != (options.diff ? 2u : 1u)) {
    Failed(options.diff ? "--diff takes two files, OLD and NEW (zeprink-show --help)"
                        : "one FILE expected (zeprink-show --help)");
    return false;
  }
  if (options.diff && (options.badgeGiven || options.format != zx::dnl::Format::kTable)) {
    Failed("--diff takes neither --badge nor --format (zeprink-show --help)");
    return false;
  }
  return true;
}

// The file's bytes; false with the system's words for what is wrong (a
// directory is no file, whatever reading it gives).
bool ReadFile(const std::string& path, std::string& bytes, std::string& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = std::strerror(EISDIR);
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    error = "read error";
    return false;
  }
  bytes = content.str();
  return true;
}

struct LoadedFile {
  const zx::dnl::LayoutInfo* layout = nullptr;
  std::string how;  // how the layout was found
  zx::dnl::Decoded decoded;
};

// Reads and decodes the file in the given or recognised layout; false
// (after saying why) when it cannot be read or its layout cannot be told.
bool Load(const std::string& path, const zx::dnl::LayoutInfo* given, LoadedFile& file) {
  std::string bytes;
  std::string error;
  if (!ReadFile(path, bytes, error)) {
    Failed("cannot read " + path + ": " + error);
    return false;
  }
  file.layout = given;
  file.how = "named with --layout";
  if (file.layout == nullptr) {
    const zx::dnl::Recognition recognition = zx::dnl::Recognise(bytes);
    if (recognition.layout == nullptr) {
      Failed(path + ": layout not recognised: " + recognition.reason);
      return false;
    }
    file.layout = recognition.layout;
    file.how = recognition.reason;
  }
  file.decoded = zx::dnl::Decode(*file.layout, bytes);
  for (const std::string& problem : file.decoded.problems) {
    Failed(path + " (" + std::string(file.layout->name) + "): " + problem);
  }
  return true;
}

int Show(const Options& options) {
  LoadedFile file;
  if (!Load(options.files[0], options.layout, file)) return zx::kExitFailed;
  std::vector<zx::dnl::Record> records = file.decoded.records;
  if (options.badgeGiven) {
    records = zx::dnl::RecordsOfBadge(records, options.badge);
    if (records.empty()) {
      zx::ToolReason(stderr, kProgram,
                     "no record of badge " + zx::dnl::Win1252ToUtf8(options.badge));
    }
  }
  std::string text;
  if (options.format == zx::dnl::Format::kTable) {
    text = std::string(file.layout->name) + " (" + file.how + "), " + options.files[0] + "\n";
  }
  if (!options.showPins) records = zx::dnl::MaskedPins(*file.layout, std::move(records));
  text += zx::dnl::FormatRecords(*file.layout, records, options.format);
  if (!zx::PrintToStdout(text)) return Failed("cannot write to standard output");
  return file.decoded.problems.empty() ? zx::kExitDone : zx::kExitFailed;
}

int Diff(const Options& options) {
  LoadedFile before;
  LoadedFile after;
  if (!Load(options.files[0], options.layout, before) ||
      !Load(options.files[1], options.layout, after)) {
    return zx::kExitFailed;
  }
  if (before.layout != after.layout) {
    return Failed("the files have different layouts: " + std::string(before.layout->name) +
                  " and " + std::string(after.layout->name));
  }
  if (!before.decoded.problems.empty() || !after.decoded.problems.empty()) {
    return Failed("a file does not decode whole; no comparison");
  }
  const zx::dnl::BadgeDiff diff =
      zx::dnl::DiffBadges(*before.layout, before.decoded.records, after.decoded.records,
                          options.showPins);
  if (!zx::PrintToStdout(diff.text)) return Failed("cannot write to standard output");
  const bool same = diff.added.empty() && diff.removed.empty() && diff.changed.empty();
  return same ? zx::kExitDone : kDifferent;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    return zx::PrintToStdout(Usage()) ? zx::kExitDone : zx::kExitFailed;
  }
  if (args.size() == 1 && args[0] == "--version") {
    return zx::PrintToStdout(zx::VersionLine(kProgram)) ? zx::kExitDone : zx::kExitFailed;
  }
  Options options;
  if (!ParseArgs(args, options)) return zx::kExitFailed;
  return options.diff ? Diff(options) : Show(options);
}
