// The SQL session: host variable conversion, cursors, the one dynamic
// statement, and the session's backend. Backend-neutral: the backend sees
// Oracle texts without their INTO clause and plain bind values.
#include "sql/session.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "sql/backend_registry.h"
#include "sql/oracle_sql.h"
#include "sql/shared_answers.h"
#include "sql/sql_backend.h"

namespace zx {

namespace {

// The runtime's own words for the codes it reports itself.
std::string_view RuntimeMessage(int32_t code) {
  switch (code) {
    case sqlcode::kInvalidSql: return "Anweisung kann nicht gelesen werden";
    case sqlcode::kMissingOption: return "kein Schema angegeben";
    case sqlcode::kInvalidCursor: return "Cursor nicht geoeffnet";
    case sqlcode::kNotLoggedOn: return "nicht mit der Datenbank verbunden";
    case sqlcode::kBadLogin: return "Anmeldung ohne '/' zwischen Benutzer und Passwort";
    case sqlcode::kTooManyRows: return "Abfrage liefert mehr als eine Zeile";
    case sqlcode::kIntegerOverflow: return "Wert passt nicht in eine ganze Zahl";
    case sqlcode::kInvalidNumber: return "Wert ist keine Zahl";
    case sqlcode::kConnectStringTooLong: return "Anmeldetext laenger als 100 Zeichen";
    case sqlcode::kNoStatementParsed: return "EXECUTE ohne PREPARE";
    case sqlcode::kBindVariableDoesNotExist: return "mehr Eingabewerte als Platzhalter";
    case sqlcode::kVariableNotInSelectList: return "mehr Ausgabewerte als Spalten";
    case sqlcode::kNotAllVariablesBound: return "weniger Eingabewerte als Platzhalter";
    case sqlcode::kInternal: return "ungueltige Hostvariable";
    case sqlcode::kUntranslatable:
      return "Text mit einem Zeichen ohne Windows-1252-Code oder einem NUL-Byte";
    default: return {};
  }
}

bool ValidOutput(const HostVar& var) {
  if (var.data == nullptr) return false;
  return var.type == HostType::String ? var.length >= 1 : var.length == 4;
}

// The bind values of the inputs: a STRING is its text up to the terminator,
// at most length - 1 bytes (the empty text is NULL); an INTEGER its 4-byte
// value. The only check of the number of inputs against the placeholders.
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
      bind.kind = SqlBind::Kind::Integer;
      bind.integer = value;
    } else {
      if (var.length < 1) return sqlcode::kInternal;
      const char* text = static_cast<const char*>(var.data);
      bind.text = std::string_view(text, strnlen(text, static_cast<std::size_t>(var.length - 1)));
      // Oracle cannot tell an empty text from NULL: it binds NULL.
      bind.kind = bind.text.empty() ? SqlBind::Kind::Null : SqlBind::Kind::Text;
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
// One output's converted value, copied to the host variable only when the
// whole statement succeeded. A text lies in the conversion's arena.
struct Converted {
  bool present = false;  // false: NULL or empty text, the output stays as it was
  std::size_t offset = 0;
  std::size_t length = 0;
  int32_t integer = 0;
};

void PutText(std::string_view text, Converted& out, std::string& arena) {
  out.offset = arena.size();
  out.length = text.size();
  arena.append(text);
}

int32_t Convert(const SqlValue& value, const HostVar& var, Converted& out, std::string& arena) {
  out = Converted{};
  switch (value.kind) {
    case SqlValue::Kind::Null:
      return sqlcode::kOk;
    case SqlValue::Kind::Text:
      // Oracle cannot store an empty text apart from NULL.
      if (value.text.empty()) return sqlcode::kOk;
      out.present = true;
      if (value.unrepresentable || value.text.find('\0') != std::string_view::npos) {
        // A host STRING would hold another text (a NUL ends it early): the
        // value is kept in its printable form, for a message to name it.
        std::string shown;
        for (const char c : value.text) {
          if (c == '\0') {
            shown += "<NUL>";
          } else {
            shown += c;
          }
        }
        PutText(shown, out, arena);
        return sqlcode::kUntranslatable;
      }
      if (var.type == HostType::String) {
        PutText(value.text, out, arena);
        return sqlcode::kOk;
      }
      return ParseInteger(value.text, out.integer);
    case SqlValue::Kind::Integer: {
      out.present = true;
      if (var.type == HostType::String) {
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, value.integer);
        PutText(std::string_view(digits, static_cast<std::size_t>(written.ptr - digits)), out, arena);
        return sqlcode::kOk;
      }
      if (value.integer < INT32_MIN || value.integer > INT32_MAX) return sqlcode::kIntegerOverflow;
      out.integer = static_cast<int32_t>(value.integer);
      return sqlcode::kOk;
    }
    case SqlValue::Kind::Real:
      out.present = true;
      if (var.type == HostType::String) {
        PutText(NumberText(value.real), out, arena);
        return sqlcode::kOk;
      }
      return ToInt32(value.real, out.integer);
  }
  return sqlcode::kInternal;
}

void Store(const Converted& value, const HostVar& var, const std::string& arena) {
  if (!value.present) return;
  if (var.type == HostType::Integer) {
    std::memcpy(var.data, &value.integer, sizeof value.integer);
    return;
  }
  // At most length - 1 bytes, always terminated: a longer value arrives cut.
  const std::size_t capacity = static_cast<std::size_t>(var.length - 1);
  const std::size_t n = value.length < capacity ? value.length : capacity;
  char* buffer = static_cast<char*>(var.data);
  if (n > 0) std::memcpy(buffer, arena.data() + value.offset, n);
  buffer[n] = '\0';
}

}  // namespace

