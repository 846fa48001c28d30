// The status of an SQL statement: the Oracle-style code that every caller
// tests, and the message of the database (or of the runtime) that says in
// words what went wrong, for the people who read it.
//
// Codes: 0 success; 1403 no row / no further row; negative Oracle error
// numbers otherwise (see the README's code table).
#pragma once

#include <cstdint>
#include <string>

namespace zx {

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
// A text value the program cannot hold: a character without a Windows-1252
// byte, or a NUL byte (which would end the host STRING early).
inline constexpr int32_t kUntranslatable = -29275;
}  // namespace sqlcode

struct SqlStatus {
  int32_t code = sqlcode::kOk;
  std::string message;  // empty on success and for 1403
  // With kUntranslatable: the output (from 0) whose value could not be held.
  int column = -1;
};

}  // namespace zx
