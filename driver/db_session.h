// The run's database session: connecting and making the schema current.
#pragma once

#include <cstdint>
#include <string_view>

#include "sql/session.h"

namespace zx {

// Connects `session` with the login and makes `schema` the current schema.
// Returns 0 when connected with the schema set, else the non-zero code of
// the CONNECT (the schema statement is then not sent) or of the EXECUTE of
// the schema statement; session.LastStatus() says why. A login whose
// connect string would be longer than 100 characters, or a schema statement
// of more than 100 characters, is refused (-2084), never cut.
int32_t ConnectDatabase(SqlSession& session, const ConnectionSettings& login, const char* schema,
                        std::string_view snapshot = {});

}  // namespace zx
