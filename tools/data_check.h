// The data check of zeprink-explain: values that the program cannot use as
// they are stored, each named by table, column and key.
#pragma once

#include <string>

#include "sql/session.h"

namespace zx::explain {

// Scans the connected database and appends one line per finding (UTF-8,
// German) and a summary to `text`. `embedded`: the embedded (SQLite)
// database, whose columns hold any type, so dates and numbers are checked
// as well. Returns the number of findings, or -1 when a check could not run
// (`error` says why).
int CheckDatabase(SqlSession& session, bool embedded, std::string& text, std::string& error);

}  // namespace zx::explain
