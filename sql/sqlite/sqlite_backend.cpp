#include "sql/sqlite/sqlite_backend.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <ctime>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "sql/oracle_sql.h"
#include "sql/sqlite/sqlite_dialect.h"
#include "sql/sqlite/sqlite_errors.h"
#include "sql/sqlite/sqlite_functions.h"
#include "sql/sqlite/sqlite_handles.h"

namespace zx {

namespace {

// How long a statement waits for a writer's lock before it reports -54.
constexpr int kBusyTimeoutMs = 2000;

std::string LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

struct CachedStatement {
  StatementPtr statement;
  const std::string* text = nullptr;  // the Oracle text, the key of the cache
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
      end_ = *functionError_ != sqlcode::kOk ? *functionError_ : SqliteErrorCode(db_, rc);
      message_ = sqlite3_errmsg(db_);
    }
    return end_;
  }

  int ColumnCount() const override { return sqlite3_column_count(statement_); }

  std::string Message() const override { return message_; }

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
  std::string message_;
};

// The probe of the embedded database: a connection of its own, outside any
// read transaction, asks SQLite's data version (which changes when another
// connection commits to the file); beside it the file's identity, since a
// file put in place of the old one (a restore) is another database, which a
// connection to the old file never sees.
class SqliteChangeProbe final : public ChangeProbe {
 public:
  explicit SqliteChangeProbe(std::string path) : path_(std::move(path)) {}

  int32_t Read(std::string& mark) override {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
      message_ = path_ + ": " + std::strerror(errno);
      db_.reset();
      return sqlcode::kNotAvailable;
    }
    if (!db_ || info.st_ino != inode_ || info.st_dev != device_) {
      // A new connection's data version counts anew: its file identity and
      // the count of reopenings make its marks differ from the old ones.
      sqlite3* raw = nullptr;
      const int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                     nullptr);
      db_.reset(raw);
      if (rc != SQLITE_OK) {
        message_ = path_ + ": " + (db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(rc));
        db_.reset();
        return sqlcode::kNotAvailable;
      }
      sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
      inode_ = info.st_ino;
      device_ = info.st_dev;
      ++opened_;
    }
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), "PRAGMA data_version", -1, &raw, nullptr);
    StatementPtr statement(raw);
    if (rc == SQLITE_OK) rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW) {
      message_ = path_ + ": " + sqlite3_errmsg(db_.get());
      const int32_t code = rc == SQLITE_BUSY ? sqlcode::kResourceBusy : sqlcode::kNotAvailable;
      db_.reset();
      return code;
    }
    mark = std::to_string(device_) + ":" + std::to_string(inode_) + ":" + std::to_string(opened_) +
           ":" + std::to_string(sqlite3_column_int64(statement.get(), 0));
    return sqlcode::kOk;
  }
  std::string Message() const override { return message_; }

 private:
  std::string path_;
  DatabasePtr db_;
  ino_t inode_ = 0;
  dev_t device_ = 0;
  int64_t opened_ = 0;
  std::string message_;
};

class SqliteBackend final : public SqlBackend {
 public:
  SqliteBackend(DatabasePtr db, std::string path) : db_(std::move(db)), path_(std::move(path)) {}

  int32_t Start();

