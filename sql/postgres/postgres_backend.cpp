// The PostgreSQL backend's statements: each distinct text translated and
// prepared once, run whole when its result fits one batch, otherwise through
// a server-side cursor whose prepared DECLARE, FETCH and CLOSE are reused.
#include "sql/postgres/postgres_backend.h"

#include <string>
#include <utility>
#include <vector>

#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_rows.h"
#include "sql/postgres/pg_session.h"

namespace zx {

namespace {

class PostgresBackend final : public SqlBackend {
 public:
  explicit PostgresBackend(std::shared_ptr<Session> session) : session_(std::move(session)) {}

  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows) override {
    rows.reset();
    session_->CountStatement();
    if (session_->Broken()) {
      session_->SetMessage("the connection to the server is broken");
      return pgcode::kNotConnected;
    }
    auto& statements = session_->Statements();
    auto found = statements.find(std::string(oracleText));
    if (found == statements.end()) {
      Statement statement;
      if (!TranslateForPostgres(oracleText, statement.text, statement.parameters)) {
        session_->SetMessage("statement text cannot be read");
        return sqlcode::kInvalidSql;
      }
      found = statements.emplace(std::string(oracleText), std::move(statement)).first;
    }
    Statement& statement = found->second;

    // Parameters as text; NULL as a null pointer.
    std::vector<std::string> texts;
    texts.reserve(inputs.size());
    std::vector<const char*> params;
    for (const SqlBind& bind : inputs) {
      texts.push_back(bind.kind == SqlBind::Kind::Integer ? std::to_string(bind.integer)
                                                          : std::string(bind.text));
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      params.push_back(inputs[i].kind == SqlBind::Kind::Null ? nullptr : texts[i].c_str());
    }

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
    rows = std::make_unique<PgRows>(session_, slot, std::move(commands.back().result));
    return sqlcode::kOk;
  }

  int32_t SetCurrentSchema(std::string_view schema) override {
    if (schema.empty()) return sqlcode::kMissingOption;
    if (session_->Broken()) {
      session_->SetMessage("the connection to the server is broken");
      return pgcode::kNotConnected;
    }
    // The schema as Oracle names it (upper case) is found whatever the case
    // of its PostgreSQL name; the all-lower-case name, which unquoted names
    // in the statements reach, wins over other spellings.
    static constexpr const char* kSql =
        "SELECT pg_catalog.set_config('search_path', pg_catalog.quote_ident(n.nspname), false) "
        "FROM (SELECT nspname::text AS nspname FROM pg_catalog.pg_namespace "
        "WHERE pg_catalog.upper(nspname::text) = pg_catalog.upper($1::text) "
        "ORDER BY nspname::text = pg_catalog.lower(nspname::text) DESC, "
        "nspname::text = $1::text DESC, nspname::text COLLATE \"C\" LIMIT 1) n";
    if (schemaStatement_.empty()) {
      const std::string name = session_->NextName("zx_schema");
      std::vector<Command> prepare;
      prepare.push_back(Prepare(name, kSql));
      const int32_t rc = session_->Run(prepare);
      if (rc != sqlcode::kOk) return rc;
      schemaStatement_ = name;
    }
    const std::string text(schema);
    const std::vector<const char*> params{text.c_str()};
    std::vector<Command> commands;
    commands.push_back(Execute(schemaStatement_, &params));
    const int32_t rc = session_->Run(commands);
    if (rc != sqlcode::kOk) return rc;
    if (PQntuples(commands[0].result.get()) == 1) return sqlcode::kOk;
    session_->SetMessage("schema \"" + text + "\" does not exist");
    return sqlcode::kUnknownSchema;
  }

  int64_t PreparedStatementCount() const override { return session_->PreparedCount(); }
  std::string Message() const override { return session_->LastMessage(); }
  SqlCounters Counters() const override {
    return SqlCounters{session_->StatementsRun(), session_->RoundTrips()};
  }

 private:
  std::shared_ptr<Session> session_;
  std::string schemaStatement_;
};

}  // namespace

std::unique_ptr<SqlBackend> MakePostgresBackend(std::shared_ptr<Session> session) {
  return std::make_unique<PostgresBackend>(std::move(session));
}

int PostgresBufferedRows(const SqlRows& rows) {
  const auto* pgRows = dynamic_cast<const PgRows*>(&rows);
  return pgRows ? pgRows->BufferedRows() : -1;
}

}  // namespace zx
