// The SQL runtime on real SQLite files: status codes, host variable rules,
// cursors, the schema statement, Oracle's ordering and functions, statement
// reuse, the session's one read state, and every statement text of the
// program against the demo data.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sql/session.h"
#include "sql/sqlite/sqlite_handles.h"
#include "tests/support/sqlite_fixture.h"

namespace zx {
namespace {

using test::SqliteDatabase;

// The program's statement texts, byte for byte.
constexpr const char* kTerminal =
    "select TRMMOD ,TRMSAL into :b0:b1,:b2:b3  from Zardonix.Zdx1140Trm where (TrmNam=:b4 and"
    " ((TrmSta<>4 and TrmSta<>8) or TrmSta is null ))";
constexpr const char* kTerminalAssignments =
    "select count(*)  into :b0:b1  from Zardonix.Zdx115Tfz where (TfzTrm=:b2 and ((TfzSta<>4 "
    "and TfzSta<>8) or TfzSta is null ))";
constexpr const char* kBadgesFiltered =
    "select AswNum ,TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'yyyymmdd') ,AswPnr ,AswBkl ,A"
    "swGrp ,AswAan ,AswAtp ,AwvSto ,AswSal ,AswBk2 ,AswSpr ,AswPin  from Zardonix.Zdx301Asw ,"
    "Zardonix.Zdx113Awv ,Zardonix.Zdx115Tfz where (((((((TFZTRM=:b0 and ASWLIZ=TFZLIZ) and AS"
    "WMND=TFZMND) and ASWNUM=AWVNUM) and (((trunc(SYSDATE)>=AswGvo and AswGbi is null ) or (t"
    "runc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo and trunc("
    "SYSDATE)<=AswGbi))) and (AWVCOD<>8 or AWVCOD is null )) and ((AwvSta<>4 and AwvSta<>8) o"
    "r AwvSta is null )) and ((AswSta<>4 and AswSta<>8) or AswSta is null )) order by AswNum,"
    "AswGvo,AswBkl";
constexpr const char* kBadgesAll =
    "select AswNum ,TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'yyyymmdd') ,AswPnr ,AswBkl ,A"
    "swGrp ,AswAan ,AswAtp ,AwvSto ,AswSal ,AswBk2 ,AswSpr ,AswPin  from Zardonix.Zdx301Asw ,"
    "Zardonix.Zdx113Awv where ((((ASWNUM=AWVNUM and (((trunc(SYSDATE)>=AswGvo and AswGbi is n"
    "ull ) or (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo"
    " and trunc(SYSDATE)<=AswGbi))) and (AWVCOD<>8 or AWVCOD is null )) and ((AwvSta<>4 and A"
    "wvSta<>8) or AwvSta is null )) and ((AswSta<>4 and AswSta<>8) or AswSta is null )) order"
    " by AswNum,AswGvo,AswBkl";
constexpr const char* kTimeRights =
    "select count(*)  into :b0:b1  from Zardonix.MGSST35P where ((M35Trm=:b2 and M35Bch='1') "
    "and M35Bkl in (select AWBBKL  from Zardonix.Zdx301Awb where AWBASW=:b3))";
constexpr const char* kReaders =
    "select ZlsLes ,ZlsZko  from Zardonix.Zdx401Zls where ((ZlsTrm=:b0 and ZlsLes<=:b1) and ("
    "(ZlsSta<>4 and ZlsSta<>8) or ZlsSta is null )) order by ZlsLes";
constexpr const char* kAccessClasses =
    "select distinct M35BKL  from Zardonix.MGSST35P ,Zardonix.Zdx301Awb where (((M35TRM=:b0 a"
    "nd AWBASW=:b1) and M35Bch='0') and M35Bkl=AWBBKL) order by M35BKL desc";
constexpr const char* kLocationText =
    "select StoKtx into :b0:b1  from Zardonix.Zdx113Sto ,Zardonix.Zdx113Awv where (((AwvNum=:"
    "b2 and StoNum=AwvSto) and ((AwvSta<>4 and AwvSta<>8) or AwvSta is null )) and ((StoSta<>"
    "4 and StoSta<>8) or StoSta is null ))";
constexpr const char* kBalance =
    "select TswW01 ,substr(TswW02,1,1) ,substr(TswW02,2,9) ,substr(TswW03,1,1) ,substr(TswW03"
    ",2,9) ,substr(TswW04,1,1) ,substr(TswW04,2,9) ,substr(TswW05,1,1) ,substr(TswW05,2,9) ,s"
    "ubstr(TswW06,1,1) ,substr(TswW06,2,9) ,substr(TswW07,1,1) ,substr(TswW07,2,9) ,substr(Ts"
    "wW08,1,1) ,substr(TswW08,2,9) ,substr(TswW09,1,1) ,substr(TswW09,2,9) ,substr(TswW10,1,1"
    ") ,substr(TswW10,2,9) ,substr(TswW11,1,1) ,substr(TswW11,2,9) ,substr(TswW12,1,1) ,subst"
    "r(TswW12,2,9) ,substr(TswW13,1,1) ,substr(TswW13,2,9) ,substr(TswW14,1,1) ,substr(TswW14"
    ",2,9) ,substr(TswW15,1,1) ,substr(TswW15,2,9) ,substr(TswW16,1,1) ,substr(TswW16,2,9) ,T"
    "swF01 ,TswF02 ,TswF03 ,TswF04 ,TswF05 ,TswF06 ,TswF07 ,TswF08 ,TswF09 ,TswF10 into :b0:b"
    "1,:b2:b3,:b4:b5,:b6:b7,:b8:b9,:b10:b11,:b12:b13,:b14:b15,:b16:b17,:b18:b19,:b20:b21,:b22"
    ":b23,:b24:b25,:b26:b27,:b28:b29,:b30:b31,:b32:b33,:b34:b35,:b36:b37,:b38:b39,:b40:b41,:b"
    "42:b43,:b44:b45,:b46:b47,:b48:b49,:b50:b51,:b52:b53,:b54:b55,:b56:b57,:b58:b59,:b60:b61,"
    ":b62:b63,:b64:b65,:b66:b67,:b68:b69,:b70:b71,:b72:b73,:b74:b75,:b76:b77,:b78:b79,:b80:b8"
    "1  from ZARDONIX.O2002TSW where TSWIDN=:b82";
constexpr const char* kTerminalTexts =
    "select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,17) ,SubStr(MsdTxt,1,12)  from Zardonix.Zd"
    "x1140Trm ,Zardonix.Zdx119Msd ,Zardonix.Zdx102Whl where (((((((TrmNam=:b0 and TrmSal=MsdS"
    "al) and ((TrmMnd=MsdMnd and TrmLiz=MsdLiz) or MSDERF='KALDOVA')) and FtxNumSpr=220001) a"
    "nd FtxWhl=MsdAnz) and FtxSpr=TrmSpr) and ((TrmSta<>4 and TrmSta<>8) or TrmSta is null ))"
    " and ((MsdSta<>4 and MsdSta<>8) or MsdSta is null )) order by MsdSal,MsdLfd";
constexpr const char* kTerminalTextCode =
    "select FTXT10 into :b0:b1  from ZARDONIX.ZDX1140TRM ,ZARDONIX.ZDX119MSD ,ZARDONIX.ZDX102"
    "WHL where ((((((((TrmNam=:b2 and TrmSal=MsdSal) and ((TrmMnd=MsdMnd and TrmLiz=MsdLiz) o"
    "r MSDERF='KALDOVA')) and FtxNumSpr=220002) and FtxWhl=MsdWrt) and FtxSpr=TrmSpr) and Msd"
    "Lfd=:b3) and ((TrmSta<>4 and TrmSta<>8) or TrmSta is null )) and ((MsdSta<>4 and MsdSta<"
    ">8) or MsdSta is null ))";
constexpr const char* kBadgeTexts =
    "select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,12) ,SubStr(MsdTxt,1,12)  from Zardonix.Zd"
    "x301Asw ,Zardonix.Zdx119Msd ,Zardonix.Zdx102Whl where (((((((AswNum=:b0 and AswSal=MsdSa"
    "l) and FtxNumSpr=220001) and FtxWhl=MsdAnz) and FtxSpr=AswSpr) and (((trunc(SYSDATE)>=As"
    "wGvo and AswGbi is null ) or (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (tr"
    "unc(SYSDATE)>=AswGvo and trunc(SYSDATE)<=AswGbi))) and ((AswSta<>4 and AswSta<>8) or Asw"
    "Sta is null )) and ((MsdSta<>4 and MsdSta<>8) or MsdSta is null )) order by MsdSal,MsdLf"
    "d";
constexpr const char* kBadgeTextCode =
    "select FTXT10 into :b0:b1  from ZARDONIX.ZDX301ASW ,ZARDONIX.ZDX119MSD ,ZARDONIX.ZDX102W"
    "HL where ((((((((AswNum=:b2 and AswSal=MsdSal) and FtxNumSpr=220002) and FtxWhl=MsdWrt) "
    "and FtxSpr=AswSpr) and MSDLFD=:b3) and (((trunc(SYSDATE)>=AswGvo and AswGbi is null ) or"
    " (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo and tru"
    "nc(SYSDATE)<=AswGbi))) and ((AswSta<>4 and AswSta<>8) or AswSta is null )) and ((MsdSta<"
    ">4 and MsdSta<>8) or MsdSta is null ))";

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

int32_t SelectRow(const char* text, std::vector<In> inputs, std::size_t columns, Row& row) {
  Outputs out(columns);
  const std::vector<HostVar> in = Bind(inputs);
  const int32_t rc = SqlSelectInto(text, out.vars, in);
  EXPECT_EQ(rc, SQLCODE);
  row = out.Values();
  return rc;
}

// Opens `text` as cursor "test", fetches every row and closes it; `end` is
// the code of the last fetch (1403 at the normal end).
std::vector<Row> FetchAll(const char* text, std::vector<In> inputs, std::size_t columns,
                          int32_t& end) {
  std::vector<Row> rows;
  const std::vector<HostVar> in = Bind(inputs);
  end = SqlOpen("test", text, in);
  if (end != 0) return rows;
  Outputs out(columns);
  while ((end = SqlFetch("test", out.vars)) == 0) {
    rows.push_back(out.Values());
    out.Preset();
  }
  EXPECT_EQ(SqlClose("test"), 0);
  return rows;
}

std::vector<std::string> Column(const std::vector<Row>& rows, std::size_t column) {
  std::vector<std::string> values;
  for (const Row& row : rows) values.push_back(row.at(column));
  return values;
}

class SqlRuntimeTest : public ::testing::Test {
 protected:
  void TearDown() override { SqlDisconnect(); }