  // Statements run in the process: nothing is gained by running them ahead.
  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows, bool many) override;
  int32_t SetCurrentSchema(std::string_view schema) override;
  int64_t PreparedStatementCount() const override { return prepares_; }
  std::string Message() const override { return message_; }
  SqlCounters Counters() const override { return SqlCounters{statements_, 0}; }
  int32_t OpenChangeProbe(std::unique_ptr<ChangeProbe>& probe, std::string& message) override {
    auto opened = std::make_unique<SqliteChangeProbe>(path_);
    std::string mark;
    const int32_t rc = opened->Read(mark);
    if (rc != sqlcode::kOk) {
      message = opened->Message();
      return rc;
    }
    probe = std::move(opened);
    return sqlcode::kOk;
  }
  void ReservePageCache(std::size_t bytes) override {
    // A negative cache_size is in KiB. A failure leaves SQLite's default.
    const std::string pragma = "PRAGMA cache_size=-" + std::to_string(bytes / 1024);
    sqlite3_exec(db_.get(), pragma.c_str(), nullptr, nullptr, nullptr);
  }

 private:
  // Keeps SQLite's words for a failure that is being reported.
  int32_t Failed(int32_t code) {
    message_ = sqlite3_errmsg(db_.get());
    return code;
  }

  int32_t Prepare(std::string_view oracleText, CachedStatement& prepared);
  // The cached statement of a text. The session hands the same texts at the
  // same addresses, so the address finds it without hashing the text.
  CachedStatement* Find(std::string_view oracleText) {
    if (auto at = byAddress_.find(oracleText.data()); at != byAddress_.end() &&
                                                      *at->second->text == oracleText) {
      return at->second;
    }
    auto found = cache_.find(std::string(oracleText));
    if (found == cache_.end()) return nullptr;
    byAddress_[oracleText.data()] = found->second.get();
    return found->second.get();
  }

  // Declared first so that it is closed after the statements below.
  DatabasePtr db_;
  std::string path_;    // the database file, as named
  std::string schema_;  // the schema the file holds, upper-cased; empty when none
  std::unordered_map<std::string, std::unique_ptr<CachedStatement>> cache_;
  std::unordered_map<const char*, CachedStatement*> byAddress_;
  int64_t prepares_ = 0;
  int64_t statements_ = 0;
  std::string message_;
  // Set by a failing function (trunc, TO_CHAR) for the statement it runs in.
  std::unique_ptr<int32_t> functionError_ = std::make_unique<int32_t>(0);
};

int32_t SqliteBackend::Start() {
  sqlite3* db = db_.get();
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  const int registered = RegisterOracleFunctions(db, functionError_.get());
  if (registered != SQLITE_OK) return Failed(SqliteErrorCode(db, registered));
  // One read transaction for the whole session; the first read takes the
  // snapshot (and the shared lock) at once, not at the first query.
  int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return Failed(SqliteErrorCode(db, rc));
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
  StatementPtr first(raw);
  if (rc != SQLITE_OK) return Failed(SqliteErrorCode(db, rc));
  rc = sqlite3_step(first.get());
  if (rc != SQLITE_ROW) return Failed(SqliteErrorCode(db, rc));
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
      return Failed(SqliteErrorCode(db, rc));
    }
  } else if (SqliteErrorCode(db, rc) != sqlcode::kTableNotFound) {
    return Failed(SqliteErrorCode(db, rc));
  }
  return sqlcode::kOk;
}

