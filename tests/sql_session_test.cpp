// The SQL runtime on real SQLite files: status codes, host variable rules,
// cursors, the schema statement, Oracle's ordering and functions, statement
// reuse, the session's one read state, and every statement text of the
// program against the demo data.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "queries/statements.h"
#include "sql/session.h"
#include "sql/sqlite/sqlite_handles.h"
#include "tests/support/sqlite_fixture.h"

namespace zx {
namespace {

using test::kAllowEmptyTexts;
using test::SqliteDatabase;

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

constexpr const char* kNull = "<NULL>";  // what an output holds when the runtime left it alone

// An input host variable: a STRING of 256 (as the program binds its texts) or an INTEGER.
struct In {
  In(const char* value) : text(value) {}
  In(std::string value) : text(std::move(value)) {}
  In(int32_t value) : number(value), isInteger(true) {}
  std::string text;
  int32_t number = 0;
  bool isInteger = false;
};

std::vector<HostVar> Bind(std::vector<In>& inputs) {
  std::vector<HostVar> vars;
  for (In& in : inputs) {
    vars.push_back(in.isInteger ? IntegerVar(&in.number) : StringIn(in.text.c_str(), 256));
  }
  return vars;
}

using Row = std::vector<std::string>;

// STRING outputs of 256, each preset to kNull before the statement.
struct Outputs {
  explicit Outputs(std::size_t columns) : buffers(columns) {
    for (auto& buffer : buffers) vars.push_back(StringVar(buffer.data(), 256));
    Preset();
  }
  void Preset() {
    for (auto& buffer : buffers) std::snprintf(buffer.data(), buffer.size(), "%s", kNull);
  }
  Row Values() const {
    Row row;
    for (const auto& buffer : buffers) row.emplace_back(buffer.data());
    return row;
  }
  std::vector<std::array<char, 256>> buffers;
  std::vector<HostVar> vars;
};

std::vector<std::string> Column(const std::vector<Row>& rows, std::size_t column) {
  std::vector<std::string> values;
  for (const Row& row : rows) values.push_back(row.at(column));
  return values;
}

// SELECT INTO of `text` through `session` into `columns` STRING outputs.
int32_t SelectRow(SqlSession& session, std::string_view text, std::vector<In> inputs,
                  std::size_t columns, Row& row) {
  Outputs out(columns);
  const std::vector<HostVar> in = Bind(inputs);
  const int32_t rc = session.SelectInto(text, out.vars, in);
  EXPECT_EQ(rc, session.LastStatus().code);
  row = out.Values();
  return rc;
}

// Opens `text` as a cursor on `session`, fetches every row and closes it;
// `end` is the code of the last fetch (1403 at the normal end).
std::vector<Row> FetchAll(SqlSession& session, std::string_view text, std::vector<In> inputs,
                          std::size_t columns, int32_t& end) {
  std::vector<Row> rows;
  const std::vector<HostVar> in = Bind(inputs);
  SqlCursor cursor;
  end = cursor.Open(session, text, in);
  if (end != 0) return rows;
  Outputs out(columns);
  while ((end = cursor.Fetch(out.vars)) == 0) {
    rows.push_back(out.Values());
    out.Preset();
  }
  EXPECT_EQ(cursor.Close(), 0);
  return rows;
}

// The assignments of terminal "T" as `session` counts them.
int32_t CountAssignments(SqlSession& session) {
  int32_t count = -1;
  const HostVar out[] = {IntegerVar(&count)};
  const HostVar in[] = {StringIn("T", 256)};
  EXPECT_EQ(session.SelectInto(kCountAssignments, out, in), 0);
  return count;
}

class SqlRuntimeTest : public ::testing::Test {
 protected:
  // A database of the schema plus `sql`, connected with the schema set.
  void Open(SqliteDatabase& db) {
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db.Connect(session_), 0);
  }

  int32_t SelectRow(std::string_view text, std::vector<In> inputs, std::size_t columns, Row& row) {
    return zx::SelectRow(session_, text, std::move(inputs), columns, row);
  }
  std::vector<Row> FetchAll(std::string_view text, std::vector<In> inputs, std::size_t columns,
                            int32_t& end) {
    return zx::FetchAll(session_, text, std::move(inputs), columns, end);
  }

