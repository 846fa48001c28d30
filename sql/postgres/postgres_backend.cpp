// The PostgreSQL backend's statements: each distinct text translated and
// prepared once, run whole when its result fits one batch, otherwise through
// a server-side cursor whose prepared DECLARE, FETCH and CLOSE are reused.
#include "sql/postgres/postgres_backend.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_rows.h"
#include "sql/oracle_sql.h"
#include "sql/postgres/pg_session.h"

namespace zx {

namespace {

// The statement of an Oracle text on this session: translated once.
Statement* FindStatement(Session& session, std::string_view oracleText) {
  auto& byAddress = session.StatementsByAddress();
  if (auto at = byAddress.find(oracleText.data());
      at != byAddress.end() && *at->second->oracleText == oracleText) {
    return at->second;
  }
  auto& statements = session.Statements();
  auto found = statements.find(std::string(oracleText));
  if (found == statements.end()) {
    Statement statement;
    if (!TranslateForPostgres(oracleText, session.StoredText(), statement.text,
                              statement.parameters)) {
      session.SetMessage("statement text cannot be read");
      return nullptr;
    }
    found = statements.emplace(std::string(oracleText), std::move(statement)).first;
    found->second.oracleText = &found->first;
  }
  byAddress[oracleText.data()] = &found->second;
  return &found->second;
}

// The parameters of a run as libpq takes them: texts (in UTF-8 when the
// session converts text), NULL as a null pointer.
void BindParameters(std::span<const SqlBind> inputs, bool convert, std::vector<std::string>& texts,
                    std::vector<const char*>& params) {
  texts.clear();
  params.clear();
  texts.reserve(inputs.size());
  for (const SqlBind& bind : inputs) {
    if (bind.kind == SqlBind::Kind::Integer) {
      texts.push_back(std::to_string(bind.integer));
    } else {
      AppendSentText(bind.text, convert, texts.emplace_back());
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    params.push_back(inputs[i].kind == SqlBind::Kind::Null ? nullptr : texts[i].c_str());
  }
}

// What a run ahead is found by: the statement and its inputs.
std::string PrefetchKey(const Statement& statement, std::span<const SqlBind> inputs) {
  const Statement* address = &statement;
  std::string key(reinterpret_cast<const char*>(&address), sizeof address);
  for (const SqlBind& bind : inputs) {
    key += '\x1f';
    switch (bind.kind) {
      case SqlBind::Kind::Null:
        key += 'N';
        break;
      case SqlBind::Kind::Integer:
        key += 'I';
        key += std::to_string(bind.integer);
        break;
      case SqlBind::Kind::Text:
        key += 'T';
        key += bind.text;
        break;
    }
  }
  return key;
}

// The input a lookahead statement gets from a row of the cursor's batch, as
// the caller binds the value it fetched: a STRING of the given length, in
// Windows-1252 (held in `converted` where the session converts text and it
// is not ASCII; a value that Windows-1252 cannot represent in its printable
// form, as the caller fetches it).
SqlBind InputOfRow(const PGresult& batch, int row, const SqlLookahead::Input& input, bool convert,
                   std::string& converted) {
  SqlBind bind;
  if (input.column < 0) {
    bind.kind = input.kind;
    bind.text = input.text;
    bind.integer = input.integer;
    return bind;
  }
  if (input.column >= PQnfields(&batch) || PQgetisnull(&batch, row, input.column)) return bind;
  std::string_view text;
  ReceivedText(std::string_view(PQgetvalue(&batch, row, input.column),
                                static_cast<std::size_t>(PQgetlength(&batch, row, input.column))),
               convert ? &converted : nullptr, text);
  if (input.length < 1) return bind;
  text = text.substr(0, static_cast<std::size_t>(input.length - 1));
  // The STRING ends at a zero byte; an empty one binds NULL.
  text = text.substr(0, text.find('\0'));
  if (text.empty()) return bind;
  bind.kind = SqlBind::Kind::Text;
  bind.text = text;
  return bind;
}

// The form of a statement that runs it for many inputs in one execution:
//   SELECT zx_k.zx_ord, zx_q.* FROM unnest($c+1::text[], ...) WITH ORDINALITY
//     AS zx_k(zx_v1, ..., zx_ord) CROSS JOIN LATERAL (<statement>) AS zx_q
//   ORDER BY zx_k.zx_ord
// where the statement's placeholders of row inputs read the arrays' values
// (text, as a STRING input binds) and those of constants stay placeholders
// $1..$c. The statement runs once per element, as it would on its own: the
// rows of element n are those of its own run. The server joins the
// statement's tables with the elements as one query, so the rows of one
// element come in no particular order; a statement without an ORDER BY
// gives them in no particular order either. A statement that orders its rows
// keeps that order: its rows are numbered in a window of their own,
//   ... CROSS JOIN LATERAL (SELECT row_number() OVER () AS zx_rn, zx_i.*
//     FROM (<statement>) zx_i) AS zx_q ORDER BY zx_k.zx_ord, zx_q.zx_rn
// (the server's sort is not stable), which keeps the server from joining it
// as one query and costs about a third more. `leading`: the columns before
// the statement's own. False when the text cannot be rewritten.
bool ManyForm(std::string_view oracleText, const SqlLookahead& ahead, ServerText serverText,
              std::string& text, int& leading) {
  oracle::Tokens tokens;
  if (!oracle::Tokenize(oracleText, tokens)) return false;
  oracle::Tokens rewritten;
  std::size_t placeholder = 0;
  int rowInputs = 0;
  for (const oracle::Token& token : tokens) {
    if (token.kind != oracle::TokenKind::Placeholder) {
      rewritten.push_back(token);
      continue;
    }
    if (placeholder >= ahead.inputs.size()) return false;
    if (ahead.inputs[placeholder++].column < 0) {
      rewritten.push_back(token);
      continue;
    }
    ++rowInputs;
    rewritten.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "zx_k", token.spaceBefore));
    rewritten.push_back(oracle::MakeToken(oracle::TokenKind::Punct, ".", false));
    rewritten.push_back(
        oracle::MakeToken(oracle::TokenKind::Identifier, "zx_v" + std::to_string(rowInputs), false));
  }
  if (placeholder != ahead.inputs.size() || rowInputs == 0) return false;
  std::string inner;
  int constants = 0;
  if (!TranslateForPostgres(oracle::Render(rewritten), serverText, inner, constants)) return false;
  std::string arrays;
  std::string names;
  for (int k = 1; k <= rowInputs; ++k) {
    if (k > 1) {
      arrays += ", ";
      names += ", ";
    }
    arrays += "$" + std::to_string(constants + k) + "::text[]";
    names += "zx_v" + std::to_string(k);
  }
  const std::string elements =
      "SELECT zx_k.zx_ord, zx_q.* FROM unnest(" + arrays + ") WITH ORDINALITY AS zx_k(" + names +
      ", zx_ord) CROSS JOIN LATERAL (";
  if (TopLevelOrderBy(tokens) < tokens.size()) {
    text = elements + "SELECT row_number() OVER () AS zx_rn, zx_i.* FROM (" + inner +
           ") AS zx_i) AS zx_q ORDER BY zx_k.zx_ord, zx_q.zx_rn";
    leading = 2;
  } else {
    text = elements + inner + ") AS zx_q ORDER BY zx_k.zx_ord";
    leading = 1;
  }
  return true;
}

// An element of a text[] literal: NULL, or the text in double quotes with
// '"' and '\\' escaped. The literal is in Windows-1252 as the inputs are,
// and goes to the server as any text parameter does (BindParameters).
void AppendArrayElement(std::string& literal, const SqlBind& bind) {
  if (literal.size() > 1) literal += ',';
  if (bind.kind == SqlBind::Kind::Null) {
    literal += "NULL";
    return;
  }
  const std::string value =
      bind.kind == SqlBind::Kind::Integer ? std::to_string(bind.integer) : std::string(bind.text);
  literal += '"';
  for (const char c : value) {
    if (c == '"' || c == '\\') literal += '\\';
    literal += c;
  }
  literal += '"';
}

// True when the answer kept under `key` has a row whose column `column` (of
// the statement's own) reads as the integer `value`.
bool AnswerHolds(const Session::PrefetchedMap& answers, const std::string& key, int column,
                 int64_t value) {
  const auto found = answers.find(key);
  if (found == answers.end()) return false;
  const Session::Prefetched& answer = found->second;
  const PGresult* result = answer.result.get();
  const int field = answer.leading + column;
  if (column < 0 || field >= PQnfields(result)) return false;
  for (int row = answer.begin; row < answer.end; ++row) {
    if (PQgetisnull(result, row, field)) continue;
    const char* text = PQgetvalue(result, row, field);
    const char* end = text + PQgetlength(result, row, field);
    int64_t read = 0;
    const auto [stop, ec] = std::from_chars(text, end, read);
    if (ec == std::errc() && stop == end && read == value) return true;
  }
  return false;
}

// The lookahead statements of one batch of a cursor's rows, as commands to
// send: each statement once for all its rows (its many form). Built for one
// of two passes: the statements for every row, then those for the rows that
// the answers of others single out (SqlLookahead::only).
class AheadRun {
 public:
  // Builds the commands for the rows [begin, end) of the batch (end -1: to
  // its last); false when there is nothing to run.
  bool Build(Session& session, const PGresult& batch, const std::vector<SqlLookahead>& plan,
             bool singledOut, const std::vector<std::vector<std::string>>& keysOf,
             const Session::PrefetchedMap& answers, int begin = 0, int end = -1,
             Session* answering = nullptr) {
    rows_ = PQntuples(&batch);
    const int from = std::min(begin, rows_);
    const int to = end < 0 ? rows_ : std::min(end, rows_);
    singledOut_ = singledOut;
    jobs_.clear();
    jobs_.reserve(plan.size());  // the parameters point into the jobs: they never move
    planOf_.clear();
    preparing_.clear();
    commands_.clear();
    if (rows_ == 0 || session.Broken()) return false;
    std::vector<SqlBind> binds;
    std::vector<std::string> converted;
    for (std::size_t k = 0; k < plan.size(); ++k) {
      const SqlLookahead& ahead = plan[k];
      const auto& only = ahead.only;
      if ((only.after >= 0) != singledOut) continue;
      const std::size_t after = static_cast<std::size_t>(only.after);
      if (singledOut && (only.after >= static_cast<int>(k) || keysOf[after].empty())) continue;
      Statement* statement = FindStatement(session, ahead.text);
      if (statement == nullptr || statement->large || statement->manyFailed ||
          statement->parameters != static_cast<int>(ahead.inputs.size())) {
        continue;
      }
      // The answers are found by the statement of the session that asks
      // (`answering`, when another session runs them ahead).
      const Statement* asked = answering != nullptr ? FindStatement(*answering, ahead.text) : statement;
      if (asked == nullptr || asked->large) continue;
      std::vector<int> chosen;
      for (int row = from; row < to; ++row) {
        if (!singledOut ||
            AnswerHolds(answers, keysOf[after][static_cast<std::size_t>(row)], only.column, only.value)) {
          chosen.push_back(row);
        }
      }
      if (chosen.empty()) continue;
      if (statement->many.empty()) {
        std::string text;
        if (!ManyForm(ahead.text, ahead, session.StoredText(), text, statement->manyLeading)) {
          statement->manyFailed = true;
          continue;
        }
        statement->many = session.NextName("zx_m");
        commands_.push_back(Prepare(statement->many, std::move(text)));
        preparing_.push_back(statement);
      }
      Job& job = jobs_.emplace_back();
      planOf_.push_back(k);
      job.statement = statement;
      job.rows = std::move(chosen);
      // One array per row input, of the rows' values.
      std::vector<std::string> arrays;
      for (const SqlLookahead::Input& input : ahead.inputs) {
        if (input.column >= 0) arrays.emplace_back("{");
      }
      const bool convert = session.ConvertsText();
      converted.resize(ahead.inputs.size());  // one per input: the binds point into them
      for (const int row : job.rows) {
        binds.clear();
        std::size_t array = 0;
        for (std::size_t i = 0; i < ahead.inputs.size(); ++i) {
          const SqlLookahead::Input& input = ahead.inputs[i];
          binds.push_back(InputOfRow(batch, row, input, convert, converted[i]));
          if (input.column >= 0) AppendArrayElement(arrays[array++], binds.back());
        }
        job.keys.push_back(PrefetchKey(*asked, binds));
      }
      // The parameters of the many form: the constants first, then the arrays.
      binds.clear();
      for (std::size_t i = 0; i < ahead.inputs.size(); ++i) {
        if (ahead.inputs[i].column < 0) {
          binds.push_back(InputOfRow(batch, 0, ahead.inputs[i], convert, converted[i]));
        }
      }
      for (std::string& literal : arrays) {
        literal += '}';
        binds.push_back(SqlBind{SqlBind::Kind::Text, 0, literal});
      }
      BindParameters(binds, convert, job.texts, job.params);
    }
    if (jobs_.empty()) return false;
    first_ = commands_.size();
    for (Job& job : jobs_) commands_.push_back(Execute(job.statement->many, &job.params));
    return true;
  }

