#include "tools/explain_support.h"

#include <array>

#include "base/fixed_text.h"
#include "tools/dnl_layout.h"

namespace zx::explain {

namespace {
constexpr int32_t kTextLength = 256;
}  // namespace

int32_t ReadRows(SqlSession& session, std::string_view statement,
                 const std::vector<std::string>& inputs, std::size_t columns, TextRows& rows) {
  std::vector<HostVar> in;
  for (const std::string& input : inputs) in.push_back(StringIn(input.c_str(), kTextLength));
  SqlCursor cursor;
  int32_t code = cursor.Open(session, statement, in);
  std::vector<std::array<char, kTextLength>> buffers(columns);
  std::vector<HostVar> out;
  for (auto& buffer : buffers) out.push_back(StringVar(buffer.data(), kTextLength));
  while (code == sqlcode::kOk) {
    // A NULL column leaves its output as it was: every row starts empty.
    for (auto& buffer : buffers) buffer.fill('\0');
    code = cursor.Fetch(out);
    if (code != sqlcode::kOk) break;
    std::vector<std::string> row;
    for (const auto& buffer : buffers) row.emplace_back(FieldText(buffer));
    rows.push_back(std::move(row));
  }
  if (cursor.IsOpen()) cursor.Close();
  return code == sqlcode::kNoData ? sqlcode::kOk : code;
}

std::string Utf8(std::string_view win1252) { return dnl::Win1252ToUtf8(win1252); }

std::string Failure(SqlSession& session, int32_t code) {
  return "SQL-Code " + std::to_string(code) + " (" + Utf8(session.LastStatus().message) + ")";
}

}  // namespace zx::explain
