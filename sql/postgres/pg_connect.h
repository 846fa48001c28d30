// Connecting to the database server: the session of a run, and the probe of
// its committed changes on a connection of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sql/sql_backend.h"

namespace zx::pg {

class Session;

// What a session was opened with, to open another one beside it.
struct PostgresLogin {
  std::string user;
  std::string password;
  std::string netService;
};

// Opens a server session (see OpenPostgresBackend), reading the state that
// `snapshot` names when it is not empty.
int32_t ConnectSession(const PostgresLogin& login, std::string_view snapshot,
                       std::shared_ptr<Session>& session, std::string& message);

// A probe of the server's committed changes (sql_backend.h ChangeProbe) on
// a connection of its own, without a transaction of its own: each read is
// one statement, read-only, in its own snapshot.
int32_t OpenPostgresChangeProbe(const PostgresLogin& login, std::unique_ptr<ChangeProbe>& probe,
                                std::string& message);

}  // namespace zx::pg
