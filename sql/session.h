// The SQL session: one connection to the database, through which the
// program's Oracle statement texts run, with Oracle's results on every
// backend (the contract of sql_backend.h). A session is an object: two
// sessions in one process are independent. Every operation returns the
// Oracle-style code of its statement; LastStatus() adds the database's words
// for a failure.
//
// Host variable rules, the same on every backend:
//  - STRING output: the column value, at most length - 1 bytes, always
//    terminated (a longer value arrives cut).
//  - INTEGER output: a 4-byte signed integer; a value that is not a number
//    gives -1722, one that does not fit gives -1455 (never a silent 0).
//  - A NULL column (and an empty text, which Oracle cannot tell from NULL)
//    leaves its output variable unchanged.
//  - Outputs are written only when the statement ends with code 0.
//  - An empty STRING input binds NULL.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sql/connection_settings.h"
#include "sql/lookup_stream.h"
#include "sql/sql_backend.h"
#include "sql/sql_status.h"

namespace zx {

class SqlBackend;
class SqlRows;
struct BackendEntry;

class SqlCursor;
class SharedAnswers;

enum class HostType { String, Integer };

// One host variable. For STRING, `length` is the declared buffer length with
// the terminator; for INTEGER it is 4. Inputs are read, outputs written.
struct HostVar {
  HostType type;
  void* data;
  int32_t length;
};

inline HostVar StringVar(char* buffer, int32_t length) {
  return HostVar{HostType::String, buffer, length};
}
// An input STRING: its text up to the terminator, at most length - 1 bytes.
inline HostVar StringIn(const char* text, int32_t length) {
  return HostVar{HostType::String, const_cast<char*>(text), length};
}
inline HostVar IntegerVar(int32_t* value) {
  return HostVar{HostType::Integer, value, 4};
}

class SqlSession {
 public:
  SqlSession();
  ~SqlSession();  // closes the cursors still open on it, then the connection
  SqlSession(const SqlSession&) = delete;
  SqlSession& operator=(const SqlSession&) = delete;

  // CONNECT with the settings, to the backend their net service selects
  // (backend_registry.h). Settings whose connect string "user/password@net"
  // would be longer than 100 characters are refused (-2084), never cut; a
  // login without a password is refused (-1017). Opens one read-only
  // session that reads one consistent state of the database until it ends.
  // With `snapshot`, it reads the state of the database that another
  // session named with ExportSnapshot (that session must stay open until
  // this one has connected). A CONNECT while connected ends the old session
  // first.
  int32_t Connect(const ConnectionSettings& settings, std::string_view snapshot = {});

  // Names the state of the database this session reads (see Connect).
  // Best asked before anything else: on a database server a failure may end
  // the session (LastStatus tells; connect again).
  int32_t ExportSnapshot(std::string& name);
  // Whether other sessions can read this session's state (ExportSnapshot
  // can work at all); false when not connected.
  bool SharesState() const;
  // Whether the database's columns may hold values of any type (see
  // BackendCapabilities); false when not connected.
  bool LooseColumnTypes() const;

  // Opens a probe that tells committed changes of the database apart
  // (sql_backend.h), on a connection of its own that stays usable after
  // this session ends. 0, or a negative code (LastStatus says why; -900
  // where the database cannot tell its changes).
  int32_t OpenChangeProbe(std::unique_ptr<ChangeProbe>& probe);

  // PREPARE of the dynamic statement (the one ALTER SESSION statement),
  // then EXECUTE of it. The prepared text is kept until the next PREPARE.
  int32_t Prepare(const char* statementText);
  int32_t Execute();

  // SELECT ... INTO: the outputs in select-list order, then the inputs in
  // placeholder order. More than one row gives -1422; none gives 1403.
  int32_t SelectInto(std::string_view statementText, std::span<const HostVar> outputs,
                     std::span<const HostVar> inputs);

  // Ends the connection and closes every cursor open on it.
  void Disconnect();
  bool Connected() const { return backend_ != nullptr; }

  // The code of the last statement and, when it failed, the database's (or
  // the runtime's) words for why.
  const SqlStatus& LastStatus() const { return last_; }

  // Called with every failed statement's status (not for 1403) and the
  // statement's text, for a diagnostic trace. None by default.
  void SetFailureObserver(std::function<void(const SqlStatus&, std::string_view)> observer) {
    observer_ = std::move(observer);
  }

  // Number of statement preparations of the backend since CONNECT; -1 when
  // not connected. Every distinct statement text is prepared once per
  // session and reused, so running a statement again leaves this unchanged.
  int64_t PreparedStatementCount() const;

