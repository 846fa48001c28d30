#include "sql/postgres/pg_run_ahead.h"

#include <utility>

#include "sql/postgres/postgres_backend.h"

namespace zx::pg {

namespace {

// The batches of a cursor whose rows have lookahead statements, read one
// batch ahead of the reader: while the program works on batch k, the server
// already runs the lookups of batch k+1 and fetches batch k+2, sent in one
// round trip without waiting (Session::Send); the reader collects them when
// it reaches batch k+1. With a helper session (a second connection reading
// the same snapshot), the helper runs the lookups of the second half of each
// batch at the same time, so that the server works on two cores. The
// lookups that the answers single out for a batch follow in a round trip of
// their own as the reader reaches it. Whatever the helper cannot answer is
// asked on the session itself, as without running ahead.
class AheadFeed final : public BatchFeed {
 public:
  AheadFeed(std::shared_ptr<Session> session, std::shared_ptr<PrefetchedAnswers> answers,
            CursorSlot* slot, std::vector<SqlLookahead> plan)
      : session_(std::move(session)),
        answers_(std::move(answers)),
        slot_(slot),
        owner_(slot),
        plan_(std::move(plan)) {}

  ~AheadFeed() override {
    // What is still in flight is read, so that the statements it prepares
    // are known to be there (or not) for the cursors after this one.
    if (InFlight()) {
      session_->Collect();
      if (helper_) helper_->Collect();
      Finish();
    }
  }

  // Starts with the cursor's first batch (held by the caller); `last` when
  // it is the only one. Its lookups run now, with the fetch of the second
  // batch; then the second batch's lookups and the third's fetch are sent.
  // `helper` gives the helper session (or null); asked only when there is
  // more than one batch: a cursor of one batch has nothing to share.
  void Start(const PGresult& first, bool last,
             const std::function<std::shared_ptr<Session>()>& helper) {
    if (!last) helper_ = helper();
    if (!SendFor(first, last)) return;
    session_->Collect();
    if (helper_) helper_->Collect();
    batchOf_ = &first;
    Finish();
    next_ = std::move(following_);
    nextLast_ = followingLast_;
    if (next_) SendFor(*next_, nextLast_);
  }

  int32_t NextBatch(ResultPtr& batch, bool& last, std::string& message) override {
    if (!next_) {
      if (fetchFailed_ != sqlcode::kOk) {
        message = fetchMessage_;
        return fetchFailed_;
      }
      return sqlcode::kNoData;
    }
    // What was sent for the next batch: its answers, and the one after it.
    if (InFlight()) {
      session_->Collect();
      if (helper_) helper_->Collect();
      batchOf_ = next_.get();
      Finish();
    }
    batch = std::move(next_);
    last = nextLast_;
    next_ = std::move(following_);
    nextLast_ = followingLast_;
    if (next_) SendFor(*next_, nextLast_);
    return sqlcode::kOk;
  }

 private:
  // One session's share of the lookups of a batch, in flight.
  struct Share {
    std::shared_ptr<SentAhead> block;
    std::unique_ptr<AheadRun> run;  // the lookups in it, if any
    bool fetches = false;           // its first part fetches the next batch
  };

  bool InFlight() const { return main_.block || helped_.block; }

  // Sends the lookups of `batch` and, unless it is the last, the fetch of the
  // batch after it. False when nothing was sent.
  bool SendFor(const PGresult& batch, bool last) {
    if (session_->Broken()) return false;
    keysOf_.assign(plan_.size(), {});
    const int rows = PQntuples(&batch);
    const bool helped = helper_ && !helper_->Broken() && rows > 1;
    const int half = helped ? rows / 2 : rows;
    bool sent = Send(*session_, main_, batch, !last, 0, half);
    if (helped) sent = Send(*helper_, helped_, batch, false, half, rows, session_.get()) || sent;
    return sent;
  }

  bool Send(Session& session, Share& share, const PGresult& batch, bool fetch, int begin, int end,
            Session* answering = nullptr) {
    auto block = std::make_shared<SentAhead>();
    share.fetches = fetch;
    if (fetch) {
      std::vector<Command> next;
      next.push_back(Execute(slot_->fetch));
      block->parts.push_back(std::move(next));
    }
    share.run = std::make_unique<AheadRun>();
    if (share.run->Build(session, batch, plan_, false, keysOf_, empty_, begin, end, answering)) {
      block->parts.push_back(std::move(share.run->Commands()));
    } else {
      share.run.reset();
    }
    if (block->parts.empty()) return false;
    session.Send(block);
    share.block = std::move(block);
    return true;
  }

  // Takes what was in flight: the fetched batch (held as the one after the
  // next) and the answers of the batch `batchOf_`, then runs the lookups
  // that those answers single out.
  void Finish() {
    PrefetchedMap& answers = answers_->NewBatch(owner_);
    bool answered = Take(*session_, main_, answers);
    if (helped_.block) answered = Take(*helper_, helped_, answers) && answered;
    if (answered && batchOf_ != nullptr && !session_->Broken()) {
      // The second pass, for the rows the answers single out: the helper
      // takes the second half, as in the first.
      const int rows = PQntuples(batchOf_);
      const bool helped = helper_ && !helper_->Broken() && rows > 1;
      const int half = helped ? rows / 2 : rows;
      Share other;
      if (helped) {
        other.run = std::make_unique<AheadRun>();
        if (other.run->Build(*helper_, *batchOf_, plan_, true, keysOf_, answers, half, rows,
                             session_.get())) {
          other.block = std::make_shared<SentAhead>();
          other.block->parts.push_back(std::move(other.run->Commands()));
          helper_->Send(other.block);
        }
      }
      AheadRun singled;
      if (singled.Build(*session_, *batchOf_, plan_, true, keysOf_, answers, 0, half)) {
        std::size_t failedAt = singled.Commands().size();
        const int32_t rc = session_->Run(singled.Commands(), &failedAt);
        singled.Keep(*session_, rc, failedAt, answers, keysOf_);
      }
      if (other.block) {
        helper_->Collect();
        Take(*helper_, other, answers);
      }
    }
    batchOf_ = nullptr;
  }

