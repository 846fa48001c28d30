// The site the benchmarks run on: a SQLite database built from
// schema/sqlite.sql with a given number of badges valid today, one terminal
// with readers and rights, and the badges' use rows, access classes and
// balance rows. Also the baselines the measurements are compared with: the
// unfiltered badge statement written by hand for SQLite and run directly
// through the sqlite3 C API, alone or with the statements a writer runs per
// badge, written by hand the same way.
//
// These machines are noisy, so a benchmark runs the baseline and the
// measured path in the same iteration, one right after the other, and
// reports their ratio besides the absolute times.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/db_session.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "bench/site_dates.h"
#include "sql/session.h"
#include "sql/sqlite/sqlite_handles.h"
#include "queries/terminal_params.h"

namespace zx::bench {

// The terminal every benchmark downloads for. It has no badge assignments,
// so the unfiltered form of the badge cursor runs.
inline constexpr const char* kTerminal = "BENCH";
// The schema the database file names; ALTER SESSION makes it current.
inline constexpr const char* kSchema = "ZARDONIX";

// A database of its own in a temporary directory, removed with the site.
class Site {
 public:
  explicit Site(int badges);
  ~Site() {
    if (directory_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& directory() const { return directory_; }
  const std::string& path() const { return path_; }
  std::string NetService() const { return "sqlite:" + path_; }
  // Rows the unfiltered badge cursor delivers: one per valid badge.
  int64_t validRows() const { return validRows_; }
  // Records (IDSTAMM lines, MGDNL17P records) a writer run writes: one per
  // access class of a badge on the terminal.
  int64_t records() const { return records_; }

 private:
  std::string Build(int badges);

  std::string directory_;
  std::string path_;
  std::string error_;
  int64_t validRows_ = 0;
  int64_t records_ = 0;
};

// The site with `badges` valid badges, built at the first request and kept
// until the program ends.
inline const Site& SiteWithBadges(int badges) {
  static std::map<int, std::unique_ptr<Site>> sites;
  auto found = sites.find(badges);
  if (found == sites.end()) found = sites.emplace(badges, std::make_unique<Site>(badges)).first;
  return *found->second;
}

namespace detail {

// A value to bind: NULL, an integer or a text.
struct Value {
  enum class Kind { Null, Integer, Text } kind;
  int64_t integer = 0;
  std::string_view text;
  Value(std::nullptr_t) : kind(Kind::Null) {}
  Value(int value) : kind(Kind::Integer), integer(value) {}
  Value(const char* value) : kind(Kind::Text), text(value) {}
  Value(const std::string& value) : kind(Kind::Text), text(value) {}
};

// One prepared INSERT, run once per row.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
      error_ = sqlite3_errmsg(db);
    }
    statement_.reset(raw);
  }
  const std::string& error() const { return error_; }

  bool Run(std::initializer_list<Value> values) {
    if (!error_.empty()) return false;
    int index = 1;
    for (const Value& value : values) {
      switch (value.kind) {
        case Value::Kind::Null:
          sqlite3_bind_null(statement_.get(), index);
          break;
        case Value::Kind::Integer:
          sqlite3_bind_int64(statement_.get(), index, value.integer);
          break;
        case Value::Kind::Text:
          sqlite3_bind_text(statement_.get(), index, value.text.data(),
                            static_cast<int>(value.text.size()), SQLITE_TRANSIENT);
          break;
      }
      ++index;
    }
    const int rc = sqlite3_step(statement_.get());
    sqlite3_reset(statement_.get());
    if (rc != SQLITE_DONE) {
      error_ = sqlite3_errmsg(db_);
      return false;
    }
    return true;
  }

 private:
  sqlite3* db_;
  StatementPtr statement_;
  std::string error_;
};

inline std::string Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
  std::string error = message != nullptr ? message : "statement failed";
  sqlite3_free(message);
  return error;
}

// Access classes of the badges; badge i holds classes i % 4 and (i + 1) % 4.
inline constexpr const char* kClasses[] = {"10", "20", "30", "A1"};
// Classes with an access right on the terminal (M35Bch '0'): 10, 20, A1;
// with a time right (M35Bch '1'): 10, 30.
inline constexpr bool kAccessRight[] = {true, true, false, true};

