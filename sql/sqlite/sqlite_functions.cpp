#include "sql/sqlite/sqlite_functions.h"

#include <cstdio>
#include <string>

#include "sql/oracle_sql.h"
#include "sql/sql_status.h"

namespace zx {

namespace {

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

constexpr FunctionDef kFunctions[] = {
    {"zx_trunc", 1, TruncFunction},   {"zx_to_char", 1, ToCharFunction},
    {"zx_to_char", 2, ToCharFunction}, {"zx_nvl", 2, NvlFunction},
    {"zx_substr", 2, SubstrFunction}, {"zx_substr", 3, SubstrFunction},
};

}  // namespace

int RegisterOracleFunctions(sqlite3* db, int32_t* pendingError) {
  for (const FunctionDef& def : kFunctions) {
    const int rc = sqlite3_create_function_v2(db, def.name, def.args,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC, pendingError,
                                              def.function, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace zx
