// The PostgreSQL site the benchmarks run on: a throw-away database on the
// local server with the schema of schema/postgresql.sql and the very rows of
// the SQLite site of the same size (bench_site.h), copied table by table.
// Also the baseline the runtime is compared with: a statement run directly
// through libpq the way the PostgreSQL backend streams a large cursor.
//
// The server is the one .ci/pg_setup.sh prepares: the libpq service
// ZEPRINK_PG_SERVICE (default zeprink_test) with the login ZEPRINK_PG_USER /
// ZEPRINK_PG_PASSWORD (default zeprink / zeprink_pw), allowed to create
// databases. A site's database is named zx_t_<pid>_bench<N>, so that
// pg_setup.sh drops it should the program end without dropping it itself.
#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "bench/bench_site.h"
#include "sql/postgres/pg_handles.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/sqlite/sqlite_handles.h"

namespace zx::bench {

using PgConnPtr = pg::ConnPtr;
using PgResultPtr = pg::ResultPtr;

struct PgServer {
  std::string service;
  std::string user;
  std::string password;
};

inline const PgServer& LocalPgServer() {
  auto env = [](const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr && *value != '\0' ? value : fallback);
  };
  static const PgServer server{env("ZEPRINK_PG_SERVICE", "zeprink_test"),
                               env("ZEPRINK_PG_USER", "zeprink"),
                               env("ZEPRINK_PG_PASSWORD", "zeprink_pw")};
  return server;
}

// A connection as the server's login, to the service's own database when
// `database` is empty; client encoding WIN1252, so that the site's rows are
// copied as the program's bytes. nullptr with `error` set when it fails.
inline PgConnPtr OpenPg(const PgServer& server, const std::string& database, std::string& error) {
  const char* keywords[] = {"service", "dbname", "user", "password", "client_encoding",
                            "connect_timeout", nullptr};
  const char* values[] = {server.service.c_str(), database.empty() ? nullptr : database.c_str(),
                          server.user.c_str(),    server.password.c_str(),
                          "WIN1252",              "10",
                          nullptr};
  PgConnPtr conn(PQconnectdbParams(keywords, values, 0));
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
    // libpq's message, on one line.
    error.clear();
    for (const char* c = conn ? PQerrorMessage(conn.get()) : "out of memory"; *c != '\0'; ++c) {
      const bool space = *c == '\n' || *c == '\t';
      if (!space) error += *c;
      else if (!error.empty() && error.back() != ' ') error += ' ';
    }
    while (!error.empty() && error.back() == ' ') error.pop_back();
    return nullptr;
  }
  PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
  return conn;
}

// Runs one or more statements; "" or the server's message.
inline std::string PgExec(PGconn* conn, const std::string& sql) {
  PgResultPtr result(PQexec(conn, sql.c_str()));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return {};
  std::string message = PQerrorMessage(conn);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return message.empty() ? "statement failed" : message;
}

// Folds one row's key into an order-sensitive hash (FNV-1a), so that two
// paths that deliver the same keys in the same order end with the same hash.
inline constexpr uint64_t kRowKeyHashStart = 14695981039346656037ull;
inline void HashRowKey(uint64_t& hash, std::string_view key) {
  for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  hash = (hash ^ 0x100u) * 1099511628211ull;  // row end: "ab","c" differs from "a","bc"
}

