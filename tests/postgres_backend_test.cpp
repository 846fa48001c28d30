// The PostgreSQL backend: translation and code mapping on their own, and
// what only a server gives (its words, its encodings, its today, a lost
// connection, run-ahead and batches, its change probe) on a real server
// (fresh database per test). What every backend gives is in
// backend_contract_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/fixed_text.h"
#include "queries/statements.h"
#include "sql/oracle_sql.h"
#include "sql/postgres/pg_dialect.h"
#include "sql/postgres/pg_errors.h"
#include "sql/postgres/postgres_backend.h"
#include "sql/session.h"
#include "sql/sql_backend.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sql_rows.h"

namespace zx {
namespace {

using test::FetchAllBadges;
using test::PgDatabase;
using pg::PostgresConnectErrorCode;
using pg::PostgresErrorCode;
using pg::ServerText;
using pg::TranslateForPostgres;

// A statement text as the session hands it to a backend: without its INTO
// clause.
std::string WithoutInto(std::string_view statement) {
  oracle::Tokens tokens;
  EXPECT_TRUE(oracle::Tokenize(statement, tokens)) << statement;
  EXPECT_GT(oracle::RemoveIntoClause(tokens), 0) << statement;
  return oracle::Render(tokens);
}

// ---------------------------------------------------------------------------
// Without a server.

// The sort key of a text x: on a UTF-8 server the characters of the
// Windows-1252 bytes 0x80..0x9F become the code points of those bytes.
std::string TextKey(const std::string& x, ServerText serverText) {
  const std::string asText = "CAST(" + x + " AS text)";
  const std::string notText = "CASE WHEN pg_typeof(" + x +
                              ") NOT IN (CAST('text' AS regtype), CAST('varchar' AS regtype), "
                              "CAST('bpchar' AS regtype)) THEN NULL ";
  if (serverText == ServerText::kBytes) return notText + "ELSE " + asText + " END COLLATE \"C\"";
  return notText + "WHEN octet_length(" + asText + ") = char_length(" + asText + ") THEN " + asText +
         " ELSE translate(" + asText +
         ", U&'\\20AC\\201A\\0192\\201E\\2026\\2020\\2021\\02C6\\2030\\0160\\2039\\0152\\017D"
         "\\2018\\2019\\201C\\201D\\2022\\2013\\2014\\02DC\\2122\\0161\\203A\\0153\\017E\\0178', "
         "U&'\\0080\\0082\\0083\\0084\\0085\\0086\\0087\\0088\\0089\\008A\\008B\\008C\\008E"
         "\\0091\\0092\\0093\\0094\\0095\\0096\\0097\\0098\\0099\\009A\\009B\\009C\\009E\\009F') END "
         "COLLATE \"C\"";
}

TEST(PostgresTranslation, OracleTextsBecomePostgresTexts) {
  const ServerText kUtf8 = ServerText::kUtf8;
  const ServerText kBytes = ServerText::kBytes;
  const struct {
    const char* oracle;
    std::string postgres;
    int parameters;
    ServerText serverText = ServerText::kUtf8;
  } cases[] = {
      // Placeholders are numbered in order of appearance, whatever their names.
      {"select count(*)  from Zardonix.Zdx115Tfz where (TfzTrm=:b2 and TfzLiz=:b3)",
       "select count(*) from Zardonix.Zdx115Tfz where (TfzTrm=$1 and TfzLiz=$2)", 2},
      {"select a from t where (trunc(SYSDATE)>=AswGvo and trunc(AswGvo) is null )",
       "select a from t where (date_trunc('day', date_trunc('second', LOCALTIMESTAMP))>=AswGvo "
       "and date_trunc('day', AswGvo) is null )",
       0},
      // NVL and SubStr with Oracle's results: an empty text is NULL; a
      // position 0 or from the end, a length below 1.
      {"select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,17) from x where MsdLfd=:b0",
       "select MsdLfd ,coalesce(CASE WHEN CAST(MsdSpl AS text) <> '' THEN MsdSpl END, 1) "
       ",nullif(substr(FtxT50, 1, 17), '') from x where MsdLfd=$1",
       1},
      {"select SubStr(a,0,2) ,SubStr(a,-2) ,SubStr(a,3,0) ,NVL(1,a) from t",
       "select nullif(substr(a, 1, 2), '') ,CASE WHEN length(a) >= 2 THEN nullif(substr(a, "
       "length(a) - 1), '') END ,CAST(NULL AS text) ,coalesce(1, a) from t",
       0},
      // Every ORDER BY item sorts text by its Windows-1252 bytes first, in
      // the way of the server's encoding; a SELECT DISTINCT is sorted
      // outside, where only column names can be.
      {"select a from t order by a,b desc",
       "select a from t order by " + TextKey("a", kUtf8) + ", a," + TextKey("b", kUtf8) +
           " desc, b desc",
       0},
      {"select a from t order by a,b desc",
       "select a from t order by " + TextKey("a", kBytes) + ", a," + TextKey("b", kBytes) +
           " desc, b desc",
       0, kBytes},
      {"select distinct a from t where b=:b0 order by a desc",
       "SELECT * FROM (select distinct a from t where b=$1) zx_sorted order by " +
           TextKey("a", kUtf8) + " desc, a desc",
       1},
      {"select distinct a from t order by t.a", "select distinct a from t order by t.a", 0},
      // Literals and qualified names are left alone.
      {"select TO_CHAR(AswGvo,'yyyymmdd') from t where MSDERF='SYSDATE :b0 trunc(x)' and t.sysdate=1",
       "select TO_CHAR(AswGvo,'yyyymmdd') from t where MSDERF='SYSDATE :b0 trunc(x)' and t.sysdate=1",
       0},
  };
  for (const auto& c : cases) {
    std::string text;
    int parameters = -1;
    ASSERT_TRUE(TranslateForPostgres(c.oracle, c.serverText, text, parameters)) << c.oracle;
    EXPECT_EQ(text, c.postgres) << c.oracle;
    EXPECT_EQ(parameters, c.parameters) << c.oracle;
  }
  std::string text;
  int parameters = 0;
  EXPECT_FALSE(TranslateForPostgres("select 'open", kUtf8, text, parameters));
  // A rewrite that names an argument twice names its placeholder twice: it
  // stays one parameter, and the parameters keep their order.
  ASSERT_TRUE(TranslateForPostgres("select SubStr(a,:b0) ,NVL(:b1,b) from t where c=:b2", kUtf8,
                                   text, parameters));
  EXPECT_EQ(parameters, 3);
  EXPECT_EQ(text.find("$4"), std::string::npos) << text;
  EXPECT_LT(text.rfind("$1"), text.find("$2")) << text;
  EXPECT_LT(text.rfind("$2"), text.find("$3")) << text;
}

TEST(PostgresErrors, ConnectMessagesMapToOracleCodes) {
  // libpq's messages (verbose, C locale) as the connection attempts give them.
  const struct {
    const char* message;
    int32_t code;
  } cases[] = {
      {"connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  28P01: password "
       "authentication failed for user \"zeprink\"\nLOCATION:  auth_failed, auth.c:334\n",
       sqlcode::kBadLogin},
      {"connection to server on socket \"/run/postgresql/.s.PGSQL.5432\" failed: FATAL:  28000: "
       "Peer authentication failed for user \"zeprink\"\n",
       sqlcode::kBadLogin},
      {"connection to server at \"127.0.0.1\", port 5432 failed: fe_sendauth: no password supplied\n",
       sqlcode::kBadLogin},
      {"definition of service \"nosuch\" not found\n", sqlcode::kUnknownService},
      {"service file \"/nonexistent\" not found\n", sqlcode::kUnknownService},
      {"end of string reached when looking for matching \"]\" in IPv6 host address in URI: "
       "\"postgresql://[bad\"\n",
       sqlcode::kUnknownService},
      {"connection to server at \"127.0.0.1\", port 1 failed: Connection refused\n\tIs the server "
       "running on that host and accepting TCP/IP connections?\n",
       sqlcode::kNoListener},
      {"connection to server on socket \"/tmp/nodir/.s.PGSQL.5432\" failed: No such file or "
       "directory\n\tIs the server running locally and accepting connections on that socket?\n",
       sqlcode::kNoListener},
      {"connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  3D000: database \"nodb\" "
       "does not exist\n",
       pgcode::kDatabaseUnknown},
      {"could not translate host name \"nohost.invalid\" to address: Name or service not known\n",
       pgcode::kHostUnknown},
      {"connection to server at \"10.1.1.1\", port 5432 failed: timeout expired\n",
       pgcode::kConnectTimeout},
      {"connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  53300: sorry, too many "
       "clients already\n",
       pgcode::kTooManySessions},
      {"connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  57P03: the database "
       "system is starting up\n",
       pgcode::kStartupOrShutdown},
      {"connection to server at \"127.0.0.1\", port 5432 failed: server closed the connection "
       "unexpectedly\n",
       pgcode::kConnectionClosed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PostgresConnectErrorCode(c.message), c.code) << c.message;
  }
}

TEST(PostgresErrors, SqlStatesMapToOracleCodes) {
  const struct {
    const char* state;
    int32_t code;
  } cases[] = {
      {"42P01", sqlcode::kTableNotFound},   {"42703", sqlcode::kInvalidIdentifier},
      {"22P02", sqlcode::kInvalidNumber},   {"22003", sqlcode::kIntegerOverflow},
      {"22P05", pgcode::kUntranslatable},   {"57P01", pgcode::kShutdownInProgress},
      {"08006", pgcode::kConnectionLost},   {"42601", sqlcode::kInvalidSql},
      {"XX000", sqlcode::kInternal},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PostgresErrorCode(c.state), c.code) << c.state;
  }
}

// ---------------------------------------------------------------------------
// On the server.

TEST(PostgresRuntime, ErrorsCarryTheServersWordsAndCodes) {
  PgDatabase db(
      "INSERT INTO Zdx1140Trm VALUES ('T1', 'MODEL-LONG-NAME', 'SET1', 1, 1, 10, NULL);"
      // A character that Windows-1252 has no byte for (U+0150).
      "INSERT INTO Zdx1140Trm VALUES ('UNI', chr(336), 'X', 1, 1, 10, NULL);");
  ZX_REQUIRE_PG(db);
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);

