#include "queries/sqlite_backend.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "queries/oracle_sql.h"
#include "queries/sqlite_handles.h"
#include "queries/sql_runtime.h"

namespace zx {

namespace {

// How long a statement waits for a writer's lock before it reports -54.
constexpr int kBusyTimeoutMs = 2000;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The Oracle code of a SQLite failure.
int32_t MapError(sqlite3* db, int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return sqlcode::kResourceBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return sqlcode::kNotAvailable;
    case SQLITE_ERROR: {
      const std::string_view message = db != nullptr ? sqlite3_errmsg(db) : "";
      if (StartsWith(message, "no such table")) return sqlcode::kTableNotFound;
      if (StartsWith(message, "no such column") || StartsWith(message, "no such function")) {
        return sqlcode::kInvalidIdentifier;
      }
      return sqlcode::kInvalidSql;
    }
    default:
      return sqlcode::kInternal;
  }
}

// ---- Oracle functions over dates stored as 'YYYY-MM-DD HH:MM:SS' ----

struct DateParts {
  int year, month, day, hour, minute, second;
};

bool ParseDate(std::string_view text, DateParts& date) {
  static constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  auto number = [&](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  date = {number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
  return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31 &&
         date.hour <= 23 && date.minute <= 59 && date.second <= 59;
}

std::string_view ValueBytes(sqlite3_value* value) {
  const int type = sqlite3_value_type(value);
  const void* data = type == SQLITE_BLOB ? sqlite3_value_blob(value)
                                         : static_cast<const void*>(sqlite3_value_text(value));
  const int size = sqlite3_value_bytes(value);
  if (data == nullptr || size <= 0) return {};
  return std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

// A function failure carries its Oracle code to the statement that ran it.
void Fail(sqlite3_context* context, int32_t code, const char* message) {
  int32_t* pending = static_cast<int32_t*>(sqlite3_user_data(context));
  *pending = code;
  sqlite3_result_error(context, message, -1);
}

void ResultText(sqlite3_context* context, std::string_view text) {
  if (text.empty()) {  // Oracle has no empty text: it is NULL
    sqlite3_result_null(context);
    return;
  }
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// trunc(date): the day at 00:00:00; trunc(number): toward zero.
void TruncFunction(sqlite3_context* context, int, sqlite3_value** args) {
  switch (sqlite3_value_type(args[0])) {
    case SQLITE_NULL:
      sqlite3_result_null(context);
      return;
    case SQLITE_INTEGER:
      sqlite3_result_int64(context, sqlite3_value_int64(args[0]));
      return;
    case SQLITE_FLOAT: {
      const double value = sqlite3_value_double(args[0]);
      sqlite3_result_double(context, value < 0 ? -static_cast<double>(static_cast<int64_t>(-value))
                                               : static_cast<double>(static_cast<int64_t>(value)));
      return;
    }
    default: {
      const std::string_view text = ValueBytes(args[0]);
      DateParts date{};
      if (!ParseDate(text, date)) {
        Fail(context, sqlcode::kDateFormatMismatch, "date not in the form YYYY-MM-DD HH:MM:SS");
        return;
      }
      ResultText(context, std::string(text.substr(0, 10)) + " 00:00:00");
      return;
    }
  }
}

// TO_CHAR(date, format) with the format elements YYYY MM DD HH24 MI SS and
// the separators - / . , : ; and blank; TO_CHAR(x) the text of x.
void ToCharFunction(sqlite3_context* context, int argc, sqlite3_value** args) {
  if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  if (argc == 1) {
    ResultText(context, ValueBytes(args[0]));
    return;
  }
  const std::string_view format = ValueBytes(args[1]);
  DateParts date{};
  if (sqlite3_value_type(args[0]) != SQLITE_TEXT || !ParseDate(ValueBytes(args[0]), date)) {
    Fail(context, sqlcode::kDateFormatMismatch, "date not in the form YYYY-MM-DD HH:MM:SS");
    return;
  }
  std::string out;
  char digits[8];
  std::size_t i = 0;
  while (i < format.size()) {
    const std::string_view rest = format.substr(i);
    auto element = [&](std::string_view name) {
      return rest.size() >= name.size() && oracle::EqualsIgnoreCase(rest.substr(0, name.size()), name);
    };
    if (element("YYYY")) {
      std::snprintf(digits, sizeof digits, "%04d", date.year);
      i += 4;
    } else if (element("HH24")) {
      std::snprintf(digits, sizeof digits, "%02d", date.hour);
      i += 4;
    } else if (element("MI")) {
      std::snprintf(digits, sizeof digits, "%02d", date.minute);
      i += 2;
    } else if (element("MM")) {
      std::snprintf(digits, sizeof digits, "%02d", date.month);
      i += 2;
    } else if (element("DD")) {
      std::snprintf(digits, sizeof digits, "%02d", date.day);
      i += 2;
    } else if (element("SS")) {
      std::snprintf(digits, sizeof digits, "%02d", date.second);
      i += 2;
    } else if (std::string_view("-/.,:; ").find(rest[0]) != std::string_view::npos) {
      digits[0] = rest[0];
      digits[1] = '\0';
      i += 1;
    } else {
      Fail(context, sqlcode::kDateFormatNotRecognized, "date format not recognized");
      return;
    }
    out += digits;
  }
  ResultText(context, out);
}

// NVL(a, b): b when a is NULL (or the empty text, which Oracle cannot hold).
void NvlFunction(sqlite3_context* context, int, sqlite3_value** args) {
  const bool missing = sqlite3_value_type(args[0]) == SQLITE_NULL ||
                       (sqlite3_value_type(args[0]) == SQLITE_TEXT && sqlite3_value_bytes(args[0]) == 0);
  sqlite3_result_value(context, missing ? args[1] : args[0]);
}

// SUBSTR(text, start [, length]) on bytes, counting from 1: start 0 counts as
// 1, a negative start counts from the end; a length below 1, or a start
// beyond the text, gives NULL.
void SubstrFunction(sqlite3_context* context, int argc, sqlite3_value** args) {
  for (int a = 0; a < argc; ++a) {
    if (sqlite3_value_type(args[a]) == SQLITE_NULL) {
      sqlite3_result_null(context);
      return;
    }
  }
  const std::string_view text = ValueBytes(args[0]);
  const int64_t size = static_cast<int64_t>(text.size());
  int64_t start = static_cast<int64_t>(sqlite3_value_double(args[1]));  // toward zero
  if (start == 0) start = 1;
  if (start < 0) start = size + start + 1;
  if (start < 1 || start > size) {
    sqlite3_result_null(context);
    return;
  }
  int64_t length = size - start + 1;
  if (argc == 3) {
    const int64_t wanted = static_cast<int64_t>(sqlite3_value_double(args[2]));
    if (wanted < 1) {
      sqlite3_result_null(context);
      return;
    }
    if (wanted < length) length = wanted;
  }
  ResultText(context, text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length)));
}

struct FunctionDef {
  const char* name;
  int args;
  void (*function)(sqlite3_context*, int, sqlite3_value**);
};

// The Oracle names of the functions and the names they run under here (not
// SQLite's own trunc() or substr(), which differ from Oracle's).
constexpr struct {
  std::string_view oracle;
  std::string_view sqlite;
} kRenamedFunctions[] = {
    {"trunc", "zx_trunc"}, {"to_char", "zx_to_char"}, {"nvl", "zx_nvl"}, {"substr", "zx_substr"}};

constexpr FunctionDef kFunctions[] = {
    {"zx_trunc", 1, TruncFunction},   {"zx_to_char", 1, ToCharFunction},
    {"zx_to_char", 2, ToCharFunction}, {"zx_nvl", 2, NvlFunction},
    {"zx_substr", 2, SubstrFunction}, {"zx_substr", 3, SubstrFunction},
};

std::string LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// ---- statements and rows ----

struct CachedStatement {
  StatementPtr statement;
  int inputs = 0;
  bool usesSysdate = false;
  bool busy = false;  // an open cursor reads it
};

class SqliteRows final : public SqlRows {
 public:
  SqliteRows(sqlite3* db, sqlite3_stmt* statement, CachedStatement* cached, StatementPtr owned,
             int32_t* functionError)
      : db_(db),
        statement_(statement),
        cached_(cached),
        owned_(std::move(owned)),
        functionError_(functionError) {}

  ~SqliteRows() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    if (cached_ != nullptr) cached_->busy = false;
  }
  SqliteRows(const SqliteRows&) = delete;
  SqliteRows& operator=(const SqliteRows&) = delete;

  int32_t Next() override {
    if (end_ != sqlcode::kOk) return end_;  // stepping again would restart the statement
    *functionError_ = sqlcode::kOk;
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return sqlcode::kOk;
    if (rc == SQLITE_DONE) {
      end_ = sqlcode::kNoData;
    } else {
      end_ = *functionError_ != sqlcode::kOk ? *functionError_ : MapError(db_, rc);
    }
    return end_;
  }

  int ColumnCount() const override { return sqlite3_column_count(statement_); }

  SqlValue Column(int i) const override {
    SqlValue value;
    switch (sqlite3_column_type(statement_, i)) {
      case SQLITE_INTEGER:
        value.kind = SqlValue::Kind::Integer;
        value.integer = sqlite3_column_int64(statement_, i);
        break;
      case SQLITE_FLOAT:
        value.kind = SqlValue::Kind::Real;
        value.real = sqlite3_column_double(statement_, i);
        break;
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        // The bytes as stored: no character set conversion.
        value.kind = SqlValue::Kind::Text;
        const void* data = sqlite3_column_blob(statement_, i);
        const int size = sqlite3_column_bytes(statement_, i);
        if (data != nullptr && size > 0) {
          value.text = std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size));
        }
        break;
      }
      default:
        value.kind = SqlValue::Kind::Null;
        break;
    }
    return value;
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_;
  CachedStatement* cached_;  // null for a statement owned by these rows
  StatementPtr owned_;
  int32_t* functionError_;
  int32_t end_ = sqlcode::kOk;
};

