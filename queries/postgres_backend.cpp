#include "queries/postgres_backend.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "queries/oracle_sql.h"
#include "queries/sql_runtime.h"

namespace zx {

namespace {

struct ConnDeleter {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// Type OIDs of the built-in types whose values reach the program as numbers.
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kOidOid = 26;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kNumericOid = 1700;

// Every statement runs between these two, so that its failure rolls back to
// the savepoint and leaves the session's transaction (and its open cursors)
// usable for the next statement, as Oracle does.
constexpr const char* kSavepointName = "zx_savepoint";
constexpr const char* kSavepointStatement = "zx_sp";
constexpr const char* kReleaseStatement = "zx_rel";
constexpr const char* kRecoverSql =
    "ROLLBACK TO SAVEPOINT zx_savepoint; RELEASE SAVEPOINT zx_savepoint";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool IsUri(std::string_view netService) {
  return StartsWith(netService, "postgresql://") || StartsWith(netService, "postgres://");
}

// The SQLSTATE of a server's message as libpq renders it with verbose errors
// ("FATAL:  28P01: password authentication failed ..."), or empty.
std::string_view SqlStateInMessage(std::string_view message) {
  for (std::string_view severity : {"FATAL:  ", "ERROR:  ", "PANIC:  "}) {
    std::size_t at = message.find(severity);
    while (at != std::string_view::npos) {
      const std::string_view rest = message.substr(at + severity.size());
      bool code = rest.size() > 5 && rest[5] == ':';
      for (std::size_t i = 0; code && i < 5; ++i) {
        const char c = rest[i];
        code = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
      }
      if (code) return rest.substr(0, 5);
      at = message.find(severity, at + 1);
    }
  }
  return {};
}

// One command of a pipelined batch: a statement to prepare, or a prepared
// statement to execute with its parameters (NULL for an empty text).
struct Command {
  enum class Kind { Prepare, Execute };
  Kind kind = Kind::Execute;
  std::string name;
  std::string text;
  const std::vector<const char*>* params = nullptr;
  ResultPtr result;

  bool Ran() const {
    if (!result) return false;
    const ExecStatusType status = PQresultStatus(result.get());
    return status != PGRES_PIPELINE_ABORTED;
  }
};

Command Prepare(std::string name, std::string text) {
  Command command;
  command.kind = Command::Kind::Prepare;
  command.name = std::move(name);
  command.text = std::move(text);
  return command;
}

Command Execute(std::string name, const std::vector<const char*>* params = nullptr) {
  Command command;
  command.kind = Command::Kind::Execute;
  command.name = std::move(name);
  command.params = params;
  return command;
}

// A server-side cursor of one statement text and its prepared statements.
// A slot is reused by later queries of the same text once it is closed.
struct CursorSlot {
  enum class State { Free, Open, ClosePending };
  std::string cursor;
  std::string declare;
  std::string fetch;
  std::string close;
  State state = State::Free;
};

struct Statement {
  std::string text;  // the PostgreSQL text
  int parameters = 0;
  // The text with a row limit of one batch plus one, run directly: most
  // statements (every SELECT INTO, the per-badge cursors) end within one
  // batch and need no server-side cursor. Empty until prepared.
  std::string single;
  // A run gave more than one batch: later runs go straight to a cursor.
  bool large = false;
  std::vector<std::unique_ptr<CursorSlot>> slots;
};

// The connection and everything prepared on it. Shared by the backend and
// its rows objects, so a rows object may outlive the backend safely.
class Session {
 public:
  explicit Session(ConnPtr conn) : conn_(std::move(conn)) {}

  PGconn* Conn() const { return conn_.get(); }
  bool Broken() const { return broken_; }
  int64_t PreparedCount() const { return prepared_; }