class PgSite {
 public:
  // Builds the database with the rows of SiteWithBadges(badges); ok()
  // tells whether it worked, unreachable() whether the server could not be
  // reached at all (the SQLite site is then not built either).
  explicit PgSite(int badges) : server_(LocalPgServer()) {
    database_ = "zx_t_" + std::to_string(getpid()) + "_bench" + std::to_string(badges);
    PgConnPtr admin = OpenPg(server_, {}, error_);
    if (!admin) {
      unreachable_ = true;
      return;
    }
    const Site& source = SiteWithBadges(badges);
    if (!source.ok()) {
      error_ = "SQLite site to copy: " + source.error();
      return;
    }
    validRows_ = source.validRows();
    // UTF8 with byte-wise collation, as the tests' databases are: where the
    // server stores UTF-8, the ORDER BY needs its Windows-1252 byte keys.
    error_ = PgExec(admin.get(), "CREATE DATABASE " + database_ +
                                     " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'");
    if (!error_.empty()) return;
    created_ = true;
    error_ = Load(source);
  }
  ~PgSite() {
    if (!created_) return;
    std::string ignored;
    if (PgConnPtr admin = OpenPg(server_, {}, ignored)) {
      PgExec(admin.get(), "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
    }
  }
  PgSite(const PgSite&) = delete;
  PgSite& operator=(const PgSite&) = delete;

  bool ok() const { return error_.empty(); }
  bool unreachable() const { return unreachable_; }
  const std::string& error() const { return error_; }
  // The server and login; its own copy, as the site is dropped at exit,
  // when other static objects may be gone.
  const PgServer& server() const { return server_; }
  const std::string& database() const { return database_; }
  // The net service name the program is configured with: a URI that takes
  // host and port from the service.
  std::string NetService() const { return "postgresql:///" + database_ + "?service=" + server_.service; }
  int64_t validRows() const { return validRows_; }

 private:
  std::string Load(const Site& source);

  PgServer server_;
  std::string database_;
  std::string error_;
  bool unreachable_ = false;
  bool created_ = false;
  int64_t validRows_ = 0;
};

namespace detail {

// Appends a value in COPY's text format.
inline void AppendCopyValue(std::string& line, sqlite3_stmt* row, int column) {
  switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
      line += "\\N";
      return;
    case SQLITE_INTEGER:
      line += std::to_string(sqlite3_column_int64(row, column));
      return;
    default:
      break;
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
  const int bytes = sqlite3_column_bytes(row, column);
  for (int i = 0; text != nullptr && i < bytes; ++i) {
    switch (text[i]) {
      case '\\': line += "\\\\"; break;
      case '\t': line += "\\t"; break;
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      default: line += text[i]; break;
    }
  }
}

// Copies every row of `table` from the SQLite database into the same table
// of schema zardonix; "" or the failure.
inline std::string CopyTable(sqlite3* from, PGconn* to, const std::string& table) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(from, ("SELECT * FROM " + table).c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    return table + " (SQLite): " + sqlite3_errmsg(from);
  }
  StatementPtr rows(raw);
  const int columns = sqlite3_column_count(rows.get());
  std::string copy = "COPY zardonix." + table + " (";
  for (int c = 0; c < columns; ++c) copy += std::string(c > 0 ? ", " : "") + sqlite3_column_name(rows.get(), c);
  copy += ") FROM STDIN";
  PgResultPtr started(PQexec(to, copy.c_str()));
  if (!started || PQresultStatus(started.get()) != PGRES_COPY_IN) return table + ": " + PQerrorMessage(to);

  std::string chunk;
  bool sent = true;
  int step = SQLITE_ROW;
  while (sent && (step = sqlite3_step(rows.get())) == SQLITE_ROW) {
    for (int c = 0; c < columns; ++c) {
      if (c > 0) chunk += '\t';
      AppendCopyValue(chunk, rows.get(), c);
    }
    chunk += '\n';
    if (chunk.size() >= 64 * 1024) {
      sent = PQputCopyData(to, chunk.data(), static_cast<int>(chunk.size())) == 1;
      chunk.clear();
    }
  }
  if (sent && !chunk.empty()) sent = PQputCopyData(to, chunk.data(), static_cast<int>(chunk.size())) == 1;
  const bool read = step == SQLITE_DONE;
  // A failed read ends the COPY with an error, so nothing half-copied stays.
  sent = PQputCopyEnd(to, sent && read ? nullptr : "source read failed") == 1 && sent;
  std::string error;
  while (PGresult* rawResult = PQgetResult(to)) {
    PgResultPtr result(rawResult);
    if (PQresultStatus(rawResult) != PGRES_COMMAND_OK && error.empty()) error = PQerrorMessage(to);
  }
  if (!read) return table + " (SQLite): " + sqlite3_errmsg(from);
  if (!sent && error.empty()) error = PQerrorMessage(to);
  return error.empty() ? std::string() : table + ": " + error;
}

}  // namespace detail