// The converted values of one row, kept until they are stored. Reused from
// statement to statement, so a statement allocates nothing once warm.
struct SqlSession::Conversion {
  std::vector<Converted> values;
  std::string arena;
  int unrepresentable = -1;
  std::vector<SqlBind> binds;

  // Converts every output of the current row; nothing is written here. A
  // text that cannot be held (kUntranslatable) does not stop the others:
  // `unrepresentable` is the first such output, or -1.
  int32_t ConvertRow(const SqlRows& rows, std::span<const HostVar> outputs) {
    unrepresentable = -1;
    if (outputs.size() > static_cast<std::size_t>(rows.ColumnCount())) {
      return sqlcode::kVariableNotInSelectList;
    }
    values.resize(outputs.size());
    arena.clear();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      const int32_t rc = Convert(rows.Column(static_cast<int>(i)), outputs[i], values[i], arena);
      if (rc == sqlcode::kUntranslatable) {
        if (unrepresentable < 0) unrepresentable = static_cast<int>(i);
      } else if (rc != sqlcode::kOk) {
        return rc;
      }
    }
    return unrepresentable >= 0 ? sqlcode::kUntranslatable : sqlcode::kOk;
  }

  void StoreRow(std::span<const HostVar> outputs) const {
    for (std::size_t i = 0; i < values.size(); ++i) Store(values[i], outputs[i], arena);
  }
};

namespace {
}  // namespace

SqlSession::SqlSession() : conversion_(std::make_unique<Conversion>()) {}

SqlSession::~SqlSession() { Disconnect(); }

int32_t SqlSession::Status(int32_t code, std::string_view statement) {
  last_.code = code;
  last_.column = -1;
  last_.message = code < 0 ? std::string(RuntimeMessage(code)) : std::string();
  if (code < 0 && observer_) observer_(last_, statement);
  return code;
}

int32_t SqlSession::BackendStatus(int32_t code, std::string message, std::string_view statement) {
  if (code >= 0) return Status(code, statement);
  last_.code = code;
  last_.column = -1;
  last_.message = message.empty() ? std::string(RuntimeMessage(code)) : std::move(message);
  if (observer_) observer_(last_, statement);
  return code;
}

const SqlSession::ParsedEntry& SqlSession::ParseEntry(std::string_view text) {
  // The program's statements are constants: the same text comes at the same
  // address again, so the address finds it without hashing the whole text;
  // the comparison keeps a different text at a reused address apart.
  if (auto known = parsedByAddress_.find(text.data()); known != parsedByAddress_.end()) {
    const std::string& key = known->second->first;
    if (key.size() == text.size() && std::memcmp(key.data(), text.data(), text.size()) == 0) {
      return *known->second;
    }
  }
  const std::string key(text);
  auto found = parsed_.find(key);
  if (found != parsed_.end()) {
    parsedByAddress_[text.data()] = &*found;
    return *found;
  }
  ParsedText parsed;
  oracle::Tokens tokens;
  if (!oracle::Tokenize(text, tokens) || oracle::RemoveIntoClause(tokens) < 0) {
    parsed.error = sqlcode::kInvalidSql;
  } else {
    parsed.inputs = oracle::Placeholders(tokens).size();
    parsed.backendText = oracle::Render(tokens);
  }
  auto added = parsed_.emplace(key, std::move(parsed)).first;
  parsedByAddress_[text.data()] = &*added;
  return *added;
}