inline int AccessClassesOf(int i) {
  return (kAccessRight[i % 4] ? 1 : 0) + (kAccessRight[(i + 1) % 4] ? 1 : 0);
}

}  // namespace detail

inline Site::Site(int badges) {
  char pattern[] = "/tmp/zeprink-bench-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) {
    error_ = "cannot create a temporary directory";
    return;
  }
  directory_ = made;
  path_ = directory_ + "/site.db";
  error_ = Build(badges);
}

inline std::string Site::Build(int badges) {
  using detail::Insert;
  using detail::Value;
  std::ifstream schemaFile(std::filesystem::path(ZEPRINK_SOURCE_DIR) / "schema/sqlite.sql");
  std::ostringstream schema;
  schema << schemaFile.rdbuf();
  if (schema.str().empty()) return "schema/sqlite.sql not found";

  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) return "cannot open " + path_;
  // A throw-away file: no journal, no syncs, one transaction.
  std::string error = detail::Exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  if (error.empty()) error = detail::Exec(db.get(), schema.str());
  if (error.empty()) error = detail::Exec(db.get(), "BEGIN");
  if (!error.empty()) return error;

  Insert terminal(db.get(),
                  "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) "
                  "VALUES (?, '7744-010', 'MS01', 1, 1, 10, NULL)");
  Insert reader(db.get(), "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES (?, ?, ?, ?)");
  Insert right(db.get(), "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES (?, ?, ?)");
  Insert location(db.get(), "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (?, ?, ?)");
  Insert badge(db.get(),
               "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, "
               "AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) "
               "VALUES (?, ?, ?, ?, ?, ?, 'VW', 'Mitarbeiter', 1, ?, ?, ?, 10, 1, ?)");
  Insert use(db.get(), "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES (?, ?, ?, ?)");
  Insert badgeClass(db.get(), "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES (?, ?)");
  Insert balance(db.get(),
                 "INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, "
                 "TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, "
                 "TswF01, TswF02) VALUES (?, '+   0,00', ?, '-    3,25', '+   38,50', '+   24,00', "
                 "'+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', "
                 "'+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', "
                 "'Resturlaub 24 Tage', 'Gleitzeit im Plus')");
  for (const Insert* insert : {&terminal, &reader, &right, &location, &badge, &use, &badgeClass, &balance}) {
    if (!insert->error().empty()) return insert->error();
  }

  bool ok = terminal.Run({kTerminal});
  const struct {
    int number;
    const char* zko;
  } readers[] = {{1, "EIN"}, {2, "AUS"}, {3, "TOR"}, {7, "KASSE"}, {9, "BUERO"}};
  for (const auto& r : readers) ok = ok && reader.Run({kTerminal, r.number, r.zko, nullptr});
  for (int c = 0; c < 4; ++c) {
    if (detail::kAccessRight[c]) ok = ok && right.Run({kTerminal, detail::kClasses[c], "0"});
  }
  ok = ok && right.Run({kTerminal, "10", "1"}) && right.Run({kTerminal, "30", "1"});
  const char* locations[] = {"Verwaltung", "Produktion", "Lager", "EG", "Versand"};
  for (int s = 0; s < 5; ++s) ok = ok && location.Run({s + 1, locations[s], nullptr});

  const std::string longAgo = DateFromToday(-400);
  const std::string lastWeek = DateFromToday(-7);
  const std::string later = DateFromToday(400);
  // Rows go in out of badge-number order, as a site's rows do after years of
  // changes; the cursor sorts them.
  const int stride = std::gcd(badges, 7919) == 1 ? 7919 : 1;
  char number[32];
  char text[32];
  for (int k = 0; ok && k < badges; ++k) {
    const int i = static_cast<int>((static_cast<int64_t>(k) * stride) % badges);
    std::snprintf(number, sizeof number, "%08d", 10000000 + i);
    // Every form of validity today: open end, open start, both ends.
    const Value gvo = i % 4 == 1 ? Value(nullptr) : Value(longAgo);
    const Value gbi = i % 4 == 0 ? Value(nullptr) : Value(later);
    std::snprintf(text, sizeof text, "%07d", i);
    const std::string pnr = text;
    std::snprintf(text, sizeof text, "%04d", i % 10000);
    const std::string pin = text;
    ok = badge.Run({number, gvo, gbi, pnr, detail::kClasses[i % 4],
                    i % 3 == 0 ? Value(detail::kClasses[(i + 2) % 4]) : Value(nullptr),
                    i % 7 == 0 ? Value("MSB1") : Value(nullptr), i % 5 == 0 ? Value(nullptr) : Value(1),
                    pin, i % 3 == 0 ? Value(0) : Value(nullptr)}) &&
         use.Run({number, 1 + i % 5, i % 2 == 0 ? Value(0) : Value(nullptr), nullptr}) &&
         badgeClass.Run({number, detail::kClasses[i % 4]}) &&
         badgeClass.Run({number, detail::kClasses[(i + 1) % 4]});
    if (ok && i % 10 != 9) {
      std::snprintf(text, sizeof text, "%c%5d,%02d", i % 3 == 0 ? '-' : '+', i % 100, i % 60);
      ok = balance.Run({number, std::string(text)});
    }
    ++validRows_;
    records_ += detail::AccessClassesOf(i);
  }
  // Rows the cursor leaves out: expired, blocked badge use, deleted badge.
  for (int j = 0; ok && j < badges / 10; ++j) {
    std::snprintf(number, sizeof number, "%08d", 90000000 + j);
    const bool expired = j % 3 == 0;
    ok = badge.Run({number, longAgo, expired ? lastWeek : later, "9999999", "10", nullptr, nullptr, 1,
                    "0000", j % 3 == 2 ? Value(4) : Value(nullptr)}) &&
         use.Run({number, 1, j % 3 == 1 ? Value(8) : Value(0), nullptr}) &&
         badgeClass.Run({number, "10"});
  }
  if (!ok) {
    for (const Insert* insert : {&terminal, &reader, &right, &location, &badge, &use, &badgeClass, &balance}) {
      if (!insert->error().empty()) return insert->error();
    }
    return "insert failed";
  }
  return detail::Exec(db.get(), "COMMIT");
}

