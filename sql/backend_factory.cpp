// Chooses the backend by the net service name: "sqlite:PATH" is the embedded
// database; every other name is a service of a database server.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <string>
#include <string_view>

#include "base/text_utils.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/session.h"
#include "sql/sql_backend.h"
#include "sql/sqlite/sqlite_backend.h"

namespace zx {

int32_t OpenBackend(std::string_view user, std::string_view password, std::string_view netService,
                    std::unique_ptr<SqlBackend>& backend, std::string& message,
                    std::string_view snapshot) {
  backend.reset();
  message.clear();
  constexpr std::string_view kSqlitePrefix = "sqlite:";
  if (StartsWith(netService, kSqlitePrefix)) {
    // The embedded database has no logins: the file's permissions guard it.
    // Its sessions cannot share a state: one session serves them all.
    if (!snapshot.empty()) {
      message = "the embedded database cannot share a session's state with another";
      return sqlcode::kInvalidSql;
    }
    return OpenSqliteBackend(netService.substr(kSqlitePrefix.size()), backend, message);
  }
  // A section of the libpq service file or a postgresql:// URI.
  return OpenPostgresBackend(user, password, netService, backend, message, snapshot);
}

std::string BuiltInBackends() {
  // libpq gives its version as major * 10000 + minor from version 10 on.
  const int pq = PQlibVersion();
  return std::string("SQLite ") + sqlite3_libversion() + " (eingebettet, NET8 sqlite:PFAD), libpq " +
         std::to_string(pq / 10000) + "." + std::to_string(pq % 10000) +
         " (PostgreSQL, NET8 Dienstname oder postgresql://...)";
}

}  // namespace zx
