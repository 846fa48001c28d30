// What every backend gives, on a real database of each registered backend
// (tests/support/backend_fixture.h): status codes and untouched outputs,
// cursors, the schema statement, Oracle's ordering, NULLs and functions,
// statement reuse, the session's one read state, sharing it, and every
// statement text of the program against the demo data.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/fixed_text.h"
#include "queries/access_rights.h"
#include "queries/badge_cursor.h"
#include "queries/badge_record.h"
#include "queries/balance_data.h"
#include "queries/display_texts.h"
#include "queries/location_text.h"
#include "queries/statements.h"
#include "queries/terminal_lookup.h"
#include "queries/terminal_params.h"
#include "sql/session.h"
#include "tests/support/backend_fixture.h"
#include "tests/support/sql_rows.h"
#include "tests/support/sqlite_fixture.h"

namespace zx {
namespace {

using test::BackendFixture;
using test::Column;
using test::CountAssignments;
using test::FetchAll;
using test::FetchAllBadges;
using test::In;
using test::kAllowEmptyTexts;
using test::kNull;
using test::Row;
using test::TestDatabase;

using statements::kAccessClasses;
using statements::kBadgeCursorAll;
using statements::kBadgeCursorAssigned;
using statements::kBadgeTextCode;
using statements::kBadgeTexts;
using statements::kBalanceData;
using statements::kCountAssignments;
using statements::kCountTimeRights;
using statements::kLocationText;
using statements::kReaders;
using statements::kSelectTerminal;
using statements::kTerminalTextCode;
using statements::kTerminalTexts;

class BackendContract : public ::testing::TestWithParam<BackendFixture> {
 protected:
  // A database of this backend: its schema (unless withSchema is false),
  // then `sql`.
  std::unique_ptr<TestDatabase> Database(std::string_view sql = {}, bool withSchema = true) const {
    return GetParam().create(sql, withSchema);
  }

  int32_t SelectRow(std::string_view text, std::vector<In> inputs, std::size_t columns, Row& row) {
    return test::SelectRow(session_, text, std::move(inputs), columns, row);
  }
  std::vector<Row> FetchAll(std::string_view text, std::vector<In> inputs, std::size_t columns,
                            int32_t& end) {
    return test::FetchAll(session_, text, std::move(inputs), columns, end);
  }