  // Statements run and server round trips since CONNECT (zeros when not
  // connected).
  SqlCounters Counters() const;

  // Lets a backend with a page cache (BackendCapabilities) keep up to
  // `bytes` of the database's pages in memory (for a session that reads
  // with several cursors at once); nothing elsewhere, nothing when not
  // connected.
  void ReservePageCache(std::size_t bytes);

  // From now on the answers of these statements (lookups that several jobs
  // of the session ask with the same inputs) are kept, up to `capacity` of
  // them, and given again to a later run with the same inputs instead of
  // asking the database; until StopSharingAnswers. Only for a session that
  // reads one unchanging state of the database, as every run's does.
  void ShareAnswers(std::span<const std::string_view> statements, std::size_t capacity);
  void StopSharingAnswers();

  // Whether lookups named with a cursor's OPEN are answered from their
  // streams (sql/lookup_stream.h); on by default. Off, each runs on its own.
  void UseStreams(bool on) { useStreams_ = on; }
  // Lookups answered from streams since CONNECT.
  int64_t StreamedAnswers() const { return streamedAnswers_; }

  // Records a failure that another reader of a shared result met (the rows
  // of one cursor given to several jobs) as this statement's status, and
  // tells the failure observer, as if the job had run it itself.
  void ReplayFailure(const SqlStatus& status, std::string_view statement);

 private:
  friend class SqlCursor;
  struct Conversion;
  struct ParsedText {
    int32_t error = sqlcode::kOk;  // the text cannot be run (-900)
    std::string backendText;       // without the INTO clause
    std::size_t inputs = 0;        // placeholders left after the INTO clause
  };

  using ParsedEntry = std::pair<const std::string, ParsedText>;
  // The text as the session keeps it (an address that stays until the
  // session ends) with what it parsed of it.
  const ParsedEntry& ParseEntry(std::string_view text);
  const ParsedText& Parse(std::string_view text) { return ParseEntry(text).second; }
  int32_t RunQuery(std::string_view statementText, std::span<const HostVar> inputs,
                   std::unique_ptr<SqlRows>& rows, bool many = false);
  int32_t RunDynamic(const std::string& text);
  // Records the status of a statement: a runtime code with the runtime's
  // words, or a backend code with the backend's.
  int32_t Status(int32_t code, std::string_view statement = {});
  int32_t BackendStatus(int32_t code, std::string message, std::string_view statement);

  // Declared first so that it is destroyed last: cursors hold statements of it.
  std::unique_ptr<SqlBackend> backend_;
  // The registry's entry of the backend (what it can do); set with backend_.
  const BackendEntry* entry_ = nullptr;
  std::unordered_map<std::string, ParsedText> parsed_;
  std::unordered_map<const char*, const ParsedEntry*> parsedByAddress_;
  std::unique_ptr<Conversion> conversion_;
  std::optional<std::string> prepared_;
  std::unordered_set<SqlCursor*> openCursors_;
  SqlStatus last_;
  std::function<void(const SqlStatus&, std::string_view)> observer_;
  std::unique_ptr<SharedAnswers> answers_;
  bool useStreams_ = true;
  int64_t streamedAnswers_ = 0;
};

// A cursor: OPEN, FETCH row by row, CLOSE. It belongs to the session it was
// opened on; ending the session (or destroying the cursor) closes it.
class SqlCursor {
 public:
  SqlCursor();
  ~SqlCursor();
  SqlCursor(const SqlCursor&) = delete;
  SqlCursor& operator=(const SqlCursor&) = delete;

  // OPEN of an open cursor closes it first, as a re-OPEN does (also when
  // the new OPEN fails).
  int32_t Open(SqlSession& session, std::string_view statementText,
               std::span<const HostVar> inputs);
  // The same, naming the lookups that will be run for each row, keyed by
  // its first column: the session answers them from their streams.
  int32_t Open(SqlSession& session, std::string_view statementText,
               std::span<const HostVar> inputs, std::span<const StreamedLookup> lookups);
  // FETCH into the outputs; -1001 when the cursor is not open; 1403 after
  // the last row.
  int32_t Fetch(std::span<const HostVar> outputs);
  // CLOSE; -1001 when the cursor is not open.
  int32_t Close();
  bool IsOpen() const { return rows_ != nullptr; }

 private:
  friend class SqlSession;
  void Forget();  // the session ends: the rows go, the cursor is closed

  SqlSession* session_ = nullptr;
  std::unique_ptr<SqlRows> rows_;
  std::unique_ptr<LookupStreams> streams_;  // of the lookups named at OPEN
  std::string statement_;  // for the failure observer
};

}  // namespace zx