  SqlSession session_;
};

TEST_F(SqlRuntimeTest, EveryStatementBeforeConnectIsNotLoggedOn) {
  session_.Disconnect();
  char text[11] = "keep";
  int32_t number = 5;
  const HostVar outputs[] = {StringVar(text, sizeof text), IntegerVar(&number)};
  EXPECT_EQ(session_.SelectInto(kSelectTerminal, outputs, {}), -1012);
  EXPECT_EQ(session_.LastStatus().code, -1012);
  SqlCursor cursor;
  EXPECT_EQ(cursor.Open(session_, kReaders, {}), -1012);
  EXPECT_FALSE(cursor.IsOpen());
  EXPECT_EQ(cursor.Fetch(outputs), -1001);  // the OPEN failed: the cursor is not open
  EXPECT_EQ(cursor.Close(), -1001);
  EXPECT_EQ(session_.Prepare("ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX"), -1012);
  EXPECT_EQ(session_.Execute(), -1012);
  EXPECT_EQ(session_.PreparedStatementCount(), -1);
  EXPECT_STREQ(text, "keep");
  EXPECT_EQ(number, 5);
}

TEST_F(SqlRuntimeTest, ConnectFailuresLeaveNoSession) {
  SqliteDatabase db;
  ASSERT_TRUE(db.ok()) << db.error();
  const std::string garbage = db.directory() + "/garbage.db";
  std::ofstream(garbage) << "this is not a database file, just some text that is long enough\n";
  const std::string tooLong = "zeprink/" + std::string(80, 'x') + "@" + db.NetService();
  const struct {
    std::string login;
    int32_t expected;
  } cases[] = {
      {"zeprink/geheim@sqlite:" + db.directory() + "/missing.db", -12154},
      {"zeprink/geheim@sqlite:" + db.directory() + "/nodir/zardonix.db", -12154},
      {"zeprink/geheim@sqlite:" + garbage, -1034},
      {"zeprink/geheim@sqlite:" + db.directory(), -1034},
      {"zeprink/geheim@sqlite:", -12154},
      // No '/' anywhere (the net service holds none either): no password.
      {"zeprink@sqlite:zardonix.db", -1017},
      {tooLong, -2084},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db.Connect(session_), 0);  // a failed CONNECT also ends the session before it
    EXPECT_EQ(session_.Connect(c.login.c_str()), c.expected) << c.login;
    EXPECT_EQ(session_.LastStatus().code, c.expected) << c.login;
    Row row;
    EXPECT_EQ(SelectRow(kCountAssignments, {"T"}, 1, row), -1012) << c.login;
  }
}

