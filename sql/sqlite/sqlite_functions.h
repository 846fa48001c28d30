// Oracle's functions on the embedded database, with Oracle's semantics:
// trunc of a date (the day at 00:00:00) or a number (toward zero), TO_CHAR
// of a date with the format elements YYYY MM DD HH24 MI SS, NVL (an empty
// text counts as NULL), SUBSTR counting from 1 (position 0 as 1, a negative
// position from the end). Dates are stored as 'YYYY-MM-DD HH:MM:SS'. Every
// result that would be the empty text is NULL, as Oracle has no empty text.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

namespace zx {

// The Oracle name of each function and the name it is registered under here
// (not SQLite's own trunc() or substr(), which differ from Oracle's).
struct RenamedFunction {
  std::string_view oracle;
  std::string_view sqlite;
};
inline constexpr RenamedFunction kSqliteOracleFunctions[] = {
    {"trunc", "zx_trunc"}, {"to_char", "zx_to_char"}, {"nvl", "zx_nvl"}, {"substr", "zx_substr"}};

// Registers the functions on `db`. A function that fails (a date not in the
// stored form, an unknown format) puts its Oracle code into *pendingError,
// which must outlive the connection. Returns SQLITE_OK or SQLite's code.
int RegisterOracleFunctions(sqlite3* db, int32_t* pendingError);

}  // namespace zx
