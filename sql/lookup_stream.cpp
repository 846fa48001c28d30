#include "sql/lookup_stream.h"

#include <algorithm>
#include <utility>

#include "sql/oracle_sql.h"

namespace zx {

namespace {

// Keys of the cursor's rows kept for the streams' answers: enough for the
// rows that several readers of one cursor have between them.
constexpr std::size_t kDeliveredKeys = 8192;
// Rows of one key beyond which that key is left to its statement.
constexpr std::size_t kMaxGroupRows = 4096;

// A value of a stream's row, held beyond the row.
struct HeldValue {
  SqlValue::Kind kind = SqlValue::Kind::Null;
  int64_t integer = 0;
  double real = 0.0;
  std::string text;
  bool unrepresentable = false;

  bool operator==(const HeldValue& other) const {
    return kind == other.kind && integer == other.integer &&
           (kind != SqlValue::Kind::Real || real == other.real) && text == other.text;
  }
};

// A row of a stream as kept: the lookup's select list packed as an answer
// holds it (KeptAnswer), and the further keys and the order values.
struct HeldRow {
  std::string select;
  std::vector<HeldValue> extra;  // keys 2.. then the order values
  bool unrepresentable = false;  // some value the program cannot hold
};

// The three-way comparison of two keys in byte order.
int CompareKeys(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The index of the first top-level (outside parentheses) token that is the
// word `word`, followed by the word `next` when given; tokens.size() for none.
std::size_t FindTopLevel(const oracle::Tokens& tokens, std::string_view word,
                         std::string_view next = {}) {
  int depth = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (oracle::IsPunct(tokens[i], "(")) ++depth;
    if (oracle::IsPunct(tokens[i], ")")) --depth;
    if (depth == 0 && oracle::IsWord(tokens[i], word) &&
        (next.empty() || (i + 1 < tokens.size() && oracle::IsWord(tokens[i + 1], next)))) {
      return i;
    }
  }
  return tokens.size();
}

void Append(oracle::Tokens& to, const oracle::Tokens& tokens) {
  to.insert(to.end(), tokens.begin(), tokens.end());
}

}  // namespace

bool MakeLookupStream(std::string_view statement, std::string_view firstKey,
                      StreamedLookup& lookup) {
  using oracle::MakeToken;
  using oracle::TokenKind;
  oracle::Tokens tokens;
  if (!oracle::Tokenize(statement, tokens) || oracle::RemoveIntoClause(tokens) < 0) return false;
  if (tokens.empty() || !oracle::IsWord(tokens[0], "select")) return false;
  // The key comparisons, in placeholder order, replaced from the last on.
  std::vector<std::string> keyColumns;
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != TokenKind::Placeholder) continue;
    if (i < 2 || !oracle::IsPunct(tokens[i - 1], "=") ||
        tokens[i - 2].kind != TokenKind::Identifier ||
        (i >= 3 && oracle::IsPunct(tokens[i - 3], "."))) {
      return false;
    }
    keyColumns.push_back(tokens[i - 2].text);
    at.push_back(i - 2);
  }
  if (keyColumns.empty()) return false;
  for (std::size_t k = keyColumns.size(); k-- > 0;) {
    std::string condition;
    if (k == 0) {
      const std::size_t hole = firstKey.find("{}");
      if (hole == std::string_view::npos) return false;
      condition = std::string(firstKey.substr(0, hole)) + keyColumns[0] +
                  std::string(firstKey.substr(hole + 2));
    } else {
      condition = keyColumns[k] + " is not null";
    }
    oracle::Tokens replacement;
    if (!oracle::Tokenize(condition, replacement) || replacement.empty()) return false;
    replacement.front().spaceBefore = tokens[at[k]].spaceBefore;
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(at[k]),
                 tokens.begin() + static_cast<std::ptrdiff_t>(at[k] + 3));
    tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(at[k]), replacement.begin(),
                  replacement.end());
  }

  // The statement's own ORDER BY, taken off the end, and its values.
  const std::size_t orderBy = FindTopLevel(tokens, "order", "by");
  oracle::Tokens ownOrder(tokens.begin() + static_cast<std::ptrdiff_t>(std::min(orderBy + 2, tokens.size())),
                          tokens.end());
  tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(orderBy), tokens.end());
  std::vector<oracle::Tokens> orderValues;
  int depth = 0;
  if (!ownOrder.empty()) orderValues.emplace_back();
  for (const oracle::Token& token : ownOrder) {
    if (oracle::IsPunct(token, "(")) ++depth;
    if (oracle::IsPunct(token, ")")) --depth;
    if (depth == 0 && oracle::IsPunct(token, ",")) {
      orderValues.emplace_back();
    } else if (depth == 0 && (oracle::IsWord(token, "asc") || oracle::IsWord(token, "desc") ||
                              oracle::IsWord(token, "nulls") || oracle::IsWord(token, "first") ||
                              oracle::IsWord(token, "last"))) {
      continue;
    } else {
      orderValues.back().push_back(token);
    }
  }

  // The keys in front of the select list (after DISTINCT), the order
  // values after it.
  const std::size_t from = FindTopLevel(tokens, "from");
  if (from == tokens.size()) return false;
  oracle::Tokens after;
  for (const oracle::Tokens& value : orderValues) {
    if (value.empty()) return false;
    after.push_back(MakeToken(TokenKind::Punct, ",", true));
    Append(after, value);
  }
  tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(from), after.begin(), after.end());
  oracle::Tokens front;
  for (const std::string& column : keyColumns) {
    front.push_back(MakeToken(TokenKind::Identifier, column, true));
    front.push_back(MakeToken(TokenKind::Punct, ",", false));
  }
  const std::size_t listStart = tokens.size() > 1 && oracle::IsWord(tokens[1], "distinct") ? 2 : 1;
  tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(listStart), front.begin(), front.end());

  tokens.push_back(MakeToken(TokenKind::Identifier, "order", true));
  tokens.push_back(MakeToken(TokenKind::Identifier, "by", true));
  tokens.push_back(MakeToken(TokenKind::Identifier, keyColumns[0], true));
  if (!ownOrder.empty()) {
    tokens.push_back(MakeToken(TokenKind::Punct, ",", false));
    Append(tokens, ownOrder);
  }
  lookup.statement = statement;
  lookup.stream = oracle::Render(tokens);
  lookup.keys = static_cast<int>(keyColumns.size());
  lookup.orderValues = static_cast<int>(orderValues.size());
  return true;
}

