// The embedded SQL runtime: host variable conversion, cursors by name, the
// one dynamic statement, and the session's backend. Backend-neutral: the
// backend sees Oracle texts without their INTO clause and plain bind values.
#include "queries/sql_runtime.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "queries/oracle_sql.h"
#include "queries/sql_backend.h"

namespace zx {

int32_t SQLCODE = 0;

namespace {

// A statement text as the runtime hands it to the backend.
struct ParsedText {
  int32_t error = sqlcode::kOk;  // the text cannot be run (-900)
  std::string backendText;       // without the INTO clause
  std::size_t inputs = 0;        // placeholders left after the INTO clause
};

struct Session {
  // Declared first so that it is destroyed last: cursors hold statements of it.
  std::unique_ptr<SqlBackend> backend;
  std::unordered_map<std::string, ParsedText> parsed;
  std::optional<std::string> prepared;
  std::map<std::string, std::unique_ptr<SqlRows>, std::less<>> cursors;
};

Session& TheSession() {
  static Session session;
  return session;
}

int32_t Status(int32_t code) {
  SQLCODE = code;
  return code;
}

const ParsedText& Parse(std::string_view text) {
  Session& session = TheSession();
  const std::string key(text);
  auto found = session.parsed.find(key);
  if (found != session.parsed.end()) return found->second;
  ParsedText parsed;
  oracle::Tokens tokens;
  if (!oracle::Tokenize(text, tokens) || oracle::RemoveIntoClause(tokens) < 0) {
    parsed.error = sqlcode::kInvalidSql;
  } else {
    parsed.inputs = oracle::Placeholders(tokens).size();
    parsed.backendText = oracle::Render(tokens);
  }
  return session.parsed.emplace(key, std::move(parsed)).first->second;
}

bool ValidOutput(const HostVar& var) {
  if (var.data == nullptr) return false;
  return var.type == HostType::String ? var.length >= 1 : var.length == 4;
}

// The bind values of the inputs: a STRING is its text up to the terminator,
// at most length - 1 bytes; an INTEGER its 4-byte value.
int32_t ReadInputs(std::span<const HostVar> inputs, std::size_t placeholders,
                   std::vector<SqlBind>& binds) {
  if (inputs.size() < placeholders) return sqlcode::kNotAllVariablesBound;
  if (inputs.size() > placeholders) return sqlcode::kBindVariableDoesNotExist;
  binds.clear();
  for (const HostVar& var : inputs) {
    SqlBind bind;
    if (var.data == nullptr) return sqlcode::kInternal;
    if (var.type == HostType::Integer) {
      if (var.length != 4) return sqlcode::kInternal;
      int32_t value = 0;
      std::memcpy(&value, var.data, sizeof value);
      bind.isInteger = true;
      bind.integer = value;
    } else {
      if (var.length < 1) return sqlcode::kInternal;
      const char* text = static_cast<const char*>(var.data);
      bind.text = std::string_view(text, strnlen(text, static_cast<std::size_t>(var.length - 1)));
    }
    binds.push_back(bind);
  }
  return sqlcode::kOk;
}

// Oracle's text form of a number: no exponent for ordinary values, no
// leading zero before the decimal point (0.5 is ".5").
std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  if (text.rfind("0.", 0) == 0) text.erase(0, 1);
  if (text.rfind("-0.", 0) == 0) text.erase(1, 1);
  return text;
}

int32_t ToInt32(double value, int32_t& out) {
  if (std::isnan(value)) return sqlcode::kInvalidNumber;
  const double truncated = std::trunc(value);  // as a NUMBER into an int: toward zero
  if (truncated < -2147483648.0 || truncated > 2147483647.0) return sqlcode::kIntegerOverflow;
  out = static_cast<int32_t>(truncated);
  return sqlcode::kOk;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A text column into an INTEGER: the text must be a number, blanks around it
// allowed (sign, digits, optional fraction and exponent).
int32_t ParseInteger(std::string_view text, int32_t& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string_view body = text;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < body.size() && IsDigit(body[i])) ++i, ++digits;
  if (i < body.size() && body[i] == '.') {
    ++i;
    while (i < body.size() && IsDigit(body[i])) ++i, ++digits;
  }
  if (digits == 0) return sqlcode::kInvalidNumber;
  bool negativeExponent = false;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) negativeExponent = body[i++] == '-';
    std::size_t exponentDigits = 0;
    while (i < body.size() && IsDigit(body[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return sqlcode::kInvalidNumber;
  }
  if (i != body.size()) return sqlcode::kInvalidNumber;
  double value = 0.0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (!negativeExponent) return sqlcode::kIntegerOverflow;
    value = 0.0;  // too small for a double: zero in an integer
  } else if (result.ec != std::errc() || result.ptr != body.data() + body.size()) {
    return sqlcode::kInvalidNumber;
  }
  if (text.front() == '-') value = -value;
  return ToInt32(value, out);
}

// One output's converted value, copied to the host variable only when the
// whole statement succeeded.
struct Converted {
  bool present = false;  // false: NULL or empty text, the output stays as it was
  std::string text;
  int32_t integer = 0;
};

int32_t Convert(const SqlValue& value, const HostVar& var, Converted& out) {
  out = Converted{};
  switch (value.kind) {
    case SqlValue::Kind::Null:
      return sqlcode::kOk;
    case SqlValue::Kind::Text:
      // Oracle cannot store an empty text apart from NULL.
      if (value.text.empty()) return sqlcode::kOk;
      out.present = true;
      if (var.type == HostType::String) {
        out.text = std::string(value.text);
        return sqlcode::kOk;
      }
      return ParseInteger(value.text, out.integer);
    case SqlValue::Kind::Integer:
      out.present = true;
      if (var.type == HostType::String) {
        out.text = std::to_string(value.integer);
        return sqlcode::kOk;
      }
      if (value.integer < INT32_MIN || value.integer > INT32_MAX) return sqlcode::kIntegerOverflow;
      out.integer = static_cast<int32_t>(value.integer);
      return sqlcode::kOk;
    case SqlValue::Kind::Real:
      out.present = true;
      if (var.type == HostType::String) {
        out.text = NumberText(value.real);
        return sqlcode::kOk;
      }
      return ToInt32(value.real, out.integer);
  }
  return sqlcode::kInternal;
}

void Store(const Converted& value, const HostVar& var) {
  if (!value.present) return;
  if (var.type == HostType::Integer) {
    std::memcpy(var.data, &value.integer, sizeof value.integer);
    return;
  }
  // At most length - 1 bytes, always terminated: a longer value arrives cut.
  const std::size_t capacity = static_cast<std::size_t>(var.length - 1);
  const std::size_t n = value.text.size() < capacity ? value.text.size() : capacity;
  char* buffer = static_cast<char*>(var.data);
  if (n > 0) std::memcpy(buffer, value.text.data(), n);
  buffer[n] = '\0';
}

// Converts every output of the current row; nothing is written here.
int32_t ConvertRow(const SqlRows& rows, std::span<const HostVar> outputs,
                   std::vector<Converted>& values) {
  if (outputs.size() > static_cast<std::size_t>(rows.ColumnCount())) {
    return sqlcode::kVariableNotInSelectList;
  }
  values.resize(outputs.size());
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const int32_t rc = Convert(rows.Column(static_cast<int>(i)), outputs[i], values[i]);
    if (rc != sqlcode::kOk) return rc;
  }
  return sqlcode::kOk;
}

