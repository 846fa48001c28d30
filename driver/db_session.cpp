#include "driver/db_session.h"

#include <string>

namespace zx {

namespace {
// The statement travels in a STRING host variable of 101 bytes.
constexpr size_t kMaxStatementText = 100;
}  // namespace

int32_t ConnectDatabase(SqlSession& session, const ConnectionSettings& login, const char* schema,
                        std::string_view snapshot) {
  // The session refuses a login whose connect string would be longer than
  // 100 characters itself.
  const int32_t connected = session.Connect(login, snapshot);
  if (connected != sqlcode::kOk) return connected;

  const std::string text = std::string("ALTER SESSION SET CURRENT_SCHEMA=") + schema;
  if (text.size() > kMaxStatementText) {
    // Refused whole: a cut name could be another schema.
    session.Prepare("");
    return sqlcode::kConnectStringTooLong;
  }
  // A failing PREPARE shows in the EXECUTE that follows.
  session.Prepare(text.c_str());
  return session.Execute();
}

}  // namespace zx
