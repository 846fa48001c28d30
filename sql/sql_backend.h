// The interface between the SQL session and a database backend. A backend
// runs the program's Oracle statement texts (with the INTO clause already
// removed) with Oracle's results, and hands rows back as plain values. The
// query operations never see this interface; only the session does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sql/sql_status.h"

namespace zx {

// A column value of the current row. `text` stays valid until the next call
// of Next() on the same rows object.
struct SqlValue {
  enum class Kind { Null, Integer, Real, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0.0;
  std::string_view text;
  // The text has a character that Windows-1252 cannot represent (the
  // database holds it in another encoding): `text` then shows it in a
  // printable form, each such character as <U+XXXX> (an invalid byte <xHH>).
  bool unrepresentable = false;
};

// An input host variable's value, as the statement binds it. The session
// decides NULL: Oracle cannot tell an empty STRING input from NULL, so an
// empty text binds NULL and matches nothing in a comparison.
struct SqlBind {
  enum class Kind { Null, Integer, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  std::string_view text;
};

// A statement whose runs for the rows of a cursor a backend may send ahead
// of their asking, a batch of rows at a time, and answer from what it got
// when the same statement comes with the same inputs: its text (INTO clause
// removed) and, for each placeholder, a constant or a column of the cursor's
// row, bound as a STRING input of `length` bytes binds it.
struct SqlLookahead {
  struct Input {
    int column = -1;        // >= 0: this column of the cursor's row
    int32_t length = 256;   // of the STRING the column's value is bound as
    SqlBind::Kind kind = SqlBind::Kind::Null;  // of a constant
    std::string text;       // of a constant
    int64_t integer = 0;    // of a constant
  };
  std::string text;
  std::vector<Input> inputs;
  // Run only for the rows for which the lookahead statement `after` (an
  // earlier one of the same cursor) answers a row whose column `column`
  // reads as the integer `value`; -1: for every row.
  struct Only {
    int after = -1;
    int column = 0;
    int64_t value = 0;
  };
  Only only;
};

// The rows of one executed query, read forward once.
class SqlRows {
 public:
  virtual ~SqlRows() = default;
  // Moves to the next row: 0 a row is there, 1403 no further row, negative error.
  virtual int32_t Next() = 0;
  virtual int ColumnCount() const = 0;
  // Column i (from 0) of the current row.
  virtual SqlValue Column(int i) const = 0;
  // The database's own words for the failure that Next() reported last.
  virtual std::string Message() const = 0;
};

// What a session has cost so far: the statements it ran and the round trips
// to a database server they took (0 for the embedded database).
struct SqlCounters {
  int64_t statements = 0;
  int64_t roundTrips = 0;
};

// Tells committed changes of the database apart without writing anything:
// a read of a mark of the database's committed state, on a connection of
// its own that reads outside any session's one state. Two reads give
// different marks when a change was committed between them; they may also
// differ when none was (a change elsewhere), never the other way round.
class ChangeProbe {
 public:
  virtual ~ChangeProbe() = default;
  // 0 with the mark, or a negative code with Message() saying why.
  virtual int32_t Read(std::string& mark) = 0;
  virtual std::string Message() const = 0;
};

class SqlBackend {
 public:
  virtual ~SqlBackend() = default;
  // Runs a query: `oracleText` is the statement without its INTO clause; its
  // placeholders (:bN) are bound from `inputs` in the order they appear (the
  // session has checked that there are as many inputs as placeholders).
  // Every distinct text is prepared once per session and reused.
  // `lookahead` names the statements that will be asked for each row of
  // these rows; a backend may run them ahead (a query with lookahead reads
  // many rows) or ignore them.
  virtual int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                        std::unique_ptr<SqlRows>& rows,
                        std::span<const SqlLookahead> lookahead) = 0;
  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows) {
    return Query(oracleText, inputs, rows, {});
  }
  // ALTER SESSION SET CURRENT_SCHEMA: 0, -922 for an empty name, -1435 for
  // a schema the database does not hold.
  virtual int32_t SetCurrentSchema(std::string_view schema) = 0;
  // The database's own words for the failure that Query or SetCurrentSchema
  // reported last; empty when it said nothing.
  virtual std::string Message() const = 0;
  // Number of statement preparations since the session opened: grows by one
  // per distinct text (and per text run again while its cached statement is
  // still busy in an open cursor), so tests can prove the reuse.
  virtual int64_t PreparedStatementCount() const = 0;
  virtual SqlCounters Counters() const = 0;
  // Names the state of the database this session reads, so that other
  // sessions can read the very same state (OpenBackend's `snapshot`).
  // Returns 0 with the name, or a negative code where the database cannot
  // share its state between sessions.
  virtual int32_t ExportSnapshot(std::string& name) {
    name.clear();
    return sqlcode::kInvalidSql;
  }
  // Whether ExportSnapshot can name this session's state for others at all
  // (a database server); false where one session must serve them all.
  virtual bool SharesState() const { return false; }
  // Whether a column may hold a value of any type (the embedded database):
  // a date column text of any form, a number column text. SQL's typeof()
  // then tells them apart. False where the columns keep their types.
  virtual bool LooseColumnTypes() const { return false; }
  // Lets the backend keep up to `bytes` of the database's pages in memory
  // (an embedded database's page cache); a server keeps its own.
  virtual void ReservePageCache(std::size_t bytes) { (void)bytes; }
  // Opens a probe of the database's committed changes (ChangeProbe) beside
  // this session. 0, or a negative code with `message` (-900 where the
  // database cannot tell its changes).
  virtual int32_t OpenChangeProbe(std::unique_ptr<ChangeProbe>& probe, std::string& message) {
    probe.reset();
    message = "this database cannot tell its committed changes";
    return sqlcode::kInvalidSql;
  }
};

// Opens the backend that the net service name selects ("sqlite:PATH" the
// embedded database, anything else a PostgreSQL service or URI).
// Returns 0 and sets `backend`, or a negative code with the database's (or
// the client library's) words in `message`.
// With `snapshot` (a name from ExportSnapshot of a session that is still
// open), the new session reads that session's state of the database.
int32_t OpenBackend(std::string_view user, std::string_view password, std::string_view netService,
                    std::unique_ptr<SqlBackend>& backend, std::string& message,
                    std::string_view snapshot = {});

}  // namespace zx