  // A database of the schema plus `sql`, connected with the schema set.
  void Open(SqliteDatabase& db) {
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db.Connect(), 0);
  }
};

TEST_F(SqlRuntimeTest, EveryStatementBeforeConnectIsNotLoggedOn) {
  SqlDisconnect();
  char text[11] = "keep";
  int32_t number = 5;
  const HostVar outputs[] = {StringVar(text, sizeof text), IntegerVar(&number)};
  EXPECT_EQ(SqlSelectInto(kTerminal, outputs, {}), -1012);
  EXPECT_EQ(SQLCODE, -1012);
  EXPECT_EQ(SqlOpen("c", kReaders, {}), -1012);
  EXPECT_EQ(SqlFetch("c", outputs), -1012);
  EXPECT_EQ(SqlClose("c"), -1012);
  EXPECT_EQ(SqlPrepare("ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX"), -1012);
  EXPECT_EQ(SqlExecute(), -1012);
  EXPECT_EQ(SqlPreparedStatementCount(), -1);
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
      {"zeprink@" + db.NetService(), -1017},
      {tooLong, -2084},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db.Connect(), 0);  // a failed CONNECT also ends the session before it
    EXPECT_EQ(SqlConnect(c.login.c_str()), c.expected) << c.login;
    EXPECT_EQ(SQLCODE, c.expected) << c.login;
    Row row;
    EXPECT_EQ(SelectRow(kTerminalAssignments, {"T"}, 1, row), -1012) << c.login;
  }
}

