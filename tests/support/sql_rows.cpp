#include "tests/support/sql_rows.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/fixed_text.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "queries/statements.h"
#include "queries/terminal_params.h"

namespace zx::test {

std::vector<HostVar> Bind(std::vector<In>& inputs) {
  std::vector<HostVar> vars;
  for (In& in : inputs) {
    vars.push_back(in.isInteger ? IntegerVar(&in.number) : StringIn(in.text.c_str(), 256));
  }
  return vars;
}

Outputs::Outputs(std::size_t columns) : buffers(columns) {
  for (auto& buffer : buffers) vars.push_back(StringVar(buffer.data(), 256));
  Preset();
}

void Outputs::Preset() {
  for (auto& buffer : buffers) std::snprintf(buffer.data(), buffer.size(), "%s", kNull);
}

Row Outputs::Values() const {
  Row row;
  for (const auto& buffer : buffers) row.emplace_back(buffer.data());
  return row;
}

std::vector<std::string> Column(const std::vector<Row>& rows, std::size_t column) {
  std::vector<std::string> values;
  for (const Row& row : rows) values.push_back(row.at(column));
  return values;
}

int32_t SelectRow(SqlSession& session, std::string_view text, std::vector<In> inputs,
                  std::size_t columns, Row& row) {
  Outputs out(columns);
  const std::vector<HostVar> in = Bind(inputs);
  const int32_t rc = session.SelectInto(text, out.vars, in);
  EXPECT_EQ(rc, session.LastStatus().code);
  row = out.Values();
  return rc;
}

std::vector<Row> FetchAll(SqlSession& session, std::string_view text, std::vector<In> inputs,
                          std::size_t columns, int32_t& end) {
  std::vector<Row> rows;
  const std::vector<HostVar> in = Bind(inputs);
  SqlCursor cursor;
  end = cursor.Open(session, text, in);
  if (end != 0) return rows;
  Outputs out(columns);
  while ((end = cursor.Fetch(out.vars)) == 0) {
    rows.push_back(out.Values());
    out.Preset();
  }
  EXPECT_EQ(cursor.Close(), 0);
  return rows;
}

std::vector<std::string> FetchAllBadges(SqlSession& session) {
  TerminalParams terminal{};
  FillTerminalParamsWithZeros(terminal);
  terminal.TfzCount = 0;
  std::vector<std::string> badges;
  BadgeCursor cursor;
  if (OpenBadgeCursor(session, cursor, terminal) != 0) return {"open failed"};
  BadgeRecord record{};
  for (;;) {
    ClearBadgeRecord(record);
    const int32_t rc = FetchBadge(cursor, record);
    if (rc != 0) {
      if (rc != sqlcode::kNoData) badges.push_back("error " + std::to_string(rc));
      break;
    }
    badges.push_back(std::string(FieldText(record.AswNum)) + "|" +
                     std::string(FieldText(record.AswGvo)) + "|" +
                     std::string(FieldText(record.AswGbi)) + "|" +
                     std::string(FieldText(record.AswBkl)) + "|" +
                     std::string(FieldText(record.AswSpr)));
  }
  CloseBadgeCursor(cursor);
  return badges;
}

int32_t CountAssignments(SqlSession& session) {
  int32_t count = -1;
  const HostVar out[] = {IntegerVar(&count)};
  const HostVar in[] = {StringIn("T", 256)};
  EXPECT_EQ(session.SelectInto(statements::kCountAssignments, out, in), 0);
  return count;
}

}  // namespace zx::test
