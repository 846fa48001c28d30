// Connecting to the database server: the service or URI, the configured
// login, the client encoding UTF8 (the program converts each value), a
// connect timeout as libpq configures it, then the run's one read-only
// snapshot.
#include "sql/postgres/pg_connect.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_utils.h"
#include "sql/postgres/pg_errors.h"
#include "sql/postgres/pg_handles.h"
#include "sql/postgres/pg_session.h"

namespace zx::pg {

namespace {

bool IsUri(std::string_view netService) {
  return StartsWith(netService, "postgresql://") || StartsWith(netService, "postgres://");
}


// libpq's words for the connection's last failure, without its line ends
// (see OneLine; before the server's encoding is known, in UTF-8 as asked).
std::string LibpqMessage(PGconn* conn, bool fromUtf8 = true) {
  return OneLine(PQerrorMessage(conn), fromUtf8);
}

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

// Opens a connection with the login, client encoding UTF8 (a WIN1252 or
// SQL_ASCII server in its own); 0 or the code of the failure with libpq's
// words in `message`. `serverEncoding` gets the server's encoding,
// `roundTrips` the round trips beyond the connection's own.
int32_t OpenConnection(const PostgresLogin& login, ConnPtr& opened, std::string& message,
                       std::string& serverEncoding, int64_t& roundTrips) {
  const std::string_view user = login.user;
  const std::string_view password = login.password;
  const std::string_view netService = login.netService;
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
  // Text arrives in UTF-8, which every server encoding converts to without
  // failing, and is converted to Windows-1252 value by value: a character
  // that Windows-1252 cannot represent costs its own value, not the whole
  // statement (see pg_rows.h). A WIN1252 or SQL_ASCII server is read in its
  // own encoding instead (below).
  keywords.push_back("client_encoding");
  values.push_back("UTF8");
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
  const char* reported = PQparameterStatus(conn.get(), "server_encoding");
  serverEncoding = reported != nullptr ? reported : "";
  roundTrips = 0;
  if (TextTakenAsStored(serverEncoding)) {
    // Read in the server's own encoding, so that nothing is converted or
    // checked: a WIN1252 database also holds the five bytes that Windows-1252
    // leaves undefined, which have no UTF-8 form on the server, and a
    // SQL_ASCII one any byte, which the server would check as UTF-8.
    ++roundTrips;
    if (PQsetClientEncoding(conn.get(), serverEncoding.c_str()) != 0) {
      message = LibpqMessage(conn.get());
      return PQstatus(conn.get()) == CONNECTION_BAD ? pgcode::kConnectionLost : sqlcode::kInternal;
    }
  }
  opened = std::move(conn);
  return sqlcode::kOk;
}

// The probe, one statement of one round trip that reads the server's memory
// only (no table): the counts of rows inserted, updated and deleted in the
// tables of this database (not the system catalogs, which autovacuum's
// analyze writes to) from its statistics, and the server's current
// snapshot ("xmin:xmax:running transactions").
//
// The counts belong to this database alone, but a session hands them to
// the statistics only when it goes idle or ends, at most once a second (a
// session that commits again within the second: up to ten seconds later).
// The snapshot is never late: every transaction that wrote holds a
// transaction number, whose end either raises xmax or leaves the running
// list, so the text changes with every commit of a change (a read-only
// transaction, as the program's and this probe's own, holds none); but it
// changes for every database of the server. So the mark moves when the
// counts move, and also when the snapshot has moved and the counts have
// not followed within kUncountedSeconds: a change is never missed, and
// changes in other databases of a busy server cost at most one run of the
// site per that time (which then writes no file).
class PostgresChangeProbe final : public ChangeProbe {
 public:
  static constexpr double kUncountedSeconds = 30.0;

  explicit PostgresChangeProbe(ConnPtr conn) : conn_(std::move(conn)) {}

