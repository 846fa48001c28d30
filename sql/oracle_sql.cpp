#include "sql/oracle_sql.h"

#include <cstddef>

namespace zx::oracle {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsIdentStart(char c) { return IsLetter(c) || c == '_'; }
// Oracle allows $ and # inside unquoted names.
bool IsIdentPart(char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '$' || c == '#'; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Length of a quoted run starting at text[pos] (the opening quote), with the
// quote doubled inside; 0 when the closing quote is missing.
std::size_t QuotedLength(std::string_view text, std::size_t pos) {
  const char quote = text[pos];
  std::size_t i = pos + 1;
  while (i < text.size()) {
    if (text[i] == quote) {
      if (i + 1 < text.size() && text[i + 1] == quote) {
        i += 2;
        continue;
      }
      return i + 1 - pos;
    }
    ++i;
  }
  return 0;
}

// Length of a placeholder name after its colon (":b0" -> 2), 0 when none.
std::size_t PlaceholderNameLength(std::string_view text, std::size_t pos) {
  std::size_t i = pos;
  while (i < text.size() && (IsIdentPart(text[i]))) ++i;
  return i - pos;
}

// Index of the ')' that closes the '(' at `open`, or tokens.size().
std::size_t MatchingParen(const Tokens& tokens, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < tokens.size(); ++i) {
    if (IsPunct(tokens[i], "(")) {
      ++depth;
    } else if (IsPunct(tokens[i], ")")) {
      if (--depth == 0) return i;
    }
  }
  return tokens.size();
}

bool IsNameToken(const Token& token) {
  return token.kind == TokenKind::Identifier || token.kind == TokenKind::QuotedIdentifier;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

Token MakeToken(TokenKind kind, std::string text, bool spaceBefore) {
  Token token;
  token.kind = kind;
  token.text = std::move(text);
  token.spaceBefore = spaceBefore;
  return token;
}

bool IsWord(const Token& token, std::string_view word) {
  return token.kind == TokenKind::Identifier && EqualsIgnoreCase(token.text, word);
}

bool IsPunct(const Token& token, std::string_view punct) {
  return token.kind == TokenKind::Punct && token.text == punct;
}

bool Tokenize(std::string_view text, Tokens& tokens) {
  tokens.clear();
  bool space = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (IsSpace(c)) {
      space = true;
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
      space = true;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const std::size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) return false;
      i = end + 2;
      space = true;
      continue;
    }

    Token token;
    token.spaceBefore = space;
    space = false;
    std::size_t length = 1;
    if (IsIdentStart(c)) {
      token.kind = TokenKind::Identifier;
      while (i + length < text.size() && IsIdentPart(text[i + length])) ++length;
    } else if (c == '"' || c == '\'') {
      token.kind = c == '"' ? TokenKind::QuotedIdentifier : TokenKind::String;
      length = QuotedLength(text, i);
      if (length == 0) return false;
    } else if (IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]))) {
      token.kind = TokenKind::Number;
      while (i + length < text.size() && IsDigit(text[i + length])) ++length;
      if (c != '.' && i + length < text.size() && text[i + length] == '.') {
        ++length;
        while (i + length < text.size() && IsDigit(text[i + length])) ++length;
      }
      // An exponent only when digits follow it: "1e5", "2.5E-3".
      if (i + length < text.size() && (text[i + length] == 'e' || text[i + length] == 'E')) {
        std::size_t e = i + length + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && IsDigit(text[e])) {
          while (e < text.size() && IsDigit(text[e])) ++e;
          length = e - i;
        }
      }
    } else if (c == ':' && PlaceholderNameLength(text, i + 1) > 0) {
      token.kind = TokenKind::Placeholder;
      length = 1 + PlaceholderNameLength(text, i + 1);
      const std::size_t next = i + length;
      if (next < text.size() && text[next] == ':' && PlaceholderNameLength(text, next + 1) > 0) {
        const std::size_t indicatorLength = 1 + PlaceholderNameLength(text, next + 1);
        token.indicator = std::string(text.substr(next, indicatorLength));
        token.text = std::string(text.substr(i, length));
        i = next + indicatorLength;
        tokens.push_back(std::move(token));
        continue;
      }
    } else {
      token.kind = TokenKind::Punct;
      static constexpr std::string_view kPairs[] = {"<>", "<=", ">=", "!=", "^=", "||", "=>"};
      if (i + 1 < text.size()) {
        for (std::string_view pair : kPairs) {
          if (text.substr(i, 2) == pair) {
            length = 2;
            break;
          }
        }
      }
    }
    token.text = std::string(text.substr(i, length));
    i += length;
    tokens.push_back(std::move(token));
  }
  return true;
}