void StoreRow(const std::vector<Converted>& values, std::span<const HostVar> outputs) {
  for (std::size_t i = 0; i < values.size(); ++i) Store(values[i], outputs[i]);
}

// Runs a query text with its inputs; the common start of SELECT INTO and OPEN.
int32_t RunQuery(std::string_view statementText, std::span<const HostVar> inputs,
                 std::unique_ptr<SqlRows>& rows) {
  Session& session = TheSession();
  if (!session.backend) return sqlcode::kNotLoggedOn;
  const ParsedText& parsed = Parse(statementText);
  if (parsed.error != sqlcode::kOk) return parsed.error;
  std::vector<SqlBind> binds;
  const int32_t rc = ReadInputs(inputs, parsed.inputs, binds);
  if (rc != sqlcode::kOk) return rc;
  return session.backend->Query(parsed.backendText, binds, rows);
}

// The schema of "ALTER SESSION SET CURRENT_SCHEMA=<schema>", as Oracle
// resolves it: an unquoted name upper-cased, a quoted one as written.
int32_t RunDynamic(const std::string& text) {
  using oracle::IsPunct;
  using oracle::IsWord;
  oracle::Tokens tokens;
  if (!oracle::Tokenize(text, tokens)) return sqlcode::kInvalidSql;
  const bool isSchemaStatement = tokens.size() >= 5 && IsWord(tokens[0], "ALTER") &&
                                 IsWord(tokens[1], "SESSION") && IsWord(tokens[2], "SET") &&
                                 IsWord(tokens[3], "CURRENT_SCHEMA") && IsPunct(tokens[4], "=");
  if (!isSchemaStatement) return sqlcode::kInvalidSql;
  if (tokens.size() != 6) return sqlcode::kMissingOption;  // no schema, or more than a name
  const oracle::Token& name = tokens[5];
  std::string schema;
  if (name.kind == oracle::TokenKind::Identifier) {
    schema = oracle::ToUpperAscii(name.text);
  } else if (name.kind == oracle::TokenKind::QuotedIdentifier) {
    for (std::size_t i = 1; i + 1 < name.text.size(); ++i) {
      schema += name.text[i];
      if (name.text[i] == '"') ++i;  // a doubled quote stands for one
    }
    if (schema.empty()) return sqlcode::kMissingOption;
  } else {
    return sqlcode::kMissingOption;
  }
  return TheSession().backend->SetCurrentSchema(schema);
}

}  // namespace

