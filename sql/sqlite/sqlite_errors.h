// The Oracle codes of the embedded database's failures.
#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace zx {

// The Oracle code of the SQLite result code `rc` (its message in `db`, when
// given, tells an unknown table from an unknown column).
int32_t SqliteErrorCode(sqlite3* db, int rc);

}  // namespace zx