TEST_F(SqlRuntimeTest, AFileTheUserMayNotOpenIsNamedWithTheSystemsWords) {
  // SQLite alone says "unable to open database file": the reason must also
  // say which file and why (here: the user may not read it).
  SqliteDatabase db;
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(chmod(db.directory().c_str(), 0755), 0);
  ASSERT_EQ(chmod(db.path().c_str(), 0600), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    if (geteuid() == 0) _exit(99);
    SqlSession session;
    session.Connect(("zeprink/geheim@sqlite:" + db.path()).c_str());
    const std::string expected = db.path() + ": unable to open database file (Permission denied)";
    const std::string& message = session.LastStatus().message;
    if (message.find(expected) == std::string::npos) {
      std::fprintf(stderr, "message: %s\n", message.c_str());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_EQ(chmod(db.directory().c_str(), 0700), 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 99) GTEST_SKIP() << "no unprivileged user 65534";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see the message above";
}

TEST_F(SqlRuntimeTest, ConnectStringSplitsAtFirstSlashAndLastAt) {
  SqliteDatabase db("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  ASSERT_TRUE(db.ok()) << db.error();
  const std::string tail = std::string("@").append(db.NetService());
  const std::string exactly100 = std::string(100 - tail.size() - 2, 'u') + "/p" + tail;
  ASSERT_EQ(exactly100.size(), 100u);
  const std::string logins[] = {
      "zeprink/pa/ss@w@rd" + tail,  // a password may hold '/' and '@'
      "/" + tail,                   // empty user and password: no logins here
      exactly100,                   // the longest connect string, not cut
  };
  for (const std::string& login : logins) {
    EXPECT_EQ(session_.Connect(login.c_str()), 0) << login;
    Row row;
    EXPECT_EQ(SelectRow(kCountAssignments, {"T"}, 1, row), 0) << login;
    EXPECT_EQ(row, Row{"1"}) << login;
  }
}

TEST_F(SqlRuntimeTest, CurrentSchemaStatement) {
  SqliteDatabase db;
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(session_.Connect(db.ConnectString().c_str()), 0);
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
      {"SELECT 1", -900},
      {"", -900},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(session_.Prepare(c.text), 0) << c.text;
    EXPECT_EQ(session_.Execute(), c.expected) << c.text;
    EXPECT_EQ(session_.LastStatus().code, c.expected) << c.text;
  }

  // A database file without the schema marker holds no schema.
  SqliteDatabase bare("CREATE TABLE Zdx115Tfz (TfzTrm TEXT);", false);
  ASSERT_TRUE(bare.ok()) << bare.error();
  EXPECT_EQ(bare.Connect(session_, "ZARDONIX"), -1435);
}

TEST_F(SqlRuntimeTest, SelectIntoCodesAndUntouchedOutputs) {
  // T4's empty TrmSal is stored on purpose: it must read as NULL.
  SqliteDatabase db(
      std::string(kAllowEmptyTexts) +
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T1', '7744-010', 'MS01', NULL);"
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T2', 'A', 'B', 0);"
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T2', 'C', 'D', NULL);"
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T3', 'E', 'F', 4);"
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSta) VALUES ('T4', NULL, '', 0);");
  Open(db);
  const struct {
    const char* name;
    int32_t expected;
    Row row;
  } cases[] = {
      {"T1", 0, {"7744-010", "MS01"}},
      {"T2", -1422, {kNull, kNull}},  // a second row: nothing is copied
      {"T3", 1403, {kNull, kNull}},   // status 4 counts as absent
      {"T9", 1403, {kNull, kNull}},
      {"T4", 0, {kNull, kNull}},      // NULL and the empty text leave the outputs alone
      {"", 1403, {kNull, kNull}},     // an empty input is NULL and matches nothing
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(kSelectTerminal, {c.name}, 2, row), c.expected) << c.name;
    EXPECT_EQ(row, c.row) << c.name;
  }
}

TEST_F(SqlRuntimeTest, CursorLifecycle) {
  SqliteDatabase db(
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko) VALUES ('T', 2, 'B'), ('T', 1, 'A'),"
      " ('T', 3, 'C'), ('T', 5, 'E'), ('U', 1, 'X');");
  Open(db);
  char zko[6] = "keep";
  int32_t reader = -7;
  const HostVar outputs[] = {IntegerVar(&reader), StringVar(zko, sizeof zko)};
  std::vector<In> inputs = {"T", int32_t{3}};
  const std::vector<HostVar> in = Bind(inputs);
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

TEST_F(SqlRuntimeTest, HostVariableConversion) {
  SqliteDatabase db(
      "CREATE TABLE Conv (k INTEGER, v);"
      "INSERT INTO Conv VALUES (1, 42), (2, ' 42 '), (3, '-17'), (4, '+7'), (5, '12.9'),"
      " (6, '-12.9'), (7, '1e3'), (8, 3.99), (9, -3.99), (10, 'abc'), (11, '12abc'),"
      " (12, '   '), (13, 2147483647), (14, 2147483648), (15, -2147483649), (16, '99999999999'),"
      " (17, 1e300), (18, NULL), (19, ''), (20, '.5'), (21, '4.'), (22, 'e5'), (23, '1e'),"
      " (24, '- 1'), (25, -2147483648);");
  Open(db);
  constexpr const char* kText = "select v from Conv where k=:b0";
  const struct {
    int32_t key;
    int32_t code;
    int32_t value;  // the output after the statement, preset 777
  } cases[] = {
      {1, 0, 42},           {2, 0, 42},           {3, 0, -17},     {4, 0, 7},
      {5, 0, 12},           {6, 0, -12},          {7, 0, 1000},    {8, 0, 3},
      {9, 0, -3},           {10, -1722, 777},     {11, -1722, 777}, {12, -1722, 777},
      {13, 0, 2147483647},  {14, -1455, 777},     {15, -1455, 777}, {16, -1455, 777},
      {17, -1455, 777},     {18, 0, 777},         {19, 0, 777},    {20, 0, 0},
      {21, 0, 4},           {22, -1722, 777},     {23, -1722, 777}, {24, -1722, 777},
      {25, 0, INT32_MIN},
  };
  for (const auto& c : cases) {
    int32_t value = 777;
    int32_t key = c.key;
    const HostVar out[] = {IntegerVar(&value)};
    const HostVar in[] = {IntegerVar(&key)};
    EXPECT_EQ(session_.SelectInto(kText, out, in), c.code) << "row " << c.key;
    EXPECT_EQ(value, c.value) << "row " << c.key;
  }

  // STRING outputs: at most length - 1 bytes, always terminated.
  session_.Disconnect();  // the session's read lock keeps writers out
  ASSERT_TRUE(db.Execute("INSERT INTO Conv VALUES (30, 'ABCDEFGHIJ'), (31, 'AB'), (32, 2.5),"
                         " (33, 0.5), (34, -7);").empty());
  const struct {
    int32_t key;
    int32_t length;
    const char* text;
  } strings[] = {
      {30, 5, "ABCD"}, {30, 11, "ABCDEFGHIJ"}, {30, 1, ""}, {31, 5, "AB"},
      {32, 9, "2.5"},  {33, 9, ".5"},          {34, 9, "-7"}, {18, 9, "keep"}, {19, 9, "keep"},
  };
  ASSERT_EQ(db.Connect(session_), 0);
  for (const auto& c : strings) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, "keep", 5);
    char before[16];
    std::memcpy(before, buffer, sizeof buffer);
    int32_t key = c.key;
    const HostVar out[] = {StringVar(buffer, c.length)};
    const HostVar in[] = {IntegerVar(&key)};
    EXPECT_EQ(session_.SelectInto(kText, out, in), 0) << "row " << c.key;
    EXPECT_STREQ(buffer, c.text) << "row " << c.key << " length " << c.length;
    EXPECT_EQ(std::memcmp(buffer + c.length, before + c.length, sizeof buffer - c.length), 0)
        << "written beyond the length, row " << c.key << " length " << c.length;
  }
}