  SqlSession session_;
};

// Builds `db` from `sql` (skipping the test where its server is not there)
// and connects the fixture's session with the schema set.
#define ZX_OPEN(db, sql)                          \
  const auto db = Database(sql);                  \
  ZX_REQUIRE_DB(*db);                             \
  ASSERT_EQ(db->Connect(session_), 0) << session_.LastStatus().message

TEST(SqlSessionTest, EveryStatementBeforeConnectIsNotLoggedOn) {
  SqlSession session;
  char text[11] = "keep";
  int32_t number = 5;
  const HostVar outputs[] = {StringVar(text, sizeof text), IntegerVar(&number)};
  EXPECT_EQ(session.SelectInto(kSelectTerminal, outputs, {}), -1012);
  EXPECT_EQ(session.LastStatus().code, -1012);
  SqlCursor cursor;
  EXPECT_EQ(cursor.Open(session, kReaders, {}), -1012);
  EXPECT_FALSE(cursor.IsOpen());
  EXPECT_EQ(cursor.Fetch(outputs), -1001);  // the OPEN failed: the cursor is not open
  EXPECT_EQ(cursor.Close(), -1001);
  EXPECT_EQ(session.Prepare("ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX"), -1012);
  EXPECT_EQ(session.Execute(), -1012);
  EXPECT_EQ(session.PreparedStatementCount(), -1);
  std::string snapshot;
  EXPECT_EQ(session.ExportSnapshot(snapshot), -1012);
  EXPECT_FALSE(session.SharesState());
  EXPECT_FALSE(session.LooseColumnTypes());
  EXPECT_STREQ(text, "keep");
  EXPECT_EQ(number, 5);
}

TEST_P(BackendContract, ConnectFailuresLeaveNoSession) {
  ZX_OPEN(db, "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  ConnectionSettings noPassword = db->Login();
  noPassword.passwordGiven = false;
  ConnectionSettings tooLong = db->Login();
  tooLong.user.append(101 - tooLong.ConnectStringLength(), 'u');  // refused before it is tried
  ConnectionSettings nowhere = db->Login();
  nowhere.netService = db->MissingNetService();
  const struct {
    const char* what;
    ConnectionSettings login;
    int32_t expected;
  } cases[] = {
      {"no password at all", noPassword, -1017},
      {"101 characters", tooLong, -2084},
      {"a net service that names nothing", nowhere, -12154},
      {"the database", db->Login(), 0},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db->Connect(session_), 0);  // a failed CONNECT also ends the session before it
    EXPECT_EQ(session_.Connect(c.login), c.expected) << c.what;
    EXPECT_EQ(session_.LastStatus().code, c.expected) << c.what;
    EXPECT_EQ(session_.Connected(), c.expected == 0) << c.what;
    int32_t count = -1;
    const HostVar out[] = {IntegerVar(&count)};
    const HostVar in[] = {StringIn("T", 256)};
    EXPECT_EQ(session_.SelectInto("select count(*) into :b0 from Zardonix.Zdx115Tfz where TfzTrm=:b1",
                                  out, in),
              c.expected == 0 ? 0 : -1012)
        << c.what;
  }
}

TEST_P(BackendContract, CurrentSchemaStatement) {
  const auto db = Database("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  ZX_REQUIRE_DB(*db);
  ASSERT_EQ(session_.Connect(db->Login()), 0) << session_.LastStatus().message;
  EXPECT_EQ(session_.Execute(), -1003);  // nothing prepared
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX", 0},
      {"ALTER SESSION SET CURRENT_SCHEMA=zardonix", 0},  // an unquoted name is upper-cased
      {"alter session set current_schema = Zardonix", 0},
      {"ALTER SESSION SET CURRENT_SCHEMA=OTHER", -1435},
      {"ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX2", -1435},
      {"ALTER SESSION SET CURRENT_SCHEMA=", -922},
      {"ALTER SESSION SET CURRENT_SCHEMA=ZAR DONIX", -922},
      {"ALTER SESSION SET CURRENT_SCHEMA='ZARDONIX'", -922},
      {"ALTER SESSION SET NLS_DATE_FORMAT=ZARDONIX", -900},
      {"", -900},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(session_.Prepare(c.text), 0) << c.text;
    EXPECT_EQ(session_.Execute(), c.expected) << c.text;
    EXPECT_EQ(session_.LastStatus().code, c.expected) << c.text;
  }
  // With the schema current, unqualified names are its tables.
  ASSERT_EQ(session_.Prepare("ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX"), 0);
  ASSERT_EQ(session_.Execute(), 0);
  Row row;
  EXPECT_EQ(SelectRow("select count(*) into :b0 from Zdx115Tfz", {}, 1, row), 0);
  EXPECT_EQ(row, Row{"1"});

  // A database without the system's schema holds none of that name.
  const auto bare = Database("CREATE TABLE Zdx115Tfz (TfzTrm TEXT);", false);
  ZX_REQUIRE_DB(*bare);
  EXPECT_EQ(bare->Connect(session_, "ZARDONIX"), -1435);
}

TEST_P(BackendContract, SelectIntoCodesAndUntouchedOutputs) {
  // T4's empty TrmSal is stored on purpose: it must read as NULL.
  ZX_OPEN(db, std::string(kAllowEmptyTexts) +
                  "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES "
                  "('T1', '7744-010', 'MS01', NULL), ('T2', 'A', 'B', 0), ('T2', 'C', 'D', NULL),"
                  " ('T3', 'E', 'F', 4), ('T4', NULL, '', 0), ('T5', 'G', 'H', 8),"
                  " ('', 'EMPTY', 'EMPTY', NULL);");
  const struct {
    const char* name;
    int32_t expected;
    Row row;
  } cases[] = {
      {"T1", 0, {"7744-010", "MS01"}},
      {"T2", -1422, {kNull, kNull}},  // a second row: nothing is copied
      {"T3", 1403, {kNull, kNull}},   // status 4 counts as absent
      {"T5", 1403, {kNull, kNull}},   // and so does 8
      {"T9", 1403, {kNull, kNull}},
      {"T4", 0, {kNull, kNull}},      // NULL and the empty text leave the outputs alone
      {"", 1403, {kNull, kNull}},     // an empty input is NULL and matches nothing, not ''
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(kSelectTerminal, {c.name}, 2, row), c.expected) << c.name;
    EXPECT_EQ(row, c.row) << c.name;
  }
}

TEST_P(BackendContract, CursorLifecycle) {
  ZX_OPEN(db,
          "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko) VALUES ('T', 2, 'B'), ('T', 1, 'A'),"
          " ('T', 3, 'C'), ('T', 5, 'E'), ('U', 1, 'X');");
  char zko[6] = "keep";
  int32_t reader = -7;
  const HostVar outputs[] = {IntegerVar(&reader), StringVar(zko, sizeof zko)};
  std::vector<In> inputs = {"T", int32_t{3}};
  const std::vector<HostVar> in = test::Bind(inputs);
  SqlCursor zls;

  EXPECT_EQ(zls.Fetch(outputs), -1001);
  EXPECT_EQ(zls.Close(), -1001);
  ASSERT_EQ(zls.Open(session_, kReaders, in), 0);
  ASSERT_EQ(zls.Fetch(outputs), 0);
  EXPECT_EQ(reader, 1);
  EXPECT_STREQ(zko, "A");
  // A re-OPEN closes the cursor and starts again at the first row.
  ASSERT_EQ(zls.Open(session_, kReaders, in), 0);
  std::vector<int32_t> readers;
  int32_t rc;
  while ((rc = zls.Fetch(outputs)) == 0) readers.push_back(reader);
  EXPECT_EQ(rc, 1403);
  EXPECT_EQ(readers, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(zls.Fetch(outputs), 1403);  // still at the end
  EXPECT_EQ(reader, 3);
  EXPECT_STREQ(zko, "C");
  EXPECT_EQ(zls.Close(), 0);
  EXPECT_EQ(zls.Fetch(outputs), -1001);
  EXPECT_EQ(zls.Close(), -1001);

  // A failing OPEN leaves the cursor closed, also when it was open before.
  ASSERT_EQ(zls.Open(session_, kReaders, in), 0);
  EXPECT_EQ(zls.Open(session_, "select ZlsLes from Zardonix.Nowhere where ZlsTrm=:b0 and ZlsLes<=:b1", in),
            -942);
  EXPECT_EQ(zls.Fetch(outputs), -1001);
}

TEST_P(BackendContract, OutputsAreWrittenOnlyWhenTheStatementSucceeds) {
  ZX_OPEN(db,
          "CREATE TABLE Conv (k INTEGER, a TEXT, b TEXT);"
          "INSERT INTO Conv VALUES (1, 'fine', 'abc'), (2, 'one', '1'), (2, 'two', '2'), (3, 'ok', '5');");
  constexpr const char* kText = "select a ,b into :b0:b1,:b2:b3  from Conv where k=:b4";
  const struct {
    int32_t key;
    int32_t code;
  } cases[] = {{1, -1722}, {2, -1422}, {4, 1403}};
  for (const auto& c : cases) {
    char text[10] = "keep";
    int32_t number = 9;
    int32_t key = c.key;
    const HostVar out[] = {StringVar(text, sizeof text), IntegerVar(&number)};
    const HostVar in[] = {IntegerVar(&key)};
    EXPECT_EQ(session_.SelectInto(kText, out, in), c.code) << "key " << c.key;
    EXPECT_STREQ(text, "keep") << "key " << c.key;
    EXPECT_EQ(number, 9) << "key " << c.key;
  }
  // A FETCH that fails on a later column leaves the earlier ones alone too.
  int32_t key = 1;
  const HostVar in[] = {IntegerVar(&key)};
  char text[10] = "keep";
  int32_t number = 9;
  const HostVar out[] = {StringVar(text, sizeof text), IntegerVar(&number)};
  SqlCursor cursor;
  ASSERT_EQ(cursor.Open(session_, "select a ,b  from Conv where k=:b0", in), 0);
  EXPECT_EQ(cursor.Fetch(out), -1722);
  EXPECT_STREQ(text, "keep");
  EXPECT_EQ(number, 9);
}

TEST_P(BackendContract, OrderingIsByteWiseWithOracleNullPlacement) {
  // Texts in every case and above ASCII in Windows-1252: 0x80 (the euro
  // sign), 0x9A, 0xC4 and 0xF1, whose Unicode forms sort another way. A1 has
  // two periods, one without a first day, and rows of one period with
  // different access classes.
  ZX_OPEN(db,
          "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T', 'a', '0'), ('T', 'B', '0'),"
          " ('T', NULL, '0'), ('T', 'Z', '0'), ('T', '_', '0'), ('T', 'b', '0'), ('T', '10', '0'),"
          " ('T', '\xF1', '0'), ('T', 'B', '0'), ('T', '\x80', '0'), ('T', '\x9A', '0'),"
          " ('T', '\xC4', '0'), ('T', NULL, '0');"
          "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) SELECT '1', M35Bkl FROM MGSST35P;"
          "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswBkl) VALUES "
          "('b1', '2020-01-01 00:00:00', NULL, 'X'), ('\xC4" "1', '2020-01-01 00:00:00', NULL, 'X'),"
          "('\x80" "1', '2020-01-01 00:00:00', NULL, 'X'), ('\x9A" "1', '2020-01-01 00:00:00', NULL, 'X'),"
          "('a1', '2020-01-01 00:00:00', NULL, 'X'), ('_1', '2020-01-01 00:00:00', NULL, 'X'),"
          "('B1', '2020-01-01 00:00:00', NULL, 'X'), ('10', '2020-01-01 00:00:00', NULL, 'X'),"
          "('A1', NULL, '2040-01-01 00:00:00', 'N'), ('A1', '2020-01-01 00:00:00', NULL, 'a'),"
          "('A1', '2020-01-01 00:00:00', NULL, NULL), ('A1', '2020-01-01 00:00:00', NULL, 'Z'),"
          "('A1', '2020-01-01 00:00:00', NULL, '\x80'), ('A1', '2020-01-01 00:00:00', NULL, '\xE4');"
          "INSERT INTO Zdx113Awv (AwvNum) SELECT DISTINCT AswNum FROM Zdx301Asw;");
  const std::string n = kNull;
  const struct {
    const char* statement;
    std::vector<std::string> expected;
  } cases[] = {
      {"select M35Bkl from Zardonix.MGSST35P where M35Trm=:b0 order by M35Bkl",
       {"10", "B", "B", "Z", "_", "a", "b", "\x80", "\x9A", "\xC4", "\xF1", n, n}},
      {"select M35Bkl from Zardonix.MGSST35P where M35Trm=:b0 order by M35Bkl desc",
       {n, n, "\xF1", "\xC4", "\x9A", "\x80", "b", "a", "_", "Z", "B", "B", "10"}},
      {"select distinct M35Bkl from Zardonix.MGSST35P where M35Trm=:b0 order by M35Bkl desc",
       {n, "\xF1", "\xC4", "\x9A", "\x80", "b", "a", "_", "Z", "B", "10"}},
  };
  for (const auto& c : cases) {
    int32_t end = 0;
    EXPECT_EQ(Column(FetchAll(c.statement, {"T"}, 1, end), 0), c.expected) << c.statement;
    EXPECT_EQ(end, 1403) << c.statement;
  }
  // The program's access-class cursor: distinct, descending, byte-wise.
  int32_t end = 0;
  EXPECT_EQ(Column(FetchAll(kAccessClasses, {"T", "1"}, 1, end), 0),
            (std::vector<std::string>{"\xF1", "\xC4", "\x9A", "\x80", "b", "a", "_", "Z", "B", "10"}));
  EXPECT_EQ(end, 1403);
  // The badge cursor: by number byte-wise, a badge's access classes NULL last.
  const std::vector<std::string> badges = {
      "10|20200101||X  |1",       "A1|20200101||Z  |1",       "A1|20200101||a  |1",
      "A1|20200101||\x80  |1",    "A1|20200101||\xE4  |1",    "A1|20200101||   |1",
      "A1||20400101|N  |1",       "B1|20200101||X  |1",       "_1|20200101||X  |1",
      "a1|20200101||X  |1",       "b1|20200101||X  |1",       "\x80" "1|20200101||X  |1",
      "\x9A" "1|20200101||X  |1", "\xC4" "1|20200101||X  |1",
  };
  EXPECT_EQ(FetchAllBadges(session_), badges);
}

TEST_P(BackendContract, OracleFunctions) {
  ZX_OPEN(db,
          "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswSpr, AswPin) VALUES"
          " ('1', '2024-02-29 13:45:10', '2040-12-31 23:59:59', NULL, 'ABCDEFGHIJKL'),"
          " ('2', NULL, NULL, 2, 'XY'),"
          " ('3', '1999-01-01 00:00:00', NULL, 0, '\xC3\xBC" "abc');");
  constexpr const char* kText =
      "select TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'YYYYMMDD') ,TO_CHAR(trunc(SYSDATE),"
      "'yyyymmdd') ,trunc(AswGvo) ,NVL(AswSpr,1) ,SubStr(AswPin,1,3) ,SubStr(AswPin,2,9) ,"
      "SubStr(AswPin,0,2) ,substr(AswPin,-2) ,SubStr(AswPin,5,1) into :b0:b1,:b2:b3,:b4:b5,"
      ":b6:b7,:b8:b9,:b10:b11,:b12:b13,:b14:b15,:b16:b17,:b18:b19  from Zardonix.Zdx301Asw"
      " where AswNum=:b20";
  const std::string today = test::YyyymmddFromToday(0);
  const struct {
    const char* key;
    Row row;
  } cases[] = {
      {"1", {"20240229", "20401231", today, "2024-02-29 00:00:00", "1", "ABC", "BCDEFGHIJ", "AB", "KL", "E"}},
      {"2", {kNull, kNull, today, kNull, "2", "XY", "Y", "XY", "XY", kNull}},
      // Any byte is one character: SubStr counts bytes, not UTF-8 sequences.
      {"3", {"19990101", kNull, today, "1999-01-01 00:00:00", "0", "\xC3\xBC" "a", "\xBC" "abc", "\xC3\xBC", "bc", "c"}},
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(kText, {c.key}, 10, row), 0) << "badge " << c.key;
    EXPECT_EQ(row, c.row) << "badge " << c.key;
  }
  Row row;
  EXPECT_EQ(SelectRow("select TO_CHAR(AswGvo,'yyyy-mm-dd hh24:mi:ss') into :b0  from Zardonix.Zdx301Asw"
                      " where AswNum=:b1",
                      {"1"}, 1, row),
            0);
  EXPECT_EQ(row, Row{"2024-02-29 13:45:10"});
}

TEST_P(BackendContract, BadgeValidityIsJudgedAgainstTodayAtMidnight) {
  using test::DateFromToday;
  using test::SqlLiteral;
  const struct {
    const char* badge;
    std::string first;  // "" for NULL
    std::string last;
    bool delivered;
  } cases[] = {
      {"A", DateFromToday(0, "00:00:00"), "", true},
      {"B", DateFromToday(0, "08:00:00"), "", false},
      {"C", "", DateFromToday(0, "23:59:59"), true},
      {"D", "", DateFromToday(-1, "23:59:59"), false},
      {"E", "", "", false},
      {"F", DateFromToday(-1, "12:00:00"), DateFromToday(1, "00:00:00"), true},
      {"G", DateFromToday(1, "00:00:00"), DateFromToday(5, "00:00:00"), false},
      {"H", DateFromToday(-9, "00:00:00"), DateFromToday(0, "00:00:00"), true},
  };
  std::string sql;
  for (const auto& c : cases) {
    sql += "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi) VALUES (" + SqlLiteral(c.badge) + ", " +
           SqlLiteral(c.first.empty() ? nullptr : c.first.c_str()) + ", " +
           SqlLiteral(c.last.empty() ? nullptr : c.last.c_str()) + ");" +
           "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES (" + SqlLiteral(c.badge) + ", 1);";
  }
  ZX_OPEN(db, sql);
  int32_t end = 0;
  const std::vector<Row> rows = FetchAll(kBadgeCursorAll, {}, 13, end);
  EXPECT_EQ(end, 1403);
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    if (c.delivered) expected.push_back(c.badge);
  }
  EXPECT_EQ(Column(rows, 0), expected);
}

