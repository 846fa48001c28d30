#include "sql/postgres/pg_session.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "sql/postgres/pg_errors.h"
#include "sql/postgres/pg_rows.h"

namespace zx::pg {

namespace {

// Back to the state before the SAVEPOINT of a failed batch.
constexpr const char* kRecoverSql =
    "ROLLBACK TO SAVEPOINT zx_savepoint; RELEASE SAVEPOINT zx_savepoint";

}  // namespace

bool Command::Ran() const {
  if (!result) return false;
  const ExecStatusType status = PQresultStatus(result.get());
  return status != PGRES_PIPELINE_ABORTED;
}

Command Prepare(std::string name, std::string text) {
  Command command;
  command.kind = Command::Kind::Prepare;
  command.name = std::move(name);
  command.text = std::move(text);
  return command;
}

Command Execute(std::string name, const std::vector<const char*>* params) {
  Command command;
  command.kind = Command::Kind::Execute;
  command.name = std::move(name);
  command.params = params;
  return command;
}

bool AwaitResult(PGconn* conn, int timeoutMs) {
  if (timeoutMs <= 0) return true;
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (PQisBusy(conn) == 1) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd{};
    fd.fd = PQsocket(conn);
    if (fd.fd < 0) return true;
    fd.events = POLLIN;
    const int ready = ::poll(&fd, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return true;
    if (ready > 0) {
      if (PQconsumeInput(conn) != 1) return true;
      // The server is answering: the limit counts from its last word.
      deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
  }
  return true;
}

std::string NoAnswerMessage(int timeoutMs) {
  return "no answer from the server for " + std::to_string(timeoutMs / 1000) +
         " s (ZEPRINK_PG_TIMEOUT)";
}

Session::Session(ConnPtr conn, int64_t roundTrips, std::string_view serverEncoding,
                 int answerTimeoutMs)
    : conn_(std::move(conn)),
      serverText_(ServerTextOf(serverEncoding)),
      convertsText_(!TextTakenAsStored(serverEncoding)),
      roundTrips_(roundTrips),
      answerTimeoutMs_(answerTimeoutMs) {}

int32_t Session::NotConnected() {
  lastMessage_ = "the connection to the server is broken";
  if (!brokenBy_.empty()) lastMessage_ += ": " + brokenBy_;
  return pgcode::kNotConnected;
}

int32_t Session::Run(std::vector<Command>& main, std::size_t* failedMain, bool inSavepoint) {
  Collect();
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (broken_) return NotConnected();
    std::vector<Command> commands;
    if (inSavepoint) commands.push_back(Execute(kSavepointStatement));
    const std::size_t closeStart = commands.size();
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
    if (inSavepoint) commands.push_back(Execute(kReleaseStatement));

    std::size_t failedAt = commands.size();
    const int32_t rc = RunBatch(commands, failedAt);
    // A CLOSE that ran (or failed: the cursor is gone) frees its slot.
    for (std::size_t k = 0; k < closing.size(); ++k) {
      if (!commands[closeStart + k].Ran()) continue;
      closing[k]->state = CursorSlot::State::Free;
      std::erase(pendingCloses_, closing[k]);
    }
    if (rc == sqlcode::kOk) {
      for (std::size_t i = 0; i < main.size(); ++i) {
        main[i].result = std::move(commands[mainStart + i].result);
      }
      return rc;
    }
    // A failed CLOSE is not this statement's failure: run it again.
    const bool failedInClose = failedAt >= closeStart && failedAt < mainStart;
    if (failedMain != nullptr && !failedInClose && failedAt >= mainStart &&
        failedAt - mainStart < main.size()) {
      *failedMain = failedAt - mainStart;
      for (std::size_t i = 0; i < *failedMain; ++i) {
        main[i].result = std::move(commands[mainStart + i].result);
      }
    }
    Recover();
    if (!failedInClose) return rc;
  }
  return sqlcode::kInternal;
}

void Session::Send(std::shared_ptr<SentAhead> block) {
  Collect();
  block->rc.assign(block->parts.size(), sqlcode::kInternal);
  block->failedAt.assign(block->parts.size(), 0);
  if (broken_) {
    block->rc.assign(block->parts.size(), NotConnected());
    return;
  }
  std::vector<Command> commands;
  for (std::vector<Command>& part : block->parts) {
    commands.push_back(Execute(kSavepointStatement));
    for (Command& command : part) commands.push_back(std::move(command));
    commands.push_back(Execute(kReleaseStatement));
  }
  const int32_t rc = SendBatch(commands);
  if (rc != sqlcode::kOk) {
    block->rc.assign(block->parts.size(), rc);
    return;
  }
  sent_ = std::move(block);
  sentCommands_ = std::move(commands);
}

void Session::Collect() {
  if (!sent_) return;
  std::shared_ptr<SentAhead> block = std::move(sent_);
  std::vector<Command> commands = std::move(sentCommands_);
  sent_.reset();
  sentCommands_.clear();
  if (broken_) {
    block->rc.assign(block->parts.size(), NotConnected());
    return;
  }
  std::size_t failedAt = commands.size();
  const int32_t rc = ReadBatch(commands, failedAt);
  // Back into the parts: each part's commands, between its SAVEPOINT and RELEASE.
  const bool known = failedAt < commands.size();
  bool failed = false;
  std::size_t at = 0;
  for (std::size_t p = 0; p < block->parts.size(); ++p) {
    std::vector<Command>& part = block->parts[p];
    const std::size_t begin = at + 1;
    const std::size_t end = begin + part.size() + 1;  // past its RELEASE
    for (std::size_t i = 0; i < part.size(); ++i) part[i] = std::move(commands[begin + i]);
    block->failedAt[p] = part.size();
    if (failed) {
      // Not run: the part before it failed.
      block->rc[p] = broken_ ? rc : sqlcode::kInternal;
    } else if (rc == sqlcode::kOk || (known && failedAt >= end)) {
      block->rc[p] = sqlcode::kOk;
    } else {
      block->rc[p] = rc;
      if (known && failedAt >= begin && failedAt < begin + part.size()) {
        block->failedAt[p] = failedAt - begin;
      }
      failed = true;
    }
    at = end;
  }
  if (rc != sqlcode::kOk) Recover();
}

void Session::Release(CursorSlot* slot) {
  if (slot->state != CursorSlot::State::Open) return;
  if (broken_) {
    slot->state = CursorSlot::State::Free;
    return;
  }
  slot->state = CursorSlot::State::ClosePending;
  pendingCloses_.push_back(slot);
}

int32_t Session::ErrorOf(const PGresult* result) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  lastMessage_ = OneLine(primary != nullptr ? primary : PQerrorMessage(conn_.get()), convertsText_);
  if (PQstatus(conn_.get()) == CONNECTION_BAD) {
    Break();
    // A shutdown of the server says so; a lost connection says nothing.
    return state ? PostgresErrorCode(state) : pgcode::kConnectionLost;
  }
  return state ? PostgresErrorCode(state) : sqlcode::kInternal;
}

