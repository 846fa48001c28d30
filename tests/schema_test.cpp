// Both schema files refuse the empty text in every text and date column, so
// an import that writes '' for "no value" fails instead of leaving texts the
// program reads as NULL; NULL itself stays allowed everywhere.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

// Every (table, column) of the embedded schema declared TEXT: its texts and dates.
std::vector<std::pair<std::string, std::string>> TextColumns(const SqliteDatabase& db) {
  std::vector<std::pair<std::string, std::string>> columns;
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(db.path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return columns;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(raw,
                     "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                     "WHERE m.type = 'table' AND p.type = 'TEXT' ORDER BY 1, 2",
                     -1, &statement, nullptr);
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                         reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
  }
  sqlite3_finalize(statement);
  sqlite3_close(raw);
  return columns;
}

TEST(Schema, EveryTextAndDateColumnRefusesTheEmptyTextOnBothDatabases) {
  const SqliteDatabase embedded;
  ASSERT_TRUE(embedded.ok()) << embedded.error();
  const auto columns = TextColumns(embedded);
  // The badge table alone has two dates and eight texts.
  ASSERT_GT(columns.size(), 50u);
  PgDatabase server;
  const bool withServer = server.ok();
  if (!withServer && (!server.unreachable() || PgRequired())) ADD_FAILURE() << server.error();
  for (const auto& [table, column] : columns) {
    const std::string empty = "INSERT INTO " + table + " (" + column + ") VALUES ('');";
    const std::string null = "INSERT INTO " + table + " (" + column + ") VALUES (NULL);";
    EXPECT_NE(embedded.Execute(empty), "") << table << "." << column;
    EXPECT_EQ(embedded.Execute(null), "") << table << "." << column;
    if (!withServer || table == "zeprink_schema") continue;  // the server has no marker table
    EXPECT_NE(server.Execute("SET search_path TO zardonix;" + empty), "") << table << "." << column;
    EXPECT_EQ(server.Execute("SET search_path TO zardonix;" + null), "") << table << "." << column;
  }
}

TEST(Schema, FixturesStoreTheEmptyTextOnlyOnPurpose) {
  const std::string row = "INSERT INTO Zdx1140Trm (TrmNam, TrmSal) VALUES ('T1', '');";
  EXPECT_FALSE(SqliteDatabase(row).ok());
  const SqliteDatabase embedded(std::string(kAllowEmptyTexts) + row);
  EXPECT_TRUE(embedded.ok()) << embedded.error();
  EXPECT_FALSE(PgDatabase(row).ok());
  PgDatabase server(std::string(kAllowEmptyTexts) + row);
  ZX_REQUIRE_PG(server);
}

}  // namespace
}  // namespace zx::test
