// The database backends built into the program, one entry each: the form of
// the net service that selects it, how it opens, the version of its client
// library and what it can do. Adding a backend is one entry here (in
// backend_registry.cpp) plus its own folder; nothing outside sql/ knows
// which backend serves a session, it asks the session what it can do.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sql/connection_settings.h"
#include "sql/sql_backend.h"

namespace zx {

// What a backend can do beyond the contract of sql_backend.h, as data: the
// session answers these questions (and refuses what a backend cannot do)
// without asking the backend.
struct BackendCapabilities {
  // Other sessions can read the very state of the database this one reads
  // (ExportSnapshot, a CONNECT with a snapshot): a database server.
  bool sharesState = false;
  // A column may hold a value of any type: a date column text of any form,
  // a number column text; SQL's typeof() tells them apart.
  bool looseColumnTypes = false;
  // Keeps the database's pages in a cache of the process that
  // ReservePageCache sizes (an embedded database).
  bool pageCache = false;
  // Tells committed changes of the database apart (OpenChangeProbe).
  bool changeProbe = false;
};

struct BackendEntry {
  // The backend's name in messages.
  std::string_view name;
  // The net services it serves: those that start with `prefix`; the entry
  // with an empty prefix takes every net service that no other entry's
  // prefix claims, so it comes last.
  std::string_view prefix;
  // The words of "zeprink --version" after the client library's version:
  // what the backend is and the form of its net service.
  std::string_view versionNote;
  // The client library's name and version ("SQLite 3.40.1").
  std::string (*libraryVersion)();
  // Opens a session: `target` is the net service without `prefix`, the
  // other settings are as given. With `snapshot` (only for a backend that
  // shares state), the session reads the state another session exported.
  // 0 and `backend`, or a negative code with the backend's words in
  // `message`.
  int32_t (*open)(const ConnectionSettings& settings, std::string_view target,
                  std::string_view snapshot, std::unique_ptr<SqlBackend>& backend,
                  std::string& message);
  BackendCapabilities capabilities;
};

// Every backend of the program, in the order their prefixes are tried.
std::span<const BackendEntry> RegisteredBackends();

// The entry that serves `netService` ("sqlite:PATH" the embedded database,
// anything else a PostgreSQL service name or URI).
const BackendEntry& BackendFor(std::string_view netService);

// Opens the backend that the settings' net service selects. Returns 0 and
// sets `backend` and `entry`, or a negative code with the database's (or the
// client library's) words in `message`; -900 for a snapshot given to a
// backend that cannot share its state.
int32_t OpenBackend(const ConnectionSettings& settings, std::string_view snapshot,
                    std::unique_ptr<SqlBackend>& backend, const BackendEntry*& entry,
                    std::string& message);

// The backends built into the program with the versions of their client
// libraries, in one line (for "zeprink --version").
std::string BuiltInBackends();

}  // namespace zx
