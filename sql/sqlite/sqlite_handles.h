// Owners of the SQLite C handles: a database connection and a prepared
// statement are closed exactly once, on every path.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace zx {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

}  // namespace zx