std::string Render(const Tokens& tokens) {
  std::string text;
  for (const Token& token : tokens) {
    if (token.spaceBefore && !text.empty()) text += ' ';
    text += token.text;
    text += token.indicator;
  }
  return text;
}

int RemoveIntoClause(Tokens& tokens) {
  int depth = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (IsPunct(tokens[i], "(")) ++depth;
    if (IsPunct(tokens[i], ")")) --depth;
    if (depth != 0 || !IsWord(tokens[i], "INTO")) continue;
    // INTO :b0:b1, :b2:b3 ... : placeholders separated by commas.
    std::size_t end = i + 1;
    int targets = 0;
    while (end < tokens.size() && tokens[end].kind == TokenKind::Placeholder) {
      ++targets;
      ++end;
      if (end < tokens.size() && IsPunct(tokens[end], ",") && end + 1 < tokens.size() &&
          tokens[end + 1].kind == TokenKind::Placeholder) {
        ++end;
      } else {
        break;
      }
    }
    if (targets == 0) return -1;
    const bool space = tokens[i].spaceBefore;
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                 tokens.begin() + static_cast<std::ptrdiff_t>(end));
    if (i < tokens.size()) tokens[i].spaceBefore = tokens[i].spaceBefore || space;
    return targets;
  }
  return 0;
}

std::vector<std::string> Placeholders(const Tokens& tokens) {
  std::vector<std::string> names;
  for (const Token& token : tokens) {
    if (token.kind == TokenKind::Placeholder) names.push_back(token.text);
  }
  return names;
}

int ReplaceIdentifier(Tokens& tokens, std::string_view name, const Tokens& replacement) {
  int count = 0;
  Tokens out;
  out.reserve(tokens.size());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const bool afterDot = !out.empty() && IsPunct(out.back(), ".");
    const bool beforeDotOrCall =
        i + 1 < tokens.size() && (IsPunct(tokens[i + 1], ".") || IsPunct(tokens[i + 1], "("));
    if (IsWord(tokens[i], name) && !afterDot && !beforeDotOrCall) {
      for (std::size_t k = 0; k < replacement.size(); ++k) {
        Token token = replacement[k];
        if (k == 0) token.spaceBefore = tokens[i].spaceBefore;
        out.push_back(std::move(token));
      }
      ++count;
    } else {
      out.push_back(std::move(tokens[i]));
    }
  }
  tokens = std::move(out);
  return count;
}

int RewriteCalls(Tokens& tokens, std::string_view name, const CallRewriter& rewrite) {
  int count = 0;
  Tokens out;
  out.reserve(tokens.size());
  std::size_t i = 0;
  while (i < tokens.size()) {
    const bool afterDot = !out.empty() && IsPunct(out.back(), ".");
    if (!IsWord(tokens[i], name) || afterDot || i + 1 >= tokens.size() ||
        !IsPunct(tokens[i + 1], "(")) {
      out.push_back(std::move(tokens[i]));
      ++i;
      continue;
    }
    const std::size_t close = MatchingParen(tokens, i + 1);
    if (close == tokens.size()) {  // unbalanced: leave the rest as it is
      for (; i < tokens.size(); ++i) out.push_back(std::move(tokens[i]));
      break;
    }
    // Split the arguments at the commas of this call's level.
    std::vector<Tokens> args;
    if (close > i + 2) {
      args.emplace_back();
      int depth = 0;
      for (std::size_t k = i + 2; k < close; ++k) {
        if (IsPunct(tokens[k], "(")) ++depth;
        if (IsPunct(tokens[k], ")")) --depth;
        if (depth == 0 && IsPunct(tokens[k], ",")) {
          args.emplace_back();
          continue;
        }
        args.back().push_back(tokens[k]);
      }
    }
    for (Tokens& arg : args) count += RewriteCalls(arg, name, rewrite);
    Tokens replacement;
    if (rewrite(args, replacement)) {
      for (std::size_t k = 0; k < replacement.size(); ++k) {
        if (k == 0) replacement[k].spaceBefore = tokens[i].spaceBefore;
        out.push_back(std::move(replacement[k]));
      }
      ++count;
    } else {
      // Unchanged call, with its (possibly rewritten) arguments.
      out.push_back(std::move(tokens[i]));
      out.push_back(std::move(tokens[i + 1]));
      for (std::size_t a = 0; a < args.size(); ++a) {
        if (a > 0) out.push_back(MakeToken(TokenKind::Punct, ",", false));
        for (Token& token : args[a]) out.push_back(std::move(token));
      }
      out.push_back(std::move(tokens[close]));
    }
    i = close + 1;
  }
  tokens = std::move(out);
  return count;
}

