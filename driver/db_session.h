// The program's one database session.
#pragma once

#include <cstdint>

namespace zx {

// Connects with "user/password@netService" and makes `schema` the current
// schema. Returns 0 when connected with the schema set, else the non-zero
// SQLCODE of the CONNECT (the schema statement is then not sent) or of the
// EXECUTE of the schema statement. A connect string or schema statement of
// more than 100 characters is refused (-2084), never cut.
int32_t ConnectDatabase(const char* user, const char* password, const char* netService,
                        const char* schema);

}  // namespace zx
