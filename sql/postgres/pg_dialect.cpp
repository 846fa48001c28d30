#include "sql/postgres/pg_dialect.h"

#include <cstddef>
#include <vector>

#include "sql/oracle_sql.h"

namespace zx {

namespace {

// Text sorts by its Windows-1252 bytes, the bytes the program reads, as it
// does on the embedded database. The server's own byte order differs where
// the server does not store text in Windows-1252: in UTF-8 the characters
// of the bytes 0x80..0x9F (the euro sign, S and Z with caron, ...) sort
// after the letters with accents. So an ORDER BY item x becomes two keys:
// first x's Windows-1252 bytes when x is text (NULL for every value of any
// other type, so that x alone decides there), then x itself. The keys take
// the item's direction and NULL placement, so a NULL text still sorts last
// ascending and first descending.
bool AddByteOrderKey(oracle::OrderItem& item) {
  const std::string x = oracle::Render(item.expression);
  const std::string suffix = oracle::Render(item.suffix);
  oracle::Tokens keys;
  const bool tokenized = oracle::Tokenize(
      "convert_to(CASE WHEN CAST(pg_typeof(" + x +
          ") AS text) IN ('text', 'character varying', 'character') THEN CAST(" + x +
          " AS text) END, 'WIN1252')" + (suffix.empty() ? "" : " " + suffix) + ", " + x,
      keys);
  if (!tokenized || keys.empty()) return false;
  keys.front().spaceBefore = item.expression.front().spaceBefore;
  item.expression = std::move(keys);
  return true;
}

// Position of the statement's own "ORDER BY" (outside parentheses), or the
// number of tokens when it has none.
std::size_t TopLevelOrderBy(const oracle::Tokens& tokens) {
  int depth = 0;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (oracle::IsPunct(tokens[i], "(")) ++depth;
    if (oracle::IsPunct(tokens[i], ")")) --depth;
    if (depth == 0 && oracle::IsWord(tokens[i], "ORDER") && oracle::IsWord(tokens[i + 1], "BY")) return i;
  }
  return tokens.size();
}

// Sorts text by its Windows-1252 bytes (see AddByteOrderKey). A SELECT
// DISTINCT may sort only by what it selects, so its rows are sorted outside:
// "SELECT * FROM (<select distinct ...>) zx_sorted ORDER BY ...", which needs
// every item of its ORDER BY to be a column name; otherwise it keeps the
// server's order. Returns false when the text cannot be rewritten.
bool SortTextByWindows1252Bytes(oracle::Tokens& tokens) {
  const std::size_t orderBy = TopLevelOrderBy(tokens);
  const bool distinct =
      tokens.size() >= 2 && oracle::IsWord(tokens[0], "SELECT") && oracle::IsWord(tokens[1], "DISTINCT");
  if (distinct && orderBy < tokens.size()) {
    oracle::Tokens items(tokens.begin() + static_cast<std::ptrdiff_t>(orderBy), tokens.end());
    bool namesOnly = true;
    oracle::RewriteOrderBy(items, [&namesOnly](oracle::OrderItem& item) {
      namesOnly = namesOnly && item.expression.size() == 1 &&
                  item.expression.front().kind == oracle::TokenKind::Identifier;
    });
    if (!namesOnly) return true;
    oracle::Tokens wrapped;
    if (!oracle::Tokenize("SELECT * FROM (", wrapped)) return false;
    wrapped.insert(wrapped.end(), tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(orderBy));
    oracle::Tokens alias;
    if (!oracle::Tokenize(") zx_sorted", alias)) return false;
    wrapped.insert(wrapped.end(), alias.begin(), alias.end());
    wrapped.insert(wrapped.end(), tokens.begin() + static_cast<std::ptrdiff_t>(orderBy), tokens.end());
    tokens = std::move(wrapped);
  }
  bool rewritten = true;
  oracle::RewriteOrderBy(tokens, [&rewritten](oracle::OrderItem& item) {
    rewritten = AddByteOrderKey(item) && rewritten;
  });
  return rewritten;
}

}  // namespace

bool TranslateForPostgres(std::string_view oracleText, std::string& postgresText,
                          int& parameterCount) {
  oracle::Tokens tokens;
  if (!oracle::Tokenize(oracleText, tokens)) return false;
  // SYSDATE is the server's local time to the second, cut (LOCALTIMESTAMP(0)
  // would round 23:59:59.6 up into the next day).
  oracle::Tokens now;
  if (!oracle::Tokenize("date_trunc('second', LOCALTIMESTAMP)", now)) return false;
  oracle::ReplaceIdentifier(tokens, "SYSDATE", now);
  // trunc of a date: the day at midnight.
  oracle::RewriteCalls(tokens, "trunc", [](const std::vector<oracle::Tokens>& args,
                                           oracle::Tokens& replacement) {
    if (args.size() != 1) return false;
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Identifier, "date_trunc"));
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Punct, "(", false));
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::String, "'day'", false));
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Punct, ",", false));
    bool first = true;
    for (oracle::Token token : args[0]) {
      token.spaceBefore = token.spaceBefore || first;
      first = false;
      replacement.push_back(std::move(token));
    }
    replacement.push_back(oracle::MakeToken(oracle::TokenKind::Punct, ")", false));
    return true;
  });
  oracle::RenameCalls(tokens, "NVL", "coalesce");
  if (!SortTextByWindows1252Bytes(tokens)) return false;
  parameterCount = oracle::ReplacePlaceholders(
      tokens, [](int index) {
        std::string placeholder = "$";
        placeholder += std::to_string(index + 1);
        return placeholder;
      });
  postgresText = oracle::Render(tokens);
  return true;
}

}  // namespace zx