// The unfiltered badge statement written by hand for SQLite: the same
// tables, join, conditions, select list and ORDER BY (Oracle's NULLs last),
// with today's midnight bound as ?1 and SQLite's own date formatting.
inline constexpr const char* kRawBadgeSql =
    "SELECT AswNum, strftime('%Y%m%d', AswGvo), strftime('%Y%m%d', AswGbi), AswPnr, AswBkl, "
    "AswGrp, AswAan, AswAtp, AwvSto, AswSal, AswBk2, AswSpr, AswPin "
    "FROM Zdx301Asw, Zdx113Awv "
    "WHERE AswNum = AwvNum "
    "AND ((?1 >= AswGvo AND AswGbi IS NULL) OR (?1 <= AswGbi AND AswGvo IS NULL) "
    "OR (?1 >= AswGvo AND ?1 <= AswGbi)) "
    "AND (AwvCod <> 8 OR AwvCod IS NULL) "
    "AND ((AwvSta <> 4 AND AwvSta <> 8) OR AwvSta IS NULL) "
    "AND ((AswSta <> 4 AND AswSta <> 8) OR AswSta IS NULL) "
    "ORDER BY AswNum NULLS LAST, AswGvo NULLS LAST, AswBkl NULLS LAST";

struct RawRun {
  int64_t rows = 0;
  uint64_t checksum = 0;  // keeps the column reads from being optimized away
  std::string error;
};

// A statement that a writer runs per badge, written by hand for SQLite.
struct RawStatement {
  enum class Inputs {
    TerminalAndBadge,     // ?1 the terminal name, ?2 the badge number
    Badge,                // ?1 the badge number
    TerminalAndReaders,   // ?1 the terminal name, ?2 the highest reader number, 11
  };
  const char* sql;
  Inputs inputs;
};

