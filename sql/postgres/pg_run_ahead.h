// Running a cursor's lookups ahead of the reader: the answers of the
// lookahead statements (SqlLookahead) of each batch of its rows are asked
// while the program works on the batch before, with a helper session that
// takes half of them, and the backend answers the program's own runs of
// those statements from them.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "sql/postgres/pg_batch.h"
#include "sql/postgres/pg_connect.h"
#include "sql/postgres/pg_rows.h"
#include "sql/postgres/pg_session.h"
#include "sql/sql_backend.h"

namespace zx::pg {

// The answers run ahead on a backend's session. Each cursor that ran them
// ahead (their owner) keeps those of its current batch and of the one
// before (a reader may still be at the rows before the batch boundary), so
// several cursors open at once keep theirs side by side.
class PrefetchedAnswers {
 public:
  // The owner's map for the answers of its new batch; those of the batch
  // before it are kept, older ones go.
  PrefetchedMap& NewBatch(const void* owner);

  // The rows of the answer kept for `statement` with `inputs` by any cursor,
  // their text converted as `convert` says (Session::ConvertsText); null
  // when none is kept.
  std::unique_ptr<SqlRows> Rows(const Statement& statement, std::span<const SqlBind> inputs,
                                bool convert) const;

 private:
  struct OwnerAnswers {
    PrefetchedMap current;
    PrefetchedMap previous;
  };
  std::unordered_map<const void*, OwnerAnswers> byOwner_;
};

// The second session that runs half of each batch's lookups beside a
// backend's session, reading the same snapshot; opened with the first
// cursor that has lookups.
class HelperSession {
 public:
  // The helper of `session`, opened with `login` and made to read `schema`
  // (unless empty) the first time it is asked for. None (null) without a
  // login, when the server is a standby (which cannot share its snapshot)
  // or when it cannot be opened: the lookups then all run on the session,
  // as they would. It is tried once.
  std::shared_ptr<Session> Get(Session& session, const PostgresLogin* login,
                               const std::string& schema);

  // A helper opened before reads `schema` as well; one that cannot is given up.
  void SetSchema(const std::string& schema);

  // The round trips of the helper, including those of one given up.
  int64_t RoundTrips() const;

 private:
  std::shared_ptr<Session> helper_;
  bool tried_ = false;
  int64_t trips_ = 0;  // of a helper that could not be used
};

// The batches of `slot`'s cursor, whose rows have the lookahead statements
// `plan`, read one batch ahead of the reader with their answers kept in
// `answers`. Starts with the cursor's first batch (held by the caller);
// `last` when it is the only one. `helper` gives the helper session (or
// null); asked only when there is more than one batch.
std::unique_ptr<BatchFeed> StartRunAhead(std::shared_ptr<Session> session,
                                         std::shared_ptr<PrefetchedAnswers> answers,
                                         CursorSlot* slot, std::vector<SqlLookahead> plan,
                                         const PGresult& first, bool last,
                                         const std::function<std::shared_ptr<Session>()>& helper);

}  // namespace zx::pg
