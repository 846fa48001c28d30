// The server session of the PostgreSQL backend: one connection, one
// read-only REPEATABLE READ transaction for the whole run, and the statements
// prepared on it. Commands go to the server in pipelined batches: every
// batch runs between a SAVEPOINT and its RELEASE in one round trip, so a
// failing statement reports its code and leaves the transaction (and the
// open cursors) usable, as on Oracle.
#pragma once

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_errors.h"
#include "sql/postgres/pg_handles.h"
#include "sql/sql_backend.h"

namespace zx {

// Every statement runs between these two, so that its failure rolls back to
// the savepoint and leaves the session's transaction (and its open cursors)
// usable for the next statement, as Oracle does.
constexpr const char* kSavepointName = "zx_savepoint";
constexpr const char* kSavepointStatement = "zx_sp";
constexpr const char* kReleaseStatement = "zx_rel";
constexpr const char* kRecoverSql =
    "ROLLBACK TO SAVEPOINT zx_savepoint; RELEASE SAVEPOINT zx_savepoint";

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

inline Command Prepare(std::string name, std::string text) {
  Command command;
  command.kind = Command::Kind::Prepare;
  command.name = std::move(name);
  command.text = std::move(text);
  return command;
}

inline Command Execute(std::string name, const std::vector<const char*>* params = nullptr) {
  Command command;
  command.kind = Command::Kind::Execute;
  command.name = std::move(name);
  command.params = params;
  return command;
}

// Commands sent ahead of their use (Session::Send), in parts: each part runs
// between its own SAVEPOINT and RELEASE, all in one round trip whose results
// the session reads before it runs anything else. A failing part is rolled
// back alone; the parts after it do not run.
struct SentAhead {
  std::vector<std::vector<Command>> parts;
  // Once read: per part its code (sqlcode::kOk when it ran), and the index
  // of the command that failed in it (or the part's size when none did).
  std::vector<int32_t> rc;
  std::vector<std::size_t> failedAt;
};

// Waits until libpq holds the next result of `conn` whole, or the server
// has sent nothing for `timeoutMs` (0: no limit); false then. A server that
// keeps the connection open but stops answering (stopped, swapped out, a
// network that drops packets without a word) would otherwise keep the run
// waiting for ever. A failure of the connection itself returns true: the
// next PQgetResult reports it.
inline bool AwaitResult(PGconn* conn, int timeoutMs) {
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

// The words of a wait that ran out.
inline std::string NoAnswerMessage(int timeoutMs) {
  return "no answer from the server for " + std::to_string(timeoutMs / 1000) +
         " s (ZEPRINK_PG_TIMEOUT)";
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
  // The form that runs the statement for many inputs at once (see
  // RunAhead), prepared under this name; empty until needed. `manyFailed`:
  // that form cannot be had, the runs go one by one.
  std::string many;
  int manyLeading = 1;  // its columns before the statement's own
  bool manyFailed = false;
  std::vector<std::unique_ptr<CursorSlot>> slots;
  const std::string* oracleText = nullptr;  // its key in the session's statements
};

// True when the server's text is read and sent as it is stored, in the
// server's own encoding as the client encoding: it is the program's
// Windows-1252 bytes already (a WIN1252 database, every byte included), or
// bytes of no known encoding (a SQL_ASCII database), taken as Windows-1252.
// Any other server's text travels in UTF-8 and is converted value by value.
constexpr bool TextTakenAsStored(std::string_view serverEncoding) {
  return serverEncoding == "SQL_ASCII" || serverEncoding == "WIN1252";
}

// The connection and everything prepared on it. Shared by the backend and
// its rows objects, so a rows object may outlive the backend safely.
class Session {
 public:
  // `roundTrips`: those that connecting took; `serverEncoding`: the
  // server's parameter "server_encoding"; `answerTimeoutMs`: how long the
  // server may stay silent while a result is awaited (0: no limit).
  Session(ConnPtr conn, int64_t roundTrips, std::string_view serverEncoding, int answerTimeoutMs)
      : conn_(std::move(conn)),
        serverText_(ServerTextOf(serverEncoding)),
        convertsText_(!TextTakenAsStored(serverEncoding)),
        roundTrips_(roundTrips),
        answerTimeoutMs_(answerTimeoutMs) {}

  PGconn* Conn() const { return conn_.get(); }
  ServerText StoredText() const { return serverText_; }
  // Text travels in UTF-8 and is converted from and to the program's
  // Windows-1252 per value; false where it is taken as stored
  // (TextTakenAsStored).
  bool ConvertsText() const { return convertsText_; }
  bool Broken() const { return broken_; }
  int64_t PreparedCount() const { return prepared_; }
  int64_t RoundTrips() const { return roundTrips_; }
  int64_t StatementsRun() const { return statementsRun_; }
  void CountStatement() { ++statementsRun_; }
  // The server's (or libpq's) words for the last failure.
  const std::string& LastMessage() const { return lastMessage_; }
  void SetMessage(std::string message) { lastMessage_ = std::move(message); }
  // A statement that cannot run on the broken connection: its code, and
  // as its message the words of the failure that broke the connection (the
  // server's shutdown, a lost connection), which the reason of a failed
  // run must still name.
  int32_t NotConnected() {
    lastMessage_ = "the connection to the server is broken";
    if (!brokenBy_.empty()) lastMessage_ += ": " + brokenBy_;
    return pgcode::kNotConnected;
  }

  // Runs `main` between SAVEPOINT and RELEASE in one round trip, preceded
  // by the CLOSE of cursors whose rows objects are gone. On success every
  // main command holds its result. On failure the transaction is rolled back
  // to the savepoint and the failing statement's code is returned.
  //
  // With `failedMain`, a failure of a main command sets its index there and
  // leaves the results of the main commands before it in place.
  //
  // `inSavepoint` false runs the batch in the transaction itself (what a
  // subtransaction may not do, such as exporting the snapshot); a failure
  // then ends the session (Broken).
  int32_t Run(std::vector<Command>& main, std::size_t* failedMain = nullptr,
              bool inSavepoint = true) {
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

  // Sends the parts of `block` in one round trip without waiting for their
  // results: the server works on them while the program goes on. Their
  // results are read by Collect, which every Run does first (one block is in
  // flight at most: a block sent earlier is read first).
  void Send(std::shared_ptr<SentAhead> block) {
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

  // Reads the results of the block in flight, if any, into it. A failed part
  // is rolled back before anything else runs.
  void Collect() {
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
  // The statement that sets the current schema is prepared on the session.
  bool SchemaPrepared() const { return schemaPrepared_; }
  void SetSchemaPrepared() { schemaPrepared_ = true; }

  std::unordered_map<std::string, Statement>& Statements() { return statements_; }
  // Statements by the address of the Oracle text they were asked with last:
  // the program's texts are constants, found again without hashing them.
  std::unordered_map<const char*, Statement*>& StatementsByAddress() { return byAddress_; }

  // Answers of statements run ahead of their asking (see SqlLookahead),
  // by statement and inputs (PrefetchKey). Each cursor that ran them ahead
  // (their owner) keeps those of its current batch and of the one before
  // (a reader may still be at the rows before the batch boundary), so
  // several cursors open at once keep theirs side by side.
  struct Prefetched {
    std::shared_ptr<const PGresult> result;  // holds the answers of a whole batch
    int begin = 0;                           // this run's rows of it
    int end = 0;
    int leading = 1;  // the result's columns before the statement's own
  };
  using PrefetchedMap = std::unordered_map<std::string, Prefetched>;
  // The owner's map for the answers of its new batch; those of the batch
  // before it are kept, older ones go.
  PrefetchedMap& NewPrefetchedBatch(const void* owner) {
    OwnerAnswers& answers = prefetched_[owner];
    answers.previous = std::move(answers.current);
    answers.current.clear();
    return answers.current;
  }
  // The answer kept for a key by any cursor; null when none.
  const Prefetched* FindPrefetched(const std::string& key) const {
    for (const auto& [owner, answers] : prefetched_) {
      for (const PrefetchedMap* batch : {&answers.current, &answers.previous}) {
        if (auto found = batch->find(key); found != batch->end()) return &found->second;
      }
    }
    return nullptr;
  }
  bool AnyPrefetched() const {
    for (const auto& [owner, answers] : prefetched_) {
      if (!answers.current.empty() || !answers.previous.empty()) return true;
    }
    return false;
  }

 private:
  int32_t ErrorOf(const PGresult* result) {
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
  int32_t RunBatch(std::vector<Command>& commands, std::size_t& failedAt) {
    const int32_t sent = SendBatch(commands);
    if (sent != sqlcode::kOk) return sent;
    return ReadBatch(commands, failedAt);
  }

  // Sends all commands and a sync in one pipeline; the connection stays in
  // pipeline mode until ReadBatch has read their results.
  int32_t SendBatch(std::vector<Command>& commands) {
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
  int32_t ReadBatch(std::vector<Command>& commands, std::size_t& failedAt) {
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
  bool AwaitAnswer() {
    if (AwaitResult(conn_.get(), answerTimeoutMs_)) return true;
    lastMessage_ = NoAnswerMessage(answerTimeoutMs_);
    silent_ = true;
    Break();
    return false;
  }

  // Sends what libpq holds, taking in the server's results meanwhile; false
  // when the connection fails or the server takes nothing for the wait limit.
  bool FlushWhileReading(PGconn* conn) {
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

  void NoteConnectionMessage() {
    lastMessage_ = OneLine(PQerrorMessage(conn_.get()), convertsText_);
    if (lastMessage_.empty()) lastMessage_ = "connection to the server lost";
  }

  // After a failed batch: back to the state before its SAVEPOINT.
  void Recover() {
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
  void Break() {
    if (!broken_) brokenBy_ = lastMessage_;
    broken_ = true;
  }

  ConnPtr conn_;
  ServerText serverText_;
  bool convertsText_;
  bool broken_ = false;
  bool silent_ = false;  // the server stopped answering
  bool schemaPrepared_ = false;
  std::string brokenBy_;
  int64_t prepared_ = 0;
  int64_t roundTrips_ = 0;
  int answerTimeoutMs_ = 0;
  int64_t statementsRun_ = 0;
  uint64_t names_ = 0;
  std::unordered_map<std::string, Statement> statements_;
  std::unordered_map<const char*, Statement*> byAddress_;
  std::vector<CursorSlot*> pendingCloses_;
  // The block in flight (Send) and its commands as sent; none when null.
  std::shared_ptr<SentAhead> sent_;
  std::vector<Command> sentCommands_;
  struct OwnerAnswers {
    PrefetchedMap current;
    PrefetchedMap previous;
  };
  std::unordered_map<const void*, OwnerAnswers> prefetched_;
  std::string lastMessage_;
};


}  // namespace zx