  // Errors: each is reported, with the server's words where the server
  // refused the statement, and the session goes on with the next statement.
  const struct {
    const char* sql;
    bool integerOutput;
    const char* input;
    int32_t code;
    const char* words;  // part of LastStatus().message; nullptr: the runtime's words
  } errors[] = {
      {"select TrmMod into :b0:b1 from Zardonix.NoSuchTable where TrmNam=:b2", false, "T1",
       sqlcode::kTableNotFound, "relation \"zardonix.nosuchtable\" does not exist"},
      {"select NoSuchColumn into :b0:b1 from Zardonix.Zdx1140Trm where TrmNam=:b2", false, "T1",
       sqlcode::kInvalidIdentifier, "column \"nosuchcolumn\" does not exist"},
      {"select TrmMod into :b0:b1 from Zardonix.Zdx1140Trm where TrmNam=:b2", true, "T1",
       sqlcode::kInvalidNumber, nullptr},  // a text column into an INTEGER
      {"select TrmMod into :b0:b1 from Zardonix.Zdx1140Trm where TrmSpr=:b2", false, "abc",
       sqlcode::kInvalidNumber, "invalid input syntax"},  // a text input against an integer column
      // The server's words (in UTF-8) in Windows-1252, as the input was.
      {"select TrmMod into :b0:b1 from Zardonix.Zdx1140Trm where TrmSpr=:b2", false, "\xC4\x80",
       sqlcode::kInvalidNumber, "\"\xC4\x80\""},
      {"select TrmMod into :b0:b1 from Zardonix.Zdx1140Trm where TrmNam=:b2", false, "UNI",
       sqlcode::kUntranslatable, nullptr},
      {"select TrmSal into :b0:b1 from Zardonix.Zdx1140Trm where TrmNam=:b2", false, "T1", 0, ""},
  };
  for (const auto& c : errors) {
    std::array<char, 11> text{};
    int32_t integer = 0;
    std::array<char, 256> input{};
    SetField(input, c.input);
    const HostVar outputs[] = {c.integerOutput ? IntegerVar(&integer) : StringVar(text.data(), 11)};
    const HostVar inputs[] = {StringIn(input.data(), 256)};
    EXPECT_EQ(session.SelectInto(c.sql, outputs, inputs), c.code) << c.sql;
    const std::string& message = session.LastStatus().message;
    if (c.words == nullptr) {
      EXPECT_FALSE(message.empty()) << c.sql;
    } else if (*c.words == '\0') {
      EXPECT_EQ(message, "") << c.sql;
    } else {
      EXPECT_NE(message.find(c.words), std::string::npos) << c.sql << ": " << message;
    }
  }
}

