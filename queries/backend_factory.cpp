// Chooses the backend by the net service name: "sqlite:PATH" is the embedded
// database; every other name is a service of a database server.
#include <string_view>

#include "queries/postgres_backend.h"
#include "queries/sql_backend.h"
#include "queries/sql_runtime.h"
#include "queries/sqlite_backend.h"

namespace zx {

int32_t OpenBackend(std::string_view user, std::string_view password, std::string_view netService,
                    std::unique_ptr<SqlBackend>& backend) {
  backend.reset();
  constexpr std::string_view kSqlitePrefix = "sqlite:";
  if (netService.substr(0, kSqlitePrefix.size()) == kSqlitePrefix) {
    // The embedded database has no logins: the file's permissions guard it.
    (void)user;
    (void)password;
    return OpenSqliteBackend(netService.substr(kSqlitePrefix.size()), backend);
  }
  // A section of the libpq service file or a postgresql:// URI.
  return OpenPostgresBackend(user, password, netService, backend);
}

}  // namespace zx