int32_t SqlConnect(const char* connectString) {
  SqlDisconnect();
  const char* text = connectString != nullptr ? connectString : "";
  // The connect string is at most 100 characters; a longer one is refused,
  // never cut, so no other login is tried than the one configured.
  const std::size_t length = strnlen(text, 101);
  if (length > 100) return Status(sqlcode::kConnectStringTooLong);
  const std::string_view login(text, length);
  const std::size_t slash = login.find('/');
  if (slash == std::string_view::npos) return Status(sqlcode::kBadLogin);
  const std::string_view user = login.substr(0, slash);
  std::string_view password = login.substr(slash + 1);
  std::string_view netService;
  const std::size_t at = password.rfind('@');
  if (at != std::string_view::npos) {
    netService = password.substr(at + 1);
    password = password.substr(0, at);
  }
  std::unique_ptr<SqlBackend> backend;
  const int32_t rc = OpenBackend(user, password, netService, backend);
  if (rc != sqlcode::kOk) return Status(rc);
  if (!backend) return Status(sqlcode::kInternal);
  TheSession().backend = std::move(backend);
  return Status(sqlcode::kOk);
}

int32_t SqlPrepare(const char* statementText) {
  Session& session = TheSession();
  if (!session.backend) return Status(sqlcode::kNotLoggedOn);
  session.prepared = statementText != nullptr ? statementText : "";
  return Status(sqlcode::kOk);
}

int32_t SqlExecute() {
  Session& session = TheSession();
  if (!session.backend) return Status(sqlcode::kNotLoggedOn);
  if (!session.prepared) return Status(sqlcode::kNoStatementParsed);
  return Status(RunDynamic(*session.prepared));
}

int32_t SqlSelectInto(std::string_view statementText, std::span<const HostVar> outputs,
                      std::span<const HostVar> inputs) {
  if (!TheSession().backend) return Status(sqlcode::kNotLoggedOn);
  for (const HostVar& var : outputs) {
    if (!ValidOutput(var)) return Status(sqlcode::kInternal);
  }
  std::unique_ptr<SqlRows> rows;
  int32_t rc = RunQuery(statementText, inputs, rows);
  if (rc != sqlcode::kOk) return Status(rc);
  rc = rows->Next();
  if (rc != sqlcode::kOk) return Status(rc);
  std::vector<Converted> values;
  rc = ConvertRow(*rows, outputs, values);
  if (rc != sqlcode::kOk) return Status(rc);
  rc = rows->Next();  // a second row makes the SELECT INTO fail
  if (rc == sqlcode::kOk) return Status(sqlcode::kTooManyRows);
  if (rc != sqlcode::kNoData) return Status(rc);
  StoreRow(values, outputs);
  return Status(sqlcode::kOk);
}

int32_t SqlOpen(std::string_view cursorName, std::string_view statementText,
                std::span<const HostVar> inputs) {
  Session& session = TheSession();
  if (!session.backend) return Status(sqlcode::kNotLoggedOn);
  // A re-OPEN closes the cursor first, also when the new OPEN fails.
  if (auto open = session.cursors.find(cursorName); open != session.cursors.end()) {
    session.cursors.erase(open);
  }
  std::unique_ptr<SqlRows> rows;
  const int32_t rc = RunQuery(statementText, inputs, rows);
  if (rc != sqlcode::kOk) return Status(rc);
  session.cursors.emplace(std::string(cursorName), std::move(rows));
  return Status(sqlcode::kOk);
}

int32_t SqlFetch(std::string_view cursorName, std::span<const HostVar> outputs) {
  Session& session = TheSession();
  if (!session.backend) return Status(sqlcode::kNotLoggedOn);
  auto cursor = session.cursors.find(cursorName);
  if (cursor == session.cursors.end()) return Status(sqlcode::kInvalidCursor);
  for (const HostVar& var : outputs) {
    if (!ValidOutput(var)) return Status(sqlcode::kInternal);
  }
  int32_t rc = cursor->second->Next();
  if (rc != sqlcode::kOk) return Status(rc);
  std::vector<Converted> values;
  rc = ConvertRow(*cursor->second, outputs, values);
  if (rc != sqlcode::kOk) return Status(rc);
  StoreRow(values, outputs);
  return Status(sqlcode::kOk);
}

int32_t SqlClose(std::string_view cursorName) {
  Session& session = TheSession();
  if (!session.backend) return Status(sqlcode::kNotLoggedOn);
  auto cursor = session.cursors.find(cursorName);
  if (cursor == session.cursors.end()) return Status(sqlcode::kInvalidCursor);
  session.cursors.erase(cursor);
  return Status(sqlcode::kOk);
}

void SqlDisconnect() {
  Session& session = TheSession();
  session.cursors.clear();
  session.prepared.reset();
  session.parsed.clear();
  session.backend.reset();
}

int64_t SqlPreparedStatementCount() {
  const Session& session = TheSession();
  return session.backend ? session.backend->PreparedStatementCount() : -1;
}

}  // namespace zx