TEST(PostgresRuntime, SchemaAndConnectFailures) {
  PgDatabase db(
      "INSERT INTO Zdx1140Trm VALUES ('T1', 'M', 'S', 1, 1, 10, NULL);"
      "CREATE SCHEMA other; CREATE TABLE other.solo (v text); INSERT INTO other.solo VALUES ('o');");
  ZX_REQUIRE_PG(db);
  SqlSession session;
  const auto& server = test::TestServer();

  const auto login = [&server](const char* password, std::string netService) {
    return ConnectionSettings{
        .user = server.user, .password = password, .netService = std::move(netService)};
  };
  const char* password = server.password.c_str();
  const struct {
    ConnectionSettings login;
    int32_t code;
  } logins[] = {
      {login("wrong_pw", db.NetService()), sqlcode::kBadLogin},
      {login(password, "zx_no_such_service"), sqlcode::kUnknownService},
      {login(password, "postgresql://[bad"), sqlcode::kUnknownService},
      {login(password, "postgresql://127.0.0.1:1/zeprink_test"), sqlcode::kNoListener},
      {login(password, "postgresql:///x?host=/nonexistent-zx"), sqlcode::kNoListener},
      {login(password, "postgresql:///zx_no_such_db?service=" + server.service),
       pgcode::kDatabaseUnknown},
      {db.Login(), 0},
  };
  for (const auto& c : logins) {
    EXPECT_EQ(session.Connect(c.login), c.code) << c.login.password << "@" << c.login.netService;
  }

  // The schema is found by its upper-cased name and becomes the search path.
  const struct {
    const char* statement;
    int32_t code;
    const char* table;  // an unqualified table the schema then holds
  } schemas[] = {
      {"ALTER SESSION SET CURRENT_SCHEMA=NOSUCH", sqlcode::kUnknownSchema, nullptr},
      {"ALTER SESSION SET CURRENT_SCHEMA=", sqlcode::kMissingOption, nullptr},
      {"ALTER SESSION SET CURRENT_SCHEMA=OTHER", 0, "solo"},
      {"ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX", 0, "Zdx1140Trm"},
  };
  for (const auto& c : schemas) {
    session.Prepare(c.statement);
    EXPECT_EQ(session.Execute(), c.code) << c.statement;
    if (c.table == nullptr) continue;
    int32_t count = -1;
    const HostVar outputs[] = {IntegerVar(&count)};
    const std::string sql = std::string("select count(*) into :b0:b1 from ") + c.table;
    EXPECT_EQ(session.SelectInto(sql, outputs, {}), 0) << c.statement;
    EXPECT_EQ(count, 1) << c.statement;
  }
}

