#include "sql/shared_answers.h"

#include <cstring>
#include <utility>

namespace zx {

namespace {

// The rows of a kept answer, then (when the answer was not read whole) the
// rest of the database's rows, or the code that ended them.
class ReplayRows final : public SqlRows {
 public:
  ReplayRows(std::shared_ptr<const SharedAnswers::Answer> answer, std::unique_ptr<SqlRows> rest,
             int32_t endCode, std::string endMessage)
      : answer_(std::move(answer)),
        rest_(std::move(rest)),
        endCode_(endCode),
        endMessage_(std::move(endMessage)) {}

  int32_t Next() override {
    if (at_ < answer_->rows.size()) {
      current_ = &answer_->rows[at_++];
      return sqlcode::kOk;
    }
    current_ = nullptr;
    if (rest_) return rest_->Next();
    return endCode_;
  }
  int ColumnCount() const override { return rest_ ? rest_->ColumnCount() : answer_->columns; }
  SqlValue Column(int i) const override {
    if (current_ == nullptr) return rest_ ? rest_->Column(i) : SqlValue{};
    if (i < 0 || static_cast<std::size_t>(i) >= current_->size()) return SqlValue{};
    const SharedAnswers::Value& value = (*current_)[static_cast<std::size_t>(i)];
    return SqlValue{value.kind, value.integer, value.real, value.text};
  }
  std::string Message() const override { return rest_ ? rest_->Message() : endMessage_; }

 private:
  std::shared_ptr<const SharedAnswers::Answer> answer_;
  std::unique_ptr<SqlRows> rest_;
  int32_t endCode_;
  std::string endMessage_;
  std::size_t at_ = 0;
  const std::vector<SharedAnswers::Value>* current_ = nullptr;
};

void AppendKeyPart(std::string& key, const void* bytes, std::size_t size) {
  key.append(static_cast<const char*>(bytes), size);
}

}  // namespace

SharedAnswers::SharedAnswers(std::span<const std::string_view> statements, std::size_t capacity)
    : capacity_(capacity < 2 ? 2 : capacity) {
  for (const std::string_view statement : statements) statements_.insert(statement.data());
}

std::unique_ptr<SqlRows> SharedAnswers::Find(const char* statement, std::span<const SqlBind> inputs,
                                             std::string& key) {
  // The statement's address, then each input: its kind and its value (a
  // text with its length first, so that no two inputs run together).
  key.clear();
  AppendKeyPart(key, &statement, sizeof statement);
  for (const SqlBind& input : inputs) {
    key += static_cast<char>(input.kind);
    if (input.kind == SqlBind::Kind::Integer) {
      AppendKeyPart(key, &input.integer, sizeof input.integer);
    } else if (input.kind == SqlBind::Kind::Text) {
      const std::size_t size = input.text.size();
      AppendKeyPart(key, &size, sizeof size);
      key.append(input.text);
    }
  }
  std::shared_ptr<const Answer> answer;
  if (auto found = current_.find(key); found != current_.end()) {
    answer = found->second;
  } else if (auto old = previous_.find(key); old != previous_.end()) {
    answer = old->second;
    previous_.erase(old);
    current_.emplace(key, answer);
  }
  if (!answer) return nullptr;
  return std::make_unique<ReplayRows>(std::move(answer), nullptr, sqlcode::kNoData, std::string());
}

void SharedAnswers::Keep(std::string key, std::unique_ptr<SqlRows>& rows) {
  auto answer = std::make_shared<Answer>();
  answer->columns = rows->ColumnCount();
  int32_t code = sqlcode::kOk;
  while (answer->rows.size() < kMaxRows && (code = rows->Next()) == sqlcode::kOk) {
    std::vector<Value>& row = answer->rows.emplace_back();
    row.reserve(static_cast<std::size_t>(answer->columns));
    for (int i = 0; i < answer->columns; ++i) {
      const SqlValue value = rows->Column(i);
      row.push_back(Value{value.kind, value.integer, value.real, std::string(value.text)});
    }
  }
  if (code == sqlcode::kNoData) {
    // Read whole: kept, and given from the store like any later run.
    if (current_.size() >= capacity_ / 2) {
      previous_ = std::move(current_);
      current_.clear();
    }
    current_.emplace(std::move(key), answer);
    rows = std::make_unique<ReplayRows>(std::move(answer), nullptr, sqlcode::kNoData, std::string());
    return;
  }
  if (code == sqlcode::kOk) {
    // More rows than are kept: the rest comes from the database.
    rows = std::make_unique<ReplayRows>(std::move(answer), std::move(rows), sqlcode::kOk, std::string());
    return;
  }
  // An error ends the rows where it came; the next run asks again.
  std::string message = rows->Message();
  rows = std::make_unique<ReplayRows>(std::move(answer), nullptr, code, std::move(message));
}

}  // namespace zx
