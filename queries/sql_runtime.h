// The embedded SQL runtime: executes the program's Oracle statement texts on
// the connected database and reports each statement's status in SQLCODE.
//
// Host variable rules, the same on every backend:
//  - STRING output: the column value, at most length - 1 bytes, always
//    terminated (a longer value arrives cut).
//  - INTEGER output: a 4-byte signed integer; a value that is not a number
//    gives -1722, one that does not fit gives -1455 (never a silent 0).
//  - A NULL column (and an empty text, which Oracle cannot tell from NULL)
//    leaves its output variable unchanged.
//  - Outputs are written only when the statement ends with SQLCODE 0.
//
// Codes: 0 success; 1403 no row / no further row; negative Oracle error
// numbers otherwise (see the README's code table).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zx {

// Status of the last SQL statement: 0, 1403 or a negative error code.
extern int32_t SQLCODE;

// Oracle-style codes the runtime and its backends report.
namespace sqlcode {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoData = 1403;
inline constexpr int32_t kResourceBusy = -54;              // database locked by a writer
inline constexpr int32_t kInvalidSql = -900;               // statement the backend cannot run
inline constexpr int32_t kInvalidIdentifier = -904;        // unknown column
inline constexpr int32_t kMissingOption = -922;            // ALTER SESSION without a schema
inline constexpr int32_t kTableNotFound = -942;            // unknown table or view
inline constexpr int32_t kInvalidCursor = -1001;           // FETCH/CLOSE of a cursor not open
inline constexpr int32_t kNotLoggedOn = -1012;             // statement before CONNECT
inline constexpr int32_t kBadLogin = -1017;                // wrong user or password
inline constexpr int32_t kNotAvailable = -1034;            // database file unreadable / not a database
inline constexpr int32_t kTooManyRows = -1422;             // SELECT INTO found more than one row
inline constexpr int32_t kUnknownSchema = -1435;           // CURRENT_SCHEMA names no schema
inline constexpr int32_t kIntegerOverflow = -1455;         // value does not fit an INTEGER
inline constexpr int32_t kInvalidNumber = -1722;           // value is not a number
inline constexpr int32_t kConnectStringTooLong = -2084;    // connect string over 100 characters
inline constexpr int32_t kInternal = -600;                 // any other backend failure
inline constexpr int32_t kUnknownService = -12154;         // net service name does not resolve
inline constexpr int32_t kNoListener = -12541;             // no server listening
inline constexpr int32_t kNoStatementParsed = -1003;       // EXECUTE without a PREPARE
inline constexpr int32_t kBindVariableDoesNotExist = -1006;  // more inputs than placeholders
inline constexpr int32_t kVariableNotInSelectList = -1007;   // more outputs than columns
inline constexpr int32_t kNotAllVariablesBound = -1008;      // fewer inputs than placeholders
inline constexpr int32_t kDateFormatNotRecognized = -1821;   // TO_CHAR with an unknown format
inline constexpr int32_t kDateFormatMismatch = -1861;        // stored date not in the fixed format
}  // namespace sqlcode

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

// CONNECT with "user/password@netservice". A connect string of more than
// 100 characters is refused (-2084), never cut. Opens one read-only session
// that reads one consistent state of the database until the process ends.
// The user name ends at the first '/' (a user name holds no '/'); the net
// service name follows the last '@', so a password may hold '/' and '@' and a
// net service name ("sqlite:../db/site.db") may hold '/' but no '@'. Without
// a '/' the login is refused (-1017); without an '@' after it the net service
// name is empty. A CONNECT while connected ends the old session first.
int32_t SqlConnect(const char* connectString);

// PREPARE of the dynamic statement (the one ALTER SESSION statement), then
// EXECUTE of it. The prepared text is kept until the next PREPARE.
int32_t SqlPrepare(const char* statementText);
int32_t SqlExecute();

// SELECT ... INTO: the outputs in select-list order, then the inputs in
// placeholder order. More than one row gives -1422; none gives 1403.
int32_t SqlSelectInto(std::string_view statementText, std::span<const HostVar> outputs,
                      std::span<const HostVar> inputs);

// Cursors, named by the caller (one name per cursor declaration).
// OPEN of an open cursor closes it first, as a re-OPEN does.
int32_t SqlOpen(std::string_view cursorName, std::string_view statementText,
                std::span<const HostVar> inputs);
// FETCH into the outputs; -1001 when the cursor is not open; 1403 after the last row.
int32_t SqlFetch(std::string_view cursorName, std::span<const HostVar> outputs);
// CLOSE; -1001 when the cursor is not open.
int32_t SqlClose(std::string_view cursorName);

// Ends the session and forgets all cursors and prepared statements. The
// program never calls it (the session ends with the process); tests do.
void SqlDisconnect();

// Number of statement preparations of the session's backend since CONNECT;
// -1 when not connected. Every distinct statement text is prepared once per
// session and reused, so running a statement again leaves this unchanged.
int64_t SqlPreparedStatementCount();

}  // namespace zx