TEST(PostgresRuntime, DatesAndOracleFunctions) {
  // Dates relative to the server's today, as SYSDATE sees it.
  const char* kToday = "date_trunc('day', localtimestamp)";
  const std::string rows =
      std::string("INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswBkl, AswSpr) VALUES ") +
      "('D1', " + kToday + ", NULL, 'A', 7)," +                                 // first day today 00:00
      "('D2', " + kToday + " + interval '10 hours', NULL, 'A', 7)," +          // today, later hour
      "('D3', NULL, " + kToday + " + interval '23:59:59', 'A', 7)," +          // last day today
      "('D4', NULL, " + kToday + " - interval '1 second', 'A', 7)," +          // last day yesterday
      "('D5', NULL, NULL, 'A', 7)," +                                          // no period at all
      "('D6', " + kToday + " - interval '3 days', " + kToday + " + interval '2 days', 'A', NULL);" +
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto) SELECT AswNum, 1 FROM Zdx301Asw;" +
      "INSERT INTO Zdx119Msd (MsdLfd, MsdSpl, MsdTxt) VALUES (1, NULL, 'abcdef'), (2, 3, 'x');";
  PgDatabase db(rows);
  ZX_REQUIRE_PG(db);
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);

  const std::string today = db.Value("SELECT to_char(localtimestamp, 'YYYYMMDD')");
  const std::string minus3 = db.Value("SELECT to_char(localtimestamp - interval '3 days', 'YYYYMMDD')");
  const std::string plus2 = db.Value("SELECT to_char(localtimestamp + interval '2 days', 'YYYYMMDD')");
  ASSERT_EQ(today.size(), 8u);
  const std::vector<std::string> expected = {
      "D1|" + today + "||A  |7",
      "D3||" + today + "|A  |7",
      "D6|" + minus3 + "|" + plus2 + "|A  |1",  // NULL AswSpr gives 1
  };
  EXPECT_EQ(FetchAllBadges(session), expected);

  const struct {
    int32_t lfd;
    int32_t spl;
    const char* sub;
  } cases[] = {{1, 1, "bcd"}, {2, 3, "keep"}};  // SubStr of 'x' from 2 is NULL in Oracle
  for (const auto& c : cases) {
    int32_t spl = -1;
    std::array<char, 11> sub{};
    SetField(sub, "keep");
    int32_t lfd = c.lfd;
    const HostVar outputs[] = {IntegerVar(&spl), StringVar(sub.data(), 11)};
    const HostVar inputs[] = {IntegerVar(&lfd)};
    EXPECT_EQ(session.SelectInto("select NVL(MsdSpl,1) ,SubStr(MsdTxt,2,3) into :b0:b1,:b2:b3 from "
                            "Zardonix.Zdx119Msd where MsdLfd=:b4",
                            outputs, inputs),
              0)
        << c.lfd;
    EXPECT_EQ(spl, c.spl) << c.lfd;
    EXPECT_EQ(FieldText(sub), c.sub) << c.lfd;
  }
}