// Sends all commands and a sync in one pipeline and reads their results.
int32_t Session::RunBatch(std::vector<Command>& commands, std::size_t& failedAt) {
  const int32_t sent = SendBatch(commands);
  if (sent != sqlcode::kOk) return sent;
  return ReadBatch(commands, failedAt);
}

// Sends all commands and a sync in one pipeline; the connection stays in
// pipeline mode until ReadBatch has read their results.
int32_t Session::SendBatch(std::vector<Command>& commands) {
  PGconn* conn = conn_.get();
  ++roundTrips_;
  if (PQenterPipelineMode(conn) != 1) {
    if (PQstatus(conn) != CONNECTION_BAD) return sqlcode::kInternal;
    NoteConnectionMessage();
    Break();
    return pgcode::kNotConnected;
  }
  // A long batch is sent without blocking, reading the server's results
  // while sending: the server stops reading commands while it cannot send
  // its results, and blocking on both sides would never end.
  PQsetnonblocking(conn, 1);
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
      NoteConnectionMessage();
      Break();
      return pgcode::kConnectionLost;
    }
  }
  if (PQpipelineSync(conn) != 1 || !FlushWhileReading(conn)) {
    if (silent_) {
      lastMessage_ = NoAnswerMessage(answerTimeoutMs_);
      Break();
      return pgcode::kReceiveTimeout;
    }
    NoteConnectionMessage();
    Break();
    return pgcode::kConnectionLost;
  }
  PQsetnonblocking(conn, 0);
  return sqlcode::kOk;
}