// The time-right count and the access-class cursor (every writer).
inline constexpr RawStatement kRawTimeRights = {
    "SELECT count(*) FROM MGSST35P WHERE M35Trm = ?1 AND M35Bch = '1' "
    "AND M35Bkl IN (SELECT AwbBkl FROM Zdx301Awb WHERE AwbAsw = ?2)",
    RawStatement::Inputs::TerminalAndBadge};
inline constexpr RawStatement kRawAccessClasses = {
    "SELECT DISTINCT M35Bkl FROM MGSST35P, Zdx301Awb WHERE M35Trm = ?1 AND AwbAsw = ?2 "
    "AND M35Bch = '0' AND M35Bkl = AwbBkl ORDER BY M35Bkl DESC NULLS FIRST",
    RawStatement::Inputs::TerminalAndBadge};
// The reader cursor, the balance row and the location text (MGDNL17P).
inline constexpr RawStatement kRawReaders = {
    "SELECT ZlsLes, ZlsZko FROM Zdx401Zls WHERE ZlsTrm = ?1 AND ZlsLes <= ?2 "
    "AND ((ZlsSta <> 4 AND ZlsSta <> 8) OR ZlsSta IS NULL) ORDER BY ZlsLes NULLS LAST",
    RawStatement::Inputs::TerminalAndReaders};
inline constexpr RawStatement kRawBalance = {
    "SELECT TswW01, substr(TswW02,1,1), substr(TswW02,2,9), substr(TswW03,1,1), substr(TswW03,2,9), "
    "substr(TswW04,1,1), substr(TswW04,2,9), substr(TswW05,1,1), substr(TswW05,2,9), "
    "substr(TswW06,1,1), substr(TswW06,2,9), substr(TswW07,1,1), substr(TswW07,2,9), "
    "substr(TswW08,1,1), substr(TswW08,2,9), substr(TswW09,1,1), substr(TswW09,2,9), "
    "substr(TswW10,1,1), substr(TswW10,2,9), substr(TswW11,1,1), substr(TswW11,2,9), "
    "substr(TswW12,1,1), substr(TswW12,2,9), substr(TswW13,1,1), substr(TswW13,2,9), "
    "substr(TswW14,1,1), substr(TswW14,2,9), substr(TswW15,1,1), substr(TswW15,2,9), "
    "substr(TswW16,1,1), substr(TswW16,2,9), TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, "
    "TswF07, TswF08, TswF09, TswF10 FROM O2002TSW WHERE TswIdn = ?1",
    RawStatement::Inputs::Badge};
inline constexpr RawStatement kRawLocation = {
    "SELECT StoKtx FROM Zdx113Sto, Zdx113Awv WHERE AwvNum = ?1 AND StoNum = AwvSto "
    "AND ((AwvSta <> 4 AND AwvSta <> 8) OR AwvSta IS NULL) "
    "AND ((StoSta <> 4 AND StoSta <> 8) OR StoSta IS NULL)",
    RawStatement::Inputs::Badge};

namespace detail {

// Steps every row of `statement`, reading every column.
inline int StepAll(sqlite3_stmt* statement, RawRun& run, bool countRows) {
  const int columns = sqlite3_column_count(statement);
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    for (int c = 0; c < columns; ++c) {
      if (sqlite3_column_type(statement, c) == SQLITE_INTEGER) {
        run.checksum += static_cast<uint64_t>(sqlite3_column_int64(statement, c));
      } else {
        const unsigned char* text = sqlite3_column_text(statement, c);
        const int bytes = sqlite3_column_bytes(statement, c);
        if (text != nullptr && bytes > 0) run.checksum += static_cast<uint64_t>(bytes) + text[0];
      }
    }
    if (countRows) ++run.rows;
  }
  return step;
}

}  // namespace detail

