// The test databases of every registered backend behind one face, and the
// list of them that the contract suite and the end-to-end harness iterate:
// a backend is tested everywhere by adding its fixture to BackendFixtures().
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "sql/connection_settings.h"
#include "sql/session.h"

#include <gtest/gtest.h>

namespace zx::test {

// A fresh database of one backend, built from that backend's schema file
// plus the rows of a case, removed with the object.
class TestDatabase {
 public:
  virtual ~TestDatabase() = default;
  // Whether the database was built; error() says why not.
  virtual bool ok() const = 0;
  virtual const std::string& error() const = 0;
  // True when the database could not be built because its server is not
  // there and the run does not require it: the test is skipped.
  virtual bool skippable() const { return false; }
  // The login the program would use for it (a configuration's LOGIN, PASS
  // and NET8).
  virtual ConnectionSettings Login() const = 0;
  // A net service of the backend's form that names no database.
  virtual std::string MissingNetService() const = 0;
  // Runs SQL (several statements) on the database through a connection of
  // its own, outside any session, the system's tables by their names;
  // returns "" or the database's message.
  virtual std::string Execute(std::string_view sql) const = 0;

  // CONNECT with Login() and ALTER SESSION SET CURRENT_SCHEMA=<schema>
  // through `session`, as the program's session does. Returns the first
  // non-zero SQLCODE, else 0.
  int32_t Connect(SqlSession& session, const char* schema = "ZARDONIX") const;
};

// What a registered backend brings to the tests.
struct BackendFixture {
  std::string_view name;  // in test names and messages
  // A database of the backend's schema (unless withSchema is false), then
  // `sql`. Rows that start with kAllowEmptyTexts may store empty texts.
  std::unique_ptr<TestDatabase> (*create)(std::string_view sql, bool withSchema);
  // Parts of the database's own words for an unknown table, an unknown
  // column and a statement it cannot read.
  std::string_view noSuchTable;
  std::string_view noSuchColumn;
  std::string_view syntaxError;
};

// Shows the fixture by its name in a parameterised test's messages.
inline void PrintTo(const BackendFixture& fixture, std::ostream* out) { *out << fixture.name; }

// Every backend that the tests can run here; the embedded database first,
// the reference the others are compared with.
std::span<const BackendFixture> BackendFixtures();

}  // namespace zx::test

// In a test body or SetUp: skips the test when the database's server is not
// there (and not required), and fails it for any other build error.
#define ZX_REQUIRE_DB(db)                                                           \
  do {                                                                              \
    if (!(db).ok()) {                                                               \
      if ((db).skippable()) GTEST_SKIP() << "database not reachable: " << (db).error(); \
      FAIL() << "test database: " << (db).error();                                  \
    }                                                                               \
  } while (false)
