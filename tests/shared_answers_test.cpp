// Answers kept for the jobs of a session: a kept answer gives the very values
// and end the database gave (NULL, integers, reals, empty and binary texts);
// an answer longer than is kept, or ending in an error, is given whole but
// not kept; statements are told apart by their text, wherever it lives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/shared_answers.h"

namespace zx::test {
namespace {

struct FakeValue {
  SqlValue::Kind kind;
  int64_t integer = 0;
  double real = 0.0;
  std::string text;
};
using FakeRow = std::vector<FakeValue>;

FakeValue Null() { return FakeValue{SqlValue::Kind::Null, 0, 0.0, {}}; }
FakeValue Int(int64_t value) { return FakeValue{SqlValue::Kind::Integer, value, 0.0, {}}; }
FakeValue Real(double value) { return FakeValue{SqlValue::Kind::Real, 0, value, {}}; }
FakeValue Text(std::string value) { return FakeValue{SqlValue::Kind::Text, 0, 0.0, std::move(value)}; }

SqlBind TextIn(std::string_view text) { return SqlBind{SqlBind::Kind::Text, 0, text}; }
SqlBind NullIn() { return SqlBind{SqlBind::Kind::Null, 0, {}}; }
SqlBind IntegerIn(int64_t value) { return SqlBind{SqlBind::Kind::Integer, value, {}}; }

// Rows as a database gives them, ending with `endCode` (and its message).
class FakeRows final : public SqlRows {
 public:
  FakeRows(std::vector<FakeRow> rows, int columns, int32_t endCode = sqlcode::kNoData)
      : rows_(std::move(rows)), columns_(columns), endCode_(endCode) {}
  int32_t Next() override {
    if (at_ < rows_.size()) {
      current_ = &rows_[at_++];
      return sqlcode::kOk;
    }
    current_ = nullptr;
    return endCode_;
  }
  int ColumnCount() const override { return columns_; }
  SqlValue Column(int i) const override {
    const FakeValue& v = (*current_)[static_cast<std::size_t>(i)];
    return SqlValue{v.kind, v.integer, v.real, v.text};
  }
  std::string Message() const override { return endCode_ < 0 ? "the database's words" : ""; }

