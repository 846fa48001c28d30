// Answers of read-only lookups kept for other readers of the same state of
// the database: when several jobs of one session ask the same statement with
// the same inputs, the database is asked once and the others get the very
// rows it gave. Only the statements named are kept, and only answers read
// to their end without an error; the oldest go when the store is full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sql/sql_backend.h"

namespace zx {

// The rows of an answer, packed: per value its kind (one byte), then an
// integer or a real (8 bytes) or a text (its length in 4 bytes, then its
// bytes); nothing more for NULL.
struct KeptAnswer {
  int columns = 0;
  std::size_t rows = 0;
  std::string packed;
};

// Adds one value to an answer's packed bytes.
void PackValue(std::string& packed, const SqlValue& value);

// Rows that give the answer's rows and then end (1403).
std::unique_ptr<SqlRows> KeptRows(std::shared_ptr<const KeptAnswer> answer);

class SharedAnswers {
 public:
  // `statements`: the texts (by the address the callers ask them with) whose
  // answers are kept. `capacity`: answers kept before the older half goes.
  SharedAnswers(std::span<const std::string_view> statements, std::size_t capacity);

  // The number of the statement among those named, by its text: at the
  // address it was named with, or any other copy of it; -1 when its answers
  // are not kept.
  int Shared(std::string_view statement) const;

  // The rows of an earlier run of statement `shared` (Shared's number) with
  // these inputs; null when none is kept.
  std::unique_ptr<SqlRows> Find(int shared, std::span<const SqlBind> inputs);

  // Reads `rows`, the database's answer to the statement and inputs of the
  // last Find, and puts in its place rows that give the same values and the
  // same end: the answer is kept for later runs when it ended without an
  // error and holds fewer than kMaxRows rows; else the rows read so far are
  // given again and the rest comes from `rows`.
  void Keep(std::unique_ptr<SqlRows>& rows);

  static constexpr std::size_t kMaxRows = 64;
  using Answer = KeptAnswer;

 private:
  std::vector<std::string_view> statements_;
  std::size_t capacity_;
  std::string key_;  // of the last Find
  // Two generations: a full current one becomes the previous one, and the
  // previous one goes.
  std::unordered_map<std::string, std::shared_ptr<const Answer>> current_;
  std::unordered_map<std::string, std::shared_ptr<const Answer>> previous_;
};

}  // namespace zx