TEST_F(SqlRuntimeTest, OutputsAreWrittenOnlyWhenTheStatementSucceeds) {
  SqliteDatabase db(
      "CREATE TABLE Conv (k INTEGER, a, b);"
      "INSERT INTO Conv VALUES (1, 'fine', 'abc'), (2, 'one', 1), (2, 'two', 2), (3, 'ok', 5);");
  Open(db);
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

TEST_F(SqlRuntimeTest, OrderingIsByteWiseWithOracleNullPlacement) {
  SqliteDatabase db(
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T', 'a', '0'), ('T', 'B', '0'),"
      " ('T', NULL, '0'), ('T', 'Z', '0'), ('T', '_', '0'), ('T', 'b', '0'), ('T', '10', '0'),"
      " ('T', CAST(X'F1' AS TEXT), '0'), ('T', 'B', '0');"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) SELECT '1', M35Bkl FROM MGSST35P;");
  Open(db);
  const std::string n = kNull;
  const std::string f1 = "\xF1";
  int32_t end = 0;
  EXPECT_EQ(Column(FetchAll("select M35Bkl from Zardonix.MGSST35P where M35Trm=:b0 order by M35Bkl",
                            {"T"}, 1, end), 0),
            (std::vector<std::string>{"10", "B", "B", "Z", "_", "a", "b", f1, n}));
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(FetchAll("select M35Bkl from Zardonix.MGSST35P where M35Trm=:b0 order by M35Bkl desc",
                            {"T"}, 1, end), 0),
            (std::vector<std::string>{n, f1, "b", "a", "_", "Z", "B", "B", "10"}));
  // The program's access-class cursor: distinct, descending, byte-wise.
  EXPECT_EQ(Column(FetchAll(kAccessClasses, {"T", "1"}, 1, end), 0),
            (std::vector<std::string>{f1, "b", "a", "_", "Z", "B", "10"}));
  EXPECT_EQ(end, 1403);
}

