// The interface between the SQL session and a database backend. A backend
// runs the program's Oracle statement texts (with the INTO clause already
// removed) with Oracle's results, and hands rows back as plain values. The
// query operations never see this interface; only the session does.
//
// The contract every backend keeps (the system's database is Oracle, and
// every backend gives what Oracle gives on the same rows):
//
//  1. Statements. Query() gets a SELECT as the system writes it, without its
//     INTO clause; its placeholders :b0, :b1, ... are bound from the inputs
//     in the order they appear. Each distinct text is prepared once per
//     session and reused (PreparedStatementCount() proves it).
//  2. One state. A session is read-only and reads one consistent state of
//     the database from its connect to its end: commits of other
//     connections meanwhile are not seen, and the session never writes,
//     commits or locks anything a writer would wait for longer than the run.
//  3. A failed statement reports its negative code with the database's own
//     words (Message()) and leaves the session usable: the next statement
//     runs, and the rows of open cursors can still be read. Several rows
//     objects may be open at once, read between other statements.
//  4. Codes: 0 a row, 1403 no (further) row; negative Oracle error numbers:
//     -942 unknown table, -904 unknown column, -1722 a text where a number
//     is needed, -1455 a number too large, -29275 a text value the program
//     cannot hold (item 6), -1435 a schema the database does not hold, -922
//     no schema named; at connect -1017 login refused, -12154 a net service
//     that names nothing, -12541 no server listening, -1034 a database that
//     cannot be read, -54 a database locked by a writer. A lost connection
//     ends the session with its own code (-3113, -3114, -12609), never with
//     1403. The session adds its own (-1422 a second row of a SELECT INTO,
//     -1001, -1012, -2084, -1003..-1008).
//  5. NULL and the empty text. Oracle has no empty text: an empty text
//     stored is read as NULL, an input the session binds as NULL matches
//     nothing, and a function whose result would be the empty text gives
//     NULL.
//  6. Text is Windows-1252, one byte a character, as the sites' Oracle
//     clients deliver it. A value with a character that Windows-1252 cannot
//     represent is given marked (SqlValue::unrepresentable) and costs only
//     its own row.
//  7. Ordering. ORDER BY sorts text by its Windows-1252 bytes, NULLs last
//     ascending and first descending, also in a SELECT DISTINCT.
//  8. Dates are points in local time to the second, given as text
//     'YYYY-MM-DD HH:MM:SS'. SYSDATE is the local time, one point per
//     statement; trunc(d) that day at 00:00:00 (trunc of a number: toward
//     zero); TO_CHAR(d, format) with YYYY MM DD HH24 MI SS ('yyyymmdd' eight
//     digits); NVL(a, b) b for NULL (and for the empty text); SubStr(t, p, n)
//     counting from 1, position 0 as 1, a negative position from the end, a
//     length below 1 NULL; count(*) and distinct as usual.
//  9. Numbers come as integers (SqlValue::Kind::Integer) or, with a
//     fraction, as reals; a text column as text. Whether a column may hold
//     another type than its own is a capability (backend_registry.h).
// 10. ALTER SESSION SET CURRENT_SCHEMA: SetCurrentSchema() with the name as
//     the session read it; unqualified names then resolve in that schema.
//
// What a backend may do beyond this (share its state with other sessions,
// a page cache, a change probe) is data of its entry in
// the registry (backend_registry.h), not a question to the backend.
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
  // Runs a query (items 1 to 9): the session has checked that there are as
  // many inputs as placeholders. Several rows objects of one backend may be
  // open at once and read in turns (a cursor and the streams of its
  // lookups, sql/lookup_stream.h), each read forward in blocks.
  // `many`: the caller expects many rows (a cursor over every badge, a
  // lookup's stream), which a server backend then reads in blocks from the
  // start instead of first trying the result in one piece.
  virtual int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                        std::unique_ptr<SqlRows>& rows, bool many) = 0;
  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows) {
    return Query(oracleText, inputs, rows, false);
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

  // The capabilities' operations: the session calls each only on a backend
  // whose entry names the capability, so a backend without it keeps these.
  // sharesState: names the state of the database this session reads, so
  // that other sessions can read the very same state. 0 with the name, or
  // a negative code.
  virtual int32_t ExportSnapshot(std::string& name) {
    name.clear();
    return sqlcode::kInvalidSql;
  }
  // pageCache: lets the backend keep up to `bytes` of the database's pages
  // in memory.
  virtual void ReservePageCache(std::size_t bytes) { (void)bytes; }
  // changeProbe: opens a probe of the database's committed changes
  // (ChangeProbe) beside this session. 0, or a negative code with `message`.
  virtual int32_t OpenChangeProbe(std::unique_ptr<ChangeProbe>& probe, std::string& message) {
    probe.reset();
    message.clear();
    return sqlcode::kInvalidSql;
  }
};

}  // namespace zx
