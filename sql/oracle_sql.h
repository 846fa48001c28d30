// Tokenizer and small rewriting helpers for the program's Oracle statement
// texts. A backend uses them to turn an Oracle text into its own dialect; the
// runtime uses them to remove the INTO clause of a SELECT INTO and to count
// the input placeholders. The helpers know the statement forms the program
// uses and nothing more: a construct they do not recognise passes through
// unchanged. Nothing here depends on a database.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zx::oracle {

enum class TokenKind {
  Identifier,        // name or keyword, unquoted: SELECT, Zardonix, TswW01, SYSDATE
  QuotedIdentifier,  // "Name", text with its quotes
  Number,            // 220001, 1.5
  String,            // 'KALDOVA', text with its quotes ('' inside stays doubled)
  Placeholder,       // :b3, or :b0:b1 with an indicator
  Punct,             // ( ) , . * = <> <= >= != || and any other single byte
};

struct Token {
  TokenKind kind = TokenKind::Punct;
  // As written: a String or QuotedIdentifier with its quotes, a Placeholder
  // with its colon (":b0"), an identifier in its original case.
  std::string text;
  // Placeholder only: the indicator as written (":b1" of ":b0:b1"), else empty.
  std::string indicator;
  // Whitespace (or a comment) preceded the token in the original text.
  bool spaceBefore = false;
};

using Tokens = std::vector<Token>;

// Splits `text` into tokens; whitespace and comments only set spaceBefore.
// Returns false for a literal, quoted identifier or comment without its end.
bool Tokenize(std::string_view text, Tokens& tokens);

// Joins the tokens into a statement text, one blank wherever the original
// had whitespace (or a token was inserted with spaceBefore set).
std::string Render(const Tokens& tokens);

// Token helpers. Identifier comparisons ignore case, as unquoted Oracle
// names do.
Token MakeToken(TokenKind kind, std::string text, bool spaceBefore = true);
bool IsWord(const Token& token, std::string_view word);   // identifier equal to word
bool IsPunct(const Token& token, std::string_view punct);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToUpperAscii(std::string_view text);

// Removes the INTO clause of a SELECT INTO: the word INTO (outside
// parentheses) and the comma-separated placeholders after it. Returns the
// number of targets removed, 0 when the statement has no INTO clause, -1
// when an INTO is not followed by a placeholder list (tokens unchanged).
int RemoveIntoClause(Tokens& tokens);

// The placeholder names (":b2") in order of appearance.
std::vector<std::string> Placeholders(const Tokens& tokens);

// Replaces every identifier `name` that is not a qualified part (not next to
// a '.') and not a call (not followed by '(') by `replacement`. Returns the
// number of replacements.
int ReplaceIdentifier(Tokens& tokens, std::string_view name, const Tokens& replacement);

// A call rewriter gets the arguments of one call (split at the commas of the
// call's own level, each already rewritten for inner calls of the same name)
// and writes the tokens that replace the whole call. Returning false leaves
// the call as it was.
using CallRewriter = std::function<bool(const std::vector<Tokens>& args, Tokens& replacement)>;

// Rewrites every call `name(...)` (name compared ignoring case, unqualified).
// Returns the number of calls rewritten.
int RewriteCalls(Tokens& tokens, std::string_view name, const CallRewriter& rewrite);

// Renames every call `name(` to `newName(` and keeps the arguments.
int RenameCalls(Tokens& tokens, std::string_view name, std::string_view newName);

// Drops the qualifier `qualifier.` before a name, when the qualifier (an
// unquoted identifier) equals `qualifier` ignoring case. Returns the number
// of qualifiers dropped.
int DropQualifier(Tokens& tokens, std::string_view qualifier);

// The distinct qualifiers (identifiers directly followed by '.' and a name)
// in order of appearance, as written.
std::vector<std::string> Qualifiers(const Tokens& tokens);

// One item of an ORDER BY list: the expression and what follows it (ASC,
// DESC, NULLS FIRST/LAST), which a rewriter may change.
struct OrderItem {
  Tokens expression;
  Tokens suffix;
  bool descending = false;
  bool hasNullsOrdering = false;  // the suffix names NULLS FIRST or NULLS LAST
};
using OrderItemRewriter = std::function<void(OrderItem& item)>;

// Calls `rewrite` for every item of every ORDER BY list (also inside
// parentheses) and puts the rewritten items back. Returns the number of items.
int RewriteOrderBy(Tokens& tokens, const OrderItemRewriter& rewrite);

// Oracle's NULL placement made explicit: NULLS LAST for an ascending item,
// NULLS FIRST for a descending one, unless the item names one already.
void AppendOracleNullsOrdering(OrderItem& item);

// Replaces every placeholder (and its indicator) by the text that `syntax`
// gives for its position, counting from 0: "?" or "$1". Returns the count.
int ReplacePlaceholders(Tokens& tokens, const std::function<std::string(int index)>& syntax);

}  // namespace zx::oracle