// The classes of MGSST35P as a cursor in `statement` delivers them, each
// with its code (0, or -29275 with the output named).
std::vector<std::string> FetchClasses(SqlSession& session, const char* statement) {
  std::vector<std::string> classes;
  SqlCursor cursor;
  if (cursor.Open(session, statement, {}) != 0) return {"open failed"};
  for (;;) {
    std::array<char, 16> bkl{};
    const HostVar outputs[] = {StringVar(bkl.data(), 16)};
    const int32_t rc = cursor.Fetch(outputs);
    if (rc == sqlcode::kUntranslatable) {
      classes.push_back(std::string(FieldText(bkl)) + " " + std::to_string(rc) + " column " +
                        std::to_string(session.LastStatus().column));
    } else if (rc == 0) {
      classes.emplace_back(FieldText(bkl));
    } else {
      if (rc != sqlcode::kNoData) classes.push_back("error " + std::to_string(rc));
      break;
    }
  }
  cursor.Close();
  return classes;
}

// The Unicode characters of the Windows-1252 bytes 0x80..0x9F.
constexpr int kHighCharacters[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

TEST(PostgresRuntime, AValueWithoutWindows1252FormCostsItsRowAlone) {
  // 1,200 classes, more than two batches of the server-side cursor; the
  // one after 00700 ends in a Greek Omega, which Windows-1252 has no byte for.
  PgDatabase db(
      "INSERT INTO MGSST35P (M35Trm, M35Bkl) SELECT 'T', lpad(g::text, 5, '0') "
      "FROM generate_series(1, 1200) g;"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl) VALUES ('T', '00700' || chr(937)), ('T', 'H' || chr(937));"
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('T1', 'H' || chr(937)), ('T2', 'M');");
  ZX_REQUIRE_PG(db);
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);

  std::vector<std::string> expected;
  for (int i = 1; i <= 1200; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%05d", i);
    expected.emplace_back(number);
    if (i == 700) expected.emplace_back("00700<U+03A9> -29275 column 0");
  }
  expected.emplace_back("H<U+03A9> -29275 column 0");
  EXPECT_EQ(FetchClasses(session, "select M35Bkl from Zardonix.MGSST35P order by M35Bkl"), expected);

  // A SELECT INTO of such a value fails with -29275, its output untouched;
  // the next statement works.
  std::array<char, 11> mod{};
  SetField(mod, "keep");
  const HostVar outputs[] = {StringVar(mod.data(), 11)};
  for (const char* name : {"T1", "T2"}) {
    std::array<char, 3> input{};
    SetField(input, name);
    const HostVar inputs[] = {StringIn(input.data(), 3)};
    const bool representable = std::string_view(name) == "T2";
    EXPECT_EQ(session.SelectInto("select TrmMod into :b0:b1 from Zardonix.Zdx1140Trm where TrmNam=:b2",
                                 outputs, inputs),
              representable ? 0 : sqlcode::kUntranslatable)
        << name;
    EXPECT_EQ(FieldText(mod), representable ? "M" : "keep") << name;
  }
}

