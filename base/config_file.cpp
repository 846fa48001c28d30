#include "base/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "base/config_cipher.h"
#include "base/atomic_file.h"
#include "base/text_utils.h"

namespace zx {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// One line of the file as read: its bytes through the line feed (kept, since
// a key or section that runs to the end of its line includes it), with a
// carriage return directly before the line feed removed. `raw` keeps the
// bytes exactly as they were, for rewriting the file.
struct Line {
  std::string text;
  std::string raw;
  bool tooLong = false;
};

class LineReader {
 public:
  explicit LineReader(std::FILE* file) : file_(file) {}

  // Reads the next line whole; false when the file has ended (or failed)
  // before a single byte could be read. A line longer than
  // kConfigMaxLineLength is read to its end but kept only in part and marked.
  bool Next(Line& line) {
    line.text.clear();
    line.raw.clear();
    line.tooLong = false;
    bool any = false;
    for (int c = std::getc(file_); c != EOF; c = std::getc(file_)) {
      any = true;
      if (c == '\n') {
        line.raw.push_back('\n');
        break;
      }
      if (line.raw.size() < kConfigMaxLineLength) {
        line.raw.push_back(static_cast<char>(c));
      } else {
        line.tooLong = true;
      }
    }
    line.text = line.raw;
    const std::size_t n = line.text.size();
    if (n >= 2 && line.text[n - 2] == '\r' && line.text[n - 1] == '\n') line.text.erase(n - 2, 1);
    return any;
  }

  bool Failed() const { return std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
};

// The fields of one record as the lookup compares them. A record that cannot
// be read whole (a line beyond kConfigMaxLineLength or holding a zero byte, a
// field beyond kConfigFieldWidth, a number beyond 32 bits) is not usable: its
// fields hold what could be taken apart, so that a lookup still sees whether
// the record is the one asked for, and refuses it then instead of passing
// over it to a later record or to the empty value.
struct ConfigRecord {
  bool usable = false;
  bool hasNumber = false;  // false: the number field does not fit 32 bits
  int number = 0;
  std::string section;
  std::string key;
  std::string value;  // hexadecimal text, not yet deciphered
};

// Decimal conversion of the number field: white space skipped, an optional
// sign, then digits up to the first other character; no digits give 0.
// False when the number does not fit 32 bits.
bool ParseNumber(std::string_view text, int& number) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\v' ||
                             text[i] == '\f' || text[i] == '\r')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
  }
  const long long result = negative ? -magnitude : magnitude;
  if (result > INT_MAX || result < INT_MIN) return false;
  number = static_cast<int>(result);
  return true;
}

// The field between the delimiters at p1 and p2, as CopySubstring takes it:
// a negative length gives the empty text, a length of 0 the rest of the line.
std::string Field(const std::string& line, int p1, int p2) {
  const int length = p2 - p1 - 1;
  if (length < 0 || static_cast<std::size_t>(p1 + 1) >= line.size()) return {};
  const std::size_t from = static_cast<std::size_t>(p1 + 1);
  return length == 0 ? line.substr(from) : line.substr(from, static_cast<std::size_t>(length));
}

// Takes a record apart. p1 and p2 are the positions of the first and second
// ';' of the line concerned; missing delimiters give negative lengths and so
// empty fields, two adjacent ones a length of 0 and so the rest of the line.
ConfigRecord ParseRecord(const Line& header, const Line& valueLine) {
  ConfigRecord record;
  bool whole = !header.tooLong && !valueLine.tooLong;
  // A zero byte would end the text early and hide the rest of the line.
  const std::string h = header.text.substr(0, header.text.find('\0'));
  const std::string v = valueLine.text.substr(0, valueLine.text.find('\0'));
  whole = whole && h.size() == header.text.size() && v.size() == valueLine.text.size();

  int p1 = FindNthChar(h.c_str(), ';', 1);
  int p2 = FindNthChar(h.c_str(), ';', 2);
  record.section = Field(h, p1, p2);

  p1 = FindNthChar(v.c_str(), ';', 1);
  p2 = FindNthChar(v.c_str(), ';', 2);
  // A line that begins with ';' or holds none has the number 0.
  record.hasNumber = p1 <= 0 || ParseNumber(std::string_view(v).substr(0, static_cast<std::size_t>(p1)), record.number);
  record.key = Field(v, p1, p2);

  // The value runs to the line end, or to the end of a last line that has
  // none. A line without any ';' is all value. An empty value stays empty.
  const std::size_t lineEnd = v.find('\n') == std::string::npos ? v.size() : v.find('\n');
  const std::size_t start = p1 < 0 ? 0 : static_cast<std::size_t>(p2) + 1;
  const std::size_t length = lineEnd > start ? lineEnd - start : 0;
  record.value = v.substr(start < v.size() ? start : v.size(), length);

  record.usable = whole && record.hasNumber && record.section.size() <= kConfigFieldWidth &&
                  record.key.size() <= kConfigFieldWidth && record.value.size() <= kConfigFieldWidth;
  return record;
}

