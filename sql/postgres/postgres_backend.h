// The PostgreSQL backend: runs the program's Oracle statement texts on a
// PostgreSQL server through libpq, with Oracle's results.
//
// Session: one connection with client encoding UTF8, each text value
// converted to and from the program's Windows-1252 (every character one
// byte, as the sites' Oracle clients deliver it; a value with a character
// that Windows-1252 cannot represent is marked, costing only its own row;
// a WIN1252 or SQL_ASCII server's bytes are taken as stored), and one
// read-only REPEATABLE READ transaction for the whole run, never committed.
// Every statement runs inside a savepoint, so a failing statement reports
// its code and leaves the session usable, as on Oracle (pg_session.h).
//
// Statements: each distinct text is translated once (pg_dialect.h) and
// prepared once, run with a limit of one batch (kPostgresFetchBatch rows)
// plus one. A result that fits one batch is complete (every SELECT INTO and
// per-badge cursor, one round trip). A larger one is read instead through a
// server-side cursor (its declaration prepared once as well) in batches, so
// a rows object never holds more than one batch and other statements may run
// between its fetches; later runs of that text go to the cursor directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sql/connection_settings.h"
#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_errors.h"
#include "sql/sql_backend.h"

namespace zx {

// Rows a result holds at most before the backend reads through a cursor.
inline constexpr int kPostgresFetchBatch = 500;
// Rows of a cursor's later blocks: a long result (the badge cursor, a
// lookup's stream) costs one round trip per block.
inline constexpr int kPostgresFetchBlock = 4000;

// Opens the session. The settings' net service is a section of the libpq
// service file or a "postgresql://" (or "postgres://") URI; an empty one
// takes libpq's defaults. Its user and password, when not empty, override
// what the service or URI says. Returns 0 and sets `backend`, or a negative code with
// libpq's or the server's words in `message`: -1017 login refused, -12154
// service or URI not usable, -12541 no server listening, and the pgcode
// values of pg_errors.h.
int32_t OpenPostgresBackend(const ConnectionSettings& settings, std::unique_ptr<SqlBackend>& backend,
                            std::string& message, std::string_view snapshot = {});

// "libpq" and the version of the libpq library the program runs with.
std::string PostgresLibraryVersion();

// Rows that a rows object of this backend holds in memory now; -1 for a rows
// object of another backend.
int PostgresBufferedRows(const SqlRows& rows);

}  // namespace zx
