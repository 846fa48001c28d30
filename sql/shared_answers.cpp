#include "sql/shared_answers.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zx {

namespace {

// Marks the kind byte of a text shown in its printable form.
constexpr unsigned kUnrepresentableTag = 0x80;

// The rows of a kept answer, then (when the answer was not read whole) the
// rest of the database's rows, or the code that ended them.
class ReplayRows final : public SqlRows {
 public:
  ReplayRows(std::shared_ptr<const KeptAnswer> answer, std::unique_ptr<SqlRows> rest,
             int32_t endCode, std::string endMessage)
      : answer_(std::move(answer)),
        rest_(std::move(rest)),
        endCode_(endCode),
        endMessage_(std::move(endMessage)) {}

  int32_t Next() override {
    if (row_ < answer_->rows) {
      ++row_;
      Unpack();
      return sqlcode::kOk;
    }
    inAnswer_ = false;
    if (rest_) return rest_->Next();
    return endCode_;
  }
  int ColumnCount() const override { return rest_ ? rest_->ColumnCount() : answer_->columns; }
  SqlValue Column(int i) const override {
    if (!inAnswer_) return rest_ ? rest_->Column(i) : SqlValue{};
    if (i < 0 || static_cast<std::size_t>(i) >= current_.size()) return SqlValue{};
    return current_[static_cast<std::size_t>(i)];
  }
  std::string Message() const override { return rest_ ? rest_->Message() : endMessage_; }

 private:
  // The next row's values from the packed bytes.
  void Unpack() {
    const std::string& packed = answer_->packed;
    current_.assign(static_cast<std::size_t>(answer_->columns), SqlValue{});
    for (SqlValue& value : current_) {
      const auto tag = static_cast<unsigned char>(packed[at_++]);
      value.kind = static_cast<SqlValue::Kind>(tag & ~kUnrepresentableTag);
      value.unrepresentable = (tag & kUnrepresentableTag) != 0;
      if (value.kind == SqlValue::Kind::Integer) {
        std::memcpy(&value.integer, packed.data() + at_, sizeof value.integer);
        at_ += sizeof value.integer;
      } else if (value.kind == SqlValue::Kind::Real) {
        std::memcpy(&value.real, packed.data() + at_, sizeof value.real);
        at_ += sizeof value.real;
      } else if (value.kind == SqlValue::Kind::Text) {
        uint32_t size = 0;
        std::memcpy(&size, packed.data() + at_, sizeof size);
        at_ += sizeof size;
        value.text = std::string_view(packed).substr(at_, size);
        at_ += size;
      }
    }
    inAnswer_ = true;
  }

  std::shared_ptr<const KeptAnswer> answer_;
  std::unique_ptr<SqlRows> rest_;
  int32_t endCode_;
  std::string endMessage_;
  std::size_t row_ = 0;
  std::size_t at_ = 0;
  bool inAnswer_ = false;
  std::vector<SqlValue> current_;
};

}  // namespace

void PackValue(std::string& packed, const SqlValue& value) {
  packed += static_cast<char>(static_cast<unsigned char>(value.kind) |
                              (value.unrepresentable ? kUnrepresentableTag : 0u));
  if (value.kind == SqlValue::Kind::Integer) {
    packed.append(reinterpret_cast<const char*>(&value.integer), sizeof value.integer);
  } else if (value.kind == SqlValue::Kind::Real) {
    packed.append(reinterpret_cast<const char*>(&value.real), sizeof value.real);
  } else if (value.kind == SqlValue::Kind::Text) {
    const auto size = static_cast<uint32_t>(value.text.size());
    packed.append(reinterpret_cast<const char*>(&size), sizeof size);
    packed.append(value.text);
  }
}

std::unique_ptr<SqlRows> KeptRows(std::shared_ptr<const KeptAnswer> answer) {
  return std::make_unique<ReplayRows>(std::move(answer), nullptr, sqlcode::kNoData, std::string());
}

namespace {

void AppendKeyPart(std::string& key, const void* bytes, std::size_t size) {
  key.append(static_cast<const char*>(bytes), size);
}

}  // namespace

SharedAnswers::SharedAnswers(std::span<const std::string_view> statements, std::size_t capacity)
    : statements_(statements.begin(), statements.begin() + std::min<std::size_t>(statements.size(), 255)),
      capacity_(capacity < 2 ? 2 : capacity) {
  // A statement's number is one byte of the key: at most 255 are kept.
  current_.reserve(capacity_ / 2);
  previous_.reserve(capacity_ / 2);
}

int SharedAnswers::Shared(std::string_view statement) const {
  for (std::size_t i = 0; i < statements_.size(); ++i) {
    if (statements_[i].data() == statement.data() && statements_[i].size() == statement.size()) {
      return static_cast<int>(i);
    }
  }
  for (std::size_t i = 0; i < statements_.size(); ++i) {
    if (statements_[i] == statement) return static_cast<int>(i);
  }
  return -1;
}

std::unique_ptr<SqlRows> SharedAnswers::Find(int shared, std::span<const SqlBind> inputs) {
  std::string& key = key_;
  // The statement's number, then each input: its kind and its value (a
  // text with its length first, so that no two inputs run together). Short
  // enough for a badge number's key to stay inside the string.
  key.clear();
  key += static_cast<char>(shared);
  for (const SqlBind& input : inputs) {
    key += static_cast<char>(input.kind);
    if (input.kind == SqlBind::Kind::Integer) {
      AppendKeyPart(key, &input.integer, sizeof input.integer);
    } else if (input.kind == SqlBind::Kind::Text) {
      const std::size_t size = input.text.size();
      if (size < 0xFF) {
        key += static_cast<char>(size);
      } else {
        key += static_cast<char>(0xFF);
        AppendKeyPart(key, &size, sizeof size);
      }
      key.append(input.text);
    }
  }
  std::shared_ptr<const Answer> answer;
  if (auto found = current_.find(key); found != current_.end()) {
    answer = found->second;
  } else if (auto old = previous_.find(key); old != previous_.end()) {
    answer = old->second;
  }
  if (!answer) return nullptr;
  return std::make_unique<ReplayRows>(std::move(answer), nullptr, sqlcode::kNoData, std::string());
}

void SharedAnswers::Keep(std::unique_ptr<SqlRows>& rows) {
  auto answer = std::make_shared<Answer>();
  answer->columns = rows->ColumnCount();
  int32_t code = sqlcode::kOk;
  while (answer->rows < kMaxRows && (code = rows->Next()) == sqlcode::kOk) {
    for (int i = 0; i < answer->columns; ++i) PackValue(answer->packed, rows->Column(i));
    ++answer->rows;
  }
  answer->packed.shrink_to_fit();
  if (code == sqlcode::kNoData) {
    // Read whole: kept, and given from the store like any later run.
    if (current_.size() >= capacity_ / 2) {
      previous_.swap(current_);
      current_.clear();
    }
    current_.emplace(key_, answer);
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
