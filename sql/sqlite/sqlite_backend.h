// The embedded database: a SQLite file that holds the tables of one schema,
// read through the program's Oracle statement texts with Oracle's results
// (the contract of sql_backend.h). How it keeps the contract's one state:
//
// The file is opened read-only. At connect the session begins a read
// transaction and reads at once, so that every later statement sees that one
// state of the database: with the default rollback journal the session holds
// a shared lock, and a writer that wants to commit meanwhile waits and then
// gets SQLITE_BUSY (it cannot commit until the run has ended); a database in
// WAL mode lets the writer commit while the session keeps its snapshot.
//
// The file names its schema in the table zeprink_schema(name). Dates are text
// 'YYYY-MM-DD HH:MM:SS' in local time; text values are the program's bytes as
// they are stored. A column may hold a value of any type (its registry entry
// says so).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sql/sql_backend.h"
#include "sql/sqlite/sqlite_dialect.h"

namespace zx {

// Opens the database file `path` (absolute, or relative to the working
// directory). Returns 0 and sets `backend`; -12154 when the path is empty or
// names no file; -1034 when the file cannot be read or is not a database;
// -54 when a writer holds the database locked for longer than the wait; with
// SQLite's (or the system's) words in `message`.
int32_t OpenSqliteBackend(std::string_view path, std::unique_ptr<SqlBackend>& backend,
                          std::string& message);

// "SQLite" and the version of the SQLite library the program runs with.
std::string SqliteLibraryVersion();

}  // namespace zx
