// The PostgreSQL backend: each statement's text translated and prepared
// once (pg_statements.h), run whole when its result fits one batch,
// otherwise through a server-side cursor whose prepared DECLARE, FETCH and
// CLOSE are reused.
#include "sql/postgres/postgres_backend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sql/postgres/pg_connect.h"
#include "sql/postgres/pg_rows.h"
#include "sql/postgres/pg_session.h"
#include "sql/postgres/pg_statements.h"

namespace zx {

namespace pg {
namespace {

class PostgresBackend final : public SqlBackend {
 public:
  PostgresBackend(std::shared_ptr<Session> session, std::optional<PostgresLogin> login)
      : session_(std::move(session)), login_(std::move(login)) {}

  using SqlBackend::Query;
  int32_t Query(std::string_view oracleText, std::span<const SqlBind> inputs,
                std::unique_ptr<SqlRows>& rows, bool many) override {
    rows.reset();
    session_->CountStatement();
    if (session_->Broken()) return session_->NotConnected();
    Statement* known = FindStatement(*session_, oracleText);
    if (known == nullptr) return sqlcode::kInvalidSql;
    Statement& statement = *known;

    // Parameters as text; NULL as a null pointer.
    std::vector<std::string> texts;
    std::vector<const char*> params;
    BindParameters(inputs, session_->ConvertsText(), texts, params);

    // Many rows expected: through a server-side cursor from the start, not
    // first tried in one piece (which would sort them all for nothing).
    if (many) statement.large = true;

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
    CursorSlot* slot = ReusableSlot(statement);
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
      commands.push_back(Prepare(slot->fetch, "FETCH FORWARD " + std::to_string(kPostgresFetchBlock) +
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
    if (session_->Broken()) return session_->NotConnected();
    const std::string text(schema);
    return SetSchema(*session_, text);
  }

  int64_t PreparedStatementCount() const override { return session_->PreparedCount(); }
  std::string Message() const override { return session_->LastMessage(); }
  SqlCounters Counters() const override {
    return SqlCounters{session_->StatementsRun(), session_->RoundTrips()};
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
  std::shared_ptr<Session> session_;
  std::optional<PostgresLogin> login_;
};

}  // namespace
}  // namespace pg

int32_t OpenPostgresBackend(const ConnectionSettings& settings, std::unique_ptr<SqlBackend>& backend,
                            std::string& message, std::string_view snapshot) {
  backend.reset();
  pg::PostgresLogin login{settings.user, settings.password, settings.netService};
  std::shared_ptr<pg::Session> session;
  const int32_t rc = pg::ConnectSession(login, snapshot, session, message);
  if (rc != sqlcode::kOk) return rc;
  backend = std::make_unique<pg::PostgresBackend>(std::move(session), std::move(login));
  return sqlcode::kOk;
}

int PostgresBufferedRows(const SqlRows& rows) {
  const auto* pgRows = dynamic_cast<const pg::PgRows*>(&rows);
  return pgRows ? pgRows->BufferedRows() : -1;
}

}  // namespace zx