TEST_F(SqlRuntimeTest, OracleFunctions) {
  SqliteDatabase db(
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswSpr, AswPin) VALUES"
      " ('1', '2024-02-29 13:45:10', '2040-12-31 23:59:59', NULL, 'ABCDEFGHIJKL'),"
      " ('2', NULL, NULL, 2, 'XY'),"
      " ('3', '1999-01-01 00:00:00', NULL, 0, CAST(X'C3BC616263' AS TEXT)),"
      " ('4', '2024-2-3', NULL, 1, 'bad date');");
  Open(db);
  constexpr const char* kText =
      "select TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'YYYYMMDD') ,TO_CHAR(trunc(SYSDATE),"
      "'yyyymmdd') ,trunc(AswGvo) ,NVL(AswSpr,1) ,SubStr(AswPin,1,3) ,SubStr(AswPin,2,9) ,"
      "SubStr(AswPin,0,2) ,substr(AswPin,-2) ,SubStr(AswPin,5,1) into :b0:b1,:b2:b3,:b4:b5,"
      ":b6:b7,:b8:b9,:b10:b11,:b12:b13,:b14:b15,:b16:b17,:b18:b19  from Zardonix.Zdx301Asw"
      " where AswNum=:b20";
  const std::string today = test::YyyymmddFromToday(0);
  const struct {
    const char* key;
    int32_t code;
    Row row;
  } cases[] = {
      {"1", 0, {"20240229", "20401231", today, "2024-02-29 00:00:00", "1", "ABC", "BCDEFGHIJ", "AB", "KL", "E"}},
      {"2", 0, {kNull, kNull, today, kNull, "2", "XY", "Y", "XY", "XY", kNull}},
      // Any byte is one character: SubStr counts bytes, not UTF-8 sequences.
      {"3", 0, {"19990101", kNull, today, "1999-01-01 00:00:00", "0", "\xC3\xBC" "a", "\xBC" "abc", "\xC3\xBC", "bc", "c"}},
      {"4", -1861, Row(10, kNull)},  // a stored date not in the fixed form
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(kText, {c.key}, 10, row), c.code) << "badge " << c.key;
    EXPECT_EQ(row, c.row) << "badge " << c.key;
  }
  Row row;
  EXPECT_EQ(SelectRow("select TO_CHAR(AswGvo,'dd.mm.yy') into :b0  from Zardonix.Zdx301Asw where AswNum=:b1",
                      {"1"}, 1, row),
            -1821);
  EXPECT_EQ(SelectRow("select TO_CHAR(AswGvo,'yyyy-mm-dd hh24:mi:ss') into :b0  from Zardonix.Zdx301Asw"
                      " where AswNum=:b1",
                      {"1"}, 1, row),
            0);
  EXPECT_EQ(row, Row{"2024-02-29 13:45:10"});
}

TEST_F(SqlRuntimeTest, BadgeValidityIsJudgedAgainstTodayAtMidnight) {
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
  SqliteDatabase db(sql);
  Open(db);
  int32_t end = 0;
  const std::vector<Row> rows = FetchAll(kBadgeCursorAll, {}, 13, end);
  EXPECT_EQ(end, 1403);
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    if (c.delivered) expected.push_back(c.badge);
  }
  EXPECT_EQ(Column(rows, 0), expected);
}

