#include "tests/support/sqlite_fixture.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "sql/session.h"
#include "sql/sqlite/sqlite_handles.h"

namespace zx::test {

namespace {

std::string RunScript(const std::string& path, std::string_view sql, bool create) {
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) return "cannot open " + path;
  // Test files need no durability: without syncs a database builds in moments.
  sqlite3_exec(db.get(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  char* message = nullptr;
  const std::string script(sql);
  if (sqlite3_exec(db.get(), script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string error = message != nullptr ? message : "script failed";
    sqlite3_free(message);
    return error;
  }
  return {};
}

}  // namespace

std::string SourceFile(std::string_view relativePath) {
  std::ifstream in(std::filesystem::path(ZEPRINK_SOURCE_DIR) / relativePath, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string DemoRows() {
  std::string rows = SourceFile("schema/demo_data.sql");
  for (const char* statement : {"BEGIN;\n", "COMMIT;\n"}) {
    const size_t at = rows.find(statement);
    if (at != std::string::npos) rows.erase(at, std::string(statement).size());
  }
  return rows;
}

SqliteDatabase::SqliteDatabase(std::string_view sql, bool withSchema) {
  char pattern[] = "/tmp/zeprink-db-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) {
    error_ = "cannot create a temporary directory";
    return;
  }
  directory_ = made;
  path_ = directory_ + "/zardonix.db";
  std::string script = withSchema ? SourceFile("schema/sqlite.sql") : std::string();
  if (withSchema && script.empty()) {
    error_ = "schema/sqlite.sql not found";
    return;
  }
  script += "\n";
  // The setting holds for this connection only: the run reads as ever.
  if (sql.starts_with(kAllowEmptyTexts)) script += "PRAGMA ignore_check_constraints=ON;\n";
  script += sql;
  error_ = RunScript(path_, script, true);
}

SqliteDatabase::~SqliteDatabase() {
  if (directory_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string SqliteDatabase::Execute(std::string_view sql) const { return RunScript(path_, sql, false); }

std::string DateFromToday(int days, const char* time) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_mday += days;
  local.tm_hour = 12;  // away from daylight-saving edges
  local.tm_isdst = -1;
  std::mktime(&local);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %s", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, time);
  return text;
}

std::string TodayAt(const char* time) { return DateFromToday(0, time); }

std::string YyyymmddFromToday(int days) {
  const std::string date = DateFromToday(days);
  return date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
}

std::string SqlLiteral(const char* text) {
  if (text == nullptr) return "NULL";
  std::string literal = "'";
  for (const char* c = text; *c != '\0'; ++c) {
    literal += *c;
    if (*c == '\'') literal += '\'';
  }
  return literal + "'";
}

}  // namespace zx::test
