#include "sql/sqlite/sqlite_errors.h"

#include <string_view>

#include "base/text_utils.h"
#include "sql/sql_status.h"

namespace zx {

int32_t SqliteErrorCode(sqlite3* db, int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return sqlcode::kResourceBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return sqlcode::kNotAvailable;
    case SQLITE_ERROR: {
      const std::string_view message = db != nullptr ? sqlite3_errmsg(db) : "";
      if (StartsWith(message, "no such table")) return sqlcode::kTableNotFound;
      if (StartsWith(message, "no such column") || StartsWith(message, "no such function")) {
        return sqlcode::kInvalidIdentifier;
      }
      return sqlcode::kInvalidSql;
    }
    default:
      return sqlcode::kInternal;
  }
}

}  // namespace zx