  // Runs `main` between SAVEPOINT and RELEASE in one round trip, preceded
  // by the CLOSE of cursors whose rows objects are gone. On success every
  // main command holds its result. On failure the transaction is rolled back
  // to the savepoint and the failing statement's code is returned.
  int32_t Run(std::vector<Command>& main) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (broken_) return pgcode::kNotConnected;
      std::vector<Command> commands;
      commands.push_back(Execute(kSavepointStatement));
      std::vector<CursorSlot*> closing = pendingCloses_;
      for (CursorSlot* slot : closing) commands.push_back(Execute(slot->close));
      const std::size_t mainStart = commands.size();
      for (Command& command : main) {
        Command copy;
        copy.kind = command.kind;
        copy.name = command.name;
        copy.text = command.text;
        copy.params = command.params;
        commands.push_back(std::move(copy));
      }
      commands.push_back(Execute(kReleaseStatement));

      std::size_t failedAt = commands.size();
      const int32_t rc = RunBatch(commands, failedAt);
      // A CLOSE that ran (or failed: the cursor is gone) frees its slot.
      for (std::size_t k = 0; k < closing.size(); ++k) {
        if (!commands[1 + k].Ran()) continue;
        closing[k]->state = CursorSlot::State::Free;
        std::erase(pendingCloses_, closing[k]);
      }
      if (rc == sqlcode::kOk) {
        for (std::size_t i = 0; i < main.size(); ++i) {
          main[i].result = std::move(commands[mainStart + i].result);
        }
        return rc;
      }
      Recover();
      // A failed CLOSE is not this statement's failure: run it again.
      const bool failedInClose = failedAt >= 1 && failedAt < mainStart;
      if (!failedInClose) return rc;
    }
    return sqlcode::kInternal;
  }

  // The cursor of a rows object that is gone: closed with the next batch.
  void Release(CursorSlot* slot) {
    if (slot->state != CursorSlot::State::Open) return;
    if (broken_) {
      slot->state = CursorSlot::State::Free;
      return;
    }
    slot->state = CursorSlot::State::ClosePending;
    pendingCloses_.push_back(slot);
  }

  std::string NextName(const char* prefix) { return prefix + std::to_string(++names_); }

  void CountPrepared() { ++prepared_; }

  std::unordered_map<std::string, Statement>& Statements() { return statements_; }

 private:
  int32_t ErrorOf(const PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (PQstatus(conn_.get()) == CONNECTION_BAD) {
      broken_ = true;
      // A shutdown of the server says so; a lost connection says nothing.
      return state ? PostgresErrorCode(state) : pgcode::kConnectionLost;
    }
    return state ? PostgresErrorCode(state) : sqlcode::kInternal;
  }

  // Sends all commands and a sync in one pipeline and reads their results.
  int32_t RunBatch(std::vector<Command>& commands, std::size_t& failedAt) {
    PGconn* conn = conn_.get();
    if (PQenterPipelineMode(conn) != 1) {
      broken_ = PQstatus(conn) == CONNECTION_BAD;
      return broken_ ? pgcode::kNotConnected : sqlcode::kInternal;
    }
    for (Command& command : commands) {
      int sent = 0;
      if (command.kind == Command::Kind::Prepare) {
        sent = PQsendPrepare(conn, command.name.c_str(), command.text.c_str(), 0, nullptr);
      } else {
        const int n = command.params ? static_cast<int>(command.params->size()) : 0;
        sent = PQsendQueryPrepared(conn, command.name.c_str(), n,
                                   n > 0 ? command.params->data() : nullptr, nullptr, nullptr, 0);
      }
      if (sent != 1) {
        broken_ = true;
        return pgcode::kConnectionLost;
      }
    }
    if (PQpipelineSync(conn) != 1) {
      broken_ = true;
      return pgcode::kConnectionLost;
    }

    int32_t rc = sqlcode::kOk;
    for (std::size_t i = 0; i < commands.size(); ++i) {
      // Each command's results end with a NULL.
      while (PGresult* raw = PQgetResult(conn)) {
        ResultPtr result(raw);
        if (PQresultStatus(raw) == PGRES_FATAL_ERROR && rc == sqlcode::kOk) {
          rc = ErrorOf(raw);
          failedAt = i;
        }
        commands[i].result = std::move(result);
      }
      if (PQstatus(conn) == CONNECTION_BAD) {
        broken_ = true;
        return rc != sqlcode::kOk ? rc : pgcode::kConnectionLost;
      }
    }
    bool synced = false;
    for (int guard = 0; guard < 4 && !synced; ++guard) {
      ResultPtr result(PQgetResult(conn));
      if (result) synced = PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC;
    }
    if (!synced || PQexitPipelineMode(conn) != 1) {
      broken_ = true;
      return rc != sqlcode::kOk ? rc : pgcode::kConnectionLost;
    }
    return rc;
  }

