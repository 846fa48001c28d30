// The embedded database: what only it gives (files as net services, its
// journal modes and locks, columns of any type, dates stored as text, its
// change probe) on real SQLite files. What every backend gives is in
// backend_contract_test.cpp.
#include <gtest/gtest.h>
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
#include "tests/support/sql_rows.h"
#include "tests/support/sqlite_fixture.h"

namespace zx {
namespace {

using test::CountAssignments;
using test::In;
using test::kNull;
using test::Row;
using test::SqliteDatabase;

class SqlRuntimeTest : public ::testing::Test {
 protected:
  // A database of the schema plus `sql`, connected with the schema set.
  void Open(SqliteDatabase& db) {
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db.Connect(session_), 0);
  }

  int32_t SelectRow(std::string_view text, std::vector<In> inputs, std::size_t columns, Row& row) {
    return test::SelectRow(session_, text, std::move(inputs), columns, row);
  }

  SqlSession session_;
};

TEST_F(SqlRuntimeTest, ConnectFailuresLeaveNoSession) {
  SqliteDatabase db;
  ASSERT_TRUE(db.ok()) << db.error();
  const std::string garbage = db.directory() + "/garbage.db";
  std::ofstream(garbage) << "this is not a database file, just some text that is long enough\n";
  const struct {
    std::string netService;
    int32_t expected;
  } cases[] = {
      {"sqlite:" + db.directory() + "/missing.db", -12154},
      {"sqlite:" + db.directory() + "/nodir/zardonix.db", -12154},
      {"sqlite:" + garbage, -1034},
      {"sqlite:" + db.directory(), -1034},
      {"sqlite:", -12154},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db.Connect(session_), 0);  // a failed CONNECT also ends the session before it
    ConnectionSettings login = db.Login();
    login.netService = c.netService;
    EXPECT_EQ(session_.Connect(login), c.expected) << c.netService;
    EXPECT_EQ(session_.LastStatus().code, c.expected) << c.netService;
    Row row;
    EXPECT_EQ(SelectRow(statements::kCountAssignments, {"T"}, 1, row), -1012) << c.netService;
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
    session.Connect(db.Login());
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

TEST_F(SqlRuntimeTest, AnyLoginOfAtMostOneHundredCharactersOpensTheFile) {
  SqliteDatabase db("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  ASSERT_TRUE(db.ok()) << db.error();
  const std::string net = db.NetService();
  const ConnectionSettings exactly100{.user = std::string(100 - net.size() - 3, 'u'), .password = "p",
                                     .netService = net};
  ASSERT_EQ(exactly100.ConnectStringLength(), 100u);
  const ConnectionSettings logins[] = {
      {.user = "zeprink", .password = "pa/ss@w@rd", .netService = net},  // '/' and '@' in a password
      {.user = "", .password = "", .netService = net},                   // no logins here
      exactly100,  // the longest connect string, not cut
  };
  for (const ConnectionSettings& login : logins) {
    EXPECT_EQ(session_.Connect(login), 0) << login.user << "/" << login.password;
    EXPECT_EQ(CountAssignments(session_), 1) << login.user << "/" << login.password;
  }
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

// Dates are text here: one not in the fixed form is refused where it is
// read, as is a TO_CHAR format the system does not use.
TEST_F(SqlRuntimeTest, DatesOutsideTheFixedFormAndUnknownFormatsAreRefused) {
  SqliteDatabase db(
      "INSERT INTO Zdx301Asw (AswNum, AswGvo) VALUES ('1', '2024-02-29 13:45:10'), ('4', '2024-2-3');");
  Open(db);
  const struct {
    const char* text;
    std::size_t columns;
    const char* key;
    int32_t code;
  } cases[] = {
      {"select TO_CHAR(AswGvo,'yyyymmdd') ,trunc(AswGvo) into :b0:b1,:b2:b3  from Zardonix.Zdx301Asw"
       " where AswNum=:b4", 2, "4", -1861},
      {"select TO_CHAR(AswGvo,'dd.mm.yy') into :b0  from Zardonix.Zdx301Asw where AswNum=:b1", 1, "1", -1821},
  };
  for (const auto& c : cases) {
    Row row;
    EXPECT_EQ(SelectRow(c.text, {c.key}, c.columns, row), c.code) << c.text;
    EXPECT_EQ(row, Row(c.columns, kNull)) << c.text;
  }
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

}  // namespace
}  // namespace zx
