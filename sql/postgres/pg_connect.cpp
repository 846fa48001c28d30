// Connecting to the database server: the service or URI, the configured
// login, the client encoding WIN1252, a connect timeout as libpq configures
// it, then the run's one read-only snapshot.
#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <system_error>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_utils.h"
#include "sql/postgres/pg_errors.h"
#include "sql/postgres/pg_handles.h"
#include "sql/postgres/pg_session.h"
#include "sql/postgres/postgres_backend.h"

namespace zx {

namespace {

bool IsUri(std::string_view netService) {
  return StartsWith(netService, "postgresql://") || StartsWith(netService, "postgres://");
}


// libpq's words for the connection's last failure, without its line ends.
std::string LibpqMessage(PGconn* conn) { return OneLine(PQerrorMessage(conn)); }

// Waits until the connection attempt can go on; false after the timeout.
bool WaitForSocket(PGconn* conn, PostgresPollingStatusType status, int timeoutSeconds) {
  pollfd fd{};
  fd.fd = PQsocket(conn);
  if (fd.fd < 0) return true;  // PQconnectPoll reports the failure
  fd.events = status == PGRES_POLLING_READING ? POLLIN : POLLOUT;
  const int timeoutMs = timeoutSeconds > 0 ? timeoutSeconds * 1000 : -1;
  for (;;) {
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;
  }
}

// The wait for the server's answer to a connection attempt when the service,
// the URI and PGCONNECT_TIMEOUT set none: a server that takes the
// connection but never answers must not keep a scheduled run for ever.
constexpr int kDefaultConnectTimeoutSeconds = 10;

// How long the server may stay silent while the run waits for a result:
// ZEPRINK_PG_TIMEOUT seconds (0: no limit), by default ten minutes, far
// beyond any one statement of a run (the badge cursor's sort of a million
// badges takes seconds).
constexpr int kDefaultAnswerTimeoutSeconds = 600;

int AnswerTimeoutMs() {
  int seconds = kDefaultAnswerTimeoutSeconds;
  if (const char* text = std::getenv("ZEPRINK_PG_TIMEOUT"); text != nullptr && *text != '\0') {
    const std::string_view value(text);
    int given = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), given);
    if (error == std::errc() && end == value.data() + value.size() && given >= 0 &&
        given <= 24 * 3600) {
      seconds = given;
    }
  }
  return seconds * 1000;
}

// libpq's connect_timeout of the resolved options (at least 2 seconds, as
// libpq applies it); 0 for "0" (no limit, as libpq reads it); the default
// above where none is set.
int ConnectTimeout(PGconn* conn) {
  PQconninfoOption* options = PQconninfo(conn);
  int seconds = kDefaultConnectTimeoutSeconds;
  for (PQconninfoOption* option = options; option && option->keyword; ++option) {
    if (std::string_view(option->keyword) == "connect_timeout" && option->val &&
        *option->val != '\0') {
      const std::string_view text(option->val);
      seconds = 0;
      std::from_chars(text.data(), text.data() + text.size(), seconds);
    }
  }
  PQconninfoFree(options);
  if (seconds <= 0) return 0;
  return seconds < 2 ? 2 : seconds;
}

// The result of a command sent on `conn`, awaited within the wait limit;
// null with `silent` set when the server stayed silent.
ResultPtr AwaitedResult(PGconn* conn, int sent, int timeoutMs, bool& silent) {
  if (sent != 1) return ResultPtr(PQgetResult(conn));
  if (!AwaitResult(conn, timeoutMs)) {
    silent = true;
    return nullptr;
  }
  ResultPtr result(PQgetResult(conn));
  // The rest of the command's results, up to its end.
  while (AwaitResult(conn, timeoutMs)) {
    ResultPtr more(PQgetResult(conn));
    if (!more) break;
  }
  return result;
}

int32_t FailureCode(PGconn* conn, const ResultPtr& result, bool silent) {
  if (silent) return pgcode::kReceiveTimeout;
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  if (PQstatus(conn) == CONNECTION_BAD) return pgcode::kConnectionLost;
  return state ? PostgresErrorCode(state) : sqlcode::kInternal;
}

int32_t ExecSimple(PGconn* conn, const char* sql, int timeoutMs, bool& silent) {
  ResultPtr result = AwaitedResult(conn, PQsendQuery(conn, sql), timeoutMs, silent);
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return sqlcode::kOk;
  return FailureCode(conn, result, silent);
}

int32_t PrepareSimple(PGconn* conn, const char* name, const char* sql, int timeoutMs, bool& silent) {
  ResultPtr result =
      AwaitedResult(conn, PQsendPrepare(conn, name, sql, 0, nullptr), timeoutMs, silent);
  if (result && PQresultStatus(result.get()) == PGRES_COMMAND_OK) return sqlcode::kOk;
  return FailureCode(conn, result, silent);
}


}  // namespace