  // After a failed batch: back to the state before its SAVEPOINT.
  void Recover() {
    if (broken_) return;
    PGconn* conn = conn_.get();
    if (PQtransactionStatus(conn) == PQTRANS_INERROR) {
      ResultPtr result(PQexec(conn, kRecoverSql));
    }
    // Anything but an open, healthy transaction means the run's snapshot
    // is gone: no later statement may read another state.
    if (PQtransactionStatus(conn) != PQTRANS_INTRANS) broken_ = true;
  }

  ConnPtr conn_;
  bool broken_ = false;
  int64_t prepared_ = 0;
  uint64_t names_ = 0;
  std::unordered_map<std::string, Statement> statements_;
  std::vector<CursorSlot*> pendingCloses_;
};

// The rows of one query: the open cursor and its current batch.
class PgRows final : public SqlRows {
 public:
  // `slot` is the open cursor that delivers further batches, or nullptr
  // when `batch` is the whole result.
  PgRows(std::shared_ptr<Session> session, CursorSlot* slot, ResultPtr batch)
      : session_(std::move(session)), slot_(slot), batch_(std::move(batch)) {
    columns_ = PQnfields(batch_.get());
    lastBatch_ = !slot_ || PQntuples(batch_.get()) < kPostgresFetchBatch;
    kinds_.reserve(static_cast<std::size_t>(columns_));
    for (int i = 0; i < columns_; ++i) kinds_.push_back(KindOf(PQftype(batch_.get(), i)));
  }
  ~PgRows() override {
    if (slot_) session_->Release(slot_);
  }
  PgRows(const PgRows&) = delete;
  PgRows& operator=(const PgRows&) = delete;

  int32_t Next() override {
    if (failed_ != sqlcode::kOk) return failed_;
    // Once the session has broken, the rows still held here end too: the
    // statements run for them fail, so a writer going on with them would
    // write their badges without rights and end as if it had read them all.
    if (session_->Broken()) {
      batch_.reset();
      row_ = -1;
      failed_ = pgcode::kNotConnected;
      return failed_;
    }
    if (batch_ && row_ + 1 < PQntuples(batch_.get())) {
      ++row_;
      return sqlcode::kOk;
    }
    if (lastBatch_) {
      batch_.reset();
      row_ = -1;
      return sqlcode::kNoData;
    }
    // The batch is used up: let it go before the next one arrives.
    batch_.reset();
    row_ = -1;
    std::vector<Command> fetch;
    fetch.push_back(Execute(slot_->fetch));
    const int32_t rc = session_->Run(fetch);
    if (rc != sqlcode::kOk) {
      failed_ = rc;
      return rc;
    }
    batch_ = std::move(fetch[0].result);
    lastBatch_ = PQntuples(batch_.get()) < kPostgresFetchBatch;
    return Next();
  }

  int ColumnCount() const override { return columns_; }

