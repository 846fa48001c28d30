// Why a badge is (or is not) in a terminal's DNL files: the program's own
// badge cursor and writers decide, run on the connected session; the
// explanation adds the stored facts behind each answer, in German.
#pragma once

#include <string>
#include <vector>

#include "sql/session.h"

namespace zx::explain {

struct Request {
  std::string terminal;                // as in TrmNam
  std::string badge;                   // Windows-1252, as in AswNum
  std::vector<std::string> functions;  // DNL functions to explain; empty: all five
};

// The DNL function of that name (any letter case) is known.
bool IsDnlFunction(const std::string& name);

// Appends the explanation (UTF-8) to `text`. False when a statement the
// program relies on failed (the badge cursor, a writer): `error` says why.
bool ExplainBadge(SqlSession& session, const Request& request, std::string& text,
                  std::string& error);

}  // namespace zx::explain
