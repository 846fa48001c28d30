// The statements of a PostgreSQL session: each distinct Oracle text
// translated once into the server's dialect and kept with the names of what
// is prepared for it, and the parameters of a run as libpq takes them.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sql/sql_backend.h"

namespace zx::pg {

class Session;

// A server-side cursor of one statement text and its prepared statements.
// A slot is reused by later queries of the same text once it is closed.
struct CursorSlot {
  enum class State { Free, Open, ClosePending };
  std::string cursor;
  std::string declare;
  std::string fetch;
  std::string close;
  State state = State::Free;
};

struct Statement {
  std::string text;  // the PostgreSQL text
  int parameters = 0;
  // The text with a row limit of one batch plus one, run directly: most
  // statements (every SELECT INTO, the per-badge cursors) end within one
  // batch and need no server-side cursor. Empty until prepared.
  std::string single;
  // A run gave more than one batch: later runs go straight to a cursor.
  bool large = false;
  std::vector<std::unique_ptr<CursorSlot>> slots;
  const std::string* oracleText = nullptr;  // its key in byText
};

// The statements of one session, by their Oracle text.
struct StatementCache {
  std::unordered_map<std::string, Statement> byText;
  // By the address of the Oracle text they were asked with last: the
  // program's texts are constants, found again without hashing them.
  std::unordered_map<const char*, Statement*> byAddress;
};

// The statement of an Oracle text on `session`, translated the first time it
// is asked for; null (with the session's message set) when the text cannot
// be read. The statement lives as long as the session.
Statement* FindStatement(Session& session, std::string_view oracleText);

// A slot of the statement whose cursor is closed, or about to be closed
// ahead of the next DECLARE in the same batch; null when it has none.
CursorSlot* ReusableSlot(Statement& statement);

// The parameters of a run as libpq takes them: texts (in UTF-8 when
// `convert`, see Session::ConvertsText), NULL as a null pointer. `params`
// points into `texts`.
void BindParameters(std::span<const SqlBind> inputs, bool convert, std::vector<std::string>& texts,
                    std::vector<const char*>& params);

}  // namespace zx::pg
