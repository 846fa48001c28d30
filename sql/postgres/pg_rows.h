// The rows of one query of the PostgreSQL backend: a result held whole, or
// the batches of an open server-side cursor, with the column values decoded
// from the server's text form into the values the session converts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sql/postgres/pg_session.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/sql_backend.h"

namespace zx {

// The rows of one query: the open cursor and its current batch.
class PgRows final : public SqlRows {
 public:
  // `slot` is the open cursor that delivers further batches, or nullptr
  // when `batch` is the whole result.
  PgRows(std::shared_ptr<Session> session, CursorSlot* slot, ResultPtr batch)
      : session_(std::move(session)), slot_(slot), batch_(std::move(batch)) {
    columns_ = PQnfields(batch_.get());
    lastBatch_ = !slot_ || PQntuples(batch_.get()) < kPostgresFetchBatch;
    kinds_.reserve(static_cast<std::size_t>(columns_));
    for (int i = 0; i < columns_; ++i) kinds_.push_back(KindOf(PQftype(batch_.get(), i)));
  }
  ~PgRows() override {
    if (slot_) session_->Release(slot_);
  }
  PgRows(const PgRows&) = delete;
  PgRows& operator=(const PgRows&) = delete;

  int32_t Next() override {
    if (failed_ != sqlcode::kOk) return failed_;
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
    std::vector<Command> fetch;
    fetch.push_back(Execute(slot_->fetch));
    const int32_t rc = session_->Run(fetch);
    if (rc != sqlcode::kOk) {
      failed_ = rc;
      return rc;
    }
    batch_ = std::move(fetch[0].result);
    lastBatch_ = PQntuples(batch_.get()) < kPostgresFetchBatch;
    return Next();
  }

  int ColumnCount() const override { return columns_; }

  std::string Message() const override { return session_->LastMessage(); }

  SqlValue Column(int i) const override;

  int BufferedRows() const { return batch_ ? PQntuples(batch_.get()) : 0; }

 private:
  static SqlValue::Kind KindOf(Oid type);

  std::shared_ptr<Session> session_;
  CursorSlot* slot_;
  ResultPtr batch_;
  int row_ = -1;
  int columns_ = 0;
  bool lastBatch_ = false;
  int32_t failed_ = sqlcode::kOk;
  std::vector<SqlValue::Kind> kinds_;
};

}  // namespace zx
