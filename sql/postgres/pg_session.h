// The server session of the PostgreSQL backend: one connection, one
// read-only REPEATABLE READ transaction for the whole run, and the statements
// prepared on it. Commands go to the server in pipelined batches: every
// batch runs between a SAVEPOINT and its RELEASE in one round trip, so a
// failing statement reports its code and leaves the transaction (and the
// open cursors) usable, as on Oracle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_handles.h"
#include "sql/postgres/pg_statements.h"

namespace zx::pg {

// Every statement runs between these two, so that its failure rolls back to
// the savepoint and leaves the session's transaction (and its open cursors)
// usable for the next statement, as Oracle does.
inline constexpr const char* kSavepointName = "zx_savepoint";
inline constexpr const char* kSavepointStatement = "zx_sp";
inline constexpr const char* kReleaseStatement = "zx_rel";

// One command of a pipelined batch: a statement to prepare, or a prepared
// statement to execute with its parameters (NULL for an empty text).
struct Command {
  enum class Kind { Prepare, Execute };
  Kind kind = Kind::Execute;
  std::string name;
  std::string text;
  const std::vector<const char*>* params = nullptr;
  ResultPtr result;

  // The server ran it (it holds a result that the pipeline did not skip).
  bool Ran() const;
};

Command Prepare(std::string name, std::string text);
// `params` must stay until the command has run.
Command Execute(std::string name, const std::vector<const char*>* params = nullptr);

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
bool AwaitResult(PGconn* conn, int timeoutMs);

// The words of a wait that ran out.
std::string NoAnswerMessage(int timeoutMs);

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
  Session(ConnPtr conn, int64_t roundTrips, std::string_view serverEncoding, int answerTimeoutMs);

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
  int32_t NotConnected();

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
              bool inSavepoint = true);

  // Sends the parts of `block` in one round trip without waiting for their
  // results: the server works on them while the program goes on. Their
  // results are read by Collect, which every Run does first (one block is in
  // flight at most: a block sent earlier is read first).
  void Send(std::shared_ptr<SentAhead> block);

  // Reads the results of the block in flight, if any, into it. A failed part
  // is rolled back before anything else runs.
  void Collect();

  // The cursor of a rows object that is gone: closed with the next batch.
  void Release(CursorSlot* slot);

  std::string NextName(const char* prefix) { return prefix + std::to_string(++names_); }

  void CountPrepared() { ++prepared_; }
  // The statement that sets the current schema is prepared on the session.
  bool SchemaPrepared() const { return schemaPrepared_; }
  void SetSchemaPrepared() { schemaPrepared_ = true; }

  StatementCache& Statements() { return statements_; }

 private:
  int32_t ErrorOf(const PGresult* result);
  int32_t RunBatch(std::vector<Command>& commands, std::size_t& failedAt);
  int32_t SendBatch(std::vector<Command>& commands);
  int32_t ReadBatch(std::vector<Command>& commands, std::size_t& failedAt);
  bool AwaitAnswer();
  bool FlushWhileReading(PGconn* conn);
  void NoteConnectionMessage();
  void Recover();
  void Break();

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
  StatementCache statements_;
  std::vector<CursorSlot*> pendingCloses_;
  // The block in flight (Send) and its commands as sent; none when null.
  std::shared_ptr<SentAhead> sent_;
  std::vector<Command> sentCommands_;
  std::string lastMessage_;
};

// Makes `schema` the session's current schema; 0 or the code of the failure
// (sqlcode::kUnknownSchema when the server has no such schema).
int32_t SetSchema(Session& session, const std::string& schema);

}  // namespace zx::pg