  // The commands to send (moved out; given back to Keep with their results).
  std::vector<Command>& Commands() { return commands_; }

  // Takes the answers from the commands' results (`rc`: how they ended;
  // `failedAt`: the failing command's index). A failure keeps nothing: each
  // run then goes to the server itself and gets its own code, as without
  // running ahead. The first pass records each statement's key per row in
  // `keysOf`, for the second.
  void Keep(Session& session, int32_t rc, std::size_t failedAt, Session::PrefetchedMap& answers,
            std::vector<std::vector<std::string>>& keysOf) {
    // The preparations before a failure hold; the failing one is not tried
    // again (the server refuses that form), the ones after it are tried with
    // the next batch.
    const std::size_t prepared = rc == sqlcode::kOk ? preparing_.size() : std::min(failedAt, first_);
    for (std::size_t p = 0; p < preparing_.size(); ++p) {
      if (p < prepared) {
        session.CountPrepared();
      } else {
        preparing_[p]->many.clear();
        preparing_[p]->manyFailed = p == failedAt;
      }
    }
    preparing_.clear();
    if (rc != sqlcode::kOk) return;

    for (std::size_t j = 0; j < jobs_.size(); ++j) {
      Job& job = jobs_[j];
      std::shared_ptr<const PGresult> result(commands_[first_ + j].result.release(), PQclear);
      if (!result) continue;
      const int count = PQntuples(result.get());
      // The rows come grouped by zx_ord, the element (from 1).
      int at = 0;
      for (std::size_t element = 0; element < job.rows.size(); ++element) {
        const int begin = at;
        while (at < count) {
          const char* ord = PQgetvalue(result.get(), at, 0);
          if (std::atoll(ord) != static_cast<long long>(element) + 1) break;
          ++at;
        }
        // A run with more rows than one batch is read through a cursor when asked.
        if (at - begin > kPostgresFetchBatch) continue;
        answers.try_emplace(job.keys[element],
                            Session::Prefetched{result, begin, at, job.statement->manyLeading});
      }
      if (!singledOut_) {
        std::vector<std::string>& keys = keysOf[planOf_[j]];
        // Another run may hold the other rows of the batch: their keys stay.
        if (keys.size() != static_cast<std::size_t>(rows_)) keys.assign(static_cast<std::size_t>(rows_), std::string());
        for (std::size_t element = 0; element < job.rows.size(); ++element) {
          keys[static_cast<std::size_t>(job.rows[element])] = std::move(job.keys[element]);
        }
      }
    }
  }

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
  AheadFeed(std::shared_ptr<Session> session, CursorSlot* slot, std::vector<SqlLookahead> plan)
      : session_(std::move(session)), slot_(slot), owner_(slot), plan_(std::move(plan)) {}

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
    Session::PrefetchedMap& answers = session_->NewPrefetchedBatch(owner_);
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
  bool Take(Session& session, Share& share, Session::PrefetchedMap& answers) {
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
  std::shared_ptr<Session> helper_;  // none when null
  CursorSlot* slot_;
  const void* owner_;  // whose answers they are (see Session::NewPrefetchedBatch)
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
  Session::PrefetchedMap empty_;
};

class PostgresBackend final : public SqlBackend {
 public:
  PostgresBackend(std::shared_ptr<Session> session, std::optional<PostgresLogin> login)
      : session_(std::move(session)), login_(std::move(login)) {}

