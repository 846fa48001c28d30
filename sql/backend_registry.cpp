// The table of the program's backends. The one source that includes their
// headers: each backend folder exports its open function and the version of
// its client library.
#include "sql/backend_registry.h"

#include <string>
#include <string_view>

#include "base/text_utils.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/sqlite/sqlite_backend.h"

namespace zx {

namespace {

// The embedded database has no logins: the file's permissions guard it.
int32_t OpenSqlite(const ConnectionSettings&, std::string_view path, std::string_view,
                   std::unique_ptr<SqlBackend>& backend, std::string& message) {
  return OpenSqliteBackend(path, backend, message);
}

// A section of the libpq service file or a postgresql:// URI.
int32_t OpenPostgres(const ConnectionSettings& settings, std::string_view, std::string_view snapshot,
                     std::unique_ptr<SqlBackend>& backend, std::string& message) {
  return OpenPostgresBackend(settings, backend, message, snapshot);
}

// A backend with a prefix of its own goes before the entry without one.
constexpr BackendEntry kBackends[] = {
    {.name = "SQLite",
     .prefix = "sqlite:",
     .versionNote = "eingebettet, NET8 sqlite:PFAD",
     .libraryVersion = SqliteLibraryVersion,
     .open = OpenSqlite,
     .capabilities = {.looseColumnTypes = true, .pageCache = true, .changeProbe = true}},
    {.name = "PostgreSQL",
     .prefix = "",
     .versionNote = "PostgreSQL, NET8 Dienstname oder postgresql://...",
     .libraryVersion = PostgresLibraryVersion,
     .open = OpenPostgres,
     .capabilities = {.sharesState = true, .changeProbe = true}},
};

}  // namespace

std::span<const BackendEntry> RegisteredBackends() { return kBackends; }

const BackendEntry& BackendFor(std::string_view netService) {
  for (const BackendEntry& entry : kBackends) {
    if (StartsWith(netService, entry.prefix)) return entry;
  }
  return kBackends[std::size(kBackends) - 1];  // unreachable: the last prefix is empty
}

int32_t OpenBackend(const ConnectionSettings& settings, std::string_view snapshot,
                    std::unique_ptr<SqlBackend>& backend, const BackendEntry*& entry,
                    std::string& message) {
  backend.reset();
  message.clear();
  const BackendEntry& chosen = BackendFor(settings.netService);
  entry = &chosen;
  if (!snapshot.empty() && !chosen.capabilities.sharesState) {
    // Its sessions cannot share a state: one session serves them all.
    message = std::string("the ") + std::string(chosen.name) +
              " database cannot share a session's state with another";
    return sqlcode::kInvalidSql;
  }
  const std::string_view target = std::string_view(settings.netService).substr(chosen.prefix.size());
  return chosen.open(settings, target, snapshot, backend, message);
}

std::string BuiltInBackends() {
  std::string line;
  for (const BackendEntry& entry : kBackends) {
    if (!line.empty()) line += ", ";
    line += entry.libraryVersion();
    line += " (";
    line += entry.versionNote;
    line += ")";
  }
  return line;
}

}  // namespace zx