int32_t SqliteBackend::Prepare(std::string_view oracleText, CachedStatement& prepared) {
  std::string text;
  int32_t rc = TranslateForSqlite(oracleText, schema_, text, prepared.inputs, prepared.usesSysdate);
  if (rc != sqlcode::kOk) {
    message_ = rc == sqlcode::kInvalidSql ? "statement text cannot be read" : "no such schema";
    return rc;
  }
  sqlite3_stmt* raw = nullptr;
  const int prc = sqlite3_prepare_v3(db_.get(), text.c_str(), static_cast<int>(text.size()) + 1,
                                     SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  prepared.statement.reset(raw);
  if (prc != SQLITE_OK) return Failed(SqliteErrorCode(db_.get(), prc));
  if (prepared.statement == nullptr) return sqlcode::kInvalidSql;  // no statement in the text
  ++prepares_;
  return sqlcode::kOk;
}

int32_t SqliteBackend::Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                             std::unique_ptr<SqlRows>& rows, bool /*many*/) {
  rows.reset();
  ++statements_;
  CachedStatement* cached = nullptr;
  StatementPtr owned;
  CachedStatement transient;
  CachedStatement* known = Find(oracleText);
  if (known == nullptr) {
    auto entry = std::make_unique<CachedStatement>();
    const int32_t rc = Prepare(oracleText, *entry);
    if (rc != sqlcode::kOk) return rc;  // not cached: a later try reports again
    cached = entry.get();
    auto added = cache_.emplace(std::string(oracleText), std::move(entry)).first;
    cached->text = &added->first;
    byAddress_[oracleText.data()] = cached;
  } else if (!known->busy) {
    cached = known;
  } else {
    // The cached statement is busy in an open cursor: this run gets its own.
    const int32_t rc = Prepare(oracleText, transient);
    if (rc != sqlcode::kOk) return rc;
    owned = std::move(transient.statement);
  }
  const CachedStatement& shape = cached != nullptr ? *cached : transient;
  sqlite3_stmt* statement = cached != nullptr ? cached->statement.get() : owned.get();

  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    if (inputs[i].kind == SqlBind::Kind::Integer) {
      rc = sqlite3_bind_int64(statement, index, inputs[i].integer);
    } else if (inputs[i].kind == SqlBind::Kind::Null) {
      rc = sqlite3_bind_null(statement, index);
    } else {
      rc = sqlite3_bind_text(statement, index, inputs[i].text.data(),
                             static_cast<int>(inputs[i].text.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) {
      sqlite3_clear_bindings(statement);
      return Failed(SqliteErrorCode(db_.get(), rc));
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
  if (schema_.empty() || oracle::ToUpperAscii(schema) != schema_) {
    message_ = schema_.empty() ? "the database file names no schema"
                               : "the database file holds schema " + schema_ + ", not " + std::string(schema);
    return sqlcode::kUnknownSchema;
  }
  return sqlcode::kOk;
}

// The database file as an absolute path, for a reason that people read
// far from the run's working directory.
std::string Shown(const std::string& file) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(file, error);
  return error ? file : absolute.lexically_normal().string();
}

// SQLite's words for a failure to open or start reading the file, with the
// system's words for the error beneath ("unable to open database file"
// alone does not say that the directory is not writable, say).
std::string OpenFailure(const std::string& file, sqlite3* db, const std::string& words) {
  std::string message = Shown(file) + ": " + words;
  const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (systemError != 0) message += std::string(" (") + std::strerror(systemError) + ")";
  return message;
}

}  // namespace

std::string SqliteLibraryVersion() { return std::string("SQLite ") + sqlite3_libversion(); }

int32_t OpenSqliteBackend(std::string_view path, std::unique_ptr<SqlBackend>& backend,
                          std::string& message) {
  backend.reset();
  if (path.empty()) {
    message = "no database file named after \"sqlite:\"";
    return sqlcode::kUnknownService;
  }
  const std::string file(path);
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) {
    message = Shown(file) + ": " + std::strerror(errno);
    return errno == ENOENT || errno == ENOTDIR ? sqlcode::kUnknownService : sqlcode::kNotAvailable;
  }
  if (!S_ISREG(info.st_mode)) {
    message = Shown(file) + ": not a regular file";
    return sqlcode::kNotAvailable;
  }
  // SQLite counts every allocation, under a global mutex, for memory
  // statistics the program never reads; without them each of a run's many
  // small statements costs less (a run of MGDNL60P over 100,000 badges 7 %).
  // It can only be set before SQLite starts; the first connection does it.
  static const bool withoutMemoryStatistics =
      sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)withoutMemoryStatistics;
  sqlite3* raw = nullptr;
  // A session is used by one thread at a time: the connection needs no
  // mutex of its own.
  const int rc =
      sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) {
    message = OpenFailure(file, db.get(), db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
    return sqlcode::kNotAvailable;
  }
  sqlite3* handle = db.get();
  auto opened = std::make_unique<SqliteBackend>(std::move(db), file);
  const int32_t started = opened->Start();
  if (started != sqlcode::kOk) {
    message = OpenFailure(file, handle, opened->Message());
    return started;
  }
  backend = std::move(opened);
  return sqlcode::kOk;
}

}  // namespace zx