// Runs a query text with its inputs; the common start of SELECT INTO and OPEN.
int32_t SqlSession::RunQuery(std::string_view statementText, std::span<const HostVar> inputs,
                             std::unique_ptr<SqlRows>& rows, bool many) {
  if (!backend_) return Status(sqlcode::kNotLoggedOn, statementText);
  const ParsedEntry& entry = ParseEntry(statementText);
  const ParsedText& parsed = entry.second;
  if (parsed.error != sqlcode::kOk) return Status(parsed.error, statementText);
  std::vector<SqlBind>& binds = conversion_->binds;
  const int32_t rc = ReadInputs(inputs, parsed.inputs, binds);
  if (rc != sqlcode::kOk) return Status(rc, statementText);
  const int shared = answers_ ? answers_->Shared(entry.first) : -1;
  if (shared >= 0) {
    if (auto kept = answers_->Find(shared, binds)) {
      rows = std::move(kept);
      return Status(sqlcode::kOk);
    }
  }
  if (useStreams_ && !binds.empty() && binds[0].kind == SqlBind::Kind::Text) {
    // The open cursor whose stream of the lookup fits the key best: a
    // cursor of another selection holding the same key may be far behind.
    LookupStreams* best = nullptr;
    int bestFit = -1;
    for (SqlCursor* cursor : openCursors_) {
      if (!cursor->streams_) continue;
      const int fit = cursor->streams_->Fit(entry.first, binds[0].text);
      if (fit >= 0 && (best == nullptr || fit < bestFit)) {
        best = cursor->streams_.get();
        bestFit = fit;
      }
    }
    if (best != nullptr) {
      if (auto streamed = best->Answer(*backend_, entry.first, binds)) {
        rows = std::move(streamed);
        ++streamedAnswers_;
        if (shared >= 0) answers_->Keep(rows);
        return Status(sqlcode::kOk);
      }
    }
  }
  const int32_t queried = backend_->Query(parsed.backendText, binds, rows, many);
  if (shared >= 0 && queried == sqlcode::kOk) answers_->Keep(rows);
  return BackendStatus(queried, queried < 0 ? backend_->Message() : std::string(), statementText);
}

// The schema of "ALTER SESSION SET CURRENT_SCHEMA=<schema>", as Oracle
// resolves it: an unquoted name upper-cased, a quoted one as written.
int32_t SqlSession::RunDynamic(const std::string& text) {
  using oracle::IsPunct;
  using oracle::IsWord;
  oracle::Tokens tokens;
  if (!oracle::Tokenize(text, tokens)) return Status(sqlcode::kInvalidSql, text);
  const bool isSchemaStatement = tokens.size() >= 5 && IsWord(tokens[0], "ALTER") &&
                                 IsWord(tokens[1], "SESSION") && IsWord(tokens[2], "SET") &&
                                 IsWord(tokens[3], "CURRENT_SCHEMA") && IsPunct(tokens[4], "=");
  if (!isSchemaStatement) return Status(sqlcode::kInvalidSql, text);
  // No schema, or more than a name.
  if (tokens.size() != 6) return Status(sqlcode::kMissingOption, text);
  const oracle::Token& name = tokens[5];
  std::string schema;
  if (name.kind == oracle::TokenKind::Identifier) {
    schema = oracle::ToUpperAscii(name.text);
  } else if (name.kind == oracle::TokenKind::QuotedIdentifier) {
    for (std::size_t i = 1; i + 1 < name.text.size(); ++i) {
      schema += name.text[i];
      if (name.text[i] == '"') ++i;  // a doubled quote stands for one
    }
    if (schema.empty()) return Status(sqlcode::kMissingOption, text);
  } else {
    return Status(sqlcode::kMissingOption, text);
  }
  const int32_t rc = backend_->SetCurrentSchema(schema);
  return BackendStatus(rc, rc < 0 ? backend_->Message() : std::string(), text);
}