TEST_P(BackendContract, FailuresMapToOracleCodes) {
  ZX_OPEN(db, "INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('T', 'M');");
  const struct {
    const char* text;
    std::vector<In> inputs;
    std::size_t outputs;
    int32_t expected;
  } cases[] = {
      {"select TrmMod into :b0  from Zardonix.Nowhere where TrmNam=:b1", {"T"}, 1, -942},
      {"select TrmMod into :b0  from Other.Zdx1140Trm where TrmNam=:b1", {"T"}, 1, -942},
      {"select TrmMod into :b0  from main.Zdx1140Trm where TrmNam=:b1", {"T"}, 1, -942},
      {"select TrmMod into :b0  from Nowhere where TrmNam=:b1", {"T"}, 1, -942},
      {"select TrmXyz into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", {"T"}, 1, -904},
      {"select Nofunc(TrmMod) into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", {"T"}, 1, -904},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where", {}, 1, -900},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where TrmNam='T", {}, 1, -900},
      {"select TrmMod into  from Zardonix.Zdx1140Trm", {}, 1, -900},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", {}, 1, -1008},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", {"T", "U"}, 1, -1006},
      {"select TrmMod into :b0,:b1  from Zardonix.Zdx1140Trm where TrmNam=:b2", {"T"}, 2, -1007},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", {"T"}, 1, 0},
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(c.text, c.inputs, c.outputs, row), c.expected) << c.text;
  }
}

