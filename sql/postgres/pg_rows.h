// The rows of one query of the PostgreSQL backend: a result held whole, or
// the batches of an open server-side cursor, with the column values decoded
// from the server's text form into the values the session converts.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/postgres/pg_session.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/sql_backend.h"

namespace zx::pg {

// The value of a column of a row of a result, decoded from the server's text
// form: numbers of the integer types and numeric as integers (a fraction as
// a real), the floating-point types as reals, everything else as text. With
// `converted`, a text arrives in UTF-8 and is given in Windows-1252, held
// there (ASCII is given as it is, not copied); a text with a character that
// Windows-1252 cannot represent is given in its printable form, marked
// `unrepresentable`. Without it (a SQL_ASCII server) the bytes are given as
// they are stored.
SqlValue DecodePgValue(const PGresult* result, int row, int column, SqlValue::Kind kind,
                       std::string* converted);

// A text of a result in the program's Windows-1252 (see DecodePgValue);
// false when it has a character that Windows-1252 cannot represent.
bool ReceivedText(std::string_view text, std::string* converted, std::string_view& result);

// A text the program sends, in the server's encoding: as it is when it is
// ASCII or `convert` is false (a SQL_ASCII server), otherwise in UTF-8.
void AppendSentText(std::string_view win1252, bool convert, std::string& out);

// The rows of one query: the open cursor and its current batch.
class PgRows final : public SqlRows {
 public:
  // `slot` is the open cursor that delivers further blocks, or nullptr
  // when `batch` is the whole result.
  PgRows(std::shared_ptr<Session> session, CursorSlot* slot, ResultPtr batch);
  ~PgRows() override;
  PgRows(const PgRows&) = delete;
  PgRows& operator=(const PgRows&) = delete;

  int32_t Next() override;

  int ColumnCount() const override { return columns_; }

  std::string Message() const override {
    return failed_ != sqlcode::kOk ? failedMessage_ : session_->LastMessage();
  }

  SqlValue Column(int i) const override;

  int BufferedRows() const { return batch_ ? PQntuples(batch_.get()) : 0; }

  static SqlValue::Kind KindOf(Oid type);

 private:
  std::shared_ptr<Session> session_;
  CursorSlot* slot_;
  ResultPtr batch_;
  int row_ = -1;
  int columns_ = 0;
  bool lastBatch_ = false;
  int32_t failed_ = sqlcode::kOk;
  std::string failedMessage_;  // the server's words for failed_
  std::vector<SqlValue::Kind> kinds_;
  // Per column, the current row's text in Windows-1252 where it was not
  // ASCII; none when the server's text is not converted.
  mutable std::vector<std::string> converted_;
  // The next block's FETCH, sent ahead; null when none is in flight.
  std::shared_ptr<SentAhead> ahead_;
  void SendNextFetch();
};

}  // namespace zx::pg