TEST_F(SqlRuntimeTest, ConnectStringSplitsAtFirstSlashAndLastAt) {
  SqliteDatabase db("INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  ASSERT_TRUE(db.ok()) << db.error();
  const std::string tail = "@" + db.NetService();
  const std::string exactly100 = std::string(100 - tail.size() - 2, 'u') + "/p" + tail;
  ASSERT_EQ(exactly100.size(), 100u);
  const std::string logins[] = {
      "zeprink/pa/ss@w@rd" + tail,  // a password may hold '/' and '@'
      "/" + tail,                   // empty user and password: no logins here
      exactly100,                   // the longest connect string, not cut
  };
  for (const std::string& login : logins) {
    EXPECT_EQ(SqlConnect(login.c_str()), 0) << login;
    Row row;
    EXPECT_EQ(SelectRow(kTerminalAssignments, {"T"}, 1, row), 0) << login;
    EXPECT_EQ(row, Row{"1"}) << login;
  }
}

TEST_F(SqlRuntimeTest, CurrentSchemaStatement) {
  SqliteDatabase db;
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(SqlConnect(db.ConnectString().c_str()), 0);
  EXPECT_EQ(SqlExecute(), -1003);  // nothing prepared
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
    EXPECT_EQ(SqlPrepare(c.text), 0) << c.text;
    EXPECT_EQ(SqlExecute(), c.expected) << c.text;
    EXPECT_EQ(SQLCODE, c.expected) << c.text;
  }

  // A database file without the schema marker holds no schema.
  SqliteDatabase bare("CREATE TABLE Zdx115Tfz (TfzTrm TEXT);", false);
  ASSERT_TRUE(bare.ok()) << bare.error();
  EXPECT_EQ(bare.Connect("ZARDONIX"), -1435);
}