TEST_P(BackendContract, FailureStatusCarriesTheDatabasesWords) {
  ZX_OPEN(db,
          "INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('T', 'M');"
          "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T', 1);");
  const BackendFixture& backend = GetParam();
  const struct {
    const char* text;
    int32_t code;
    std::string_view words;  // part of LastStatus().message
  } cases[] = {
      {"select TrmMod into :b0  from Zardonix.Nowhere where TrmNam=:b1", -942, backend.noSuchTable},
      {"select TrmXyz into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", -904, backend.noSuchColumn},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1 )", -900, backend.syntaxError},
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(c.text, {"T"}, 1, row), c.code) << c.text;
    EXPECT_EQ(session_.LastStatus().code, c.code) << c.text;
    EXPECT_NE(session_.LastStatus().message.find(c.words), std::string::npos)
        << c.text << ": " << session_.LastStatus().message;
    // The next statement that succeeds, or finds nothing, says nothing.
    EXPECT_EQ(SelectRow(kSelectTerminal, {"T"}, 2, row), 0);
    EXPECT_EQ(session_.LastStatus().code, 0);
    EXPECT_EQ(session_.LastStatus().message, "");
    EXPECT_EQ(SelectRow(kSelectTerminal, {"NOSUCH"}, 2, row), 1403);
    EXPECT_EQ(session_.LastStatus().message, "");
  }
  // A cursor that cannot be opened reports the same way.
  SqlCursor cursor;
  const HostVar in[] = {StringIn("T", 256)};
  EXPECT_EQ(cursor.Open(session_, "select ZlsLes from Zardonix.Nowhere where ZlsTrm=:b0", in), -942);
  EXPECT_NE(session_.LastStatus().message.find(backend.noSuchTable), std::string::npos)
      << session_.LastStatus().message;
  // The runtime's own refusals carry its words, not the last database's.
  Row row;
  EXPECT_EQ(SelectRow(kSelectTerminal, {}, 2, row), -1008);
  EXPECT_FALSE(session_.LastStatus().message.empty());
  EXPECT_EQ(session_.LastStatus().message.find(backend.noSuchTable), std::string::npos);
}