// One run of the baseline, as a run of the program would do it: open the
// file read-only, prepare the badge statement, step every row reading every
// column, finalize, close. With `perBadge`, each badge row also runs those
// statements (prepared once, bound per badge, stepped to the end, reset):
// the SQL work of a writer without the runtime, the formatting and the file.
inline RawRun RunRawBadgeStatement(const Site& site, std::span<const RawStatement> perBadge = {}) {
  RawRun run;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(site.path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) {
    run.error = "cannot open " + site.path();
    return run;
  }
  auto prepare = [&](const char* sql) {
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &prepared, nullptr) != SQLITE_OK) {
      run.error = sqlite3_errmsg(db.get());
    }
    return StatementPtr(prepared);
  };
  StatementPtr badges = prepare(kRawBadgeSql);
  std::vector<StatementPtr> statements;
  for (const RawStatement& statement : perBadge) statements.push_back(prepare(statement.sql));
  if (!run.error.empty()) return run;

  const std::string today = DateFromToday(0);
  sqlite3_bind_text(badges.get(), 1, today.c_str(), static_cast<int>(today.size()), SQLITE_TRANSIENT);
  std::string number;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(badges.get())) == SQLITE_ROW) {
    for (int c = 0; c < 13; ++c) {
      if (c == 7 || c == 11) {  // AswAtp, AswSpr
        run.checksum += static_cast<uint64_t>(sqlite3_column_int64(badges.get(), c));
      } else {
        const unsigned char* text = sqlite3_column_text(badges.get(), c);
        const int bytes = sqlite3_column_bytes(badges.get(), c);
        if (text != nullptr && bytes > 0) run.checksum += static_cast<uint64_t>(bytes) + text[0];
        if (c == 0) {
          number.clear();
          if (text != nullptr) number.assign(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes));
        }
      }
    }
    ++run.rows;
    for (std::size_t k = 0; k < statements.size(); ++k) {
      sqlite3_stmt* statement = statements[k].get();
      const int numberIndex = perBadge[k].inputs == RawStatement::Inputs::Badge ? 1 : 2;
      if (perBadge[k].inputs != RawStatement::Inputs::Badge) {
        sqlite3_bind_text(statement, 1, kTerminal, -1, SQLITE_STATIC);
      }
      if (perBadge[k].inputs == RawStatement::Inputs::TerminalAndReaders) {
        sqlite3_bind_int(statement, 2, 11);
      } else {
        sqlite3_bind_text(statement, numberIndex, number.data(), static_cast<int>(number.size()),
                          SQLITE_STATIC);
      }
      const int done = detail::StepAll(statement, run, false);
      sqlite3_reset(statement);
      if (done != SQLITE_DONE) {
        run.error = sqlite3_errmsg(db.get());
        return run;
      }
    }
  }
  if (step != SQLITE_DONE) run.error = sqlite3_errmsg(db.get());
  return run;
}

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The median of the per-iteration ratios: robust against the odd iteration
// that another process slowed down.
inline double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// What one run of a measured path reports.
struct MeasuredRun {
  int64_t rows = -1;      // badge rows fetched; -1 when the path does not count them
  int64_t prepared = -1;  // statement preparations of the run's session
  std::string error;
};

// Connects the run's session to the site as the program does (CONNECT and
// ALTER SESSION); false with run.error set when that fails.
inline bool ConnectToSite(SqlSession& session, const Site& site, MeasuredRun& run) {
  const ConnectionSettings login{.user = "bench", .password = "bench", .netService = site.NetService()};
  const int32_t rc = ConnectDatabase(session, login, kSchema);
  if (rc == 0) return true;
  run.error = "connect failed: code " + std::to_string(rc) + ": " + session.LastStatus().message;
  return false;
}

// Drives the badge cursor of the connected session as a writer does, without
// the writer's own work: the unfiltered form (a terminal without assignment
// rows, the form the baselines mirror), the record cleared before each
// fetch, each row handed to onRow. Sets run.rows, run.prepared and, on a
// failure, run.error.
template <typename OnRow>
void DriveBadgeCursor(SqlSession& session, MeasuredRun& run, OnRow onRow) {
  TerminalParams terminal;
  FillTerminalParamsWithZeros(terminal);
  SetField(terminal.TrmNam, kTerminal);
  terminal.TfzCount = 0;

  BadgeRecord record;
  ClearBadgeRecord(record);
  BadgeCursor cursor;
  int32_t rc = OpenBadgeCursor(session, cursor, terminal);
  if (rc != 0) {
    run.error = "OpenBadgeCursor: SQLCODE " + std::to_string(rc);
    return;
  }
  run.rows = 0;
  while ((rc = FetchBadge(cursor, record)) == 0) {
    onRow(record);
    ++run.rows;
    ClearBadgeRecord(record);
  }
  CloseBadgeCursor(cursor);
  if (rc != sqlcode::kNoData) run.error = "FetchBadge: SQLCODE " + std::to_string(rc);
  run.prepared = session.PreparedStatementCount();
}