TEST_F(SqlRuntimeTest, SelectIntoCodesAndUntouchedOutputs) {
  SqliteDatabase db(
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
    EXPECT_EQ(SelectRow(kTerminal, {c.name}, 2, row), c.expected) << c.name;
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

  EXPECT_EQ(SqlFetch("zls", outputs), -1001);
  EXPECT_EQ(SqlClose("zls"), -1001);
  ASSERT_EQ(SqlOpen("zls", kReaders, in), 0);
  ASSERT_EQ(SqlFetch("zls", outputs), 0);
  EXPECT_EQ(reader, 1);
  EXPECT_STREQ(zko, "A");
  // A re-OPEN closes the cursor and starts again at the first row.
  ASSERT_EQ(SqlOpen("zls", kReaders, in), 0);
  std::vector<int32_t> readers;
  int32_t rc;
  while ((rc = SqlFetch("zls", outputs)) == 0) readers.push_back(reader);
  EXPECT_EQ(rc, 1403);
  EXPECT_EQ(readers, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(SqlFetch("zls", outputs), 1403);  // still at the end
  EXPECT_EQ(reader, 3);
  EXPECT_STREQ(zko, "C");
  EXPECT_EQ(SqlClose("zls"), 0);
  EXPECT_EQ(SqlFetch("zls", outputs), -1001);
  EXPECT_EQ(SqlClose("zls"), -1001);

  // A failing OPEN leaves the cursor closed, also when it was open before.
  ASSERT_EQ(SqlOpen("zls", kReaders, in), 0);
  EXPECT_EQ(SqlOpen("zls", "select ZlsLes from Zardonix.Nowhere where ZlsTrm=:b0 and ZlsLes<=:b1", in),
            -942);
  EXPECT_EQ(SqlFetch("zls", outputs), -1001);
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
    EXPECT_EQ(SqlSelectInto(kText, out, in), c.code) << "row " << c.key;
    EXPECT_EQ(value, c.value) << "row " << c.key;
  }

  // STRING outputs: at most length - 1 bytes, always terminated.
  SqlDisconnect();  // the session's read lock keeps writers out
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
  ASSERT_EQ(db.Connect(), 0);
  for (const auto& c : strings) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, "keep", 5);
    char before[16];
    std::memcpy(before, buffer, sizeof buffer);
    int32_t key = c.key;
    const HostVar out[] = {StringVar(buffer, c.length)};
    const HostVar in[] = {IntegerVar(&key)};
    EXPECT_EQ(SqlSelectInto(kText, out, in), 0) << "row " << c.key;
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
    EXPECT_EQ(SqlSelectInto(kText, out, in), c.code) << "key " << c.key;
    EXPECT_STREQ(text, "keep") << "key " << c.key;
    EXPECT_EQ(number, 9) << "key " << c.key;
  }
  // A FETCH that fails on a later column leaves the earlier ones alone too.
  int32_t key = 1;
  const HostVar in[] = {IntegerVar(&key)};
  char text[10] = "keep";
  int32_t number = 9;
  const HostVar out[] = {StringVar(text, sizeof text), IntegerVar(&number)};
  ASSERT_EQ(SqlOpen("c", "select a ,b  from Conv where k=:b0", in), 0);
  EXPECT_EQ(SqlFetch("c", out), -1722);
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
  const std::vector<Row> rows = FetchAll(kBadgesAll, {}, 13, end);
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