TEST_P(BackendContract, TwoSessionsOnTwoDatabasesAreIndependent) {
  ZX_OPEN(first,
          "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko) VALUES ('T', 1, 'A'), ('T', 2, 'B'), ('T', 3, 'C');"
          "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  const auto second = Database(
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko) VALUES ('T', 7, 'X');"
      "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T'), ('T'), ('T');");
  ZX_REQUIRE_DB(*second);
  SqlSession other;
  ASSERT_EQ(second->Connect(other), 0);

  std::vector<In> inputs = {"T", int32_t{9}};
  const std::vector<HostVar> in = test::Bind(inputs);
  int32_t reader = 0;
  const HostVar out[] = {IntegerVar(&reader)};
  SqlCursor mine;
  SqlCursor theirs;
  ASSERT_EQ(mine.Open(session_, kReaders, in), 0);
  ASSERT_EQ(theirs.Open(other, kReaders, in), 0);
  ASSERT_EQ(mine.Fetch(out), 0);
  EXPECT_EQ(reader, 1);
  const int64_t prepared = session_.PreparedStatementCount();

  // The same texts on the other session read the other database.
  ASSERT_EQ(theirs.Fetch(out), 0);
  EXPECT_EQ(reader, 7);
  EXPECT_EQ(CountAssignments(other), 3);
  EXPECT_EQ(CountAssignments(session_), 1);
  // The other session's failures, schema statement and end touch nothing here.
  Row row;
  EXPECT_EQ(test::SelectRow(other, "select x into :b0  from Zardonix.Nowhere", {}, 1, row), -942);
  EXPECT_EQ(other.Prepare("ALTER SESSION SET CURRENT_SCHEMA=OTHER"), 0);
  EXPECT_EQ(other.Execute(), -1435);
  EXPECT_EQ(session_.LastStatus().code, 0);
  EXPECT_EQ(session_.LastStatus().message, "");
  // This session's prepared schema statement is still its own.
  EXPECT_EQ(session_.Execute(), 0);
  other.Disconnect();
  EXPECT_FALSE(other.Connected());
  EXPECT_FALSE(theirs.IsOpen());
  EXPECT_EQ(theirs.Fetch(out), -1001);
  EXPECT_TRUE(session_.Connected());
  EXPECT_TRUE(mine.IsOpen());
  std::vector<int32_t> rest;
  int32_t rc = 0;
  while ((rc = mine.Fetch(out)) == 0) rest.push_back(reader);
  EXPECT_EQ(rc, 1403);
  EXPECT_EQ(rest, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(mine.Close(), 0);
  EXPECT_EQ(session_.PreparedStatementCount(), prepared + 1);  // only its own count statement
  EXPECT_EQ(other.PreparedStatementCount(), -1);
}

