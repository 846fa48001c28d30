// The Oracle codes of the database server's failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sql/sql_status.h"

namespace zx {

// Codes of this backend that the runtime's table does not name.
namespace pgcode {
inline constexpr int32_t kTooManySessions = -18;          // server refuses more connections
inline constexpr int32_t kInconsistentTypes = -932;       // operand types do not match
inline constexpr int32_t kUserCancel = -1013;             // statement cancelled
inline constexpr int32_t kStartupOrShutdown = -1033;      // server starting up or shutting down
inline constexpr int32_t kShutdownInProgress = -1089;     // server shut down during the run
inline constexpr int32_t kInsufficientPrivileges = -1031; // no right on a schema or table
inline constexpr int32_t kDivisionByZero = -1476;
inline constexpr int32_t kConnectionLost = -3113;         // connection broke during a statement
inline constexpr int32_t kNotConnected = -3114;           // connection broken before
inline constexpr int32_t kConnectTimeout = -12170;
inline constexpr int32_t kDatabaseUnknown = -12514;       // the service names no database of the server
inline constexpr int32_t kConnectionClosed = -12537;      // server closed the connection while logging on
inline constexpr int32_t kHostUnknown = -12545;           // host name does not resolve
inline constexpr int32_t kProtocolError = -12560;         // any other failure to reach the server
inline constexpr int32_t kReceiveTimeout = -12609;        // the server stopped answering mid-run
// A parameter's character that the server's encoding cannot store.
inline constexpr int32_t kUntranslatable = sqlcode::kUntranslatable;
}  // namespace pgcode

namespace pg {

// libpq's words for a failure as one line of a reason: every line end a
// blank, none at the end; in Windows-1252, as the program's other text.
// `fromUtf8`: the words arrive in UTF-8 (the session's client encoding; a
// character without a Windows-1252 byte is then written <U+XXXX>, a byte
// that is no UTF-8 <xHH>), otherwise they are taken as they are.
std::string OneLine(std::string_view message, bool fromUtf8);

// The Oracle code for a server error's SQLSTATE.
int32_t PostgresErrorCode(std::string_view sqlstate);

// The Oracle code for a failed connection attempt, from libpq's message
// (built with verbose errors, so a server's refusal carries its SQLSTATE).
int32_t PostgresConnectErrorCode(std::string_view message);

}  // namespace pg
}  // namespace zx
