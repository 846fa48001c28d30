#include "tests/support/backend_fixture.h"

#include <memory>
#include <string>

#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {

int32_t TestDatabase::Connect(SqlSession& session, const char* schema) const {
  const int32_t connected = session.Connect(Login());
  if (connected != 0) return connected;
  const std::string statement = std::string("ALTER SESSION SET CURRENT_SCHEMA=") + schema;
  session.Prepare(statement.c_str());
  return session.Execute();
}

namespace {

template <typename Database>
std::unique_ptr<TestDatabase> Create(std::string_view sql, bool withSchema) {
  return std::make_unique<Database>(sql, withSchema);
}

constexpr BackendFixture kFixtures[] = {
    {.name = "SQLite",
     .create = Create<SqliteDatabase>,
     .noSuchTable = "no such table",
     .noSuchColumn = "no such column",
     .syntaxError = "syntax error"},
    {.name = "PostgreSQL",
     .create = Create<PgDatabase>,
     .noSuchTable = "does not exist",
     .noSuchColumn = "does not exist",
     .syntaxError = "syntax error"},
};

}  // namespace

std::span<const BackendFixture> BackendFixtures() { return kFixtures; }

}  // namespace zx::test