std::string Decipher(const std::string& hexText) {
  char plain[kConfigFieldWidth / 16 * 8 + 8 + 1];
  std::string value;
  if (DecryptConfigValue(hexText.c_str(), plain, sizeof plain, kConfigCipherKey) == 1) value = plain;
  volatile char* p = plain;
  for (std::size_t i = 0; i < sizeof plain; ++i) p[i] = 0;
  return value;
}

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool CheckEntry(std::string_view key, std::string_view value, std::string* error) {
  if (key.empty()) return Fail(error, "a key must not be empty");
  if (key.size() > kConfigFieldWidth) {
    return Fail(error, "key " + std::string(key) + " is longer than " + std::to_string(kConfigFieldWidth) + " characters");
  }
  if (key.find_first_of(std::string_view(";\n\r\0", 4)) != std::string_view::npos) {
    return Fail(error, "key " + std::string(key) + " holds ';', a line end or a zero byte");
  }
  if (value.size() > kConfigMaxPlainValue) {
    return Fail(error, "the value of " + std::string(key) + " is longer than " +
                           std::to_string(kConfigMaxPlainValue) + " characters");
  }
  if (value.find('\0') != std::string_view::npos) {
    return Fail(error, "the value of " + std::string(key) + " holds a zero byte");
  }
  return true;
}

std::string RecordLines(std::string_view key, int number, std::string_view value) {
  std::string lines;
  lines += ';';
  lines += kConfigSection;
  lines += ';';
  lines += key;
  lines += ";\n";
  lines += std::to_string(number);
  lines += ';';
  lines += key;
  lines += ';';
  lines += EncryptConfigValue(value);
  lines += '\n';
  return lines;
}

// True when a lookup of `key` in the file at `path`, made as the program
// makes it, gives `value`.
bool ReadsBack(const std::string& path, std::string_view key, std::string_view value, std::string* error) {
  std::string found;
  if (FindConfigValue("", key, 0, path, found) != ConfigLookup::kFound || found != value) {
    return Fail(error, "key " + std::string(key) +
                           " would not read back as its value: an earlier record matches it (same key, an empty "
                           "section name or the number 0)");
  }
  return true;
}

// Writes `content` under a temporary name beside `path`, lets `verify` look at
// the complete temporary file, then renames it over `path` (over the file a
// link names, keeping the link). A new file is readable by its owner only (it
// holds credentials); a replaced file keeps its owner and permissions, so the
// program's user can still read it after an administrator changed a value.
bool WriteAtomically(const std::string& path, const std::string& content,
                     const std::function<bool(const std::string&, std::string*)>& verify, std::string* error) {
  AtomicFile file;
  AtomicFileOptions options;
  options.tempSuffix = ".";
  if (!file.Open(path, options)) {
    errno = file.Error();
    return Fail(error, SystemError("cannot create a temporary file for", path));
  }
  if (!file.Write(content)) {
    errno = file.Error();
    return Fail(error, SystemError("cannot write", file.TempPath()));
  }
  bool verified = true;
  const bool committed = file.Commit([&](const std::string& tempPath) {
    verified = verify(tempPath, error);
    return verified;
  });
  if (!verified) return false;
  if (!committed) {
    errno = file.Error();
    return Fail(error, SystemError("cannot replace", path));
  }
  return true;
}

}  // namespace