TEST(PostgresRuntime, Windows1252HighBytesGoThereAndBackInByteOrder) {
  // Every byte 0x80..0x9F, with letters below and above them, in a database
  // of each kind of encoding: on a UTF-8 one as the characters of the bytes
  // (the five without a character of their own as the control characters of
  // their number); on a WIN1252 and a SQL_ASCII one as the bytes themselves.
  std::vector<std::string> ascending = {"A"};
  for (int byte = 0x80; byte <= 0x9F; ++byte) ascending.push_back(std::string("a") + static_cast<char>(byte));
  for (const char* high : {"z", "\xA0", "\xC4x", "\xFF"}) ascending.emplace_back(high);
  const std::vector<std::string> descending(ascending.rbegin(), ascending.rend());

  for (const std::string encoding : {"UTF8", "WIN1252", "SQL_ASCII"}) {
    SCOPED_TRACE(encoding);
    std::string sql = "INSERT INTO MGSST35P (M35Trm, M35Bkl) VALUES ('T', 'z'), ('T', 'A'), "
                      "('T', '\xFF'), ('T', '\xA0'), ('T', '\xC4x')";
    for (int byte = 0x9F; byte >= 0x80; --byte) {
      sql += encoding == "UTF8"
                 ? ", ('T', 'a' || chr(" + std::to_string(kHighCharacters[byte - 0x80]) + "))"
                 : ", ('T', 'a" + std::string(1, static_cast<char>(byte)) + "')";
    }
    PgDatabase db(sql + ";", true, test::TestServer(), encoding);
    ZX_REQUIRE_PG(db);
    SqlSession session;
    ASSERT_EQ(db.Connect(session), 0);

    EXPECT_EQ(FetchClasses(session, "select M35Bkl from Zardonix.MGSST35P order by M35Bkl"), ascending);
    EXPECT_EQ(FetchClasses(session, "select distinct M35Bkl from Zardonix.MGSST35P order by M35Bkl desc"),
              descending);
    // Each byte as an input finds its own row.
    for (int byte = 0x80; byte <= 0x9F; ++byte) {
      const std::string value = std::string("a") + static_cast<char>(byte);
      int32_t count = -1;
      const HostVar outputs[] = {IntegerVar(&count)};
      const HostVar inputs[] = {StringIn(value.c_str(), 3)};
      EXPECT_EQ(session.SelectInto("select count(*) into :b0:b1 from Zardonix.MGSST35P where M35Bkl=:b2",
                                   outputs, inputs),
                0)
          << byte;
      EXPECT_EQ(count, 1) << byte;
    }
  }
}

