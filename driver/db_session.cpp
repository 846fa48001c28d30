#include "driver/db_session.h"

#include <string>

#include "queries/sql_runtime.h"

namespace zx {

namespace {
// Both texts travel in a STRING host variable of 101 bytes.
constexpr size_t kMaxStatementText = 100;
}  // namespace

int32_t ConnectDatabase(const char* user, const char* password, const char* netService,
                        const char* schema) {
  std::string text = std::string(user) + "/" + password + "@" + netService;
  if (text.size() > kMaxStatementText) {
    SQLCODE = sqlcode::kConnectStringTooLong;
    return SQLCODE;
  }
  if (SqlConnect(text.c_str()) != 0) return SQLCODE;

  text = std::string("ALTER SESSION SET CURRENT_SCHEMA=") + schema;
  if (text.size() > kMaxStatementText) {
    SQLCODE = sqlcode::kConnectStringTooLong;
    return SQLCODE;
  }
  // A failing PREPARE shows in the EXECUTE that follows.
  SqlPrepare(text.c_str());
  return SqlExecute();
}

}  // namespace zx