// Runs in every iteration, one right after the other, the baseline (the
// badge statement alone), the measured path and, when `perBadge` names
// statements, the baseline that also runs them per badge; the order rotates,
// so none always finds the caches warmer. The measured path's time is the
// iteration time (the benchmark must use UseManualTime).
//
// Counters, per badge row of a run: ns_per_badge (measured path),
// raw_ns_per_badge (badge statement alone), ratio_vs_raw_sqlite (the median
// of the per-iteration ratios measured / badge statement alone); with
// `perBadge` also raw_statements_ns_per_badge and ratio_vs_raw_statements.
// prepared_per_run: the statements the run's session prepared.
template <typename Measured>
void CompareWithBaseline(benchmark::State& state, const Site& site, Measured measured,
                         std::span<const RawStatement> perBadge = {}) {
  const int parts = perBadge.empty() ? 2 : 3;
  std::vector<double> ratios;
  std::vector<double> statementRatios;
  double rawSeconds = 0.0;
  double statementSeconds = 0.0;
  double measuredSeconds = 0.0;
  int64_t prepared = -1;
  int first = 0;
  for (auto _ : state) {
    RawRun raw;
    RawRun statements;
    MeasuredRun run;
    Clock::duration rawTime{};
    Clock::duration statementTime{};
    Clock::duration runTime{};
    for (int k = 0; k < parts; ++k) {
      const int part = (first + k) % parts;
      const auto start = Clock::now();
      if (part == 0) {
        raw = RunRawBadgeStatement(site);
        rawTime = Clock::now() - start;
      } else if (part == 1) {
        run = measured();
        runTime = Clock::now() - start;
      } else {
        statements = RunRawBadgeStatement(site, perBadge);
        statementTime = Clock::now() - start;
      }
    }
    first = (first + 1) % parts;
    benchmark::DoNotOptimize(raw.checksum);
    benchmark::DoNotOptimize(statements.checksum);
    const std::string error = !raw.error.empty()          ? "baseline: " + raw.error
                              : !statements.error.empty() ? "baseline: " + statements.error
                                                          : run.error;
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
    if (raw.rows != site.validRows() || (parts == 3 && statements.rows != raw.rows) ||
        (run.rows >= 0 && run.rows != raw.rows)) {
      const std::string message = "row counts differ: site " + std::to_string(site.validRows()) +
                                  ", baseline " + std::to_string(raw.rows) + ", measured " +
                                  std::to_string(run.rows);
      state.SkipWithError(message.c_str());
      break;
    }
    state.SetIterationTime(Seconds(runTime));
    rawSeconds += Seconds(rawTime);
    measuredSeconds += Seconds(runTime);
    ratios.push_back(Seconds(runTime) / Seconds(rawTime));
    if (parts == 3) {
      statementSeconds += Seconds(statementTime);
      statementRatios.push_back(Seconds(runTime) / Seconds(statementTime));
    }
    prepared = run.prepared;
  }
  if (ratios.empty()) return;
  const double perRow = 1e9 / (static_cast<double>(ratios.size()) * static_cast<double>(site.validRows()));
  state.counters["badges"] = static_cast<double>(site.validRows());
  state.counters["ns_per_badge"] = measuredSeconds * perRow;
  state.counters["raw_ns_per_badge"] = rawSeconds * perRow;
  state.counters["ratio_vs_raw_sqlite"] = Median(ratios);
  if (parts == 3) {
    state.counters["raw_statements_ns_per_badge"] = statementSeconds * perRow;
    state.counters["ratio_vs_raw_statements"] = Median(statementRatios);
  }
  state.counters["prepared_per_run"] = static_cast<double>(prepared);
}

}  // namespace zx::bench