// A backend on the test database `db`, schema ZARDONIX current.
void OpenSchemaBackend(const PgDatabase& db, std::unique_ptr<SqlBackend>& backend) {
  std::string message;
  ASSERT_EQ(OpenPostgresBackend(db.Login(), backend, message), 0) << message;
  ASSERT_EQ(backend->SetCurrentSchema("ZARDONIX"), 0);
}

TEST(PostgresRuntime, LostConnectionIsReported) {
  PgDatabase db("INSERT INTO Zdx1140Trm (TrmNam) VALUES ('T1');");
  ZX_REQUIRE_PG(db);
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);
  int32_t pid = 0;
  const HostVar outputs[] = {IntegerVar(&pid)};
  ASSERT_EQ(session.SelectInto("select pg_backend_pid() into :b0:b1 from Zardonix.Zdx1140Trm", outputs, {}),
            0);
  ASSERT_EQ(db.Execute("SELECT pg_terminate_backend(" + std::to_string(pid) + ")"), "");
  int32_t count = 0;
  const HostVar countOut[] = {IntegerVar(&count)};
  const int32_t first = session.SelectInto("select count(*) into :b0:b1 from Zardonix.Zdx1140Trm", countOut, {});
  EXPECT_TRUE(first == pgcode::kConnectionLost || first == pgcode::kShutdownInProgress) << first;
  EXPECT_EQ(session.SelectInto("select count(*) into :b0:b1 from Zardonix.Zdx1140Trm", countOut, {}),
            pgcode::kNotConnected);
}