// Reads the results of the commands SendBatch sent, and leaves pipeline mode.
int32_t Session::ReadBatch(std::vector<Command>& commands, std::size_t& failedAt) {
  PGconn* conn = conn_.get();
  int32_t rc = sqlcode::kOk;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    // Each command's results end with a NULL.
    while (PGresult* raw = AwaitAnswer() ? PQgetResult(conn) : nullptr) {
      ResultPtr result(raw);
      if (PQresultStatus(raw) == PGRES_FATAL_ERROR && rc == sqlcode::kOk) {
        rc = ErrorOf(raw);
        failedAt = i;
      }
      commands[i].result = std::move(result);
    }
    if (silent_) return pgcode::kReceiveTimeout;
    if (PQstatus(conn) == CONNECTION_BAD) {
      if (rc == sqlcode::kOk) NoteConnectionMessage();
      Break();
      return rc != sqlcode::kOk ? rc : pgcode::kConnectionLost;
    }
  }
  bool synced = false;
  for (int guard = 0; guard < 4 && !synced; ++guard) {
    if (!AwaitAnswer()) return pgcode::kReceiveTimeout;
    ResultPtr result(PQgetResult(conn));
    if (result) synced = PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC;
  }
  if (!synced || PQexitPipelineMode(conn) != 1) {
    if (rc == sqlcode::kOk) NoteConnectionMessage();
    Break();
    return rc != sqlcode::kOk ? rc : pgcode::kConnectionLost;
  }
  return rc;
}

// Waits for the server's next result (AwaitResult). When it stays silent
// past the limit, the connection is given up: the statement in flight
// may still be running there, and no later statement may share the wire.
bool Session::AwaitAnswer() {
  if (AwaitResult(conn_.get(), answerTimeoutMs_)) return true;
  lastMessage_ = NoAnswerMessage(answerTimeoutMs_);
  silent_ = true;
  Break();
  return false;
}

// Sends what libpq holds, taking in the server's results meanwhile; false
// when the connection fails or the server takes nothing for the wait limit.
bool Session::FlushWhileReading(PGconn* conn) {
  for (;;) {
    const int pending = PQflush(conn);
    if (pending == 0) return true;
    if (pending < 0) return false;
    pollfd fd{};
    fd.fd = PQsocket(conn);
    fd.events = POLLIN | POLLOUT;
    const int ready = ::poll(&fd, 1, answerTimeoutMs_ > 0 ? answerTimeoutMs_ : -1);
    if (ready == 0) {
      silent_ = true;
      return false;
    }
    if (ready < 0 && errno != EINTR) return false;
    if ((fd.revents & POLLIN) != 0 && PQconsumeInput(conn) != 1) return false;
  }
}

void Session::NoteConnectionMessage() {
  lastMessage_ = OneLine(PQerrorMessage(conn_.get()), convertsText_);
  if (lastMessage_.empty()) lastMessage_ = "connection to the server lost";
}

// After a failed batch: back to the state before its SAVEPOINT.
void Session::Recover() {
  if (broken_) return;
  PGconn* conn = conn_.get();
  if (PQtransactionStatus(conn) == PQTRANS_INERROR) {
    ++roundTrips_;
    ResultPtr result(PQexec(conn, kRecoverSql));
  }
  // Anything but an open, healthy transaction means the run's snapshot
  // is gone: no later statement may read another state.
  if (PQtransactionStatus(conn) != PQTRANS_INTRANS) Break();
}

// No statement runs on this connection any more; the words of the
// failure that broke it (in lastMessage_ now) are kept.
void Session::Break() {
  if (!broken_) brokenBy_ = lastMessage_;
  broken_ = true;
}

int32_t SetSchema(Session& session, const std::string& schema) {
  // The schema as Oracle names it (upper case) is found whatever the case
  // of its PostgreSQL name; the all-lower-case name, which unquoted names
  // in the statements reach, wins over other spellings.
  static constexpr const char* kSql =
      "SELECT pg_catalog.set_config('search_path', pg_catalog.quote_ident(n.nspname), false) "
      "FROM (SELECT nspname::text AS nspname FROM pg_catalog.pg_namespace "
      "WHERE pg_catalog.upper(nspname::text) = pg_catalog.upper($1::text) "
      "ORDER BY nspname::text = pg_catalog.lower(nspname::text) DESC, "
      "nspname::text = $1::text DESC, nspname::text COLLATE \"C\" LIMIT 1) n";
  std::string sent;
  AppendSentText(schema, session.ConvertsText(), sent);
  const std::vector<const char*> params{sent.c_str()};
  std::vector<Command> commands;
  commands.push_back(Prepare("zx_schema", kSql));
  commands.push_back(Execute("zx_schema", &params));
  // Prepared once per session: a later change of schema only executes it.
  if (session.SchemaPrepared()) commands.erase(commands.begin());
  const int32_t rc = session.Run(commands);
  if (rc != sqlcode::kOk) return rc;
  session.SetSchemaPrepared();
  if (PQntuples(commands.back().result.get()) == 1) return sqlcode::kOk;
  session.SetMessage("schema \"" + schema + "\" does not exist");
  return sqlcode::kUnknownSchema;
}

}  // namespace zx::pg
