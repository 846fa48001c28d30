// The batch rewrite: the lookups of a batch of a cursor's rows run as one
// execution per statement, whose result holds the answers of every row.
#include "sql/postgres/pg_batch.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "sql/oracle_sql.h"
#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_rows.h"
#include "sql/postgres/postgres_backend.h"

namespace zx::pg {

namespace {

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
bool AnswerHolds(const PrefetchedMap& answers, const std::string& key, int column,
                 int64_t value) {
  const auto found = answers.find(key);
  if (found == answers.end()) return false;
  const Prefetched& answer = found->second;
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

}  // namespace

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

bool AheadRun::Build(Session& session, const PGresult& batch, const std::vector<SqlLookahead>& plan,
                     bool singledOut, const std::vector<std::vector<std::string>>& keysOf,
                     const PrefetchedMap& answers, int begin, int end, Session* answering) {
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

void AheadRun::Keep(Session& session, int32_t rc, std::size_t failedAt, PrefetchedMap& answers,
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
                          Prefetched{result, begin, at, job.statement->manyLeading});
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

}  // namespace zx::pg
