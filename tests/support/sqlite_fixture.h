// Test databases: a SQLite file built from schema/sqlite.sql plus the rows a
// case needs, in a temporary directory of its own, and dates relative to
// today in the form the database stores them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sql/session.h"
#include "tests/support/backend_fixture.h"

namespace zx::test {

// Rows that start with this line may store the empty text where the schema
// refuses it: both fixtures then build the database as one written before
// the schema's checks, for the tests that the program reads '' as NULL (as
// Oracle does). Every other fixture writes NULL for "no value".
inline constexpr std::string_view kAllowEmptyTexts = "-- rows with empty texts\n";

class SqliteDatabase : public TestDatabase {
 public:
  // Builds the database from the schema (unless withSchema is false) and
  // then `sql`. ok() tells whether it worked; error() says why not.
  explicit SqliteDatabase(std::string_view sql = {}, bool withSchema = true);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  bool ok() const override { return error_.empty(); }
  const std::string& error() const override { return error_; }
  const std::string& directory() const { return directory_; }
  const std::string& path() const { return path_; }
  std::string NetService() const { return "sqlite:" + path_; }
  // The file has no logins: any user and password will do.
  ConnectionSettings Login() const override {
    return {.user = "zeprink", .password = "geheim", .netService = NetService()};
  }
  std::string MissingNetService() const override { return "sqlite:" + directory_ + "/missing.db"; }

  // Runs SQL on the file through a connection of its own (read-write);
  // returns "" or SQLite's message.
  std::string Execute(std::string_view sql) const override;

 private:
  std::string directory_;
  std::string path_;
  std::string error_;
};

// The contents of a file below the source tree ("schema/demo_data.sql").
std::string SourceFile(std::string_view relativePath);

// The demo data (schema/demo_data.sql) without its own transaction, for a
// harness that loads rows in one.
std::string DemoRows();

// "YYYY-MM-DD HH:MM:SS" for today (local time) at `time` ("HH:MM:SS").
std::string TodayAt(const char* time);
// The same for the day `days` from today (negative: in the past).
std::string DateFromToday(int days, const char* time = "00:00:00");
// "yyyymmdd" of the day `days` from today.
std::string YyyymmddFromToday(int days);
// An SQL literal: the text quoted (quotes doubled), or NULL for nullptr.
std::string SqlLiteral(const char* text);

}  // namespace zx::test