  SqlValue Column(int i) const override {
    SqlValue value;
    if (!batch_ || row_ < 0 || i < 0 || i >= columns_) return value;
    PGresult* result = batch_.get();
    if (PQgetisnull(result, row_, i)) return value;
    const std::string_view text(PQgetvalue(result, row_, i),
                                static_cast<std::size_t>(PQgetlength(result, row_, i)));
    const char* end = text.data() + text.size();
    switch (kinds_[static_cast<std::size_t>(i)]) {
      case SqlValue::Kind::Integer: {
        int64_t integer = 0;
        const auto parsed = std::from_chars(text.data(), end, integer);
        if (parsed.ec == std::errc() && parsed.ptr == end) {
          value.kind = SqlValue::Kind::Integer;
          value.integer = integer;
          return value;
        }
        [[fallthrough]];  // a numeric with a fraction or beyond 64 bits
      }
      case SqlValue::Kind::Real: {
        double real = 0.0;
        const auto parsed = std::from_chars(text.data(), end, real);
        if (parsed.ptr == end && (parsed.ec == std::errc() || parsed.ec == std::errc::result_out_of_range)) {
          value.kind = SqlValue::Kind::Real;
          value.real = real;
          return value;
        }
        break;
      }
      case SqlValue::Kind::Null:
      case SqlValue::Kind::Text:
        break;
    }
    value.kind = SqlValue::Kind::Text;
    value.text = text;
    return value;
  }

  int BufferedRows() const { return batch_ ? PQntuples(batch_.get()) : 0; }

 private:
  static SqlValue::Kind KindOf(Oid type) {
    switch (type) {
      case kInt2Oid:
      case kInt4Oid:
      case kInt8Oid:
      case kOidOid:
      case kNumericOid:
        return SqlValue::Kind::Integer;
      case kFloat4Oid:
      case kFloat8Oid:
        return SqlValue::Kind::Real;
      default:
        return SqlValue::Kind::Text;
    }
  }