class SqliteBackend final : public SqlBackend {
 public:
  explicit SqliteBackend(DatabasePtr db) : db_(std::move(db)) {}

  int32_t Start();

  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows) override;
  int32_t SetCurrentSchema(std::string_view schema) override;
  int64_t PreparedStatementCount() const override { return prepares_; }

 private:
  int32_t Prepare(std::string_view oracleText, CachedStatement& prepared);

  // Declared first so that it is closed after the statements below.
  DatabasePtr db_;
  std::string schema_;  // the schema the file holds, upper-cased; empty when none
  std::unordered_map<std::string, std::unique_ptr<CachedStatement>> cache_;
  int64_t prepares_ = 0;
  // Set by a failing function (trunc, TO_CHAR) for the statement it runs in.
  std::unique_ptr<int32_t> functionError_ = std::make_unique<int32_t>(0);
};

int32_t SqliteBackend::Start() {
  sqlite3* db = db_.get();
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  for (const FunctionDef& def : kFunctions) {
    const int rc = sqlite3_create_function_v2(db, def.name, def.args,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                              functionError_.get(), def.function, nullptr, nullptr,
                                              nullptr);
    if (rc != SQLITE_OK) return MapError(db, rc);
  }
  // One read transaction for the whole session; the first read takes the
  // snapshot (and the shared lock) at once, not at the first query.
  int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return MapError(db, rc);
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
  StatementPtr first(raw);
  if (rc != SQLITE_OK) return MapError(db, rc);
  rc = sqlite3_step(first.get());
  if (rc != SQLITE_ROW) return MapError(db, rc);
  first.reset();

  // The schema marker; a database without it holds no schema.
  raw = nullptr;
  rc = sqlite3_prepare_v2(db, "SELECT name FROM zeprink_schema WHERE name IS NOT NULL", -1, &raw,
                          nullptr);
  StatementPtr marker(raw);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(marker.get());
    if (rc == SQLITE_ROW) {
      const unsigned char* name = sqlite3_column_text(marker.get(), 0);
      schema_ = oracle::ToUpperAscii(name != nullptr ? reinterpret_cast<const char*>(name) : "");
    } else if (rc != SQLITE_DONE) {
      return MapError(db, rc);
    }
  } else if (MapError(db, rc) != sqlcode::kTableNotFound) {
    return MapError(db, rc);
  }
  return sqlcode::kOk;
}

