// Oracle's functions and NULL rules as the statements see them, the same on
// every backend: one table of small statements over known rows, run on the
// embedded database and on the PostgreSQL test server. The expected values
// are Oracle's.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sql/session.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx {
namespace {

// The rows every case reads; plain SQL that both databases take. The empty
// text is stored on purpose: it must read as NULL.
const std::string kRows = std::string(test::kAllowEmptyTexts) +
    // Texts: key 1 a text of six characters and an empty text, key 2 NULLs.
    "INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES"
    " (1, 1, 3, 'ABCDEF', ''), (1, 2, NULL, NULL, NULL),"
    // Ordering: texts in both cases and integers, each with a NULL.
    " (2, 10, 5, 'b', NULL), (2, 11, NULL, NULL, NULL), (2, 12, 3, 'a', NULL),"
    " (2, 13, 4, 'B', NULL);"
    // Dates: badge 1 with a first day at an hour of a leap day, no last day.
    "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi) VALUES ('1', '2024-02-29 13:45:10', NULL);";

constexpr const char* kNull = "<NULL>";  // an output the statement left alone

// A text of row key 1 ('ABCDEF') or 2 (NULL).
#define TEXT_OF(expression) \
  "select " expression " into :b0:b1  from Zardonix.Zdx102Whl where (FtxNumSpr=1 and FtxWhl=:b2)"
// A date of badge 1.
#define DATE_OF(expression) \
  "select " expression " into :b0:b1  from Zardonix.Zdx301Asw where AswNum=:b2"

struct Case {
  const char* statement;  // with INTO: SELECT INTO; without: a cursor, all rows
  int32_t key;            // the one input, an INTEGER ...
  const char* text;       // ... or, when not nullptr, a STRING
  const char* expected;   // the output (kNull: left alone); a cursor's rows joined by ','
};

const Case kCases[] = {
    // SUBSTR counts from 1; position 0 counts as 1; a negative position
    // counts from the end; a length past the end takes the rest.
    {TEXT_OF("SubStr(FtxT50,1,3)"), 1, nullptr, "ABC"},
    {TEXT_OF("SubStr(FtxT50,0,2)"), 1, nullptr, "AB"},
    {TEXT_OF("SubStr(FtxT50,0)"), 1, nullptr, "ABCDEF"},
    {TEXT_OF("SubStr(FtxT50,2,9)"), 1, nullptr, "BCDEF"},
    {TEXT_OF("SubStr(FtxT50,6)"), 1, nullptr, "F"},
    {TEXT_OF("SubStr(FtxT50,-2)"), 1, nullptr, "EF"},
    {TEXT_OF("SubStr(FtxT50,-3,2)"), 1, nullptr, "DE"},
    {TEXT_OF("SubStr(FtxT50,-6,9)"), 1, nullptr, "ABCDEF"},
    // NULL: a position past either end, a length below 1, a NULL text.
    {TEXT_OF("SubStr(FtxT50,7,1)"), 1, nullptr, kNull},
    {TEXT_OF("SubStr(FtxT50,-7,2)"), 1, nullptr, kNull},
    {TEXT_OF("SubStr(FtxT50,3,0)"), 1, nullptr, kNull},
    {TEXT_OF("SubStr(FtxT50,3,-1)"), 1, nullptr, kNull},
    {TEXT_OF("SubStr(FtxT50,1,3)"), 2, nullptr, kNull},
    // Positions and lengths that are not literals: a column, a placeholder.
    {TEXT_OF("SubStr(FtxT50,FtxSpr)"), 1, nullptr, "CDEF"},
    {TEXT_OF("SubStr(FtxT50,2,FtxSpr)"), 1, nullptr, "BCD"},
    {TEXT_OF("SubStr(FtxT50,FtxSpr-3,2)"), 1, nullptr, "AB"},
    {TEXT_OF("SubStr(FtxT50,FtxSpr-5,9)"), 1, nullptr, "EF"},
    {TEXT_OF("SubStr(FtxT50,FtxSpr-10)"), 1, nullptr, kNull},
    {TEXT_OF("SubStr(FtxT50,1,FtxSpr-3)"), 1, nullptr, kNull},
    {"select SubStr(FtxT50,:b2,2) into :b0:b1  from Zardonix.Zdx102Whl where FtxWhl=1", -2, nullptr,
     "EF"},
    {"select SubStr(FtxT50,:b2,2) into :b0:b1  from Zardonix.Zdx102Whl where FtxWhl=1", 0, nullptr,
     "AB"},
    // ... a real NULL, also inside an expression.
    {TEXT_OF("NVL(SubStr(FtxT50,7,1),'none')"), 1, nullptr, "none"},
    {TEXT_OF("NVL(SubStr(FtxT50,-7),'none')"), 1, nullptr, "none"},
    {TEXT_OF("NVL(SubStr(FtxT50,3,0),'none')"), 1, nullptr, "none"},
    // NVL: the second value for NULL and for the empty text (Oracle has no
    // empty text: it is NULL); of any type.
    {TEXT_OF("NVL(FtxT50,'none')"), 1, nullptr, "ABCDEF"},
    {TEXT_OF("NVL(FtxT50,'none')"), 2, nullptr, "none"},
    {TEXT_OF("NVL(FtxT10,'none')"), 1, nullptr, "none"},
    {TEXT_OF("NVL(FtxT10,'none')"), 2, nullptr, "none"},
    {TEXT_OF("NVL(FtxSpr,7)"), 1, nullptr, "3"},
    {TEXT_OF("NVL(FtxSpr,7)"), 2, nullptr, "7"},
    {TEXT_OF("NVL(NVL(FtxT10,FtxT50),'none')"), 1, nullptr, "ABCDEF"},
    // TO_CHAR of a date; trunc of a date is its day at midnight.
    {DATE_OF("TO_CHAR(AswGvo,'yyyymmdd')"), 0, "1", "20240229"},
    {DATE_OF("TO_CHAR(AswGvo,'YYYYMMDD')"), 0, "1", "20240229"},
    {DATE_OF("TO_CHAR(AswGbi,'yyyymmdd')"), 0, "1", kNull},
    {DATE_OF("TO_CHAR(AswGvo,'yyyy-mm-dd hh24:mi:ss')"), 0, "1", "2024-02-29 13:45:10"},
    {DATE_OF("TO_CHAR(trunc(AswGvo),'yyyy-mm-dd hh24:mi:ss')"), 0, "1", "2024-02-29 00:00:00"},
    {DATE_OF("TO_CHAR(trunc(SYSDATE),'hh24:mi:ss')"), 0, "1", "00:00:00"},
    {"select count(*) into :b0:b1  from Zardonix.Zdx301Asw where (AswNum=:b2 and "
     "trunc(AswGvo)<AswGvo)",
     0, "1", "1"},
    // An empty bound text is NULL: it matches nothing, not even an empty text.
    {"select count(*) into :b0:b1  from Zardonix.Zdx102Whl where FtxT50=:b2", 0, "ABCDEF", "1"},
    {"select count(*) into :b0:b1  from Zardonix.Zdx102Whl where FtxT50=:b2", 0, "", "0"},
    {"select count(*) into :b0:b1  from Zardonix.Zdx102Whl where FtxT10=:b2", 0, "", "0"},
    {"select count(*) into :b0:b1  from Zardonix.Zdx102Whl where FtxT10<>:b2", 0, "", "0"},
    // NULL sorts last ascending, first descending; text by its bytes.
    {"select FtxT50  from Zardonix.Zdx102Whl where FtxNumSpr=:b0 order by FtxT50", 2, nullptr,
     "B,a,b,<NULL>"},
    {"select FtxT50  from Zardonix.Zdx102Whl where FtxNumSpr=:b0 order by FtxT50 desc", 2, nullptr,
     "<NULL>,b,a,B"},
    {"select FtxWhl  from Zardonix.Zdx102Whl where FtxNumSpr=:b0 order by FtxSpr", 2, nullptr,
     "12,13,10,11"},
    {"select FtxWhl  from Zardonix.Zdx102Whl where FtxNumSpr=:b0 order by FtxSpr desc", 2, nullptr,
     "11,10,13,12"},
};

#undef TEXT_OF
#undef DATE_OF

std::string CaseName(const Case& c) {
  return std::string(c.statement) + " with " +
         (c.text != nullptr ? std::string("'").append(c.text).append("'") : std::to_string(c.key));
}

// Runs every case on the session.
void RunCases(SqlSession& session) {
  for (const Case& c : kCases) {
    int32_t key = c.key;
    const HostVar input = c.text != nullptr ? StringIn(c.text, 256) : IntegerVar(&key);
    const HostVar inputs[] = {input};
    std::array<char, 256> value{};
    const HostVar outputs[] = {StringVar(value.data(), 256)};
    auto preset = [&value] { std::snprintf(value.data(), value.size(), "%s", kNull); };
    preset();
    std::string actual;
    if (std::string_view(c.statement).find(" into ") != std::string_view::npos) {
      EXPECT_EQ(session.SelectInto(c.statement, outputs, inputs), 0)
          << CaseName(c) << ": " << session.LastStatus().message;
      actual = value.data();
    } else {
      SqlCursor cursor;
      ASSERT_EQ(cursor.Open(session, c.statement, inputs), 0)
          << CaseName(c) << ": " << session.LastStatus().message;
      int32_t rc = 0;
      while ((rc = cursor.Fetch(outputs)) == 0) {
        actual.append(actual.empty() ? "" : ",").append(value.data());
        preset();
      }
      EXPECT_EQ(rc, sqlcode::kNoData) << CaseName(c) << ": " << session.LastStatus().message;
    }
    EXPECT_EQ(actual, c.expected) << CaseName(c);
  }
}

TEST(OracleFunctions, OnTheEmbeddedDatabase) {
  test::SqliteDatabase db(kRows);
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0) << session.LastStatus().message;
  RunCases(session);
}

TEST(OracleFunctions, OnTheServer) {
  test::PgDatabase db(kRows);
  ZX_REQUIRE_PG(db);
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0) << session.LastStatus().message;
  RunCases(session);
}

}  // namespace
}  // namespace zx