  std::shared_ptr<Session> session_;
  CursorSlot* slot_;
  ResultPtr batch_;
  int row_ = -1;
  int columns_ = 0;
  bool lastBatch_ = false;
  int32_t failed_ = sqlcode::kOk;
  std::vector<SqlValue::Kind> kinds_;
};

class PostgresBackend final : public SqlBackend {
 public:
  explicit PostgresBackend(std::shared_ptr<Session> session) : session_(std::move(session)) {}

  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows) override {
    rows.reset();
    if (session_->Broken()) return pgcode::kNotConnected;
    auto& statements = session_->Statements();
    auto found = statements.find(std::string(oracleText));
    if (found == statements.end()) {
      Statement statement;
      if (!TranslateForPostgres(oracleText, statement.text, statement.parameters)) {
        return sqlcode::kInvalidSql;
      }
      found = statements.emplace(std::string(oracleText), std::move(statement)).first;
    }
    Statement& statement = found->second;
    const auto count = static_cast<int>(inputs.size());
    if (count < statement.parameters) return sqlcode::kNotAllVariablesBound;
    if (count > statement.parameters) return sqlcode::kBindVariableDoesNotExist;

    // Parameters as text; an empty text binds NULL, as Oracle binds it.
    std::vector<std::string> texts;
    texts.reserve(inputs.size());
    std::vector<const char*> params;
    for (const SqlBind& bind : inputs) {
      texts.push_back(bind.isInteger ? std::to_string(bind.integer) : std::string(bind.text));
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      params.push_back(!inputs[i].isInteger && texts[i].empty() ? nullptr : texts[i].c_str());
    }

    if (!statement.large) {
      std::vector<Command> commands;
      std::string name = statement.single;
      if (name.empty()) {
        name = session_->NextName("zx_s");
        commands.push_back(Prepare(name, statement.text + " LIMIT " +
                                             std::to_string(kPostgresFetchBatch + 1)));
      }
      commands.push_back(Execute(name, &params));
      const int32_t rc = session_->Run(commands);
      if (rc != sqlcode::kOk) return rc;
      if (statement.single.empty()) {
        statement.single = name;
        session_->CountPrepared();
      }
      ResultPtr result = std::move(commands.back().result);
      if (PQntuples(result.get()) <= kPostgresFetchBatch) {
        rows = std::make_unique<PgRows>(session_, nullptr, std::move(result));
        return sqlcode::kOk;
      }
      // More than one batch: this run, and every later one, reads the
      // rows through a cursor from the start.
      statement.large = true;
    }

    // A slot of this text whose cursor is closed (or about to be closed
    // ahead of the DECLARE in the same batch); a new one otherwise.
    CursorSlot* slot = nullptr;
    for (auto& candidate : statement.slots) {
      if (candidate->state == CursorSlot::State::Free) {
        slot = candidate.get();
        break;
      }
    }
    if (!slot) {
      for (auto& candidate : statement.slots) {
        if (candidate->state == CursorSlot::State::ClosePending) {
          slot = candidate.get();
          break;
        }
      }
    }
    std::unique_ptr<CursorSlot> fresh;
    std::vector<Command> commands;
    if (!slot) {
      fresh = std::make_unique<CursorSlot>();
      fresh->cursor = session_->NextName("zx_c");
      fresh->declare = session_->NextName("zx_d");
      fresh->fetch = session_->NextName("zx_f");
      fresh->close = session_->NextName("zx_x");
      slot = fresh.get();
      commands.push_back(
          Prepare(slot->declare, "DECLARE " + slot->cursor + " NO SCROLL CURSOR FOR " + statement.text));
      commands.push_back(Prepare(slot->fetch, "FETCH FORWARD " + std::to_string(kPostgresFetchBatch) +
                                                  " FROM " + slot->cursor));
      commands.push_back(Prepare(slot->close, "CLOSE " + slot->cursor));
    }
    commands.push_back(Execute(slot->declare, &params));
    commands.push_back(Execute(slot->fetch));
    const int32_t rc = session_->Run(commands);
    if (rc != sqlcode::kOk) return rc;
    if (fresh) {
      statement.slots.push_back(std::move(fresh));
      session_->CountPrepared();
    }
    slot->state = CursorSlot::State::Open;
    rows = std::make_unique<PgRows>(session_, slot, std::move(commands.back().result));
    return sqlcode::kOk;
  }

  int32_t SetCurrentSchema(std::string_view schema) override {
    if (schema.empty()) return sqlcode::kMissingOption;
    if (session_->Broken()) return pgcode::kNotConnected;
    // The schema as Oracle names it (upper case) is found whatever the case
    // of its PostgreSQL name; the all-lower-case name, which unquoted names
    // in the statements reach, wins over other spellings.
    static constexpr const char* kSql =
        "SELECT pg_catalog.set_config('search_path', pg_catalog.quote_ident(n.nspname), false) "
        "FROM (SELECT nspname::text AS nspname FROM pg_catalog.pg_namespace "
        "WHERE pg_catalog.upper(nspname::text) = pg_catalog.upper($1::text) "
        "ORDER BY nspname::text = pg_catalog.lower(nspname::text) DESC, "
        "nspname::text = $1::text DESC, nspname::text COLLATE \"C\" LIMIT 1) n";
    if (schemaStatement_.empty()) {
      const std::string name = session_->NextName("zx_schema");
      std::vector<Command> prepare;
      prepare.push_back(Prepare(name, kSql));
      const int32_t rc = session_->Run(prepare);
      if (rc != sqlcode::kOk) return rc;
      schemaStatement_ = name;
    }
    const std::string text(schema);
    const std::vector<const char*> params{text.c_str()};
    std::vector<Command> commands;
    commands.push_back(Execute(schemaStatement_, &params));
    const int32_t rc = session_->Run(commands);
    if (rc != sqlcode::kOk) return rc;
    return PQntuples(commands[0].result.get()) == 1 ? sqlcode::kOk : sqlcode::kUnknownSchema;
  }

