// The database server's dialect of the program's Oracle statement texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sql/oracle_sql.h"

namespace zx::pg {

// How the server stores text: in UTF-8, or in single bytes that sort as
// the program's Windows-1252 bytes (WIN1252, LATIN1, SQL_ASCII).
enum class ServerText { kUtf8, kBytes };

// The server's encoding (its parameter "server_encoding") as it matters
// for sorting.
constexpr ServerText ServerTextOf(std::string_view serverEncoding) {
  return serverEncoding == "UTF8" ? ServerText::kUtf8 : ServerText::kBytes;
}

// The PostgreSQL text of an Oracle statement (INTO clause removed): :bN
// placeholders become $1, $2, ... in order of appearance, SYSDATE the
// server's local time to the second, trunc(d) date_trunc('day', d), NVL a
// coalesce in which an empty text counts as NULL, SubStr the server's substr
// with Oracle's positions (0 as 1, negative from the end), lengths (below 1:
// NULL) and NULL for no characters, and every ORDER BY item sorts text by
// its Windows-1252 bytes (a SELECT DISTINCT is wrapped for that), in the way
// the server's `serverText` needs. Returns false when the text cannot be
// tokenized.
bool TranslateForPostgres(std::string_view oracleText, ServerText serverText,
                          std::string& postgresText, int& parameterCount);

// Position of the statement's own "ORDER BY" (outside parentheses), or the
// number of tokens when it has none.
std::size_t TopLevelOrderBy(const oracle::Tokens& tokens);

}  // namespace zx::pg