inline std::string PgSite::Load(const Site& source) {
  std::ifstream schemaFile(std::filesystem::path(ZEPRINK_SOURCE_DIR) / "schema/postgresql.sql");
  std::ostringstream schema;
  schema << schemaFile.rdbuf();
  if (schema.str().empty()) return "schema/postgresql.sql not found";

  std::string error;
  PgConnPtr conn = OpenPg(server_, database_, error);
  if (!conn) return error;
  error = PgExec(conn.get(), schema.str());
  if (!error.empty()) return "schema/postgresql.sql: " + error;

  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(source.path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  DatabasePtr from(raw);
  if (rc != SQLITE_OK) return "cannot open " + source.path();

  // Every table of the server's schema, filled from the SQLite table of the
  // same name (SQLite's names are case-insensitive).
  PgResultPtr tables(PQexec(conn.get(),
                            "SELECT tablename FROM pg_catalog.pg_tables WHERE schemaname = 'zardonix' "
                            "ORDER BY tablename"));
  if (!tables || PQresultStatus(tables.get()) != PGRES_TUPLES_OK) return PQerrorMessage(conn.get());
  for (int t = 0; t < PQntuples(tables.get()); ++t) {
    error = detail::CopyTable(from.get(), conn.get(), PQgetvalue(tables.get(), t, 0));
    if (!error.empty()) return error;
  }
  // Statistics and visibility as a site's server has them after autovacuum,
  // so that the first runs do not plan blind or set hint bits.
  return PgExec(conn.get(), "VACUUM ANALYZE");
}

namespace detail {

inline std::map<int, std::unique_ptr<PgSite>>& PgSites() {
  static std::map<int, std::unique_ptr<PgSite>> sites;
  return sites;
}

}  // namespace detail

// The PostgreSQL site with the rows of SiteWithBadges(badges), built at the
// first request and dropped when the program ends. Once the server proved
// unreachable, later requests give a site with that error at once.
inline const PgSite& PgSiteWithBadges(int badges) {
  auto& sites = detail::PgSites();
  static const PgSite* unreachable = nullptr;
  auto found = sites.find(badges);
  if (found != sites.end()) return *found->second;
  if (unreachable != nullptr) return *unreachable;
  found = sites.emplace(badges, std::make_unique<PgSite>(badges)).first;
  if (found->second->unreachable()) unreachable = found->second.get();
  // Dropping a database needs a connection, and libpq's TLS library sets up
  // its own exit handler at the first connection, which would run before
  // the sites' static destructor: registered after that connection, this
  // handler drops the databases while TLS still works.
  static const bool dropAtExit = std::atexit([] { detail::PgSites().clear(); }) == 0;
  (void)dropAtExit;
  return *found->second;
}

// What one run of a statement through libpq gives.
struct PgRawRun {
  int64_t rows = 0;
  uint64_t order = kRowKeyHashStart;  // HashRowKey over the first column, row by row
  uint64_t checksum = 0;  // keeps the column reads from being optimized away
  std::string error;
};

// One run of `sql` as the PostgreSQL backend streams a large cursor, without
// the runtime: connect (client encoding WIN1252; the site's text is ASCII,
// the same bytes as the runtime's UTF8), one read-only repeatable-read transaction,
// DECLARE a cursor, FETCH it in batches of kPostgresFetchBatch rows reading
// every column of every row as text, CLOSE, end the session.
inline PgRawRun RunRawPgCursor(const PgSite& site, const std::string& sql) {
  PgRawRun run;
  PgConnPtr conn = OpenPg(site.server(), site.database(), run.error);
  if (!conn) return run;
  run.error = PgExec(conn.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  if (run.error.empty()) run.error = PgExec(conn.get(), "DECLARE zx_bench NO SCROLL CURSOR FOR " + sql);
  if (!run.error.empty()) return run;
  const std::string fetch = "FETCH FORWARD " + std::to_string(kPostgresFetchBatch) + " FROM zx_bench";
  for (;;) {
    PgResultPtr batch(PQexec(conn.get(), fetch.c_str()));
    if (!batch || PQresultStatus(batch.get()) != PGRES_TUPLES_OK) {
      run.error = PQerrorMessage(conn.get());
      return run;
    }
    const int rows = PQntuples(batch.get());
    const int columns = PQnfields(batch.get());
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        // A NULL reads as the empty text, as the runtime delivers it.
        const char* text = PQgetvalue(batch.get(), r, c);
        const int bytes = PQgetisnull(batch.get(), r, c) ? 0 : PQgetlength(batch.get(), r, c);
        if (bytes > 0) run.checksum += static_cast<uint64_t>(bytes) + static_cast<unsigned char>(text[0]);
        if (c == 0) HashRowKey(run.order, std::string_view(text, static_cast<std::size_t>(bytes)));
      }
      ++run.rows;
    }
    if (rows < kPostgresFetchBatch) break;
  }
  run.error = PgExec(conn.get(), "CLOSE zx_bench");
  return run;
}

}  // namespace zx::bench
