// The configuration file: two-line records read in pairs from the top of the
// file. The header line carries the section name between its first and second
// ';'; the value line is "number;key;value", the value being the hexadecimal
// text of the enciphered value (config_cipher.h). A record matches a lookup
// when its section name, or its key, or its number equals the one asked for;
// the first matching record wins.
//
// Lines are read whole, through their line feed; a carriage return directly
// before the line feed is not part of the line. A record whose section name,
// key or value is longer than kConfigFieldWidth characters, whose number does
// not fit 32 bits, or which holds a zero byte or a line longer than
// kConfigMaxLineLength cannot be read whole: when it is the first record that
// matches, the lookup is refused (kRefused); otherwise the scan passes over
// it. Nothing is cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zx {

inline constexpr std::size_t kConfigFieldWidth = 200;
inline constexpr std::size_t kConfigMaxLineLength = 65536;
// The longest plain value that enciphers into kConfigFieldWidth hexadecimal
// digits: 12 blocks of 8 bytes.
inline constexpr std::size_t kConfigMaxPlainValue = kConfigFieldWidth / 16 * 8;
// The program drops the last character of the SCHEMA value; files carry the
// schema name followed by this character.
inline constexpr char kSchemaTrailer = ';';
// The section name of the records that WriteConfigFile and SetConfigValue write.
inline constexpr char kConfigSection[] = "ZEPRINK";

enum class ConfigLookup {
  kFound,     // value holds the deciphered value of the first matching record
  kNoFile,    // the file cannot be opened or read
  kNoRecord,  // no record matches
  kRefused,   // the first matching record cannot be read whole (see above)
};

// Scans the file at `path` for the first record that matches and deciphers
// its value under the configuration key. `value` is set to the deciphered
// text (up to its first zero byte) when found, else emptied.
ConfigLookup FindConfigValue(std::string_view section, std::string_view key, int number,
                             const std::string& path, std::string& value);

// The deciphered value of the first matching record; empty when the file
// cannot be opened, no record matches, the record is refused or its value is
// empty. Nothing is reported.
std::string ReadConfigValue(std::string_view section, std::string_view key, int number,
                            const std::string& path);

// The stored SCHEMA value for a schema name: the name and kSchemaTrailer; a
// value that already ends in kSchemaTrailer (as files have always stored it)
// is kept as it is.
std::string StoredSchemaValue(std::string_view schemaName);

using ConfigEntries = std::vector<std::pair<std::string, std::string>>;

// Writes a new configuration file (replacing any file at `path`) with one
// record per entry, in order: header ";ZEPRINK;KEY;", value line
// "<n>;KEY;<hex>" with n = 1, 2, ..., every line ending with a line feed,
// each value enciphered. The file is written under a temporary name and
// renamed into place, so `path` holds either the old or the complete new
// file. Keys must be non-empty, at most kConfigFieldWidth characters, without
// ';', line feed, carriage return or zero byte; values at most
// kConfigMaxPlainValue bytes without a zero byte. Before the rename every key
// is read back through FindConfigValue and must give its own value (a key
// given twice with different values fails). Returns false, with a message in
// *error when error is given, when an entry is refused or the file cannot be
// written; the old file is then untouched.
bool WriteConfigFile(const std::string& path, const ConfigEntries& entries, std::string* error = nullptr);

// Sets one key in an existing configuration file: the first record whose key
// equals `key` is replaced by a record written as WriteConfigFile writes it
// (keeping its number when that is not 0); without such a record one is
// appended with the next free number. All other lines stay byte for byte.
// Refuses a file with an odd number of lines, and a change after which the
// key would not read back as `value` (an earlier record that matches every
// key, such as one with an empty section name, hides it). Written under a
// temporary name and renamed into place. Returns false with a message in
// *error on failure; the file is then untouched.
bool SetConfigValue(const std::string& path, std::string_view key, std::string_view value,
                    std::string* error = nullptr);

}  // namespace zx
