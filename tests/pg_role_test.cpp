// The read-only login role as packaging/zeprink_role.sql sets it up, run as
// the README says: part 1 by the database's administrator, part 2 by the
// schema's owner (not a superuser). The program then runs with the role,
// and the role cannot write.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <string>

#include "sql/postgres/pg_handles.h"
#include "tests/support/e2e.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/pg_private_server.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

std::string Replaced(std::string text, const std::string& what, const std::string& by) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size())) {
    text.replace(at, what.size(), by);
  }
  return text;
}

TEST(ReadOnlyRole, TheRecipeRunsAsWrittenAndTheRoleOnlyReads) {
  // The server of the test's own: its login "zeprink" is the superuser, so
  // the recipe's role is named zx_reader here.
  PrivatePgServer server;
  ZX_REQUIRE_PRIVATE_PG(server);
  const PgDatabase db("INSERT INTO Zdx1140Trm (TrmNam) VALUES ('T1');\n", true, server.server());
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(db.Execute("CREATE ROLE zx_owner LOGIN;\n"
                       "ALTER SCHEMA zardonix OWNER TO zx_owner;\n"
                       "DO $$ DECLARE t record; BEGIN\n"
                       "  FOR t IN SELECT tablename FROM pg_tables WHERE schemaname = 'zardonix' LOOP\n"
                       "    EXECUTE format('ALTER TABLE zardonix.%I OWNER TO zx_owner', t.tablename);\n"
                       "  END LOOP; END $$;"),
            "");

  const std::string recipe = Replaced(SourceFile("packaging/zeprink_role.sql"), "zeprink", "zx_reader");
  const std::size_t part2 = recipe.find("\n-- 2.");
  ASSERT_NE(part2, std::string::npos);
  EXPECT_EQ(db.Execute(recipe.substr(0, part2)), "") << "part 1, as the administrator";
  EXPECT_EQ(db.Execute("SET ROLE zx_owner;\n" + recipe.substr(part2)), "") << "part 2, as the owner";

  // The program reads with the role.
  const E2eResult r = RunZeprinkOn(
      {.args = {"IDSTAMM", "T1", "@DNL", "1"},
       .config = std::vector<std::pair<std::string, std::string>>{
           {"LOGIN", "zx_reader"}, {"PASS", "x"}, {"NET8", "@NET8"}, {"DB_SYSTEM", "ORACLE"}, {"SCHEMA", "ZARDONIX;"}}},
      db.NetService(), "x");
  EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;

  // The role itself reads, and writes nothing, whatever a session asks for.
  const std::string& host = server.server().host;
  const std::string& port = server.server().port;
  const char* keywords[] = {"host", "port", "dbname", "user", nullptr};
  const char* values[] = {host.c_str(), port.c_str(), db.name().c_str(), "zx_reader", nullptr};
  pg::ConnPtr conn(PQconnectdbParams(keywords, values, 0));
  ASSERT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
  const struct {
    const char* sql;
    bool works;
  } cases[] = {
      {"SELECT count(*) FROM zardonix.Zdx1140Trm", true},
      {"INSERT INTO zardonix.Zdx1140Trm (TrmNam) VALUES ('T2')", false},
      {"CREATE TABLE zardonix.extra (i int)", false},
  };
  for (const auto& c : cases) {
    pg::ResultPtr result(PQexec(conn.get(), c.sql));
    const ExecStatusType status = PQresultStatus(result.get());
    EXPECT_EQ(status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK, c.works)
        << c.sql << ": " << PQresultErrorMessage(result.get());
  }
  pg::ResultPtr setting(PQexec(conn.get(), "SHOW default_transaction_read_only"));
  EXPECT_STREQ(PQgetvalue(setting.get(), 0, 0), "on");
}

}  // namespace
}  // namespace zx::test
