#include "sql/postgres/pg_errors.h"

#include "base/text_utils.h"
#include "base/win1252.h"

namespace zx::pg {

namespace {

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The SQLSTATE of a server's message as libpq renders it with verbose errors
// ("FATAL:  28P01: password authentication failed ..."), or empty.
std::string_view SqlStateInMessage(std::string_view message) {
  for (std::string_view severity : {"FATAL:  ", "ERROR:  ", "PANIC:  "}) {
    std::size_t at = message.find(severity);
    while (at != std::string_view::npos) {
      const std::string_view rest = message.substr(at + severity.size());
      bool code = rest.size() > 5 && rest[5] == ':';
      for (std::size_t i = 0; code && i < 5; ++i) {
        const char c = rest[i];
        code = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
      }
      if (code) return rest.substr(0, 5);
      at = message.find(severity, at + 1);
    }
  }
  return {};
}

}  // namespace

std::string OneLine(std::string_view message, bool fromUtf8) {
  std::string text;
  if (fromUtf8) {
    Utf8ToWin1252(message, text);
  } else {
    text = message;
  }
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

int32_t PostgresErrorCode(std::string_view sqlstate) {
  static constexpr struct {
    std::string_view state;
    int32_t code;
  } kExact[] = {
      {"42P01", sqlcode::kTableNotFound},
      {"42703", sqlcode::kInvalidIdentifier},
      {"42883", sqlcode::kInvalidIdentifier},
      {"42804", pgcode::kInconsistentTypes},
      {"42501", pgcode::kInsufficientPrivileges},
      {"3F000", sqlcode::kUnknownSchema},
      {"22P02", sqlcode::kInvalidNumber},
      {"22003", sqlcode::kIntegerOverflow},
      {"22012", pgcode::kDivisionByZero},
      {"22007", sqlcode::kDateFormatMismatch},
      {"22008", sqlcode::kDateFormatMismatch},
      {"22P05", pgcode::kUntranslatable},
      {"22021", pgcode::kUntranslatable},
      {"28P01", sqlcode::kBadLogin},
      {"28000", sqlcode::kBadLogin},
      {"3D000", pgcode::kDatabaseUnknown},
      {"53300", pgcode::kTooManySessions},
      {"55P03", sqlcode::kResourceBusy},
      {"57014", pgcode::kUserCancel},
      {"57P01", pgcode::kShutdownInProgress},
      {"57P02", pgcode::kShutdownInProgress},
      {"57P03", pgcode::kStartupOrShutdown},
  };
  for (const auto& entry : kExact) {
    if (entry.state == sqlstate) return entry.code;
  }
  if (StartsWith(sqlstate, "08")) return pgcode::kConnectionLost;
  if (StartsWith(sqlstate, "42")) return sqlcode::kInvalidSql;
  return sqlcode::kInternal;
}

int32_t PostgresConnectErrorCode(std::string_view message) {
  const std::string_view state = SqlStateInMessage(message);
  if (!state.empty()) return PostgresErrorCode(state);
  if (Contains(message, "Is the server running")) return sqlcode::kNoListener;
  if (Contains(message, "could not translate host name")) return pgcode::kHostUnknown;
  if (Contains(message, "timeout expired")) return pgcode::kConnectTimeout;
  if (Contains(message, "no password supplied")) return sqlcode::kBadLogin;
  if (Contains(message, "server closed the connection unexpectedly")) {
    return pgcode::kConnectionClosed;
  }
  if (Contains(message, "out of memory")) return sqlcode::kInternal;
  if (StartsWith(message, "connection to server")) return pgcode::kProtocolError;
  // Failed before any server was tried: the service or URI is not usable.
  return sqlcode::kUnknownService;
}

}  // namespace zx::pg