TEST_F(SqlRuntimeTest, EveryStatementTextIsPreparedOncePerSession) {
  SqliteDatabase db(
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T', 1), ('T', 2);"
      "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');");
  Open(db);
  const int64_t start = SqlPreparedStatementCount();
  ASSERT_GE(start, 0);
  Row row;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(SelectRow(kTerminalAssignments, {"T"}, 1, row), 0);
    EXPECT_EQ(row, Row{"1"});
  }
  EXPECT_EQ(SqlPreparedStatementCount(), start + 1);
  int32_t end = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(FetchAll(kReaders, {"T", int32_t{9}}, 2, end).size(), 2u);
  }
  EXPECT_EQ(SqlPreparedStatementCount(), start + 2);

  // Two cursors open on one text at once read independently.
  std::vector<In> inputs = {"T", int32_t{9}};
  const std::vector<HostVar> in = Bind(inputs);
  int32_t first = 0;
  int32_t second = 0;
  const HostVar outFirst[] = {IntegerVar(&first)};
  const HostVar outSecond[] = {IntegerVar(&second)};
  ASSERT_EQ(SqlOpen("one", kReaders, in), 0);
  ASSERT_EQ(SqlOpen("two", kReaders, in), 0);
  ASSERT_EQ(SqlFetch("one", outFirst), 0);
  ASSERT_EQ(SqlFetch("one", outFirst), 0);
  ASSERT_EQ(SqlFetch("two", outSecond), 0);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(SqlFetch("one", outFirst), 1403);
  EXPECT_EQ(SqlFetch("two", outSecond), 0);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(SqlClose("one"), 0);
  EXPECT_EQ(SqlClose("two"), 0);

  // A new session prepares anew.
  ASSERT_EQ(db.Connect(), 0);
  const int64_t again = SqlPreparedStatementCount();
  ASSERT_EQ(SelectRow(kTerminalAssignments, {"T"}, 1, row), 0);
  EXPECT_EQ(SqlPreparedStatementCount(), again + 1);
}

int32_t CountAssignments() {
  int32_t count = -1;
  const HostVar out[] = {IntegerVar(&count)};
  const HostVar in[] = {StringIn("T", 256)};
  EXPECT_EQ(SqlSelectInto(kTerminalAssignments, out, in), 0);
  return count;
}