  using SqlBackend::Query;
  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows, std::span<const SqlLookahead> lookahead) override {
    rows.reset();
    session_->CountStatement();
    if (session_->Broken()) return session_->NotConnected();
    Statement* known = FindStatement(*session_, oracleText);
    if (known == nullptr) return sqlcode::kInvalidSql;
    Statement& statement = *known;

    // Run ahead with the rows of a cursor: answered from what came back.
    if (session_->AnyPrefetched()) {
      if (const Session::Prefetched* answer = session_->FindPrefetched(PrefetchKey(statement, inputs))) {
        // Past the element's number (and its row number).
        rows = std::make_unique<PgSliceRows>(answer->result, answer->begin, answer->end,
                                             answer->leading, session_->ConvertsText());
        return sqlcode::kOk;
      }
    }

    // Parameters as text; NULL as a null pointer.
    std::vector<std::string> texts;
    std::vector<const char*> params;
    BindParameters(inputs, session_->ConvertsText(), texts, params);

    // The rows of a cursor with statements to run ahead are many: read
    // through a server-side cursor from the start, not tried in one piece.
    if (!lookahead.empty()) statement.large = true;

    if (!statement.large) {
      std::vector<Command> commands;
      std::string name = statement.single;
      if (name.empty()) {
        name = session_->NextName("zx_s");
        commands.push_back(Prepare(name, statement.text + " LIMIT " +
                                             std::to_string(kPostgresFetchBatch + 1)));
      }
      commands.push_back(Execute(name, &params));
      const int32_t rc = session_->Run(commands);
      if (rc != sqlcode::kOk) return rc;
      if (statement.single.empty()) {
        statement.single = name;
        session_->CountPrepared();
      }
      ResultPtr result = std::move(commands.back().result);
      if (PQntuples(result.get()) <= kPostgresFetchBatch) {
        rows = std::make_unique<PgRows>(session_, nullptr, std::move(result));
        return sqlcode::kOk;
      }
      // More than one batch: this run, and every later one, reads the
      // rows through a cursor from the start.
      statement.large = true;
    }

    // A slot of this text whose cursor is closed (or about to be closed
    // ahead of the DECLARE in the same batch); a new one otherwise.
    CursorSlot* slot = nullptr;
    for (auto& candidate : statement.slots) {
      if (candidate->state == CursorSlot::State::Free) {
        slot = candidate.get();
        break;
      }
    }
    if (!slot) {
      for (auto& candidate : statement.slots) {
        if (candidate->state == CursorSlot::State::ClosePending) {
          slot = candidate.get();
          break;
        }
      }
    }
    std::unique_ptr<CursorSlot> fresh;
    std::vector<Command> commands;
    if (!slot) {
      fresh = std::make_unique<CursorSlot>();
      fresh->cursor = session_->NextName("zx_c");
      fresh->declare = session_->NextName("zx_d");
      fresh->fetch = session_->NextName("zx_f");
      fresh->close = session_->NextName("zx_x");
      slot = fresh.get();
      commands.push_back(
          Prepare(slot->declare, "DECLARE " + slot->cursor + " NO SCROLL CURSOR FOR " + statement.text));
      commands.push_back(Prepare(slot->fetch, "FETCH FORWARD " + std::to_string(kPostgresFetchBatch) +
                                                  " FROM " + slot->cursor));
      commands.push_back(Prepare(slot->close, "CLOSE " + slot->cursor));
    }
    commands.push_back(Execute(slot->declare, &params));
    commands.push_back(Execute(slot->fetch));
    const int32_t rc = session_->Run(commands);
    if (rc != sqlcode::kOk) return rc;
    if (fresh) {
      statement.slots.push_back(std::move(fresh));
      session_->CountPrepared();
    }
    slot->state = CursorSlot::State::Open;
    ResultPtr first = std::move(commands.back().result);
    if (lookahead.empty()) {
      rows = std::make_unique<PgRows>(session_, slot, std::move(first));
      return sqlcode::kOk;
    }
    const bool last = PQntuples(first.get()) < kPostgresFetchBatch;
    auto feed = std::make_unique<AheadFeed>(session_, slot,
                                            std::vector<SqlLookahead>(lookahead.begin(), lookahead.end()));
    feed->Start(*first, last, [this] { return Helper(); });
    rows = std::make_unique<PgRows>(session_, slot, std::move(first), std::move(feed), last);
    return sqlcode::kOk;
  }

