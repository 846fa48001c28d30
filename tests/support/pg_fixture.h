// Test databases on the PostgreSQL test server: a fresh database per test,
// built from schema/postgresql.sql plus the rows a case needs, dropped at the
// end. The server is the one test.sh starts (.ci/pg_private.sh): the libpq service
// ZEPRINK_PG_SERVICE (default zeprink_test) with the login ZEPRINK_PG_USER /
// ZEPRINK_PG_PASSWORD (default zeprink / zeprink_pw), allowed to create
// databases; or a server of a test's own (tests/support/pg_private_server.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sql/session.h"
#include "tests/support/backend_fixture.h"

#include <gtest/gtest.h>

typedef struct pg_conn PGconn;  // as libpq-fe.h declares it

namespace zx::test {

// Where a server is and how to log in. With `service`, the service's
// database is the one test databases are created from; without it, `host`
// (a host name or a socket directory), `port` and `database`.
struct PgServer {
  std::string service = {};
  std::string host = {};
  std::string port = {};
  std::string database = {};
  std::string user = {};
  std::string password = {};
};

// The test server's service and login.
const PgServer& TestServer();

// True when ZEPRINK_PG_REQUIRED=1: a test that needs the server fails
// instead of skipping when the server cannot be reached.
bool PgRequired();

class PgDatabase : public TestDatabase {
 public:
  // Creates the database on `server` in `encoding` and runs the schema
  // (unless withSchema is false) and then `sql` (schema zardonix current,
  // client encoding WIN1252, so texts are stored as the program's single
  // bytes). ok() tells whether it worked; unreachable() whether the server
  // could not be reached at all.
  explicit PgDatabase(std::string_view sql = {}, bool withSchema = true,
                      const PgServer& server = TestServer(), std::string_view encoding = "UTF8");
  ~PgDatabase();
  PgDatabase(const PgDatabase&) = delete;
  PgDatabase& operator=(const PgDatabase&) = delete;

  bool ok() const override { return error_.empty(); }
  bool unreachable() const { return unreachable_; }
  bool skippable() const override { return unreachable_ && !PgRequired(); }
  const std::string& error() const override { return error_; }
  const std::string& name() const { return name_; }
  const PgServer& server() const { return server_; }

  // The net service name of this database: a URI that takes host and port
  // from the server's service, or names them.
  std::string NetService() const;
  // The server's login for this database.
  ConnectionSettings Login() const override;
  // A libpq service that the service file does not define.
  std::string MissingNetService() const override { return "zx_no_such_service"; }

  // Runs SQL (several statements) on the database through a connection of
  // its own; returns "" or the server's message.
  std::string Execute(std::string_view sql) const override;

  // The first column of the first row of a query ("" when none or on error).
  std::string Value(std::string_view sql) const;

 private:
  PgServer server_;
  std::string name_;
  std::string error_;
  bool unreachable_ = false;
  bool created_ = false;
};

// A connection of its own to a test database that stays open between
// statements, for a transaction (and its locks) held while a run goes on.
// Schema zardonix is current, the client encoding WIN1252.
class PgConnection {
 public:
  explicit PgConnection(const PgDatabase& db);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  bool ok() const { return conn_ != nullptr; }
  const std::string& error() const { return error_; }

  // Runs SQL (several statements); returns "" or the server's message.
  std::string Execute(std::string_view sql);
  // The first column of the first row of a query ("" when none or on error).
  std::string Value(std::string_view sql);

 private:
  PGconn* conn_ = nullptr;
  std::string error_;
};

}  // namespace zx::test

// In a test body or SetUp: skips the test when the database could not be
// built because the server is unreachable (fails with ZEPRINK_PG_REQUIRED=1),
// and fails it for any other build error.
#define ZX_REQUIRE_PG(db)                                                              \
  do {                                                                                 \
    if (!(db).ok()) {                                                                  \
      if ((db).unreachable() && !::zx::test::PgRequired()) {                           \
        GTEST_SKIP() << "PostgreSQL test server not reachable (see .ci/pg_private.sh): " \
                     << (db).error();                                                  \
      }                                                                                \
      FAIL() << "PostgreSQL test database: " << (db).error();                          \
    }                                                                                  \
  } while (false)