  int64_t PreparedStatementCount() const override { return session_->PreparedCount(); }

 private:
  std::shared_ptr<Session> session_;
  std::string schemaStatement_;
};

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

// libpq's connect_timeout of the resolved options (at least 2 seconds, as
// libpq applies it); 0 for none.
int ConnectTimeout(PGconn* conn) {
  PQconninfoOption* options = PQconninfo(conn);
  int seconds = 0;
  for (PQconninfoOption* option = options; option && option->keyword; ++option) {
    if (std::string_view(option->keyword) == "connect_timeout" && option->val) {
      const std::string_view text(option->val);
      std::from_chars(text.data(), text.data() + text.size(), seconds);
    }
  }
  PQconninfoFree(options);
  if (seconds <= 0) return 0;
  return seconds < 2 ? 2 : seconds;
}

int32_t ExecSimple(PGconn* conn, const char* sql) {
  ResultPtr result(PQexec(conn, sql));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return sqlcode::kOk;
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  if (PQstatus(conn) == CONNECTION_BAD) return pgcode::kConnectionLost;
  return state ? PostgresErrorCode(state) : sqlcode::kInternal;
}

int32_t PrepareSimple(PGconn* conn, const char* name, const char* sql) {
  ResultPtr result(PQprepare(conn, name, sql, 0, nullptr));
  if (result && PQresultStatus(result.get()) == PGRES_COMMAND_OK) return sqlcode::kOk;
  if (PQstatus(conn) == CONNECTION_BAD) return pgcode::kConnectionLost;
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  return state ? PostgresErrorCode(state) : sqlcode::kInternal;
}


// Text sorts by its Windows-1252 bytes, the bytes the program reads, as it
// does on the embedded database. The server's own byte order differs where
// the server does not store text in Windows-1252: in UTF-8 the characters
// of the bytes 0x80..0x9F (the euro sign, S and Z with caron, ...) sort
// after the letters with accents. So an ORDER BY item x becomes two keys:
// first x's Windows-1252 bytes when x is text (NULL for every value of any
// other type, so that x alone decides there), then x itself. The keys take
// the item's direction and NULL placement, so a NULL text still sorts last
// ascending and first descending.
bool AddByteOrderKey(oracle::OrderItem& item) {
  const std::string x = oracle::Render(item.expression);
  const std::string suffix = oracle::Render(item.suffix);
  oracle::Tokens keys;
  const bool tokenized = oracle::Tokenize(
      "convert_to(CASE WHEN CAST(pg_typeof(" + x +
          ") AS text) IN ('text', 'character varying', 'character') THEN CAST(" + x +
          " AS text) END, 'WIN1252')" + (suffix.empty() ? "" : " " + suffix) + ", " + x,
      keys);
  if (!tokenized || keys.empty()) return false;
  keys.front().spaceBefore = item.expression.front().spaceBefore;
  item.expression = std::move(keys);
  return true;
}

// Position of the statement's own "ORDER BY" (outside parentheses), or the
// number of tokens when it has none.
std::size_t TopLevelOrderBy(const oracle::Tokens& tokens) {
  int depth = 0;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (oracle::IsPunct(tokens[i], "(")) ++depth;
    if (oracle::IsPunct(tokens[i], ")")) --depth;
    if (depth == 0 && oracle::IsWord(tokens[i], "ORDER") && oracle::IsWord(tokens[i + 1], "BY")) return i;
  }
  return tokens.size();
}