long ResidentKb() {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (file == nullptr) return -1;
  long size = 0;
  long resident = 0;
  const int read = std::fscanf(file, "%ld %ld", &size, &resident);
  std::fclose(file);
  return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasureMemory = false;  // freed batches stay in the sanitizer's quarantine
#else
constexpr bool kMeasureMemory = true;
#endif

TEST(PostgresBackend, LargeBadgeCursorStreamsInBatches) {
  constexpr int kBadges = 200000;
  PgDatabase db(
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswBkl, AswAan, AswAtp, AswSpr, AswPin) "
      "SELECT lpad(g::text, 40, '0'), '2020-01-01', 'P' || g, 'A', repeat('x', 50), 1, 1, "
      "repeat('p', 32) FROM generate_series(1, " + std::to_string(kBadges) + ") g;"
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod) SELECT lpad(g::text, 40, '0'), g, 0 "
      "FROM generate_series(1, " + std::to_string(kBadges) + ") g;"
      "INSERT INTO MGSST35P VALUES ('T', 'A', '1'); INSERT INTO Zdx301Awb VALUES "
      "(lpad('7', 40, '0'), 'A'); ANALYZE Zdx301Asw; ANALYZE Zdx113Awv;");
  ZX_REQUIRE_PG(db);
  std::unique_ptr<SqlBackend> backend;
  ASSERT_NO_FATAL_FAILURE(OpenSchemaBackend(db, backend));

  const std::string countTimeRights = WithoutInto(statements::kCountTimeRights);
  const long before = ResidentKb();
  std::unique_ptr<SqlRows> badges;
  ASSERT_EQ(backend->Query(statements::kBadgeCursorAll, {}, badges), 0);
  int rows = 0;
  int maxBuffered = 0;
  int timeRights = 0;
  std::string previous;
  for (;;) {
    const int32_t rc = badges->Next();
    if (rc != 0) {
      EXPECT_EQ(rc, sqlcode::kNoData);
      break;
    }
    ++rows;
    maxBuffered = std::max(maxBuffered, PostgresBufferedRows(*badges));
    const SqlValue number = badges->Column(0);
    ASSERT_EQ(number.kind, SqlValue::Kind::Text);
    const std::string current(number.text);
    ASSERT_LT(previous, current) << "row " << rows;
    previous = current;
    // The per-badge lookups run on the same connection while the cursor is open.
    if (rows % 500 == 0 || current == std::string(39, '0') + "7") {
      const SqlBind binds[] = {SqlBind{SqlBind::Kind::Text, 0, "T"}, SqlBind{SqlBind::Kind::Text, 0, current}};
      std::unique_ptr<SqlRows> count;
      ASSERT_EQ(backend->Query(countTimeRights, binds, count), 0);
      ASSERT_EQ(count->Next(), 0);
      timeRights += static_cast<int>(count->Column(0).integer);
      EXPECT_EQ(count->Next(), sqlcode::kNoData);
    }
    // A failing statement in between leaves the open cursor usable.
    if (rows % 50000 == 0) {
      std::unique_ptr<SqlRows> none;
      EXPECT_EQ(backend->Query("select x from Zardonix.NoSuchTable", {}, none),
                sqlcode::kTableNotFound);
    }
  }
  const long after = ResidentKb();
  EXPECT_EQ(rows, kBadges);
  EXPECT_EQ(timeRights, 1);
  EXPECT_LE(maxBuffered, kPostgresFetchBlock);
  EXPECT_GT(maxBuffered, 0);
  // Prepared once each: the badge text (its one-batch form, then its
  // cursor) and the lookup; the failing text never was.
  EXPECT_EQ(backend->PreparedStatementCount(), 3);
  if (kMeasureMemory && before > 0 && after > 0) {
    // The whole result would take well over 40 MB in memory.
    EXPECT_LT(after - before, 16 * 1024) << "resident KB before " << before << " after " << after;
  }
}

}  // namespace
}  // namespace zx

namespace zx {
namespace {

// The server's change probe: a commit to this database's tables gives a
// new mark at once (its session ends, so its counts are handed over);
// reads without one give the same mark, whatever the server's other
// databases do meanwhile (within the probe's 30 s); the probe writes
// nothing and outlives the session that opened it.
TEST(PostgresRuntime, ChangeProbeMarksCommitsOfThisDatabase) {
  PgDatabase db("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  ZX_REQUIRE_PG(db);
  std::unique_ptr<ChangeProbe> probe;
  {
    SqlSession session;
    ASSERT_EQ(db.Connect(session), 0);
    ASSERT_EQ(session.OpenChangeProbe(probe), 0) << session.LastStatus().message;
  }
  std::string first;
  ASSERT_EQ(probe->Read(first), 0) << probe->Message();
  // Another database of the server changes.
  PgDatabase other("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('U');");
  ASSERT_TRUE(other.ok()) << other.error();
  std::string again;
  ASSERT_EQ(probe->Read(again), 0);
  EXPECT_EQ(again, first);
  ASSERT_EQ(db.Execute("INSERT INTO zardonix.Zdx115Tfz (TfzTrm) VALUES ('T')"), "");
  std::string changed;
  // The counts reach the statistics as the writing session ends.
  for (int i = 0; i < 200 && (changed.empty() || changed == first); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(probe->Read(changed), 0);
  }
  EXPECT_NE(changed, first);
  EXPECT_EQ(db.Value("SELECT count(*) FROM zardonix.Zdx115Tfz"), "2");
}

}  // namespace
}  // namespace zx