TEST_P(BackendContract, EveryStatementTextIsPreparedOncePerSession) {
  ZX_OPEN(db,
          "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T', 1), ('T', 2);"
          "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  const int64_t start = session_.PreparedStatementCount();
  ASSERT_GE(start, 0);
  Row row;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(SelectRow(kCountAssignments, {"T"}, 1, row), 0);
    EXPECT_EQ(row, Row{"1"});
  }
  EXPECT_EQ(session_.PreparedStatementCount(), start + 1);
  int32_t end = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(FetchAll(kReaders, {"T", int32_t{9}}, 2, end).size(), 2u);
  }
  EXPECT_EQ(session_.PreparedStatementCount(), start + 2);

  // Two cursors open on one text at once read independently.
  std::vector<In> inputs = {"T", int32_t{9}};
  const std::vector<HostVar> in = test::Bind(inputs);
  int32_t first = 0;
  int32_t second = 0;
  const HostVar outFirst[] = {IntegerVar(&first)};
  const HostVar outSecond[] = {IntegerVar(&second)};
  SqlCursor one;
  SqlCursor two;
  ASSERT_EQ(one.Open(session_, kReaders, in), 0);
  ASSERT_EQ(two.Open(session_, kReaders, in), 0);
  ASSERT_EQ(one.Fetch(outFirst), 0);
  ASSERT_EQ(one.Fetch(outFirst), 0);
  ASSERT_EQ(two.Fetch(outSecond), 0);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(one.Fetch(outFirst), 1403);
  EXPECT_EQ(two.Fetch(outSecond), 0);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(one.Close(), 0);
  EXPECT_EQ(two.Close(), 0);

  // A new session prepares anew.
  ASSERT_EQ(db->Connect(session_), 0);
  const int64_t again = session_.PreparedStatementCount();
  ASSERT_EQ(SelectRow(kCountAssignments, {"T"}, 1, row), 0);
  EXPECT_EQ(session_.PreparedStatementCount(), again + 1);
}

TEST_P(BackendContract, SessionReadsOneStateWhileAnotherConnectionWrites) {
  const char* write = "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');";
  ZX_OPEN(db, "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T'), ('T');");
  EXPECT_EQ(CountAssignments(session_), 2);
  // The writer commits, or waits for the session's end where the database
  // keeps writers out meanwhile; either way the session sees the old state.
  const std::string refused = db->Execute(write);
  EXPECT_EQ(CountAssignments(session_), 2) << "a row committed during the session is not seen";
  session_.Disconnect();
  if (!refused.empty()) {
    ASSERT_EQ(db->Execute(write), "");
  }
  ASSERT_EQ(db->Connect(session_), 0);
  EXPECT_EQ(CountAssignments(session_), 3) << "a new session sees it";
}

TEST_P(BackendContract, SessionNeverWrites) {
  ZX_OPEN(db, "");
  Row row;
  EXPECT_NE(SelectRow("insert into Zardonix.Zdx115Tfz (TfzTrm) values (:b0)", {"T"}, 0, row), 0);
  ASSERT_EQ(db->Connect(session_), 0);
  EXPECT_EQ(CountAssignments(session_), 0);
}

