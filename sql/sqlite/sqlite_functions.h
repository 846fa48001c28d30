// Oracle's functions on the embedded database, as the contract of
// sql_backend.h gives them (items 5 and 8), over dates stored as text
// 'YYYY-MM-DD HH:MM:SS'.
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