  int32_t SetCurrentSchema(std::string_view schema) override {
    if (schema.empty()) return sqlcode::kMissingOption;
    if (session_->Broken()) return session_->NotConnected();
    const std::string text(schema);
    const int32_t rc = SetSchema(*session_, text);
    if (rc != sqlcode::kOk) return rc;
    schema_ = text;
    // A helper opened before reads the same schema.
    if (helper_ && SetSchema(*helper_, text) != sqlcode::kOk) {
      helperTrips_ += helper_->RoundTrips();
      helper_.reset();
    }
    return sqlcode::kOk;
  }

  int64_t PreparedStatementCount() const override { return session_->PreparedCount(); }
  std::string Message() const override { return session_->LastMessage(); }
  SqlCounters Counters() const override {
    return SqlCounters{session_->StatementsRun(),
                       session_->RoundTrips() + (helper_ ? helper_->RoundTrips() : 0) + helperTrips_};
  }

  int32_t OpenChangeProbe(std::unique_ptr<ChangeProbe>& probe, std::string& message) override {
    if (!login_) {
      message = "no login to open a connection beside the session";
      return sqlcode::kInvalidSql;
    }
    return OpenPostgresChangeProbe(*login_, probe, message);
  }

  int32_t ExportSnapshot(std::string& name) override {
    name.clear();
    std::vector<Command> commands;
    commands.push_back(Prepare(session_->NextName("zx_export"), "SELECT pg_export_snapshot()"));
    commands.push_back(Execute(commands.front().name));
    // Not in a savepoint: a subtransaction cannot export its snapshot.
    const int32_t rc = session_->Run(commands, nullptr, false);
    if (rc != sqlcode::kOk) return rc;
    if (PQntuples(commands.back().result.get()) != 1) return sqlcode::kInternal;
    name = PQgetvalue(commands.back().result.get(), 0, 0);
    return sqlcode::kOk;
  }