int32_t SqliteBackend::Prepare(std::string_view oracleText, CachedStatement& prepared) {
  std::string text;
  int32_t rc = TranslateForSqlite(oracleText, schema_, text, prepared.inputs, prepared.usesSysdate);
  if (rc != sqlcode::kOk) return rc;
  sqlite3_stmt* raw = nullptr;
  const int prc = sqlite3_prepare_v3(db_.get(), text.c_str(), static_cast<int>(text.size()) + 1,
                                     SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  prepared.statement.reset(raw);
  if (prc != SQLITE_OK) return MapError(db_.get(), prc);
  if (prepared.statement == nullptr) return sqlcode::kInvalidSql;  // no statement in the text
  ++prepares_;
  return sqlcode::kOk;
}

int32_t SqliteBackend::Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                             std::unique_ptr<SqlRows>& rows) {
  rows.reset();
  const std::string key(oracleText);
  CachedStatement* cached = nullptr;
  StatementPtr owned;
  CachedStatement transient;
  auto found = cache_.find(key);
  if (found == cache_.end()) {
    auto entry = std::make_unique<CachedStatement>();
    const int32_t rc = Prepare(oracleText, *entry);
    if (rc != sqlcode::kOk) return rc;  // not cached: a later try reports again
    cached = entry.get();
    cache_.emplace(key, std::move(entry));
  } else if (!found->second->busy) {
    cached = found->second.get();
  } else {
    // The cached statement is busy in an open cursor: this run gets its own.
    const int32_t rc = Prepare(oracleText, transient);
    if (rc != sqlcode::kOk) return rc;
    owned = std::move(transient.statement);
  }
  const CachedStatement& shape = cached != nullptr ? *cached : transient;
  sqlite3_stmt* statement = cached != nullptr ? cached->statement.get() : owned.get();

  if (inputs.size() < static_cast<std::size_t>(shape.inputs)) return sqlcode::kNotAllVariablesBound;
  if (inputs.size() > static_cast<std::size_t>(shape.inputs)) return sqlcode::kBindVariableDoesNotExist;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    if (inputs[i].isInteger) {
      rc = sqlite3_bind_int64(statement, index, inputs[i].integer);
    } else if (inputs[i].text.empty()) {
      rc = sqlite3_bind_null(statement, index);  // Oracle binds an empty text as NULL
    } else {
      rc = sqlite3_bind_text(statement, index, inputs[i].text.data(),
                             static_cast<int>(inputs[i].text.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) {
      sqlite3_clear_bindings(statement);
      return MapError(db_.get(), rc);
    }
  }
  if (shape.usesSysdate) {
    // SYSDATE is one point in time for the whole statement, as in Oracle.
    const std::string now = LocalNow();
    sqlite3_bind_text(statement, shape.inputs + 1, now.c_str(), static_cast<int>(now.size()),
                      SQLITE_TRANSIENT);
  }
  if (cached != nullptr) cached->busy = true;
  rows = std::make_unique<SqliteRows>(db_.get(), statement, cached, std::move(owned),
                                      functionError_.get());
  return sqlcode::kOk;
}

int32_t SqliteBackend::SetCurrentSchema(std::string_view schema) {
  if (schema.empty()) return sqlcode::kMissingOption;
  if (schema_.empty() || oracle::ToUpperAscii(schema) != schema_) return sqlcode::kUnknownSchema;
  return sqlcode::kOk;
}

}  // namespace