struct LookupStreams::Stream {
  enum class State { NotOpen, Open, Ended, Broken };

  Planned plan;
  State state = State::NotOpen;
  std::unique_ptr<SqlRows> rows;
  int columns = 0;
  // The rows of the key last asked for, read whole.
  bool haveGroup = false;
  std::string groupKey;
  std::vector<HeldRow> group;
  bool groupUnsure = false;  // a row the stream cannot answer for exactly
  // The row read after the group, not yet taken (its key is larger).
  bool havePending = false;
  std::string pendingKey;
  HeldRow pending;
  // The largest key read so far.
  bool readAny = false;
  std::string lastKey;

  // Reads the next row with a key into `pending`, passing the rows of keys
  // below `from` without keeping them; false at the end of the rows or when
  // the stream broke.
  bool ReadPending(std::string_view from = {}) {
    if (havePending) return true;
    if (state != State::Open) return false;
    for (;;) {
      const int32_t rc = rows->Next();
      if (rc == sqlcode::kNoData) {
        state = State::Ended;
        rows.reset();
        return false;
      }
      if (rc != sqlcode::kOk || rows->ColumnCount() != columns) return Break();
      const SqlValue key = rows->Column(0);
      // No key equals NULL, and none of the program's keys (Windows-1252
      // texts) equals one the program cannot hold: such a row answers nothing.
      if (key.kind == SqlValue::Kind::Null || key.unrepresentable) continue;
      if (key.kind != SqlValue::Kind::Text) return Break();
      // Rows out of the key's order would make a missing key look absent.
      if (readAny && CompareKeys(key.text, lastKey) < 0) return Break();
      readAny = true;
      if (key.text != lastKey) lastKey.assign(key.text);
      if (!from.empty() && CompareKeys(key.text, from) < 0) {
        // A key nobody asked for: passed.
        consumedAny = true;
        consumedKey = lastKey;
        continue;
      }
      pendingKey = lastKey;
      pending.select.clear();
      pending.extra.clear();
      pending.unrepresentable = false;
      const int selectEnd = columns - plan.orderValues;
      for (int i = 1; i < columns; ++i) {
        const SqlValue value = rows->Column(i);
        pending.unrepresentable = pending.unrepresentable || value.unrepresentable;
        if (i >= plan.keys && i < selectEnd) {
          PackValue(pending.select, value);
          continue;
        }
        HeldValue& held = pending.extra.emplace_back();
        held.kind = value.kind;
        held.integer = value.integer;
        held.real = value.real;
        held.text.assign(value.text);
        held.unrepresentable = value.unrepresentable;
      }
      havePending = true;
      return true;
    }
  }

