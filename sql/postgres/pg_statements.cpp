#include "sql/postgres/pg_statements.h"

#include <string>
#include <utility>

#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_rows.h"
#include "sql/postgres/pg_session.h"

namespace zx::pg {

Statement* FindStatement(Session& session, std::string_view oracleText) {
  StatementCache& cache = session.Statements();
  if (auto at = cache.byAddress.find(oracleText.data());
      at != cache.byAddress.end() && *at->second->oracleText == oracleText) {
    return at->second;
  }
  auto found = cache.byText.find(std::string(oracleText));
  if (found == cache.byText.end()) {
    Statement statement;
    if (!TranslateForPostgres(oracleText, session.StoredText(), statement.text,
                              statement.parameters)) {
      session.SetMessage("statement text cannot be read");
      return nullptr;
    }
    found = cache.byText.emplace(std::string(oracleText), std::move(statement)).first;
    found->second.oracleText = &found->first;
  }
  cache.byAddress[oracleText.data()] = &found->second;
  return &found->second;
}

CursorSlot* ReusableSlot(Statement& statement) {
  for (auto& candidate : statement.slots) {
    if (candidate->state == CursorSlot::State::Free) return candidate.get();
  }
  for (auto& candidate : statement.slots) {
    if (candidate->state == CursorSlot::State::ClosePending) return candidate.get();
  }
  return nullptr;
}

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

}  // namespace zx::pg
