#include "sql/sqlite/sqlite_dialect.h"

#include "sql/oracle_sql.h"
#include "sql/sql_status.h"
#include "sql/sqlite/sqlite_functions.h"

namespace zx {

int32_t TranslateForSqlite(std::string_view oracleText, std::string_view schema,
                           std::string& sqliteText, int& inputs, bool& usesSysdate) {
  oracle::Tokens tokens;
  if (!oracle::Tokenize(oracleText, tokens)) return sqlcode::kInvalidSql;
  if (!schema.empty()) oracle::DropQualifier(tokens, schema);
  // SQLite's own database names would resolve where Oracle knows no schema.
  for (const std::string& qualifier : oracle::Qualifiers(tokens)) {
    if (oracle::EqualsIgnoreCase(qualifier, "main") || oracle::EqualsIgnoreCase(qualifier, "temp")) {
      return sqlcode::kTableNotFound;
    }
  }
  // Built by appending: "?" + std::to_string(...) draws a false -Wrestrict
  // alarm from GCC 12 in optimised builds.
  const auto numbered = [](int number) {
    std::string placeholder = "?";
    placeholder += std::to_string(number);
    return placeholder;
  };
  inputs = oracle::ReplacePlaceholders(tokens, [&numbered](int index) { return numbered(index + 1); });
  const oracle::Tokens now = {oracle::MakeToken(oracle::TokenKind::Punct, numbered(inputs + 1))};
  usesSysdate = oracle::ReplaceIdentifier(tokens, "SYSDATE", now) > 0;
  for (const RenamedFunction& renamed : kSqliteOracleFunctions) {
    oracle::RenameCalls(tokens, renamed.oracle, renamed.sqlite);
  }
  // Text sorts byte-wise, NULLs last ascending and first descending.
  oracle::RewriteOrderBy(tokens, [](oracle::OrderItem& item) {
    item.expression.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "COLLATE"));
    item.expression.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "BINARY"));
    oracle::AppendOracleNullsOrdering(item);
  });
  sqliteText = oracle::Render(tokens);
  return sqlcode::kOk;
}

}  // namespace zx