// Sorts text by its Windows-1252 bytes (see AddByteOrderKey). A SELECT
// DISTINCT may sort only by what it selects, so its rows are sorted outside:
// "SELECT * FROM (<select distinct ...>) zx_sorted ORDER BY ...", which needs
// every item of its ORDER BY to be a column name; otherwise it keeps the
// server's order. Returns false when the text cannot be rewritten.
bool SortTextByWindows1252Bytes(oracle::Tokens& tokens) {
  const std::size_t orderBy = TopLevelOrderBy(tokens);
  const bool distinct =
      tokens.size() >= 2 && oracle::IsWord(tokens[0], "SELECT") && oracle::IsWord(tokens[1], "DISTINCT");
  if (distinct && orderBy < tokens.size()) {
    oracle::Tokens items(tokens.begin() + static_cast<std::ptrdiff_t>(orderBy), tokens.end());
    bool namesOnly = true;
    oracle::RewriteOrderBy(items, [&namesOnly](oracle::OrderItem& item) {
      namesOnly = namesOnly && item.expression.size() == 1 &&
                  item.expression.front().kind == oracle::TokenKind::Identifier;
    });
    if (!namesOnly) return true;
    oracle::Tokens wrapped;
    if (!oracle::Tokenize("SELECT * FROM (", wrapped)) return false;
    wrapped.insert(wrapped.end(), tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(orderBy));
    oracle::Tokens alias;
    if (!oracle::Tokenize(") zx_sorted", alias)) return false;
    wrapped.insert(wrapped.end(), alias.begin(), alias.end());
    wrapped.insert(wrapped.end(), tokens.begin() + static_cast<std::ptrdiff_t>(orderBy), tokens.end());
    tokens = std::move(wrapped);
  }
  bool rewritten = true;
  oracle::RewriteOrderBy(tokens, [&rewritten](oracle::OrderItem& item) {
    rewritten = AddByteOrderKey(item) && rewritten;
  });
  return rewritten;
}

}  // namespace

bool TranslateForPostgres(std::string_view oracleText, std::string& postgresText,
                          int& parameterCount) {
  oracle::Tokens tokens;
  if (!oracle::Tokenize(oracleText, tokens)) return false;
  // SYSDATE is the server's local time to the second, cut (LOCALTIMESTAMP(0)
  // would round 23:59:59.6 up into the next day).
  oracle::Tokens now;
  if (!oracle::Tokenize("date_trunc('second', LOCALTIMESTAMP)", now)) return false;
  oracle::ReplaceIdentifier(tokens, "SYSDATE", now);
  // trunc of a date: the day at midnight.
  oracle::RewriteCalls(tokens, "trunc", [](const std::vector<oracle::Tokens>& args,
                                           oracle::Tokens& replacement) {
    if (args.size() != 1) return false;
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "date_trunc"));
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Punct, "(", false));
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::String, "'day'", false));
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Punct, ",", false));
    bool first = true;
    for (oracle::Token token : args[0]) {
      token.spaceBefore = token.spaceBefore || first;
      first = false;
      replacement.push_back(std::move(token));
    }
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Punct, ")", false));
    return true;
  });
  oracle::RenameCalls(tokens, "NVL", "coalesce");
  if (!SortTextByWindows1252Bytes(tokens)) return false;
  parameterCount = oracle::ReplacePlaceholders(
      tokens, [](int index) {
        std::string placeholder = "$";
        placeholder += std::to_string(index + 1);
        return placeholder;
      });
  postgresText = oracle::Render(tokens);
  return true;
}

