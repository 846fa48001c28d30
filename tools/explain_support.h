// Small helpers of zeprink-explain: statements read row by row as text, and
// database text shown as UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sql/session.h"

namespace zx::explain {

using TextRows = std::vector<std::vector<std::string>>;

// Appends every row of the statement to `rows`, each of `columns` columns
// read as text (at most 255 bytes; "" for NULL and the empty text), the
// inputs bound as texts. Returns the code of the failing OPEN or FETCH, 0
// when the statement was read to its end.
int32_t ReadRows(SqlSession& session, std::string_view statement,
                 const std::vector<std::string>& inputs, std::size_t columns, TextRows& rows);

// Windows-1252 text of the database as UTF-8.
std::string Utf8(std::string_view win1252);

// "SQL-Code N (the database's words)" of the session's last failure.
std::string Failure(SqlSession& session, int32_t code);

}  // namespace zx::explain