ConfigLookup FindConfigValue(std::string_view section, std::string_view key, int number, const std::string& path,
                             std::string& value) {
  value.clear();
  // Read as bytes: the line ends are taken apart here, the same on every system.
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return ConfigLookup::kNoFile;
  LineReader reader(file.get());
  Line header;
  Line valueLine;
  for (;;) {
    // At the end of the file the value line fails too; a last line without
    // its partner is ignored.
    reader.Next(header);
    if (!reader.Next(valueLine)) return reader.Failed() ? ConfigLookup::kNoFile : ConfigLookup::kNoRecord;
    const ConfigRecord record = ParseRecord(header, valueLine);
    if (record.section == section || record.key == key || (record.hasNumber && record.number == number)) {
      if (!record.usable) return ConfigLookup::kRefused;
      value = Decipher(record.value);
      return ConfigLookup::kFound;
    }
  }
}

std::string ReadConfigValue(std::string_view section, std::string_view key, int number, const std::string& path) {
  std::string value;
  FindConfigValue(section, key, number, path, value);
  return value;
}

std::string StoredSchemaValue(std::string_view schemaName) {
  std::string stored(schemaName);
  // A value that already carries the trailer is stored as it is: a schema
  // name holds no ';', and doubling it would make the run's schema end in one.
  if (stored.empty() || stored.back() != kSchemaTrailer) stored += kSchemaTrailer;
  return stored;
}

bool WriteConfigFile(const std::string& path, const ConfigEntries& entries, std::string* error) {
  std::string content;
  int number = 0;
  for (const auto& [key, value] : entries) {
    if (!CheckEntry(key, value, error)) return false;
    content += RecordLines(key, ++number, value);
  }
  return WriteAtomically(
      path, content,
      [&entries](const std::string& written, std::string* verifyError) {
        for (const auto& [key, value] : entries) {
          if (!ReadsBack(written, key, value, verifyError)) return false;
        }
        return true;
      },
      error);
}

bool SetConfigValue(const std::string& path, std::string_view key, std::string_view value, std::string* error) {
  if (!CheckEntry(key, value, error)) return false;

  std::vector<Line> lines;
  {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) return Fail(error, SystemError("cannot open", path));
    LineReader reader(file.get());
    for (Line line; reader.Next(line);) {
      if (line.tooLong) {
        return Fail(error, path + ": line " + std::to_string(lines.size() + 1) + " is longer than " +
                               std::to_string(kConfigMaxLineLength) + " characters");
      }
      lines.push_back(line);
    }
    if (reader.Failed()) return Fail(error, SystemError("cannot read", path));
  }
  if (lines.size() % 2 != 0) {
    return Fail(error, path + " has an odd number of lines (" + std::to_string(lines.size()) +
                           "); its records are pairs of lines, so it must be repaired first");
  }

  // The record to replace, and the highest number in use for a new one.
  std::size_t replace = lines.size();
  long long highest = 0;
  int keptNumber = 0;
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    // A record of the key that cannot be read is replaced too: that repairs it.
    const ConfigRecord record = ParseRecord(lines[i], lines[i + 1]);
    if (record.hasNumber && record.number > highest) highest = record.number;
    if (replace == lines.size() && record.key == key) {
      replace = i;
      keptNumber = record.number;
    }
  }
  int number = keptNumber;
  if (number == 0) {
    if (highest >= INT_MAX) return Fail(error, path + ": no record number left");
    number = static_cast<int>(highest + 1);
  }

  std::string content;
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    if (i == replace) {
      content += RecordLines(key, number, value);
    } else {
      content += lines[i].raw;
      content += lines[i + 1].raw;
    }
  }
  if (replace == lines.size()) {
    if (!content.empty() && content.back() != '\n') content += '\n';
    content += RecordLines(key, number, value);
  }
  return WriteAtomically(
      path, content,
      [key, value](const std::string& written, std::string* verifyError) {
        return ReadsBack(written, key, value, verifyError);
      },
      error);
}

}  // namespace zx