int32_t ConnectSession(const PostgresLogin& login, std::string_view snapshot,
                       std::shared_ptr<Session>& session, std::string& message) {
  const std::string_view user = login.user;
  const std::string_view password = login.password;
  const std::string_view netService = login.netService;
  // A snapshot name as the server gives it: hexadecimal digits and '-'.
  for (const char c : snapshot) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-')) {
      message = "not a snapshot name: " + std::string(snapshot);
      return sqlcode::kInvalidSql;
    }
  }
  session.reset();
  const std::string userText(user);
  const std::string passwordText(password);
  const std::string serviceText(netService);
  std::vector<const char*> keywords;
  std::vector<const char*> values;
  if (IsUri(netService)) {
    keywords.push_back("dbname");  // expanded as a URI
    values.push_back(serviceText.c_str());
  } else if (!netService.empty()) {
    keywords.push_back("service");
    values.push_back(serviceText.c_str());
  }
  // The configured login wins over one in the service or URI.
  if (!userText.empty()) {
    keywords.push_back("user");
    values.push_back(userText.c_str());
  }
  if (!passwordText.empty()) {
    keywords.push_back("password");
    values.push_back(passwordText.c_str());
  }
  keywords.push_back("client_encoding");
  values.push_back("WIN1252");
  keywords.push_back("fallback_application_name");
  values.push_back("zeprink");
  keywords.push_back(nullptr);
  values.push_back(nullptr);

  ConnPtr conn(PQconnectStartParams(keywords.data(), values.data(), 1));
  if (!conn) {
    message = "out of memory";
    return sqlcode::kInternal;
  }
  // The server's notices and warnings would go to standard error, which
  // the program never writes.
  PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
  // Verbose errors carry the server's SQLSTATE, which tells a refused login
  // from an unknown database whatever language the server speaks.
  PQsetErrorVerbosity(conn.get(), PQERRORS_VERBOSE);
  if (PQstatus(conn.get()) != CONNECTION_BAD) {
    const int timeout = ConnectTimeout(conn.get());
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    while (status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED) {
      if (!WaitForSocket(conn.get(), status, timeout)) {
        message = "timeout expired: no answer from the server for " + std::to_string(timeout) +
                  " s (connect_timeout)";
        return pgcode::kConnectTimeout;
      }
      status = PQconnectPoll(conn.get());
    }
  }
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    message = LibpqMessage(conn.get());
    return PostgresConnectErrorCode(PQerrorMessage(conn.get()));
  }
  PQsetErrorVerbosity(conn.get(), PQERRORS_DEFAULT);
  if (std::string_view(pg_encoding_to_char(PQclientEncoding(conn.get()))) != "WIN1252") {
    message = "the server cannot deliver the client encoding WIN1252";
    return pgcode::kEncodingUnsupported;
  }

  // Dates as text in ISO form, the form of the embedded database; then the
  // run's one read-only snapshot.
  const int wait = AnswerTimeoutMs();
  bool silent = false;
  int32_t rc = ExecSimple(conn.get(), "SET DateStyle = 'ISO, YMD'", wait, silent);
  if (rc == sqlcode::kOk) {
    rc = ExecSimple(conn.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", wait, silent);
  }
  int64_t roundTrips = 0;
  if (rc == sqlcode::kOk && !snapshot.empty()) {
    // The state another session reads: its snapshot, before any query.
    rc = ExecSimple(conn.get(), ("SET TRANSACTION SNAPSHOT '" + std::string(snapshot) + "'").c_str(),
                    wait, silent);
    ++roundTrips;
  }
  if (rc == sqlcode::kOk) {
    rc = PrepareSimple(conn.get(), kSavepointStatement,
                       (std::string("SAVEPOINT ") + kSavepointName).c_str(), wait, silent);
  }
  if (rc == sqlcode::kOk) {
    rc = PrepareSimple(conn.get(), kReleaseStatement,
                       (std::string("RELEASE SAVEPOINT ") + kSavepointName).c_str(), wait, silent);
  }
  if (rc != sqlcode::kOk) {
    message = silent ? NoAnswerMessage(wait) : LibpqMessage(conn.get());
    return rc;
  }
  // Connecting, the two settings and the two preparations: one round trip each.
  constexpr int64_t kConnectRoundTrips = 5;
  session = std::make_shared<Session>(std::move(conn), kConnectRoundTrips + roundTrips, wait);
  return sqlcode::kOk;
}

int32_t OpenPostgresBackend(std::string_view user, std::string_view password,
                            std::string_view netService, std::unique_ptr<SqlBackend>& backend,
                            std::string& message, std::string_view snapshot) {
  backend.reset();
  PostgresLogin login{std::string(user), std::string(password), std::string(netService)};
  std::shared_ptr<Session> session;
  const int32_t rc = ConnectSession(login, snapshot, session, message);
  if (rc != sqlcode::kOk) return rc;
  backend = MakePostgresBackend(std::move(session), std::move(login));
  return sqlcode::kOk;
}

}  // namespace zx
