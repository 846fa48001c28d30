// The Oracle statement text helpers that the backends build their dialects on.
#include "sql/oracle_sql.h"

#include <gtest/gtest.h>

#include <string>

namespace zx::oracle {
namespace {

std::string Rewritten(const std::string& text, void (*rewrite)(Tokens&)) {
  Tokens tokens;
  if (!Tokenize(text, tokens)) return "<unreadable>";
  rewrite(tokens);
  return Render(tokens);
}

TEST(OracleSql, TokenizeKeepsLiteralsAndPlaceholders) {
  Tokens tokens;
  ASSERT_TRUE(Tokenize("select 'a :b1 ''x''' ,\"Q\"\"n\" ,1.5e3 into :b0:b1 from T where a<>:b2 -- c\n", tokens));
  ASSERT_EQ(tokens.size(), 14u);
  EXPECT_EQ(tokens[1].kind, TokenKind::String);
  EXPECT_EQ(tokens[1].text, "'a :b1 ''x'''");
  EXPECT_EQ(tokens[3].kind, TokenKind::QuotedIdentifier);
  EXPECT_EQ(tokens[5].kind, TokenKind::Number);
  EXPECT_EQ(tokens[5].text, "1.5e3");
  EXPECT_EQ(tokens[7].text, ":b0");
  EXPECT_EQ(tokens[7].indicator, ":b1");
  EXPECT_EQ(tokens[13].text, ":b2");
  EXPECT_EQ(Placeholders(tokens), (std::vector<std::string>{":b0", ":b2"}));

  for (const char* bad : {"select 'open", "select \"open", "select /* open"}) {
    EXPECT_FALSE(Tokenize(bad, tokens)) << bad;
  }
}

TEST(OracleSql, Rewrites) {
  const struct {
    const char* text;
    void (*rewrite)(Tokens&);
    const char* expected;
  } cases[] = {
      {"select count(*)  into :b0:b1  from Zardonix.T where a=:b2",
       [](Tokens& t) { EXPECT_EQ(RemoveIntoClause(t), 1); },
       "select count(*) from Zardonix.T where a=:b2"},
      {"select a ,b into :b0:b1,:b2:b3  from T where c=:b4",
       [](Tokens& t) { EXPECT_EQ(RemoveIntoClause(t), 2); }, "select a ,b from T where c=:b4"},
      {"select a  from T where b in (select c into :x from U)",
       [](Tokens& t) { EXPECT_EQ(RemoveIntoClause(t), 0); },
       "select a from T where b in (select c into :x from U)"},
      {"select a into from T", [](Tokens& t) { EXPECT_EQ(RemoveIntoClause(t), -1); },
       "select a into from T"},
      {"select a from Zardonix.T ,ZARDONIX.U ,zardonixx.V ,W.Zardonix where x.Zardonix=1",
       [](Tokens& t) { EXPECT_EQ(DropQualifier(t, "ZARDONIX"), 2); },
       "select a from T ,U ,zardonixx.V ,W.Zardonix where x.Zardonix=1"},
      {"where trunc(SYSDATE)>=d and SYSDATE.x=1 and t.SYSDATE=2",
       [](Tokens& t) { EXPECT_EQ(ReplaceIdentifier(t, "sysdate", {MakeToken(TokenKind::Identifier, "now()")}), 1); },
       "where trunc(now())>=d and SYSDATE.x=1 and t.SYSDATE=2"},
      {"select NVL(a,1) ,nvl(nvl(b,c),TO_CHAR(d,'yyyymmdd')) ,x.nvl(e,f) ,nvl from T",
       [](Tokens& t) {
         EXPECT_EQ(RewriteCalls(t, "NVL", [](const std::vector<Tokens>& args, Tokens& out) {
                     out.push_back(MakeToken(TokenKind::Identifier, "coalesce"));
                     out.push_back(MakeToken(TokenKind::Punct, "(", false));
                     for (std::size_t i = 0; i < args.size(); ++i) {
                       if (i > 0) out.push_back(MakeToken(TokenKind::Punct, ",", false));
                       out.insert(out.end(), args[i].begin(), args[i].end());
                     }
                     out.push_back(MakeToken(TokenKind::Punct, ")", false));
                     return true;
                   }),
                   3);
       },
       "select coalesce(a,1) ,coalesce(coalesce(b,c),TO_CHAR(d,'yyyymmdd')) ,x.nvl(e,f) ,nvl from T"},
      {"select TO_CHAR(d,'dd') ,TO_CHAR(e,'yyyymmdd') from T",
       [](Tokens& t) {
         EXPECT_EQ(RewriteCalls(t, "to_char", [](const std::vector<Tokens>& args, Tokens& out) {
                     if (args.size() != 2 || args[1].size() != 1 || args[1][0].text != "'yyyymmdd'") return false;
                     out = args[0];
                     return true;
                   }),
                   1);
       },
       "select TO_CHAR(d,'dd') ,e from T"},
      {"select a from (select b from T order by b desc) order by a,c desc ,d nulls first ,f(g,h) asc",
       [](Tokens& t) { EXPECT_EQ(RewriteOrderBy(t, AppendOracleNullsOrdering), 5); },
       "select a from (select b from T order by b desc NULLS FIRST) order by a NULLS LAST,c desc NULLS FIRST"
       " ,d nulls first ,f(g,h) asc NULLS LAST"},
      {"select a from T where b=:b0 and c<=:b1:b2",
       [](Tokens& t) { EXPECT_EQ(ReplacePlaceholders(t, [](int i) { return std::string("$").append(std::to_string(i + 1)); }), 2); },
       "select a from T where b=$1 and c<=$2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Rewritten(c.text, c.rewrite), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace zx::oracle