int32_t SqlSession::ExportSnapshot(std::string& name) {
  name.clear();
  if (!backend_) return Status(sqlcode::kNotLoggedOn);
  if (!entry_->capabilities.sharesState) {
    return BackendStatus(sqlcode::kInvalidSql,
                         "this database cannot share a session's state with another",
                         "EXPORT SNAPSHOT");
  }
  const int32_t rc = backend_->ExportSnapshot(name);
  return BackendStatus(rc, rc < 0 ? backend_->Message() : std::string(), "EXPORT SNAPSHOT");
}

bool SqlSession::SharesState() const {
  return backend_ != nullptr && entry_->capabilities.sharesState;
}

bool SqlSession::LooseColumnTypes() const {
  return backend_ != nullptr && entry_->capabilities.looseColumnTypes;
}

int32_t SqlSession::OpenChangeProbe(std::unique_ptr<ChangeProbe>& probe) {
  probe.reset();
  if (!backend_) return Status(sqlcode::kNotLoggedOn);
  if (!entry_->capabilities.changeProbe) {
    return BackendStatus(sqlcode::kInvalidSql, "this database cannot tell its committed changes",
                         "OPEN CHANGE PROBE");
  }
  std::string message;
  const int32_t rc = backend_->OpenChangeProbe(probe, message);
  return BackendStatus(rc, rc < 0 ? message : std::string(), "OPEN CHANGE PROBE");
}

int32_t SqlSession::Connect(const ConnectionSettings& settings, std::string_view snapshot) {
  Disconnect();
  // The system hands the login over as the one text "user/password@net" in
  // a STRING of 101 bytes: settings whose text would be longer than 100
  // characters are refused, never cut, so no other login is tried than the
  // one configured.
  constexpr std::size_t kMaxConnectString = 100;
  if (settings.ConnectStringLength() > kMaxConnectString) {
    return Status(sqlcode::kConnectStringTooLong);
  }
  if (!settings.passwordGiven) return Status(sqlcode::kBadLogin);
  std::unique_ptr<SqlBackend> backend;
  const BackendEntry* entry = nullptr;
  std::string message;
  const int32_t rc = OpenBackend(settings, snapshot, backend, entry, message);
  if (rc != sqlcode::kOk) return BackendStatus(rc, std::move(message), "CONNECT");
  if (!backend || entry == nullptr) return Status(sqlcode::kInternal);
  backend_ = std::move(backend);
  entry_ = entry;
  return Status(sqlcode::kOk);
}

int32_t SqlSession::Prepare(const char* statementText) {
  if (!backend_) return Status(sqlcode::kNotLoggedOn);
  prepared_ = statementText != nullptr ? statementText : "";
  return Status(sqlcode::kOk);
}

int32_t SqlSession::Execute() {
  if (!backend_) return Status(sqlcode::kNotLoggedOn);
  if (!prepared_) return Status(sqlcode::kNoStatementParsed);
  return RunDynamic(*prepared_);
}

int32_t SqlSession::SelectInto(std::string_view statementText, std::span<const HostVar> outputs,
                               std::span<const HostVar> inputs) {
  if (!backend_) return Status(sqlcode::kNotLoggedOn, statementText);
  for (const HostVar& var : outputs) {
    if (!ValidOutput(var)) return Status(sqlcode::kInternal, statementText);
  }
  std::unique_ptr<SqlRows> rows;
  int32_t rc = RunQuery(statementText, inputs, rows);
  if (rc != sqlcode::kOk) return rc;
  rc = rows->Next();
  if (rc != sqlcode::kOk) return BackendStatus(rc, rc < 0 ? rows->Message() : std::string(), statementText);
  rc = conversion_->ConvertRow(*rows, outputs);
  if (rc != sqlcode::kOk) return Status(rc, statementText);
  rc = rows->Next();  // a second row makes the SELECT INTO fail
  if (rc == sqlcode::kOk) return Status(sqlcode::kTooManyRows, statementText);
  if (rc != sqlcode::kNoData) return BackendStatus(rc, rows->Message(), statementText);
  conversion_->StoreRow(outputs);
  return Status(sqlcode::kOk);
}

void SqlSession::Disconnect() {
  // The cursors' rows hold statements of the backend: they go first.
  for (SqlCursor* cursor : openCursors_) cursor->Forget();
  openCursors_.clear();
  answers_.reset();  // they are answers of this connection's state
  prepared_.reset();
  parsedByAddress_.clear();
  parsed_.clear();
  backend_.reset();
  entry_ = nullptr;
}

int64_t SqlSession::PreparedStatementCount() const {
  return backend_ ? backend_->PreparedStatementCount() : -1;
}