TEST_F(SqlRuntimeTest, FailuresMapToOracleCodes) {
  SqliteDatabase db("INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('T', 'M');");
  Open(db);
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

TEST_F(SqlRuntimeTest, FailureStatusCarriesTheDatabasesWords) {
  SqliteDatabase db(
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod) VALUES ('T', 'M');"
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T', 1);");
  Open(db);
  const struct {
    const char* text;
    int32_t code;
    const char* words;  // part of LastStatus().message
  } cases[] = {
      {"select TrmMod into :b0  from Zardonix.Nowhere where TrmNam=:b1", -942, "no such table"},
      {"select TrmXyz into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1", -904, "no such column"},
      {"select TrmMod into :b0  from Zardonix.Zdx1140Trm where TrmNam=:b1 )", -900, "syntax error"},
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
  EXPECT_NE(session_.LastStatus().message.find("no such table"), std::string::npos)
      << session_.LastStatus().message;
  // The runtime's own refusals carry its words, not the last database's.
  Row row;
  EXPECT_EQ(SelectRow(kSelectTerminal, {}, 2, row), -1008);
  EXPECT_FALSE(session_.LastStatus().message.empty());
  EXPECT_EQ(session_.LastStatus().message.find("no such table"), std::string::npos);
}

TEST_F(SqlRuntimeTest, TwoSessionsOnTwoDatabasesAreIndependent) {
  SqliteDatabase first(
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko) VALUES ('T', 1, 'A'), ('T', 2, 'B'), ('T', 3, 'C');"
      "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  SqliteDatabase second(
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko) VALUES ('T', 7, 'X');"
      "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T'), ('T'), ('T');");
  Open(first);
  ASSERT_TRUE(second.ok()) << second.error();
  SqlSession other;
  ASSERT_EQ(second.Connect(other), 0);

  std::vector<In> inputs = {"T", int32_t{9}};
  const std::vector<HostVar> in = Bind(inputs);
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
  EXPECT_EQ(zx::SelectRow(other, "select x into :b0  from Zardonix.Nowhere", {}, 1, row), -942);
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

TEST_F(SqlRuntimeTest, EveryStatementTextIsPreparedOncePerSession) {
  SqliteDatabase db(
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T', 1), ('T', 2);"
      "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  Open(db);
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
  const std::vector<HostVar> in = Bind(inputs);
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
  ASSERT_EQ(db.Connect(session_), 0);
  const int64_t again = session_.PreparedStatementCount();
  ASSERT_EQ(SelectRow(kCountAssignments, {"T"}, 1, row), 0);
  EXPECT_EQ(session_.PreparedStatementCount(), again + 1);
}

TEST_F(SqlRuntimeTest, SessionReadsOneStateWhileAnotherConnectionWrites) {
  const char* rows = "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T'), ('T');";
  const char* write = "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');";

  // Rollback journal: the session's shared lock keeps a writer from
  // committing while the session lasts; the session sees the old state.
  {
    SqliteDatabase db(rows);
    Open(db);
    EXPECT_EQ(CountAssignments(session_), 2);
    const std::string error = db.Execute(write);
    EXPECT_NE(error.find("locked"), std::string::npos) << "writer: " << error;
    EXPECT_EQ(CountAssignments(session_), 2);
    session_.Disconnect();
    EXPECT_TRUE(db.Execute(write).empty());
    ASSERT_EQ(db.Connect(session_), 0);
    EXPECT_EQ(CountAssignments(session_), 3);
  }
  // WAL: the writer commits; the session keeps its snapshot from CONNECT on,
  // even before its first statement.
  {
    SqliteDatabase db(std::string("PRAGMA journal_mode=WAL;") + rows);
    Open(db);
    EXPECT_TRUE(db.Execute(write).empty());
    EXPECT_EQ(CountAssignments(session_), 2);
    EXPECT_TRUE(db.Execute(write).empty());
    EXPECT_EQ(CountAssignments(session_), 2);
    ASSERT_EQ(db.Connect(session_), 0);
    EXPECT_EQ(CountAssignments(session_), 4);
  }
}

// The change probe of the embedded database: a commit of another
// connection gives a new mark, in either journal mode, also while a session
// holds its state; reads without a commit give the same mark; a file put
// in place of the database (a restore) gives a new one.
TEST_F(SqlRuntimeTest, ChangeProbeMarksEveryCommitOfAnotherConnection) {
  const char* write = "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');";
  for (const char* mode : {"", "PRAGMA journal_mode=WAL;"}) {
    SqliteDatabase db(mode);
    Open(db);
    std::unique_ptr<ChangeProbe> probe;
    ASSERT_EQ(session_.OpenChangeProbe(probe), 0) << session_.LastStatus().message;
    session_.Disconnect();
    std::string first;
    std::string again;
    ASSERT_EQ(probe->Read(first), 0) << probe->Message();
    ASSERT_EQ(probe->Read(again), 0);
    EXPECT_EQ(again, first) << mode;
    ASSERT_EQ(db.Execute(write), "");
    std::string changed;
    ASSERT_EQ(probe->Read(changed), 0);
    EXPECT_NE(changed, first) << mode;

    // Another file of the same content in its place.
    const std::string copy = db.path() + ".restored";
    std::filesystem::copy_file(db.path(), copy);
    std::filesystem::rename(copy, db.path());
    std::string restored;
    ASSERT_EQ(probe->Read(restored), 0) << probe->Message();
    EXPECT_NE(restored, changed) << mode;
    std::string settled;
    ASSERT_EQ(probe->Read(settled), 0);
    EXPECT_EQ(settled, restored) << mode;
  }
}

TEST_F(SqlRuntimeTest, SessionNeverWritesTheFile) {
  SqliteDatabase db;
  Open(db);
  Row row;
  EXPECT_NE(SelectRow("insert into Zardonix.Zdx115Tfz (TfzTrm) values (:b0)", {"T"}, 0, row), 0);
  session_.Disconnect();
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  DatabasePtr check(raw);
  sqlite3_stmt* rawStatement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*) FROM Zdx115Tfz", -1, &rawStatement, nullptr), SQLITE_OK);
  StatementPtr statement(rawStatement);
  ASSERT_EQ(sqlite3_step(statement.get()), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(statement.get(), 0), 0);
}

// Every statement text of the program, run on the demo data set.
TEST_F(SqlRuntimeTest, ProgramStatementsOnTheDemoData) {
  SqliteDatabase db(test::SourceFile("schema/demo_data.sql"));
  Open(db);
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

}  // namespace
}  // namespace zx