 private:
  std::vector<FakeRow> rows_;
  int columns_;
  int32_t endCode_;
  std::size_t at_ = 0;
  const FakeRow* current_ = nullptr;
};

// Everything the rows give, as text, until their end code.
std::string Drain(SqlRows& rows) {
  std::string seen;
  int32_t code = 0;
  while ((code = rows.Next()) == sqlcode::kOk) {
    for (int i = 0; i < rows.ColumnCount(); ++i) {
      const SqlValue v = rows.Column(i);
      seen += std::to_string(static_cast<int>(v.kind)) + ":" + std::to_string(v.integer) + ":" +
              std::to_string(v.real) + ":" + std::string(v.text) + "|";
    }
    seen += "\n";
  }
  return seen + "end " + std::to_string(code) + " " + rows.Message();
}

constexpr std::string_view kLookup = "select A from T where K=:b0";
constexpr std::string_view kOther = "select B from T where K=:b0";

std::vector<FakeRow> ManyRows(int count) {
  std::vector<FakeRow> rows;
  for (int i = 0; i < count; ++i) rows.push_back({Int(i)});
  return rows;
}

TEST(SharedAnswers, GivesTheDatabasesAnswerAgainOrWholeButUnkept) {
  const std::string binary("a\0\x80\xff", 4);
  const struct Case {
    const char* what;
    std::vector<FakeRow> rows;
    int columns;
    int32_t endCode;
    bool kept;
  } cases[] = {
      {"no row", {}, 1, sqlcode::kNoData, true},
      {"every kind of value",
       {{Null(), Int(-7), Real(2.5), Text(""), Text(binary)},
        {Text(std::string(300, 'x')), Null(), Null(), Int(1), Real(-0.125)}},
       5, sqlcode::kNoData, true},
      {"more rows than are kept", ManyRows(SharedAnswers::kMaxRows + 6), 1, sqlcode::kNoData, false},
      {"as many rows as are kept", ManyRows(SharedAnswers::kMaxRows), 1, sqlcode::kNoData, false},
      {"an error after two rows", ManyRows(2), 1, -3114, false},
  };
  for (const Case& c : cases) {
    SharedAnswers answers(std::vector<std::string_view>{kLookup}, 16);
    const int shared = answers.Shared(kLookup);
    ASSERT_EQ(shared, 0);
    const SqlBind input = TextIn("K1");
    ASSERT_EQ(answers.Find(shared, {&input, 1}), nullptr) << c.what;
    FakeRows database(c.rows, c.columns, c.endCode);
    const std::string expected = Drain(database);

    std::unique_ptr<SqlRows> rows = std::make_unique<FakeRows>(c.rows, c.columns, c.endCode);
    answers.Keep(rows);
    EXPECT_EQ(Drain(*rows), expected) << c.what;
    std::unique_ptr<SqlRows> again = answers.Find(shared, {&input, 1});
    EXPECT_EQ(again != nullptr, c.kept) << c.what;
    if (again) {
      EXPECT_EQ(Drain(*again), expected) << c.what;
    }
  }
}

TEST(SharedAnswers, KeysTellStatementsAndInputsApart) {
  SharedAnswers answers(std::vector<std::string_view>{kLookup, kOther}, 16);
  // The same text at another address is the same statement; another text
  // is not, nor is a text whose answers are not kept.
  const std::string copy(kLookup);
  EXPECT_EQ(answers.Shared(copy), answers.Shared(kLookup));
  EXPECT_EQ(answers.Shared(kOther), 1);
  EXPECT_EQ(answers.Shared("select C from T"), -1);
  // A text at an address where a kept statement's text was seen before.
  std::string reused(kLookup);
  ASSERT_EQ(answers.Shared(reused), 0);
  reused.replace(reused.find('A'), 1, "Z");
  EXPECT_EQ(answers.Shared(reused), -1);

  const auto keep = [&answers](int shared, std::span<const SqlBind> inputs, int64_t value) {
    ASSERT_EQ(answers.Find(shared, inputs), nullptr);
    std::unique_ptr<SqlRows> rows =
        std::make_unique<FakeRows>(std::vector<FakeRow>{{Int(value)}}, 1);
    answers.Keep(rows);
  };
  // Two pairs of texts whose bytes run together alike, any byte in a text.
  const SqlBind ab[] = {TextIn("a\x02" "b"), TextIn("c")};
  const SqlBind a_bc[] = {TextIn("a"), TextIn("b\x02" "c")};
  const SqlBind nullAndText[] = {NullIn(), TextIn("abc")};
  const SqlBind number[] = {IntegerIn(12), TextIn("abc")};
  keep(0, ab, 1);
  keep(0, a_bc, 2);
  keep(0, nullAndText, 3);
  keep(0, number, 4);
  keep(1, ab, 5);
  const struct {
    int shared;
    std::span<const SqlBind> inputs;
    int64_t value;
  } expected[] = {{0, ab, 1}, {0, a_bc, 2}, {0, nullAndText, 3}, {0, number, 4}, {1, ab, 5}};
  for (const auto& e : expected) {
    std::unique_ptr<SqlRows> rows = answers.Find(e.shared, e.inputs);
    ASSERT_NE(rows, nullptr) << e.value;
    ASSERT_EQ(rows->Next(), sqlcode::kOk);
    EXPECT_EQ(rows->Column(0).integer, e.value);
  }
}

TEST(SharedAnswers, KeepsAtMostItsCapacity) {
  SharedAnswers answers(std::vector<std::string_view>{kLookup}, 8);
  std::vector<std::string> keys;
  for (int i = 0; i < 100; ++i) keys.push_back("K" + std::to_string(i));
  for (const std::string& key : keys) {
    const SqlBind input = TextIn(key);
    ASSERT_EQ(answers.Find(0, {&input, 1}), nullptr);
    std::unique_ptr<SqlRows> rows = std::make_unique<FakeRows>(ManyRows(1), 1);
    answers.Keep(rows);
  }
  int kept = 0;
  for (const std::string& key : keys) {
    const SqlBind input = TextIn(key);
    if (answers.Find(0, {&input, 1})) ++kept;
  }
  EXPECT_LE(kept, 8);
  // The newest are among them.
  const SqlBind newest = TextIn(keys.back());
  EXPECT_NE(answers.Find(0, {&newest, 1}), nullptr);
}

}  // namespace
}  // namespace zx::test
