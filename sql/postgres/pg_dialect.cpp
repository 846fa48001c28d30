#include "sql/postgres/pg_dialect.h"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/win1252.h"
#include "sql/oracle_sql.h"

namespace zx::pg {

namespace {

// The Unicode characters of the Windows-1252 bytes 0x80..0x9F (the euro
// sign, S with caron, ...) and, in the same order, the code points of those
// bytes (U+0080, U+008A, ...), as the server's U& literals: the statement
// text stays ASCII. The five bytes without a character of their own are
// their code points already and are left out.
struct HighCharacters {
  std::string characters = "U&'";
  std::string codePoints = "U&'";
  HighCharacters() {
    for (unsigned byte = 0x80; byte <= 0x9F; ++byte) {
      const char32_t character = Win1252HighCharacter(static_cast<unsigned char>(byte));
      if (character == byte) continue;
      char escape[16];
      std::snprintf(escape, sizeof escape, "\\%04X", static_cast<unsigned>(character));
      characters += escape;
      std::snprintf(escape, sizeof escape, "\\%04X", byte);
      codePoints += escape;
    }
    characters += '\'';
    codePoints += '\'';
  }
};

// Text sorts by its Windows-1252 bytes, the bytes the program reads, as it
// does on the embedded database. So an ORDER BY item x becomes two keys:
// first a text that sorts as x's Windows-1252 bytes when x is text (NULL for
// every value of any other type, so that x alone decides there), then x
// itself. On a server that stores text in single bytes (WIN1252, LATIN1,
// SQL_ASCII) that first key is the text in the "C" collation: the stored
// bytes. On a UTF-8 server the characters of the bytes 0x80..0x9F would
// sort after the letters with accents: they are replaced by the code points
// of their bytes, so that in the "C" collation (code point order) the text
// sorts as its bytes. A character that Windows-1252 cannot represent sorts
// after all others; no value makes the key fail. The type is compared as a
// type (the literals become constants as the statement is read), not by its
// name, which would be formatted for every row. The keys take the item's
// direction and NULL placement, so a NULL text still sorts last ascending
// and first descending.
bool AddByteOrderKey(oracle::OrderItem& item, ServerText serverText) {
  static const HighCharacters kHigh;
  const std::string x = oracle::Render(item.expression);
  const std::string suffix = oracle::Render(item.suffix);
  const std::string asText = "CAST(" + x + " AS text)";
  std::string text = "CASE WHEN pg_typeof(" + x +
                     ") NOT IN (CAST('text' AS regtype), CAST('varchar' AS regtype), CAST('bpchar' "
                     "AS regtype)) THEN NULL";
  if (serverText == ServerText::kUtf8) {
    // ASCII (as many bytes as characters) needs no translation, which
    // compares each character with the 27.
    text += " WHEN octet_length(" + asText + ") = char_length(" + asText + ") THEN " + asText +
            " ELSE translate(" + asText + ", " + kHigh.characters + ", " + kHigh.codePoints + ")";
  } else {
    text += " ELSE " + asText;
  }
  text += " END";
  oracle::Tokens keys;
  const bool tokenized = oracle::Tokenize(
      text + " COLLATE \"C\"" + (suffix.empty() ? "" : " " + suffix) + ", " + x, keys);
  if (!tokenized || keys.empty()) return false;
  keys.front().spaceBefore = item.expression.front().spaceBefore;
  item.expression = std::move(keys);
  return true;
}

// Sorts text by its Windows-1252 bytes (see AddByteOrderKey). A SELECT
// DISTINCT may sort only by what it selects, so its rows are sorted outside:
// "SELECT * FROM (<select distinct ...>) zx_sorted ORDER BY ...", which needs
// every item of its ORDER BY to be a column name; otherwise it keeps the
// server's order. Returns false when the text cannot be rewritten.
bool SortTextByWindows1252Bytes(oracle::Tokens& tokens, ServerText serverText) {
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
  oracle::RewriteOrderBy(tokens, [&rewritten, serverText](oracle::OrderItem& item) {
    rewritten = AddByteOrderKey(item, serverText) && rewritten;
  });
  return rewritten;
}

// The value of an argument that is an integer literal ("3", "-2"), if it is one.
std::optional<long> IntegerLiteral(const oracle::Tokens& arg) {
  std::size_t at = 0;
  bool negative = false;
  if (arg.size() == 2 && (oracle::IsPunct(arg[0], "-") || oracle::IsPunct(arg[0], "+"))) {
    negative = oracle::IsPunct(arg[0], "-");
    at = 1;
  }
  if (arg.size() != at + 1 || arg[at].kind != oracle::TokenKind::Number) return std::nullopt;
  const std::string& digits = arg[at].text;
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  long value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// The tokens of `text` as the replacement of a call; false when the text
// cannot be tokenized (the call then stays as it was).
bool Replace(const std::string& text, oracle::Tokens& replacement) {
  return oracle::Tokenize(text, replacement) && !replacement.empty();
}

// SubStr(s, p [, n]) with Oracle's results, which the server's substr does
// not give: position 0 counts as 1, a negative position counts from the end
// (NULL when that lies before the beginning), a length below 1 gives NULL
// (the server refuses a negative one), and where no character is left the
// result is NULL, not the empty text. The positions and lengths of the
// statements are integer literals; those are worked out here.
bool RewriteSubstr(const std::vector<oracle::Tokens>& args, oracle::Tokens& replacement) {
  if (args.size() != 2 && args.size() != 3) return false;
  for (const oracle::Tokens& arg : args) {
    if (arg.empty()) return false;
  }
  // Any other number counts with its integer part, as in Oracle; the
  // server's substr takes an integer only.
  auto integerPart = [](const oracle::Tokens& arg) {
    return "CAST(trunc(CAST(" + oracle::Render(arg) + " AS numeric)) AS integer)";
  };
  const std::string text = oracle::Render(args[0]);
  const std::string position = integerPart(args[1]);
  const std::optional<long> fixedPosition = IntegerLiteral(args[1]);
  std::optional<long> fixedLength;
  std::string length;
  if (args.size() == 3) {
    fixedLength = IntegerLiteral(args[2]);
    length = fixedLength ? std::to_string(*fixedLength) : integerPart(args[2]);
    if (fixedLength && *fixedLength < 1) return Replace("CAST(NULL AS text)", replacement);
  }
  std::string start;
  std::vector<std::string> conditions;
  if (fixedPosition) {
    if (*fixedPosition >= 0) {
      start = std::to_string(*fixedPosition == 0 ? 1 : *fixedPosition);
    } else {
      start = "length(" + text + ") - " + std::to_string(-*fixedPosition - 1);
      conditions.push_back("length(" + text + ") >= " + std::to_string(-*fixedPosition));
    }
  } else {
    start = "CASE WHEN " + position + " > 0 THEN " + position + " WHEN " + position +
            " = 0 THEN 1 ELSE length(" + text + ") + " + position + " + 1 END";
    conditions.push_back("(" + start + ") >= 1");
  }
  if (args.size() == 3 && !fixedLength) conditions.push_back(length + " >= 1");
  std::string result = "nullif(substr(" + text + ", " + start +
                       (args.size() == 3 ? ", " + length : std::string()) + "), '')";
  if (!conditions.empty()) {
    std::string all;
    for (const std::string& condition : conditions) all += (all.empty() ? "" : " AND ") + condition;
    result = "CASE WHEN " + all + " THEN " + result + " END";
  }
  return Replace(result, replacement);
}

// NVL(a, b): coalesce, where an empty text counts as NULL, as it does in
// Oracle (the server keeps '' apart from NULL). A number or NULL cannot be
// the empty text and stays as it is, keeping its type.
bool RewriteNvl(const std::vector<oracle::Tokens>& args, oracle::Tokens& replacement) {
  if (args.size() != 2 || args[0].empty() || args[1].empty()) return false;
  const std::string value = oracle::Render(args[0]);
  const std::string otherwise = oracle::Render(args[1]);
  const bool neverEmpty = (args[0].size() == 1 && (args[0][0].kind == oracle::TokenKind::Number ||
                                                   oracle::IsWord(args[0][0], "NULL"))) ||
                          IntegerLiteral(args[0]).has_value();
  if (neverEmpty) return Replace("coalesce(" + value + ", " + otherwise + ")", replacement);
  return Replace("coalesce(CASE WHEN CAST(" + value + " AS text) <> '' THEN " + value + " END, " +
                     otherwise + ")",
                 replacement);
}

}  // namespace

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

bool TranslateForPostgres(std::string_view oracleText, ServerText serverText,
                          std::string& postgresText, int& parameterCount) {
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
  if (!SortTextByWindows1252Bytes(tokens, serverText)) return false;
  parameterCount = oracle::ReplacePlaceholders(
      tokens, [](int index) {
        std::string placeholder = "$";
        placeholder += std::to_string(index + 1);
        return placeholder;
      });
  // After the placeholders are numbered: these rewrites may name an argument
  // twice, and a placeholder named twice is the same parameter.
  oracle::RewriteCalls(tokens, "SubStr", RewriteSubstr);
  oracle::RewriteCalls(tokens, "NVL", RewriteNvl);
  postgresText = oracle::Render(tokens);
  return true;
}

}  // namespace zx::pg