int RenameCalls(Tokens& tokens, std::string_view name, std::string_view newName) {
  int count = 0;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    const bool afterDot = i > 0 && IsPunct(tokens[i - 1], ".");
    if (IsWord(tokens[i], name) && !afterDot && IsPunct(tokens[i + 1], "(")) {
      tokens[i].text = std::string(newName);
      ++count;
    }
  }
  return count;
}

int DropQualifier(Tokens& tokens, std::string_view qualifier) {
  int count = 0;
  Tokens out;
  out.reserve(tokens.size());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const bool qualifies = IsWord(tokens[i], qualifier) && i + 2 < tokens.size() &&
                           IsPunct(tokens[i + 1], ".") && IsNameToken(tokens[i + 2]) &&
                           !tokens[i + 1].spaceBefore && !tokens[i + 2].spaceBefore &&
                           !(!out.empty() && IsPunct(out.back(), "."));
    if (qualifies) {
      Token name = std::move(tokens[i + 2]);
      name.spaceBefore = tokens[i].spaceBefore;
      out.push_back(std::move(name));
      i += 2;
      ++count;
    } else {
      out.push_back(std::move(tokens[i]));
    }
  }
  tokens = std::move(out);
  return count;
}

std::vector<std::string> Qualifiers(const Tokens& tokens) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
    if (!IsNameToken(tokens[i]) || !IsPunct(tokens[i + 1], ".") || !IsNameToken(tokens[i + 2])) {
      continue;
    }
    if (i > 0 && IsPunct(tokens[i - 1], ".")) continue;
    bool known = false;
    for (const std::string& name : names) known = known || name == tokens[i].text;
    if (!known) names.push_back(tokens[i].text);
  }
  return names;
}

int RewriteOrderBy(Tokens& tokens, const OrderItemRewriter& rewrite) {
  int count = 0;
  Tokens out;
  out.reserve(tokens.size() + 8);
  std::size_t i = 0;
  while (i < tokens.size()) {
    if (!(IsWord(tokens[i], "ORDER") && i + 1 < tokens.size() && IsWord(tokens[i + 1], "BY"))) {
      out.push_back(std::move(tokens[i]));
      ++i;
      continue;
    }
    out.push_back(std::move(tokens[i]));
    out.push_back(std::move(tokens[i + 1]));
    i += 2;
    // Items run to a comma of the list's level; the list ends at a ')' that
    // closes an enclosing parenthesis or at the end of the text.
    bool listEnds = false;
    while (!listEnds && i < tokens.size()) {
      OrderItem item;
      int depth = 0;
      bool inSuffix = false;
      while (i < tokens.size()) {
        const Token& token = tokens[i];
        if (IsPunct(token, "(")) ++depth;
        if (IsPunct(token, ")")) {
          if (depth == 0) {
            listEnds = true;
            break;
          }
          --depth;
        }
        if (depth == 0 && IsPunct(token, ",")) break;
        if (depth == 0 && (IsWord(token, "ASC") || IsWord(token, "DESC") || IsWord(token, "NULLS"))) {
          inSuffix = true;
        }
        if (inSuffix) {
          if (IsWord(token, "DESC")) item.descending = true;
          if (IsWord(token, "NULLS")) item.hasNullsOrdering = true;
          item.suffix.push_back(token);
        } else {
          item.expression.push_back(token);
        }
        ++i;
      }
      if (item.expression.empty()) {  // nothing recognisable: keep as written
        for (Token& token : item.suffix) out.push_back(std::move(token));
      } else {
        rewrite(item);
        ++count;
        for (Token& token : item.expression) out.push_back(std::move(token));
        for (Token& token : item.suffix) out.push_back(std::move(token));
      }
      if (i < tokens.size() && IsPunct(tokens[i], ",") && !listEnds) {
        out.push_back(std::move(tokens[i]));
        ++i;
      } else {
        listEnds = true;
      }
    }
  }
  tokens = std::move(out);
  return count;
}

void AppendOracleNullsOrdering(OrderItem& item) {
  if (item.hasNullsOrdering) return;
  item.suffix.push_back(MakeToken(TokenKind::Identifier, "NULLS"));
  item.suffix.push_back(MakeToken(TokenKind::Identifier, item.descending ? "FIRST" : "LAST"));
  item.hasNullsOrdering = true;
}

int ReplacePlaceholders(Tokens& tokens, const std::function<std::string(int index)>& syntax) {
  int index = 0;
  for (Token& token : tokens) {
    if (token.kind != TokenKind::Placeholder) continue;
    token.kind = TokenKind::Punct;
    token.text = syntax(index++);
    token.indicator.clear();
  }
  return index;
}

}  // namespace zx::oracle
