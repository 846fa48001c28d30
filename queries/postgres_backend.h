// The PostgreSQL backend: runs the program's Oracle statement texts on a
// PostgreSQL server through libpq, with Oracle's results.
//
// Session: one connection with client encoding WIN1252 (every character
// arrives as one byte, as the sites' Oracle clients deliver it), and one
// read-only REPEATABLE READ transaction for the whole run, never committed.
// Every statement runs inside a savepoint, so a failing statement reports
// its code and leaves the session usable, as on Oracle.
//
// Statements: each distinct text is translated once and prepared once, run
// with a limit of one batch (kPostgresFetchBatch rows) plus one. A result
// that fits one batch is complete (every SELECT INTO and per-badge cursor,
// one round trip). A larger one is read instead through a server-side cursor
// (its declaration prepared once as well) in batches, so a rows object never
// holds more than one batch and other statements may run between its
// fetches; later runs of that text go to the cursor directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "queries/sql_backend.h"

namespace zx {

inline constexpr int kPostgresFetchBatch = 200;

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
inline constexpr int32_t kEncodingUnsupported = -12705;   // server cannot deliver WIN1252
inline constexpr int32_t kUntranslatable = -29275;        // a character has no WIN1252 byte
}  // namespace pgcode

// Opens the session. `netService` is a section of the libpq service file or
// a "postgresql://" (or "postgres://") URI; an empty one takes libpq's
// defaults. `user` and `password`, when not empty, override what the
// service or URI says. Returns 0 and sets `backend`, or a negative code:
// -1017 login refused, -12154 service or URI not usable, -12541 no server
// listening, and the pgcode values above.
int32_t OpenPostgresBackend(std::string_view user, std::string_view password,
                            std::string_view netService, std::unique_ptr<SqlBackend>& backend);

// The PostgreSQL text of an Oracle statement (INTO clause removed): :bN
// placeholders become $1, $2, ... in order of appearance, SYSDATE the
// server's local time to the second, trunc(d) date_trunc('day', d), NVL
// coalesce, and every ORDER BY item sorts text by its Windows-1252 bytes
// (a SELECT DISTINCT is wrapped for that). Returns false when the text
// cannot be tokenized.
bool TranslateForPostgres(std::string_view oracleText, std::string& postgresText,
                          int& parameterCount);

// The Oracle code for a server error's SQLSTATE.
int32_t PostgresErrorCode(std::string_view sqlstate);

// The Oracle code for a failed connection attempt, from libpq's message
// (built with verbose errors, so a server's refusal carries its SQLSTATE).
int32_t PostgresConnectErrorCode(std::string_view message);

// Rows that a rows object of this backend holds in memory now; -1 for a rows
// object of another backend.
int PostgresBufferedRows(const SqlRows& rows);

}  // namespace zx
