#include "sql/postgres/pg_rows.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/win1252.h"

namespace zx::pg {

namespace {

// Type OIDs of the built-in types whose values reach the program as numbers.
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kOidOid = 26;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kNumericOid = 1700;

}  // namespace

bool ReceivedText(std::string_view text, std::string* converted, std::string_view& result) {
  result = text;
  if (converted == nullptr || IsAscii(text)) return true;
  const bool representable = Utf8ToWin1252(text, *converted);
  result = *converted;
  return representable;
}

void AppendSentText(std::string_view win1252, bool convert, std::string& out) {
  if (!convert || IsAscii(win1252)) {
    out += win1252;
  } else {
    AppendWin1252AsUtf8(win1252, out);
  }
}

SqlValue DecodePgValue(const PGresult* result, int row, int column, SqlValue::Kind kind,
                       std::string* converted) {
  SqlValue value;
  if (PQgetisnull(result, row, column)) return value;
  const std::string_view text(PQgetvalue(result, row, column),
                              static_cast<std::size_t>(PQgetlength(result, row, column)));
  const char* end = text.data() + text.size();
  switch (kind) {
    case SqlValue::Kind::Integer: {
      int64_t integer = 0;
      const auto parsed = std::from_chars(text.data(), end, integer);
      if (parsed.ec == std::errc() && parsed.ptr == end) {
        value.kind = SqlValue::Kind::Integer;
        value.integer = integer;
        return value;
      }
      [[fallthrough]];  // a numeric with a fraction or beyond 64 bits
    }
    case SqlValue::Kind::Real: {
      double real = 0.0;
      const auto parsed = std::from_chars(text.data(), end, real);
      if (parsed.ptr == end && (parsed.ec == std::errc() || parsed.ec == std::errc::result_out_of_range)) {
        value.kind = SqlValue::Kind::Real;
        value.real = real;
        return value;
      }
      break;
    }
    case SqlValue::Kind::Null:
    case SqlValue::Kind::Text:
      break;
  }
  value.kind = SqlValue::Kind::Text;
  value.unrepresentable = !ReceivedText(text, converted, value.text);
  return value;
}

PgRows::PgRows(std::shared_ptr<Session> session, CursorSlot* slot, ResultPtr batch)
    : session_(std::move(session)), slot_(slot), batch_(std::move(batch)) {
  columns_ = PQnfields(batch_.get());
  if (!session_ || session_->ConvertsText()) converted_.resize(static_cast<std::size_t>(columns_));
  lastBatch_ = !slot_ || PQntuples(batch_.get()) < kPostgresFetchBlock;
  kinds_.reserve(static_cast<std::size_t>(columns_));
  for (int i = 0; i < columns_; ++i) kinds_.push_back(KindOf(PQftype(batch_.get(), i)));
  SendNextFetch();
}

void PgRows::SendNextFetch() {
  if (lastBatch_ || !slot_ || !session_ || session_->Broken()) return;
  // The server reads the next block while the program works through this
  // one; it is collected when the program needs it, or by the next
  // statement of the session, which reads whatever is in flight first.
  ahead_ = std::make_shared<SentAhead>();
  ahead_->parts.emplace_back();
  ahead_->parts.back().push_back(Execute(slot_->fetch));
  session_->Send(ahead_);
}

PgRows::~PgRows() {
  if (slot_) session_->Release(slot_);
}

int32_t PgRows::Next() {
  if (failed_ != sqlcode::kOk) return failed_;
  // Once the session has broken, the rows still held here end too: the
  // statements run for them fail, so a writer going on with them would
  // write their badges without rights and end as if it had read them all.
  if (session_ && session_->Broken()) {
    batch_.reset();
    row_ = -1;
    failed_ = session_->NotConnected();
    failedMessage_ = session_->LastMessage();
    return failed_;
  }
  if (batch_ && row_ + 1 < PQntuples(batch_.get())) {
    ++row_;
    return sqlcode::kOk;
  }
  if (lastBatch_) {
    batch_.reset();
    row_ = -1;
    return sqlcode::kNoData;
  }
  // The batch is used up: let it go before the next one arrives.
  batch_.reset();
  row_ = -1;
  int32_t rc = sqlcode::kOk;
  if (ahead_) {
    session_->Collect();
    const std::shared_ptr<SentAhead> block = std::move(ahead_);
    rc = block->rc.empty() ? sqlcode::kInternal : block->rc[0];
    if (rc == sqlcode::kOk) batch_ = std::move(block->parts[0][0].result);
  } else {
    std::vector<Command> fetch;
    fetch.push_back(Execute(slot_->fetch));
    rc = session_->Run(fetch);
    if (rc == sqlcode::kOk) batch_ = std::move(fetch[0].result);
  }
  if (rc != sqlcode::kOk || !batch_) {
    failed_ = rc != sqlcode::kOk ? rc : sqlcode::kInternal;
    failedMessage_ = session_->LastMessage();
    return failed_;
  }
  lastBatch_ = PQntuples(batch_.get()) < kPostgresFetchBlock;
  SendNextFetch();
  return Next();
}

SqlValue PgRows::Column(int i) const {
  if (!batch_ || row_ < 0 || i < 0 || i >= columns_) return SqlValue{};
  const auto at = static_cast<std::size_t>(i);
  return DecodePgValue(batch_.get(), row_, i, kinds_[at], converted_.empty() ? nullptr : &converted_[at]);
}

SqlValue::Kind PgRows::KindOf(Oid type) {
  switch (type) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid:
    case kNumericOid:
      return SqlValue::Kind::Integer;
    case kFloat4Oid:
    case kFloat8Oid:
      return SqlValue::Kind::Real;
    default:
      return SqlValue::Kind::Text;
  }
}

}  // namespace zx::pg