// A session of a backend that shares its state names it, and a session
// connected with that name reads it: a commit in between is not seen by
// either. A backend that cannot share refuses both, naming why.
TEST_P(BackendContract, SessionsShareOneStateWhereTheBackendCan) {
  ZX_OPEN(db, "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  std::string snapshot;
  SqlSession second;
  if (!session_.SharesState()) {
    EXPECT_EQ(session_.ExportSnapshot(snapshot), -900);
    EXPECT_NE(session_.LastStatus().message.find("cannot share"), std::string::npos);
    EXPECT_EQ(second.Connect(db->Login(), "any"), -900);
    EXPECT_NE(second.LastStatus().message.find("cannot share"), std::string::npos);
    EXPECT_FALSE(second.Connected());
    return;
  }
  ASSERT_EQ(session_.ExportSnapshot(snapshot), 0) << session_.LastStatus().message;
  EXPECT_FALSE(snapshot.empty());
  ASSERT_EQ(db->Execute("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');"), "");
  ASSERT_EQ(second.Connect(db->Login(), snapshot), 0) << second.LastStatus().message;
  ASSERT_EQ(second.Prepare("ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX"), 0);
  ASSERT_EQ(second.Execute(), 0);
  EXPECT_EQ(CountAssignments(second), 1);
  EXPECT_EQ(CountAssignments(session_), 1);
  SqlSession fresh;
  ASSERT_EQ(db->Connect(fresh), 0);
  EXPECT_EQ(CountAssignments(fresh), 2);
}

// Every statement text of the program, run on the demo data set.
TEST_P(BackendContract, ProgramStatementsOnTheDemoData) {
  ZX_OPEN(db, test::SourceFile("schema/demo_data.sql"));
  Row row;
  int32_t end = 0;

  EXPECT_EQ(SelectRow(kSelectTerminal, {"HAUPTEINGANG"}, 2, row), 0);
  EXPECT_EQ(row, (Row{"7744-010", "MS01"}));
  EXPECT_EQ(SelectRow(kSelectTerminal, {"LAGER"}, 2, row), 1403);  // deleted terminal
  EXPECT_EQ(SelectRow(kCountAssignments, {"HAUPTEINGANG"}, 1, row), 0);
  EXPECT_EQ(row, Row{"2"});
  EXPECT_EQ(SelectRow(kCountAssignments, {"WERKSTOR2"}, 1, row), 0);
  EXPECT_EQ(row, Row{"0"});

  const std::vector<std::string> filtered = {"10001", "10002", "10003", "10004", "10005", "10008",
                                             "10009", "10011", "10013", "10014", "10015", "10017"};
  std::vector<Row> rows = FetchAll(kBadgeCursorAssigned, {"HAUPTEINGANG"}, 13, end);
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(rows, 0), filtered);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (Row{"10001", "20200101", "20401231", "1001", "10", "VW", "Mitarbeiter", "1", "1",
                          kNull, kNull, "1", "4711"}));
  rows = FetchAll(kBadgeCursorAll, {}, 13, end);
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(rows, 0),
            (std::vector<std::string>{"10001", "10002", "10003", "10004", "10005", "10006", "10007",
                                      "10008", "10009", "10011", "10013", "10014", "10015", "10016",
                                      "10017", "10018"}));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[2][1], kNull);  // 10003 has no first day of validity
  EXPECT_EQ(rows[1][2], kNull);  // 10002 has no last day

  EXPECT_EQ(SelectRow(kCountTimeRights, {"HAUPTEINGANG", "10001"}, 1, row), 0);
  EXPECT_EQ(row, Row{"1"});
  EXPECT_EQ(SelectRow(kCountTimeRights, {"HAUPTEINGANG", "10008"}, 1, row), 0);
  EXPECT_EQ(row, Row{"0"});

  EXPECT_EQ(Column(FetchAll(kReaders, {"HAUPTEINGANG", int32_t{3}}, 2, end), 0),
            (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Column(FetchAll(kReaders, {"HAUPTEINGANG", int32_t{11}}, 2, end), 0),
            (std::vector<std::string>{"1", "2", "3", "9"}));
  EXPECT_EQ(Column(FetchAll(kReaders, {"KANTINE", int32_t{11}}, 2, end), 0),
            (std::vector<std::string>{"1"}));

  EXPECT_EQ(Column(FetchAll(kAccessClasses, {"HAUPTEINGANG", "10017"}, 1, end), 0),
            (std::vector<std::string>{"A1", "20", "10"}));
  EXPECT_EQ(end, 1403);

  EXPECT_EQ(SelectRow(kLocationText, {"10001"}, 1, row), 0);
  EXPECT_EQ(row, Row{"Verwaltung"});
  EXPECT_EQ(SelectRow(kLocationText, {"10014"}, 1, row), 1403);  // no location
  EXPECT_EQ(SelectRow(kLocationText, {"10015"}, 1, row), 1403);  // deleted location

  EXPECT_EQ(SelectRow(kBalanceData, {"10013"}, 41, row), 0);
  ASSERT_EQ(row.size(), 41u);
  EXPECT_EQ(row[0], "+   0,00");
  EXPECT_EQ(row[1], "-");
  EXPECT_EQ(row[2], "1234,567");
  EXPECT_EQ(row[3], "+");
  EXPECT_EQ(row[4], "    0,00");
  EXPECT_EQ(row[31], "Kontrolle Zeitkonto");
  EXPECT_EQ(row[33], kNull);
  EXPECT_EQ(SelectRow(kBalanceData, {"10004"}, 41, row), 1403);

  rows = FetchAll(kTerminalTexts, {"HAUPTEINGANG"}, 4, end);
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
  EXPECT_EQ(Column(rows, 1), (std::vector<std::string>{"1", "1", "1", "1", "2", "2", "1", "1"}));
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[3][2], "Ma&#241;ana frei");
  EXPECT_EQ(rows[4][3], "Info");
  EXPECT_EQ(rows[7][2], "Sollstunden im Mo");  // SubStr(FtxT50,1,17)
  EXPECT_EQ(Column(FetchAll(kTerminalTexts, {"WERKSTOR2"}, 4, end), 0),
            (std::vector<std::string>{"1", "2", "3", "5"}));

  EXPECT_EQ(SelectRow(kTerminalTextCode, {"HAUPTEINGANG", int32_t{5}}, 1, row), 0);
  EXPECT_EQ(row, Row{"#W21"});
  EXPECT_EQ(SelectRow(kTerminalTextCode, {"WERKSTOR2", int32_t{1}}, 1, row), 0);
  EXPECT_EQ(row, Row{"#W1"});
  EXPECT_EQ(SelectRow(kTerminalTextCode, {"HAUPTEINGANG", int32_t{9}}, 1, row), 1403);

  rows = FetchAll(kBadgeTexts, {"10003"}, 4, end);
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"1", "2", "3", "4"}));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][2], "Willkommen");
  EXPECT_EQ(rows[2][3], "Ihr Urlaub");
  EXPECT_TRUE(FetchAll(kBadgeTexts, {"10001"}, 4, end).empty());
  EXPECT_EQ(SelectRow(kBadgeTextCode, {"10003", int32_t{4}}, 1, row), 0);
  EXPECT_EQ(row, Row{"#W22"});
}
// Everything the program's query operations read for each terminal and
// badge of a database, one line per operation with its session.LastStatus().code.
std::string DumpQueries(SqlSession& session) {
  std::string dump;
  auto line = [&dump](const std::string& text) { dump += text + "\n"; };
  std::string printed;
  Diagnostics diagnostics(&printed, &printed);
  AccessRightList rightList;
  for (const char* name : {"HAUPTEINGANG", "WERKSTOR2", "KANTINE", "LAGER", "NOSUCH"}) {
    TerminalParams terminal{};
    FillTerminalParamsWithZeros(terminal);
    SetField(terminal.TrmNam, name);
    const int32_t rc = ReadTerminal(session, terminal);
    line(std::string("terminal ") + name + " " + std::to_string(rc) + " " +
         std::string(FieldText(terminal.TrmMod)) + " " + std::string(FieldText(terminal.TrmSal)) +
         " " + std::to_string(terminal.TfzCount));
    DisplayText text{};
    DisplayTextCursor textCursor;
    std::string texts = "  texts " + std::to_string(OpenTerminalTextCursor(session, textCursor, name));
    int32_t read = 0;
    while ((read = ReadTerminalText(textCursor, text)) == 0) {
      texts += " [" + std::to_string(text.MsdLfd) + "," + std::to_string(text.MsdSpl) + "," +
               std::string(FieldText(text.Txt)) + "," + std::string(FieldText(text.Con)) + "]";
    }
    line(texts + " end " + std::to_string(read));
    CloseTerminalTextCursor(textCursor);

    BadgeCursor badges;
    line("  open " + std::to_string(OpenBadgeCursor(session, badges, terminal)));
    BadgeRecord record{};
    for (;;) {
      ClearBadgeRecord(record);
      const int32_t fetched = FetchBadge(badges, record);
      if (fetched != 0) {
        line("  fetch end " + std::to_string(fetched));
        break;
      }
      std::string badge = "  badge";
      for (std::string_view field :
           {FieldText(record.AswNum), FieldText(record.AswGvo), FieldText(record.AswGbi),
            FieldText(record.AswSal), FieldText(record.AswSpr), FieldText(record.AswBkl),
            FieldText(record.AswBk2), FieldText(record.AwvSto), FieldText(record.AswGrp),
            FieldText(record.AswPnr), FieldText(record.AswAtp), FieldText(record.AswPin)}) {
        badge.append("|").append(field);
      }
      line(badge);
      line("    time " + std::to_string(HasTimeRight(session, diagnostics, record, name)));
      std::string rights = "    access " + std::to_string(CollectAccessRights(session, diagnostics, record, name, 11, 1, rightList));
      for (const AccessRightEntry& entry : rightList) rights += " [" + std::string(FieldText(entry)) + "]";
      for (const auto& slot : record.ReaderSlots) rights.append("|").append(FieldText(slot));
      line(rights);
      const int32_t location = ReadLocationText(session, record);
      line("    location " + std::to_string(location) + " " + std::string(FieldText(record.StoKtx)));
      std::string balance = "    balance " + std::to_string(ReadBalanceData(session, record));
      for (std::string_view field :
           {FieldText(record.TswW02), FieldText(record.TswW03), FieldText(record.TswW09),
            FieldText(record.TswW16), FieldText(record.TswF01), FieldText(record.TswF10)}) {
        balance.append("|").append(field);
      }
      line(balance);
      DisplayTextCursor badgeTextCursor;
      std::string badgeTexts =
          "    texts " +
          std::to_string(OpenBadgeTextCursor(session, badgeTextCursor, FieldText(record.AswNum)));
      DisplayText badgeText{};
      while ((read = ReadBadgeText(badgeTextCursor, badgeText)) == 0) {
        badgeTexts += " [" + std::to_string(badgeText.MsdLfd) + "," +
                      std::string(FieldText(badgeText.Txt)) + "," +
                      std::string(FieldText(badgeText.Con)) + "]";
      }
      line(badgeTexts + " end " + std::to_string(read));
      CloseBadgeTextCursor(badgeTextCursor);
    }
    CloseBadgeCursor(badges);
  }
  return dump;
}