int32_t TranslateForSqlite(std::string_view oracleText, std::string_view schema,
                           std::string& sqliteText, int& inputs, bool& usesSysdate) {
  oracle::Tokens tokens;
  if (!oracle::Tokenize(oracleText, tokens)) return sqlcode::kInvalidSql;
  if (!schema.empty()) oracle::DropQualifier(tokens, schema);
  // SQLite's own database names would resolve where Oracle knows no schema.
  for (const std::string& qualifier : oracle::Qualifiers(tokens)) {
    if (oracle::EqualsIgnoreCase(qualifier, "main") || oracle::EqualsIgnoreCase(qualifier, "temp")) {
      return sqlcode::kTableNotFound;
    }
  }
  inputs = oracle::ReplacePlaceholders(tokens, [](int index) { return "?" + std::to_string(index + 1); });
  const oracle::Tokens now = {oracle::MakeToken(oracle::TokenKind::Punct, "?" + std::to_string(inputs + 1))};
  usesSysdate = oracle::ReplaceIdentifier(tokens, "SYSDATE", now) > 0;
  for (const auto& renamed : kRenamedFunctions) {
    oracle::RenameCalls(tokens, renamed.oracle, renamed.sqlite);
  }
  // Text sorts byte-wise, NULLs last ascending and first descending.
  oracle::RewriteOrderBy(tokens, [](oracle::OrderItem& item) {
    item.expression.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "COLLATE"));
    item.expression.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "BINARY"));
    oracle::AppendOracleNullsOrdering(item);
  });
  sqliteText = oracle::Render(tokens);
  return sqlcode::kOk;
}

int32_t OpenSqliteBackend(std::string_view path, std::unique_ptr<SqlBackend>& backend) {
  backend.reset();
  if (path.empty()) return sqlcode::kUnknownService;
  const std::string file(path);
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? sqlcode::kUnknownService : sqlcode::kNotAvailable;
  }
  if (!S_ISREG(info.st_mode)) return sqlcode::kNotAvailable;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) return sqlcode::kNotAvailable;
  auto opened = std::make_unique<SqliteBackend>(std::move(db));
  const int32_t started = opened->Start();
  if (started != sqlcode::kOk) return started;
  backend = std::move(opened);
  return sqlcode::kOk;
}

}  // namespace zx
