// Statements through a session with plain texts in and out, for tests that
// compare what a database gives: inputs as values, outputs as rows of texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sql/session.h"

namespace zx::test {

inline constexpr const char* kNull = "<NULL>";  // what an output holds when the runtime left it alone

// An input host variable: a STRING of 256 (as the program binds its texts) or an INTEGER.
struct In {
  In(const char* value) : text(value) {}
  In(std::string value) : text(std::move(value)) {}
  In(int32_t value) : number(value), isInteger(true) {}
  std::string text;
  int32_t number = 0;
  bool isInteger = false;
};

std::vector<HostVar> Bind(std::vector<In>& inputs);

using Row = std::vector<std::string>;

// STRING outputs of 256, each preset to kNull before the statement.
struct Outputs {
  explicit Outputs(std::size_t columns);
  void Preset();
  Row Values() const;
  std::vector<std::array<char, 256>> buffers;
  std::vector<HostVar> vars;
};

// Column `column` of every row.
std::vector<std::string> Column(const std::vector<Row>& rows, std::size_t column);

// SELECT INTO of `text` through `session` into `columns` STRING outputs.
int32_t SelectRow(SqlSession& session, std::string_view text, std::vector<In> inputs,
                  std::size_t columns, Row& row);

// Opens `text` as a cursor on `session`, fetches every row and closes it;
// `end` is the code of the last fetch (1403 at the normal end).
std::vector<Row> FetchAll(SqlSession& session, std::string_view text, std::vector<In> inputs,
                          std::size_t columns, int32_t& end);

// Each badge that the unfiltered badge cursor delivers, in order, as
// "number|first day|last day|access class|language".
std::vector<std::string> FetchAllBadges(SqlSession& session);

// The assignments of terminal "T" as `session` counts them.
int32_t CountAssignments(SqlSession& session);

}  // namespace zx::test