  bool Break() {
    state = State::Broken;
    rows.reset();
    havePending = false;
    haveGroup = false;
    return false;
  }

  // Whether the rows of `key` are known: then `group` holds them (none
  // when the stream has none). False when the stream cannot tell.
  bool Seek(std::string_view key) {
    if (haveGroup && key == groupKey) return true;
    if (state == State::Broken) return false;
    // The rows of keys up to the last one passed are gone (a reader went back).
    if (consumedAny && CompareKeys(key, consumedKey) <= 0) return false;
    for (;;) {
      if (!ReadPending(key)) {
        if (state != State::Ended) return false;
        break;  // no rows after the last one read
      }
      if (CompareKeys(pendingKey, key) >= 0) break;
      // Rows of a key nobody asked for (read before it was asked): passed.
      consumedAny = true;
      consumedKey = pendingKey;
      havePending = false;
    }
    SetGroup(key);
    while (havePending && pendingKey == key) {
      if (group.size() < kMaxGroupRows) {
        group.push_back(std::move(pending));
      } else {
        groupUnsure = true;
      }
      havePending = false;
      if (!ReadPending() && state == State::Broken) return false;
    }
    consumedAny = true;
    consumedKey.assign(key);
    CheckGroup();
    return true;
  }

  void SetGroup(std::string_view key) {
    haveGroup = true;
    groupKey.assign(key);
    group.clear();
    groupUnsure = false;
    whole.reset();
  }

  // A value the program cannot hold, or rows that tie in the lookup's
  // order and differ otherwise (whose order the statement leaves open),
  // make the stream's answer for the key uncertain.
  void CheckGroup() {
    for (const HeldRow& row : group) {
      if (row.unrepresentable) groupUnsure = true;
    }
    if (plan.orderValues <= 0) return;
    const std::size_t orderFrom = static_cast<std::size_t>(plan.keys - 1);
    for (std::size_t r = 1; r < group.size(); ++r) {
      const HeldRow& a = group[r - 1];
      const HeldRow& b = group[r];
      if (std::equal(a.extra.begin() + static_cast<std::ptrdiff_t>(orderFrom), a.extra.end(),
                     b.extra.begin() + static_cast<std::ptrdiff_t>(orderFrom), b.extra.end()) &&
          (a.select != b.select || a.extra != b.extra)) {
        groupUnsure = true;
      }
    }
  }

  // The answer of the group's key when the key is the lookup's only one:
  // every row of the group, made once however often it is asked.
  std::shared_ptr<const KeptAnswer> whole;

  // The largest key whose rows were all read (into the group or passed).
  bool consumedAny = false;
  std::string consumedKey;
};

LookupStreams::LookupStreams(std::vector<Planned> lookups, std::span<const SqlBind> cursorInputs) {
  for (Planned& planned : lookups) {
    auto stream = std::make_unique<Stream>();
    stream->plan = std::move(planned);
    if (stream->plan.backendStream.empty() || stream->plan.keys < 1 ||
        stream->plan.orderValues < 0) {
      stream->state = Stream::State::Broken;
    }
    streams_.push_back(std::move(stream));
  }
  // The inputs stay as the cursor was opened with them.
  inputTexts_.reserve(cursorInputs.size());
  for (const SqlBind& input : cursorInputs) inputTexts_.emplace_back(input.text);
  for (std::size_t i = 0; i < cursorInputs.size(); ++i) {
    SqlBind bind = cursorInputs[i];
    if (bind.kind == SqlBind::Kind::Text) bind.text = inputTexts_[i];
    inputs_.push_back(bind);
  }
}

LookupStreams::~LookupStreams() = default;

