// The batch rewrite: the lookups of a batch of a cursor's rows, each
// statement run once for all the rows that need it (its many form, a lateral
// join over arrays of the rows' inputs), and the answers of each row taken
// from that one result.
#pragma once

#include <libpq-fe.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "sql/postgres/pg_session.h"
#include "sql/postgres/pg_statements.h"
#include "sql/sql_backend.h"

namespace zx::pg {

// The answer of a statement run ahead of its asking (see SqlLookahead):
// the rows of one run in the result of its many form.
struct Prefetched {
  std::shared_ptr<const PGresult> result;  // holds the answers of a whole batch
  int begin = 0;                           // this run's rows of it
  int end = 0;
  int leading = 1;  // the result's columns before the statement's own
};
// Answers by statement and inputs (PrefetchKey).
using PrefetchedMap = std::unordered_map<std::string, Prefetched>;

// What a run ahead is found by: the statement and its inputs.
std::string PrefetchKey(const Statement& statement, std::span<const SqlBind> inputs);

// The lookahead statements of one batch of a cursor's rows, as commands to
// send: each statement once for all its rows (its many form). Built for one
// of two passes: the statements for every row, then those for the rows that
// the answers of others single out (SqlLookahead::only).
class AheadRun {
 public:
  // Builds the commands for the rows [begin, end) of the batch (end -1: to
  // its last); false when there is nothing to run. With `answering`, the
  // statements run on `session` for another session, which finds the
  // answers by its own statements.
  bool Build(Session& session, const PGresult& batch, const std::vector<SqlLookahead>& plan,
             bool singledOut, const std::vector<std::vector<std::string>>& keysOf,
             const PrefetchedMap& answers, int begin = 0, int end = -1,
             Session* answering = nullptr);

  // The commands to send (moved out; given back to Keep with their results).
  std::vector<Command>& Commands() { return commands_; }

  // Takes the answers from the commands' results (`rc`: how they ended;
  // `failedAt`: the failing command's index). A failure keeps nothing: each
  // run then goes to the server itself and gets its own code, as without
  // running ahead. The first pass records each statement's key per row in
  // `keysOf`, for the second.
  void Keep(Session& session, int32_t rc, std::size_t failedAt, PrefetchedMap& answers,
            std::vector<std::vector<std::string>>& keysOf);

 private:
  struct Job {
    Statement* statement;
    std::vector<int> rows;          // the rows of the batch it runs for
    std::vector<std::string> keys;  // per element (one of those rows)
    std::vector<std::string> texts;
    std::vector<const char*> params;
  };
  int rows_ = 0;
  bool singledOut_ = false;
  std::vector<Job> jobs_;
  std::vector<std::size_t> planOf_;
  std::vector<Statement*> preparing_;
  std::vector<Command> commands_;
  std::size_t first_ = 0;
};

}  // namespace zx::pg