 private:
  // Makes `schema` the session's current schema; 0 or the code of the failure.
  static int32_t SetSchema(Session& session, const std::string& schema) {
    // The schema as Oracle names it (upper case) is found whatever the case
    // of its PostgreSQL name; the all-lower-case name, which unquoted names
    // in the statements reach, wins over other spellings.
    static constexpr const char* kSql =
        "SELECT pg_catalog.set_config('search_path', pg_catalog.quote_ident(n.nspname), false) "
        "FROM (SELECT nspname::text AS nspname FROM pg_catalog.pg_namespace "
        "WHERE pg_catalog.upper(nspname::text) = pg_catalog.upper($1::text) "
        "ORDER BY nspname::text = pg_catalog.lower(nspname::text) DESC, "
        "nspname::text = $1::text DESC, nspname::text COLLATE \"C\" LIMIT 1) n";
    std::string sent;
    AppendSentText(schema, session.ConvertsText(), sent);
    const std::vector<const char*> params{sent.c_str()};
    std::vector<Command> commands;
    commands.push_back(Prepare("zx_schema", kSql));
    commands.push_back(Execute("zx_schema", &params));
    // Prepared once per session: a later change of schema only executes it.
    if (session.SchemaPrepared()) commands.erase(commands.begin());
    const int32_t rc = session.Run(commands);
    if (rc != sqlcode::kOk) return rc;
    session.SetSchemaPrepared();
    if (PQntuples(commands.back().result.get()) == 1) return sqlcode::kOk;
    session.SetMessage("schema \"" + schema + "\" does not exist");
    return sqlcode::kUnknownSchema;
  }

