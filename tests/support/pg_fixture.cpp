#include "tests/support/pg_fixture.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "sql/postgres/pg_handles.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {

namespace {

using Conn = pg::ConnPtr;
using Result = pg::ResultPtr;

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// A connection as the server's login, to the server's own database or to
// `database`; client encoding WIN1252, so texts are the program's bytes.
Conn Open(const PgServer& server, const std::string& database, std::string& error) {
  const bool byService = !server.service.empty();
  const std::string& dbname = database.empty() ? server.database : database;
  const char* keywords[] = {byService ? "service" : "host",
                            "port",
                            "dbname",
                            "user",
                            "password",
                            "client_encoding",
                            "connect_timeout",
                            nullptr};
  const char* values[] = {byService ? server.service.c_str() : server.host.c_str(),
                          byService || server.port.empty() ? nullptr : server.port.c_str(),
                          dbname.empty() ? nullptr : dbname.c_str(),
                          server.user.c_str(),
                          server.password.c_str(),
                          "WIN1252",
                          "10",
                          nullptr};
  Conn conn(PQconnectdbParams(keywords, values, 0));
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
    error = conn ? PQerrorMessage(conn.get()) : "out of memory";
    return nullptr;
  }
  PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
  return conn;
}

std::string Run(PGconn* conn, const std::string& sql) {
  Result result(PQexec(conn, sql.c_str()));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return {};
  std::string message = PQerrorMessage(conn);
  return message.empty() ? "statement failed" : message;
}

// The name of this machine's local time zone ("Europe/Berlin"), or "".
std::string LocalZoneName() {
  std::string zone = EnvOr("TZ", "");
  if (!zone.empty() && zone.front() == ':') zone.erase(0, 1);
  if (!zone.empty()) return zone;
  std::error_code error;
  const std::string target = std::filesystem::read_symlink("/etc/localtime", error).string();
  const std::size_t at = target.find("zoneinfo/");
  return error || at == std::string::npos ? std::string() : target.substr(at + 9);
}

}  // namespace

const PgServer& TestServer() {
  static const PgServer server{.service = EnvOr("ZEPRINK_PG_SERVICE", "zeprink_test"),
                               .user = EnvOr("ZEPRINK_PG_USER", "zeprink"),
                               .password = EnvOr("ZEPRINK_PG_PASSWORD", "zeprink_pw")};
  return server;
}

bool PgRequired() { return EnvOr("ZEPRINK_PG_REQUIRED", "") == "1"; }

PgDatabase::PgDatabase(std::string_view sql, bool withSchema, const PgServer& server,
                       std::string_view encoding)
    : server_(server) {
  static std::atomic<int> counter{0};
  name_ = "zx_t_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  Conn admin = Open(server_, {}, error_);
  if (!admin) {
    unreachable_ = true;
    return;
  }
  // Byte-wise text order comes from the columns' "C" collation; the
  // database itself is UTF8 unless a test asks for another encoding, as a
  // site's usually is.
  error_ = Run(admin.get(), "CREATE DATABASE " + name_ + " TEMPLATE template0 ENCODING '" +
                                std::string(encoding) + "' LC_COLLATE 'C' LC_CTYPE 'C'");
  if (!error_.empty()) return;
  created_ = true;
  // The cases compute "today" in the local time of the test process; the
  // database's SYSDATE follows the session time zone, so both agree even
  // where the server runs in another zone. A zone the server does not know
  // leaves its own.
  const std::string zone = LocalZoneName();
  if (!zone.empty() && zone.find('\'') == std::string::npos) {
    Run(admin.get(), "ALTER DATABASE " + name_ + " SET TimeZone = '" + zone + "'");
  }
  std::string script;
  if (withSchema) {
    script = SourceFile("schema/postgresql.sql");
    if (script.empty()) {
      error_ = "schema/postgresql.sql not found";
      return;
    }
    script += "\nSET search_path TO zardonix;\n";
  }
  if (withSchema && sql.starts_with(kAllowEmptyTexts)) {
    // The server cannot set its checks aside: this database goes without them.
    script +=
        "DO $$ DECLARE c record; BEGIN FOR c IN SELECT conrelid::regclass AS t, conname "
        "FROM pg_constraint WHERE contype = 'c' AND connamespace = 'zardonix'::regnamespace LOOP "
        "EXECUTE format('ALTER TABLE %s DROP CONSTRAINT %I', c.t, c.conname); END LOOP; END $$;\n";
  }
  script += sql;
  if (!script.empty()) error_ = Execute(script);
}

PgDatabase::~PgDatabase() {
  if (!created_) return;
  std::string ignored;
  if (Conn admin = Open(server_, {}, ignored)) {
    Run(admin.get(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  }
}

std::string PgDatabase::NetService() const {
  if (!server_.service.empty()) return "postgresql:///" + name_ + "?service=" + server_.service;
  return "postgresql:///" + name_ + "?host=" + server_.host + "&port=" + server_.port;
}

ConnectionSettings PgDatabase::Login() const {
  return {.user = server_.user, .password = server_.password, .netService = NetService()};
}

std::string PgDatabase::Execute(std::string_view sql) const {
  std::string error;
  Conn conn = Open(server_, name_, error);
  if (!conn) return error;
  return Run(conn.get(), "SET search_path TO zardonix, public;" + std::string(sql));
}

std::string PgDatabase::Value(std::string_view sql) const {
  std::string error;
  Conn conn = Open(server_, name_, error);
  if (!conn) return {};
  Result result(PQexec(conn.get(), std::string(sql).c_str()));
  if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) < 1) {
    return {};
  }
  return PQgetvalue(result.get(), 0, 0);
}

PgConnection::PgConnection(const PgDatabase& db) {
  Conn conn = Open(db.server(), db.name(), error_);
  if (!conn) return;
  error_ = Run(conn.get(), "SET search_path TO zardonix");
  if (error_.empty()) conn_ = conn.release();
}

PgConnection::~PgConnection() {
  if (conn_ != nullptr) PQfinish(conn_);
}

std::string PgConnection::Execute(std::string_view sql) {
  if (conn_ == nullptr) return "not connected: " + error_;
  return Run(conn_, std::string(sql));
}

std::string PgConnection::Value(std::string_view sql) {
  if (conn_ == nullptr) return {};
  Result result(PQexec(conn_, std::string(sql).c_str()));
  if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) < 1) {
    return {};
  }
  return PQgetvalue(result.get(), 0, 0);
}

}  // namespace zx::test
