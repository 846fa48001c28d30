// The embedded database's dialect of the program's Oracle statement texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zx {

// The SQLite text of an Oracle statement text, with `schema` the qualifier
// that the file holds (dropped from qualified names), its placeholders as ?1,
// ?2, ... and SYSDATE as the parameter after them (so that one statement sees
// one point in time), Oracle's functions under their registered names
// (sqlite_functions.h), and every ORDER BY item sorting byte-wise with NULLs
// last ascending and first descending. Returns 0, or -900 when the text
// cannot be read (an unterminated literal) and -942 for a qualifier SQLite
// would resolve but Oracle would not (main., temp.). `inputs` is the number
// of placeholders and `usesSysdate` tells whether the extra parameter is there.
int32_t TranslateForSqlite(std::string_view oracleText, std::string_view schema,
                           std::string& sqliteText, int& inputs, bool& usesSysdate);

}  // namespace zx