TEST_F(SqlRuntimeTest, SessionReadsOneStateWhileAnotherConnectionWrites) {
  const char* rows = "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T'), ('T');";
  const char* write = "INSERT INTO Zdx115Tfz (TfzTrm) VALUES ('T');";

  // Rollback journal: the session's shared lock keeps a writer from
  // committing while the session lasts; the session sees the old state.
  {
    SqliteDatabase db(rows);
    Open(db);
    EXPECT_EQ(CountAssignments(), 2);
    const std::string error = db.Execute(write);
    EXPECT_NE(error.find("locked"), std::string::npos) << "writer: " << error;
    EXPECT_EQ(CountAssignments(), 2);
    SqlDisconnect();
    EXPECT_TRUE(db.Execute(write).empty());
    ASSERT_EQ(db.Connect(), 0);
    EXPECT_EQ(CountAssignments(), 3);
  }
  // WAL: the writer commits; the session keeps its snapshot from CONNECT on,
  // even before its first statement.
  {
    SqliteDatabase db(std::string("PRAGMA journal_mode=WAL;") + rows);
    Open(db);
    EXPECT_TRUE(db.Execute(write).empty());
    EXPECT_EQ(CountAssignments(), 2);
    EXPECT_TRUE(db.Execute(write).empty());
    EXPECT_EQ(CountAssignments(), 2);
    ASSERT_EQ(db.Connect(), 0);
    EXPECT_EQ(CountAssignments(), 4);
  }
}

TEST_F(SqlRuntimeTest, SessionNeverWritesTheFile) {
  SqliteDatabase db;
  Open(db);
  Row row;
  EXPECT_NE(SelectRow("insert into Zardonix.Zdx115Tfz (TfzTrm) values (:b0)", {"T"}, 0, row), 0);
  SqlDisconnect();
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

  EXPECT_EQ(SelectRow(kTerminal, {"HAUPTEINGANG"}, 2, row), 0);
  EXPECT_EQ(row, (Row{"7744-010", "MS01"}));
  EXPECT_EQ(SelectRow(kTerminal, {"LAGER"}, 2, row), 1403);  // deleted terminal
  EXPECT_EQ(SelectRow(kTerminalAssignments, {"HAUPTEINGANG"}, 1, row), 0);
  EXPECT_EQ(row, Row{"2"});
  EXPECT_EQ(SelectRow(kTerminalAssignments, {"WERKSTOR2"}, 1, row), 0);
  EXPECT_EQ(row, Row{"0"});

  const std::vector<std::string> filtered = {"10001", "10002", "10003", "10004", "10005", "10008",
                                             "10009", "10011", "10013", "10014", "10015", "10017"};
  std::vector<Row> rows = FetchAll(kBadgesFiltered, {"HAUPTEINGANG"}, 13, end);
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(rows, 0), filtered);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (Row{"10001", "20200101", "20401231", "1001", "10", "VW", "Mitarbeiter", "1", "1",
                          kNull, kNull, "1", "4711"}));
  rows = FetchAll(kBadgesAll, {}, 13, end);
  EXPECT_EQ(end, 1403);
  EXPECT_EQ(Column(rows, 0),
            (std::vector<std::string>{"10001", "10002", "10003", "10004", "10005", "10006", "10007",
                                      "10008", "10009", "10011", "10013", "10014", "10015", "10016",
                                      "10017", "10018"}));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[2][1], kNull);  // 10003 has no first day of validity
  EXPECT_EQ(rows[1][2], kNull);  // 10002 has no last day

  EXPECT_EQ(SelectRow(kTimeRights, {"HAUPTEINGANG", "10001"}, 1, row), 0);
  EXPECT_EQ(row, Row{"1"});
  EXPECT_EQ(SelectRow(kTimeRights, {"HAUPTEINGANG", "10008"}, 1, row), 0);
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

  EXPECT_EQ(SelectRow(kBalance, {"10013"}, 41, row), 0);
  ASSERT_EQ(row.size(), 41u);
  EXPECT_EQ(row[0], "+   0,00");
  EXPECT_EQ(row[1], "-");
  EXPECT_EQ(row[2], "1234,567");
  EXPECT_EQ(row[3], "+");
  EXPECT_EQ(row[4], "    0,00");
  EXPECT_EQ(row[31], "Kontrolle Zeitkonto");
  EXPECT_EQ(row[33], kNull);
  EXPECT_EQ(SelectRow(kBalance, {"10004"}, 41, row), 1403);

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