int32_t PostgresErrorCode(std::string_view sqlstate) {
  static constexpr struct {
    std::string_view state;
    int32_t code;
  } kExact[] = {
      {"42P01", sqlcode::kTableNotFound},
      {"42703", sqlcode::kInvalidIdentifier},
      {"42883", sqlcode::kInvalidIdentifier},
      {"42804", pgcode::kInconsistentTypes},
      {"42501", pgcode::kInsufficientPrivileges},
      {"3F000", sqlcode::kUnknownSchema},
      {"22P02", sqlcode::kInvalidNumber},
      {"22003", sqlcode::kIntegerOverflow},
      {"22012", pgcode::kDivisionByZero},
      {"22007", sqlcode::kDateFormatMismatch},
      {"22008", sqlcode::kDateFormatMismatch},
      {"22P05", pgcode::kUntranslatable},
      {"22021", pgcode::kUntranslatable},
      {"28P01", sqlcode::kBadLogin},
      {"28000", sqlcode::kBadLogin},
      {"3D000", pgcode::kDatabaseUnknown},
      {"53300", pgcode::kTooManySessions},
      {"55P03", sqlcode::kResourceBusy},
      {"57014", pgcode::kUserCancel},
      {"57P01", pgcode::kShutdownInProgress},
      {"57P02", pgcode::kShutdownInProgress},
      {"57P03", pgcode::kStartupOrShutdown},
  };
  for (const auto& entry : kExact) {
    if (entry.state == sqlstate) return entry.code;
  }
  if (StartsWith(sqlstate, "08")) return pgcode::kConnectionLost;
  if (StartsWith(sqlstate, "42")) return sqlcode::kInvalidSql;
  return sqlcode::kInternal;
}

int32_t PostgresConnectErrorCode(std::string_view message) {
  const std::string_view state = SqlStateInMessage(message);
  if (!state.empty()) {
    // The server cannot deliver the client encoding WIN1252.
    if ((state == "0A000" || state == "22023") && Contains(message, "WIN1252")) {
      return pgcode::kEncodingUnsupported;
    }
    return PostgresErrorCode(state);
  }
  if (Contains(message, "Is the server running")) return sqlcode::kNoListener;
  if (Contains(message, "could not translate host name")) return pgcode::kHostUnknown;
  if (Contains(message, "timeout expired")) return pgcode::kConnectTimeout;
  if (Contains(message, "no password supplied")) return sqlcode::kBadLogin;
  if (Contains(message, "server closed the connection unexpectedly")) {
    return pgcode::kConnectionClosed;
  }
  if (Contains(message, "out of memory")) return sqlcode::kInternal;
  if (StartsWith(message, "connection to server")) return pgcode::kProtocolError;
  // Failed before any server was tried: the service or URI is not usable.
  return sqlcode::kUnknownService;
}

int PostgresBufferedRows(const SqlRows& rows) {
  const auto* pgRows = dynamic_cast<const PgRows*>(&rows);
  return pgRows ? pgRows->BufferedRows() : -1;
}

int32_t OpenPostgresBackend(std::string_view user, std::string_view password,
                            std::string_view netService, std::unique_ptr<SqlBackend>& backend) {
  backend.reset();
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
  if (!conn) return sqlcode::kInternal;
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
      if (!WaitForSocket(conn.get(), status, timeout)) return pgcode::kConnectTimeout;
      status = PQconnectPoll(conn.get());
    }
  }
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    return PostgresConnectErrorCode(PQerrorMessage(conn.get()));
  }
  PQsetErrorVerbosity(conn.get(), PQERRORS_DEFAULT);
  if (std::string_view(pg_encoding_to_char(PQclientEncoding(conn.get()))) != "WIN1252") {
    return pgcode::kEncodingUnsupported;
  }

  // Dates as text in ISO form, the form of the embedded database; then the
  // run's one read-only snapshot.
  int32_t rc = ExecSimple(conn.get(), "SET DateStyle = 'ISO, YMD'");
  if (rc == sqlcode::kOk) rc = ExecSimple(conn.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  if (rc == sqlcode::kOk) {
    rc = PrepareSimple(conn.get(), kSavepointStatement,
                       (std::string("SAVEPOINT ") + kSavepointName).c_str());
  }
  if (rc == sqlcode::kOk) {
    rc = PrepareSimple(conn.get(), kReleaseStatement,
                       (std::string("RELEASE SAVEPOINT ") + kSavepointName).c_str());
  }
  if (rc != sqlcode::kOk) return rc;
  backend = std::make_unique<PostgresBackend>(std::make_shared<Session>(std::move(conn)));
  return sqlcode::kOk;
}

}  // namespace zx