  int32_t Read(std::string& mark) override {
    ResultPtr result(PQexec(conn_.get(),
                            "SELECT pg_catalog.txid_current_snapshot()::text, "
                            "(SELECT pg_catalog.sum(n_tup_ins + n_tup_upd + n_tup_del) "
                            "FROM pg_catalog.pg_stat_user_tables)::text"));
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
      message_ = LibpqMessage(conn_.get());
      if (PQstatus(conn_.get()) == CONNECTION_BAD) return pgcode::kConnectionLost;
      const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
      return state ? PostgresErrorCode(state) : sqlcode::kInternal;
    }
    const std::string snapshot = PQgetvalue(result.get(), 0, 0);
    const std::string counts = PQgetisnull(result.get(), 0, 1) ? std::string() : PQgetvalue(result.get(), 0, 1);
    const auto now = std::chrono::steady_clock::now();
    if (read_ && counts != counts_) {
      ++generation_;
      uncounted_.reset();
    } else if (read_ && snapshot != snapshot_ && !uncounted_) {
      uncounted_ = now;
    }
    if (uncounted_ && std::chrono::duration<double>(now - *uncounted_).count() >= kUncountedSeconds) {
      ++generation_;
      uncounted_.reset();
    }
    read_ = true;
    counts_ = counts;
    snapshot_ = snapshot;
    mark = std::to_string(generation_);
    return sqlcode::kOk;
  }
  std::string Message() const override { return message_; }

 private:
  ConnPtr conn_;
  std::string message_;
  bool read_ = false;
  std::string counts_;
  std::string snapshot_;
  std::optional<std::chrono::steady_clock::time_point> uncounted_;  // the snapshot moved, the counts not
  int64_t generation_ = 0;
};

}  // namespace

int32_t OpenPostgresChangeProbe(const PostgresLogin& login, std::unique_ptr<ChangeProbe>& probe,
                                std::string& message) {
  probe.reset();
  ConnPtr conn;
  std::string serverEncoding;
  int64_t roundTrips = 0;
  int32_t rc = OpenConnection(login, conn, message, serverEncoding, roundTrips);
  // Each read is a statement of its own (no transaction is held open, which
  // would keep the server from cleaning up), and it may write nothing.
  bool silent = false;
  if (rc == sqlcode::kOk) {
    rc = ExecSimple(conn.get(), "SET default_transaction_read_only = on", AnswerTimeoutMs(), silent);
  }
  if (rc != sqlcode::kOk) {
    if (conn) message = LibpqMessage(conn.get());
    return rc;
  }
  probe = std::make_unique<PostgresChangeProbe>(std::move(conn));
  return sqlcode::kOk;
}

int32_t ConnectSession(const PostgresLogin& login, std::string_view snapshot,
                       std::shared_ptr<Session>& session, std::string& message) {
  // A snapshot name as the server gives it: hexadecimal digits and '-'.
  for (const char c : snapshot) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-')) {
      message = "not a snapshot name: " + std::string(snapshot);
      return sqlcode::kInvalidSql;
    }
  }
  session.reset();
  ConnPtr conn;
  std::string serverEncoding;
  int64_t roundTrips = 0;
  if (const int32_t opened = OpenConnection(login, conn, message, serverEncoding, roundTrips);
      opened != sqlcode::kOk) {
    return opened;
  }

  // Dates as text in ISO form, the form of the embedded database; then the
  // run's one read-only snapshot.
  const int wait = AnswerTimeoutMs();
  bool silent = false;
  int32_t rc = ExecSimple(conn.get(), "SET DateStyle = 'ISO, YMD'", wait, silent);
  if (rc == sqlcode::kOk) {
    rc = ExecSimple(conn.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", wait, silent);
  }
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
    message = silent ? NoAnswerMessage(wait) : LibpqMessage(conn.get(), !TextTakenAsStored(serverEncoding));
    return rc;
  }
  // Connecting, the two settings and the two preparations: one round trip each.
  constexpr int64_t kConnectRoundTrips = 5;
  session = std::make_shared<Session>(std::move(conn), kConnectRoundTrips + roundTrips,
                                      serverEncoding, wait);
  return sqlcode::kOk;
}

}  // namespace zx::pg

namespace zx {

std::string PostgresLibraryVersion() {
  // libpq gives its version as major * 10000 + minor from version 10 on.
  const int pq = PQlibVersion();
  return "libpq " + std::to_string(pq / 10000) + "." + std::to_string(pq % 10000);
}

}  // namespace zx