// Every query operation of the program gives on this backend what it gives
// on the reference backend (the first fixture), on the demo data; a second
// pass prepares nothing new.
TEST_P(BackendContract, EveryQueryOperationGivesWhatTheReferenceGives) {
  const std::string demo = test::SourceFile("schema/demo_data.sql");
  ASSERT_FALSE(demo.empty());
  ZX_OPEN(db, demo);
  const auto reference = test::BackendFixtures()[0].create(demo, true);
  ASSERT_TRUE(reference->ok()) << reference->error();
  SqlSession referenceSession;
  ASSERT_EQ(reference->Connect(referenceSession), 0);
  const std::string expected = DumpQueries(referenceSession);

  const int64_t prepared = session_.PreparedStatementCount();
  const std::string actual = DumpQueries(session_);
  EXPECT_EQ(actual, expected);
  // The demo data exercise every statement with rows.
  EXPECT_NE(actual.find("badge|10001|"), std::string::npos) << actual;
  EXPECT_NE(actual.find("balance 0|"), std::string::npos) << actual;
  EXPECT_EQ(actual.find(" -"), std::string::npos) << "no statement failed:\n" << actual;
  // A second pass prepares nothing new: each text was prepared once.
  const int64_t afterFirst = session_.PreparedStatementCount();
  EXPECT_GT(afterFirst, prepared);
  EXPECT_EQ(DumpQueries(session_), actual);
  EXPECT_EQ(session_.PreparedStatementCount(), afterFirst);
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, BackendContract,
                         ::testing::ValuesIn(test::BackendFixtures().begin(),
                                             test::BackendFixtures().end()),
                         [](const ::testing::TestParamInfo<BackendFixture>& backend) {
                           return std::string(backend.param.name);
                         });

}  // namespace
}  // namespace zx
