#include "sql/postgres/pg_rows.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace zx {

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

SqlValue PgRows::Column(int i) const {
  SqlValue value;
  if (!batch_ || row_ < 0 || i < 0 || i >= columns_) return value;
  PGresult* result = batch_.get();
  if (PQgetisnull(result, row_, i)) return value;
  const std::string_view text(PQgetvalue(result, row_, i),
                              static_cast<std::size_t>(PQgetlength(result, row_, i)));
  const char* end = text.data() + text.size();
  switch (kinds_[static_cast<std::size_t>(i)]) {
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
  value.text = text;
  return value;
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

}  // namespace zx