void LookupStreams::Delivered(const SqlValue& key) {
  if (key.kind != SqlValue::Kind::Text || key.unrepresentable) return;
  if (!delivered_.empty()) {
    const int order = CompareKeys(key.text, delivered_.back());
    if (order == 0) return;
    // The cursor's rows out of the key's order: the streams cannot follow.
    if (order < 0) {
      for (auto& stream : streams_) stream->Break();
      delivered_.clear();
      return;
    }
  }
  if (delivered_.size() >= kDeliveredKeys) {
    delivered_.erase(delivered_.begin(), delivered_.begin() + kDeliveredKeys / 2);
  }
  delivered_.emplace_back(key.text);
}

LookupStreams::Stream* LookupStreams::Find(std::string_view statement) const {
  for (const auto& candidate : streams_) {
    if (candidate->plan.statement.data() == statement.data()) return candidate.get();
  }
  return nullptr;
}

bool LookupStreams::WasDelivered(std::string_view key) const {
  const auto found = std::lower_bound(delivered_.begin(), delivered_.end(), key,
                                      [](const std::string& a, std::string_view b) {
                                        return CompareKeys(a, b) < 0;
                                      });
  return found != delivered_.end() && *found == key;
}

int LookupStreams::Fit(std::string_view statement, std::string_view key) const {
  const Stream* stream = Find(statement);
  if (stream == nullptr || stream->state == Stream::State::Broken || !WasDelivered(key)) return -1;
  if (stream->haveGroup && stream->groupKey == key) return 0;
  if (stream->consumedAny && CompareKeys(key, stream->consumedKey) <= 0) return -1;
  if (stream->state == Stream::State::NotOpen) return 2;
  if (!stream->havePending || CompareKeys(stream->pendingKey, key) >= 0) return 1;
  return 3;
}

std::unique_ptr<SqlRows> LookupStreams::Answer(SqlBackend& backend, std::string_view statement,
                                               std::span<const SqlBind> inputs) {
  Stream* stream = Find(statement);
  if (stream == nullptr || stream->state == Stream::State::Broken) return nullptr;
  const Planned& plan = stream->plan;
  if (inputs.size() != static_cast<std::size_t>(plan.keys)) return nullptr;
  if (inputs[0].kind != SqlBind::Kind::Text) return nullptr;
  for (std::size_t k = 1; k < inputs.size(); ++k) {
    if (inputs[k].kind != SqlBind::Kind::Integer) return nullptr;
  }
  // Only a key of the cursor's rows: the stream holds every row of those.
  const std::string_view key = inputs[0].text;
  if (!WasDelivered(key)) return nullptr;

  if (stream->state == Stream::State::NotOpen) {
    const int32_t rc = backend.Query(plan.backendStream, inputs_, stream->rows, true);
    if (rc != sqlcode::kOk || !stream->rows) {
      stream->Break();
      return nullptr;
    }
    stream->columns = stream->rows->ColumnCount();
    stream->state = Stream::State::Open;
    if (stream->columns < plan.keys + plan.orderValues) {
      stream->Break();
      return nullptr;
    }
  }
  if (!stream->Seek(key) || stream->groupUnsure) return nullptr;

  // The rows of the key whose further keys are the inputs', without the
  // keys and the order values.
  const int selectColumns = stream->columns - plan.keys - plan.orderValues;
  if (plan.keys == 1 && stream->whole) {
    ++answered_;
    return KeptRows(stream->whole);
  }
  auto answer = std::make_shared<KeptAnswer>();
  answer->columns = selectColumns;
  for (const HeldRow& row : stream->group) {
    bool match = true;
    for (int k = 1; k < plan.keys; ++k) {
      const HeldValue& value = row.extra[static_cast<std::size_t>(k - 1)];
      if (value.kind == SqlValue::Kind::Null) {
        match = false;
      } else if (value.kind != SqlValue::Kind::Integer) {
        return nullptr;  // compared as a number by the statement
      } else if (value.integer != inputs[static_cast<std::size_t>(k)].integer) {
        match = false;
      }
    }
    if (!match) continue;
    answer->packed += row.select;
    ++answer->rows;
  }
  if (plan.keys == 1) stream->whole = answer;
  ++answered_;
  return KeptRows(std::move(answer));
}

}  // namespace zx
