#include "tests/fuzz/fuzz_targets.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/config_cipher.h"
#include "base/config_file.h"
#include "base/text_utils.h"
#include "driver/site_jobs.h"
#include "sql/oracle_sql.h"
#include "sql/postgres/pg_dialect.h"
#include "sql/sqlite/sqlite_dialect.h"
#include "tools/dnl_layout.h"
#include "tools/dnl_show.h"

namespace zx::fuzz {

void ConfigReader(const uint8_t* data, std::size_t size) {
  // The file lives in memory only; the reader opens it by its path.
  const int fd = ::memfd_create("zeprink-config", 0);
  if (fd < 0) return;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  std::string value;
  for (const char* key : {"LOGIN", "PASS", "NET8", "DB_SYSTEM", "SCHEMA", ""}) {
    for (const char* section : {"", "ZEPRINK"}) {
      FindConfigValue(section, key, 0, path, value);
    }
    FindConfigValue("", key, 1, path, value);
  }
  ReadConfigValue("ZEPRINK", "PASS", 2, path);
  ::close(fd);
}

void ConfigCipher(const uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::size_t outputSize = data[0];
  const std::string hex(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<char> output(outputSize > 0 ? outputSize : 1);
  DecryptConfigValue(hex.c_str(), outputSize > 0 ? output.data() : nullptr, outputSize,
                     kConfigCipherKey);
  // A value enciphered reads back as itself, up to its first zero byte.
  const std::string plain = hex.substr(0, std::min<std::size_t>(hex.size(), kConfigMaxPlainValue));
  const std::string enciphered = EncryptConfigValue(plain);
  std::vector<char> back(enciphered.size() + 1);
  if (DecryptConfigValue(enciphered.c_str(), back.data(), back.size(), kConfigCipherKey) != 1 ||
      std::string(back.data()) != plain.substr(0, plain.find('\0'))) {
    __builtin_trap();
  }
}

void StatementDialect(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  oracle::Tokens tokens;
  if (oracle::Tokenize(text, tokens)) {
    oracle::RemoveIntoClause(tokens);
    oracle::Placeholders(tokens);
    oracle::Render(tokens);
  }
  std::string translated;
  int inputs = 0;
  bool usesSysdate = false;
  TranslateForSqlite(text, "ZARDONIX", translated, inputs, usesSysdate);
  for (const pg::ServerText serverText : {pg::ServerText::kUtf8, pg::ServerText::kBytes}) {
    pg::TranslateForPostgres(text, serverText, translated, inputs);
  }
}

void DnlFile(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const dnl::Recognition recognition = dnl::Recognise(bytes);
  // A recognised file decodes whole in its layout.
  if (recognition.layout != nullptr &&
      !dnl::Decode(*recognition.layout, bytes).problems.empty()) {
    __builtin_trap();
  }
  std::vector<dnl::Record> previous;
  for (const dnl::LayoutInfo& layout : dnl::AllLayouts()) {
    const dnl::Decoded decoded = dnl::Decode(layout, bytes);
    for (const dnl::Format format : {dnl::Format::kTable, dnl::Format::kCsv, dnl::Format::kJson}) {
      dnl::FormatRecords(layout, decoded.records, format);
    }
    if (!decoded.records.empty()) {
      dnl::RecordsOfBadge(decoded.records, dnl::BadgeNumber(decoded.records.front()));
    }
    dnl::DiffBadges(layout, previous, decoded.records);
    previous = decoded.records;
  }
  std::string win1252;
  dnl::Utf8ToWin1252(bytes, win1252);
}

void SiteJobFile(const uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<SiteJob> jobs;
  std::string error;
  if (!ReadSiteJobs(in, jobs, error)) {
    if (error.empty()) __builtin_trap();
    return;
  }
  int line = 0;
  for (const SiteJob& job : jobs) {
    std::string function = job.function;
    ToUpper(function.data());
    const bool known = function == "MGDNL17P" || function == "MGDNL18P" || function == "MGDNL31P" ||
                       function == "MGDNL60P" || function == "IDSTAMM";
    if (job.line <= line || !known || job.terminal.size() > 255 || job.dnlPath.empty() ||
        job.mode.empty()) {
      __builtin_trap();
    }
    line = job.line;
    job.Name();
  }
}

}  // namespace zx::fuzz