  // The second session that runs half of each batch's lookups beside this
  // one, reading the same snapshot; opened with the first cursor that has
  // lookups. None (null) when the backend was not given its login, when the
  // server is a standby (which cannot share its snapshot) or when it cannot
  // be opened: the lookups then all run on this session, as they would.
  std::shared_ptr<Session> Helper() {
    if (helper_ && !helper_->Broken()) return helper_;
    if (helperTried_ || !login_ || session_->Broken()) return nullptr;
    helperTried_ = true;
    // Outside a savepoint (a subtransaction cannot export its snapshot),
    // where a failure would end the session: asked so that it cannot fail.
    std::vector<Command> commands;
    commands.push_back(Prepare("zx_share",
                               "SELECT CASE WHEN pg_catalog.pg_is_in_recovery() THEN NULL "
                               "ELSE pg_catalog.pg_export_snapshot() END"));
    commands.push_back(Execute("zx_share"));
    if (session_->Run(commands, nullptr, false) != sqlcode::kOk) return nullptr;
    const PGresult* result = commands.back().result.get();
    if (PQntuples(result) != 1 || PQgetisnull(result, 0, 0)) return nullptr;
    const std::string snapshot = PQgetvalue(result, 0, 0);
    std::shared_ptr<Session> helper;
    std::string message;
    if (ConnectSession(*login_, snapshot, helper, message) != sqlcode::kOk) {
      helperTrips_ += 1;
      return nullptr;
    }
    if (!schema_.empty() && SetSchema(*helper, schema_) != sqlcode::kOk) {
      helperTrips_ += helper->RoundTrips();
      return nullptr;
    }
    helper_ = std::move(helper);
    return helper_;
  }

  std::shared_ptr<Session> session_;
  std::optional<PostgresLogin> login_;
  std::string schema_;  // the current schema, once set
  std::shared_ptr<Session> helper_;
  bool helperTried_ = false;
  int64_t helperTrips_ = 0;  // of a helper that could not be used
};

}  // namespace

std::unique_ptr<SqlBackend> MakePostgresBackend(std::shared_ptr<Session> session,
                                                std::optional<PostgresLogin> login) {
  return std::make_unique<PostgresBackend>(std::move(session), std::move(login));
}

int PostgresBufferedRows(const SqlRows& rows) {
  const auto* pgRows = dynamic_cast<const PgRows*>(&rows);
  return pgRows ? pgRows->BufferedRows() : -1;
}

}  // namespace zx