void SqlSession::ReservePageCache(std::size_t bytes) {
  if (backend_ && entry_->capabilities.pageCache) backend_->ReservePageCache(bytes);
}

void SqlSession::ShareAnswers(std::span<const std::string_view> statements, std::size_t capacity) {
  // Named by the texts as the session keeps them, which RunQuery finds.
  std::vector<std::string_view> kept;
  for (const std::string_view statement : statements) kept.push_back(ParseEntry(statement).first);
  answers_ = std::make_unique<SharedAnswers>(kept, capacity);
}

void SqlSession::StopSharingAnswers() { answers_.reset(); }

void SqlSession::ReplayFailure(const SqlStatus& status, std::string_view statement) {
  last_ = status;
  if (status.code < 0 && observer_) observer_(last_, statement);
}

SqlCounters SqlSession::Counters() const { return backend_ ? backend_->Counters() : SqlCounters{}; }

SqlCursor::SqlCursor() = default;

SqlCursor::~SqlCursor() {
  if (session_ != nullptr) session_->openCursors_.erase(this);
}

void SqlCursor::Forget() {
  streams_.reset();
  rows_.reset();
  session_ = nullptr;
}

int32_t SqlCursor::Open(SqlSession& session, std::string_view statementText,
                        std::span<const HostVar> inputs) {
  return Open(session, statementText, inputs, {});
}

int32_t SqlCursor::Open(SqlSession& session, std::string_view statementText,
                        std::span<const HostVar> inputs,
                        std::span<const StreamedLookup> lookups) {
  // A re-OPEN closes the cursor first, also when the new OPEN fails.
  if (rows_) Close();
  statement_.assign(statementText);
  std::unique_ptr<SqlRows> rows;
  // A cursor whose rows have lookups named is one over many rows.
  const int32_t rc = session.RunQuery(statementText, inputs, rows, !lookups.empty());
  if (rc != sqlcode::kOk) return rc;
  rows_ = std::move(rows);
  if (!lookups.empty()) {
    // The cursor's inputs as RunQuery bound them, before anything else runs.
    const std::vector<SqlBind> cursorInputs = session.conversion_->binds;
    std::vector<LookupStreams::Planned> planned;
    for (const StreamedLookup& lookup : lookups) {
      LookupStreams::Planned& added = planned.emplace_back();
      added.statement = session.ParseEntry(lookup.statement).first;
      added.keys = lookup.keys;
      added.orderValues = lookup.orderValues;
      const SqlSession::ParsedText& stream = session.Parse(lookup.stream);
      if (stream.error == sqlcode::kOk && stream.inputs == cursorInputs.size()) {
        added.backendStream = stream.backendText;
      }
    }
    streams_ = std::make_unique<LookupStreams>(std::move(planned), cursorInputs);
  }
  session_ = &session;
  session.openCursors_.insert(this);
  return rc;
}

int32_t SqlCursor::Fetch(std::span<const HostVar> outputs) {
  if (!rows_ || session_ == nullptr) return sqlcode::kInvalidCursor;
  SqlSession& session = *session_;
  for (const HostVar& var : outputs) {
    if (!ValidOutput(var)) return session.Status(sqlcode::kInternal, statement_);
  }
  int32_t rc = rows_->Next();
  if (rc != sqlcode::kOk) {
    return session.BackendStatus(rc, rc < 0 ? rows_->Message() : std::string(), statement_);
  }
  if (streams_) streams_->Delivered(rows_->Column(0));
  rc = session.conversion_->ConvertRow(*rows_, outputs);
  if (rc == sqlcode::kUntranslatable) {
    // The row is delivered all the same, the text that cannot be held in
    // its printable form, so that the caller can name the row and go on
    // with the next: one such value costs its row, not the cursor.
    session.conversion_->StoreRow(outputs);
    session.Status(rc, statement_);
    session.last_.column = session.conversion_->unrepresentable;
    return rc;
  }
  if (rc != sqlcode::kOk) return session.Status(rc, statement_);
  session.conversion_->StoreRow(outputs);
  return session.Status(sqlcode::kOk);
}

int32_t SqlCursor::Close() {
  if (!rows_ || session_ == nullptr) return sqlcode::kInvalidCursor;
  SqlSession& session = *session_;
  streams_.reset();
  rows_.reset();
  session.openCursors_.erase(this);
  session_ = nullptr;
  return session.Status(sqlcode::kOk);
}

}  // namespace zx