  // One share's results; false when its lookups gave no answers.
  bool Take(Session& session, Share& share, PrefetchedMap& answers) {
    std::shared_ptr<SentAhead> block = std::move(share.block);
    share.block.reset();
    if (!block) return true;
    std::size_t part = 0;
    if (share.fetches) {
      if (block->rc[part] == sqlcode::kOk) {
        following_ = std::move(block->parts[part][0].result);
        followingLast_ = PQntuples(following_.get()) < kPostgresFetchBatch;
      } else {
        // Reported when the reader gets past the batch before it.
        fetchFailed_ = block->rc[part];
        fetchMessage_ = session.LastMessage();
        followingLast_ = true;
      }
      ++part;
    }
    if (!share.run) return true;
    std::unique_ptr<AheadRun> run = std::move(share.run);
    run->Commands() = std::move(block->parts[part]);
    run->Keep(session, block->rc[part], block->failedAt[part], answers, keysOf_);
    return block->rc[part] == sqlcode::kOk;
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<PrefetchedAnswers> answers_;
  std::shared_ptr<Session> helper_;  // none when null
  CursorSlot* slot_;
  const void* owner_;  // whose answers they are (see PrefetchedAnswers::NewBatch)
  std::vector<SqlLookahead> plan_;
  ResultPtr next_;       // the batch after the reader's, its lookups in flight
  bool nextLast_ = true;
  ResultPtr following_;  // the batch after that, once fetched
  bool followingLast_ = true;
  int32_t fetchFailed_ = sqlcode::kOk;
  std::string fetchMessage_;
  Share main_;    // on the session: the fetch and the first rows' lookups
  Share helped_;  // on the helper: the other rows' lookups
  std::vector<std::vector<std::string>> keysOf_;
  const PGresult* batchOf_ = nullptr;  // the batch whose lookups are in flight
  PrefetchedMap empty_;
};

}  // namespace

PrefetchedMap& PrefetchedAnswers::NewBatch(const void* owner) {
  OwnerAnswers& answers = byOwner_[owner];
  answers.previous = std::move(answers.current);
  answers.current.clear();
  return answers.current;
}

std::unique_ptr<SqlRows> PrefetchedAnswers::Rows(const Statement& statement,
                                                 std::span<const SqlBind> inputs,
                                                 bool convert) const {
  bool any = false;
  for (const auto& [owner, answers] : byOwner_) {
    if (!answers.current.empty() || !answers.previous.empty()) any = true;
  }
  if (!any) return nullptr;
  const std::string key = PrefetchKey(statement, inputs);
  for (const auto& [owner, answers] : byOwner_) {
    for (const PrefetchedMap* batch : {&answers.current, &answers.previous}) {
      if (auto found = batch->find(key); found != batch->end()) {
        const Prefetched& answer = found->second;
        // Past the element's number (and its row number).
        return std::make_unique<PgSliceRows>(answer.result, answer.begin, answer.end,
                                             answer.leading, convert);
      }
    }
  }
  return nullptr;
}

std::shared_ptr<Session> HelperSession::Get(Session& session, const PostgresLogin* login,
                                            const std::string& schema) {
  if (helper_ && !helper_->Broken()) return helper_;
  if (tried_ || login == nullptr || session.Broken()) return nullptr;
  tried_ = true;
  // Outside a savepoint (a subtransaction cannot export its snapshot),
  // where a failure would end the session: asked so that it cannot fail.
  std::vector<Command> commands;
  commands.push_back(Prepare("zx_share",
                             "SELECT CASE WHEN pg_catalog.pg_is_in_recovery() THEN NULL "
                             "ELSE pg_catalog.pg_export_snapshot() END"));
  commands.push_back(Execute("zx_share"));
  if (session.Run(commands, nullptr, false) != sqlcode::kOk) return nullptr;
  const PGresult* result = commands.back().result.get();
  if (PQntuples(result) != 1 || PQgetisnull(result, 0, 0)) return nullptr;
  const std::string snapshot = PQgetvalue(result, 0, 0);
  std::shared_ptr<Session> helper;
  std::string message;
  if (ConnectSession(*login, snapshot, helper, message) != sqlcode::kOk) {
    trips_ += 1;
    return nullptr;
  }
  if (!schema.empty() && pg::SetSchema(*helper, schema) != sqlcode::kOk) {
    trips_ += helper->RoundTrips();
    return nullptr;
  }
  helper_ = std::move(helper);
  return helper_;
}

void HelperSession::SetSchema(const std::string& schema) {
  if (helper_ && pg::SetSchema(*helper_, schema) != sqlcode::kOk) {
    trips_ += helper_->RoundTrips();
    helper_.reset();
  }
}

int64_t HelperSession::RoundTrips() const { return (helper_ ? helper_->RoundTrips() : 0) + trips_; }

std::unique_ptr<BatchFeed> StartRunAhead(std::shared_ptr<Session> session,
                                         std::shared_ptr<PrefetchedAnswers> answers,
                                         CursorSlot* slot, std::vector<SqlLookahead> plan,
                                         const PGresult& first, bool last,
                                         const std::function<std::shared_ptr<Session>()>& helper) {
  auto feed =
      std::make_unique<AheadFeed>(std::move(session), std::move(answers), slot, std::move(plan));
  feed->Start(first, last, helper);
  return feed;
}

}  // namespace zx::pg
