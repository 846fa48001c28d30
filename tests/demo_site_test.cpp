// The shipped demo site: the files that demo.sh shows, on both databases.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

TEST(DemoSite, IdStammOfTheMainEntrance) {
  // The terminal has badge assignments: only badges of its licences. Left
  // out: 10010 deleted, 10011 without a right, 10012 blocked, 10019 expired,
  // 10020 not yet valid, the expired period of 10005.
  const std::string expected =
      "\"10001\",\"20200101\",\"20401231\",\"00001\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"20 \",\"\",\"10001\",\"1\",\"4711\"\r\n"
      "\"10001\",\"20200101\",\"20401231\",\"00001\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"10 \",\"\",\"10001\",\"1\",\"4711\"\r\n"
      "\"10002\",\"20200101\",\"\",\"00002\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"20 \",\"\",\"10002\",\"1\",\"0815\"\r\n"
      "\"10003\",\"\",\"20401231\",\"00002\",\"1\",\"1\",\"1\",\"MSB1\",\"001\",\"10 \",\"\",\"10003\",\"1\",\"1234\"\r\n"
      "\"10004\",\"20200101\",\"20401231\",\"00003\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"A1 \",\"\",\"10004\",\"2\",\"\"\r\n"
      "\"10005\",\"20200101\",\"20401231\",\"00001\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"10 \",\"\",\"10005\",\"1\",\"5555\"\r\n"
      "\"10008\",\"20200101\",\"20401231\",\"00004\",\"0\",\"1\",\"1\",\"MS01\",\"001\",\"20 \",\"\",\"10008\",\"3\",\"\"\r\n"
      "\"10009\",\"20200101\",\"20401231\",\"00002\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"10 \",\"\",\"10009\",\"1\",\"9090\"\r\n"
      "\"10013\",\"20200101\",\"20401231\",\"00003\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"A1 \",\"\",\"10013\",\"1\",\"1313\"\r\n"
      "\"10013\",\"20200101\",\"20401231\",\"00003\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"20 \",\"\",\"10013\",\"1\",\"1313\"\r\n"
      "\"10014\",\"20200101\",\"20401231\",\"\",\"1\",\"0\",\"1\",\"MS01\",\"001\",\"30 \",\"\",\"10014\",\"2\",\"1414\"\r\n"
      "\"10015\",\"20200101\",\"20401231\",\"00005\",\"1\",\"1\",\"1\",\"MSB1\",\"001\",\"10 \",\"\",\"10015\",\"1\",\"1515\"\r\n"
      "\"10017\",\"20200101\",\"20401231\",\"00002\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"A1 \",\"\",\"10017\",\"1\",\"1717\"\r\n"
      "\"10017\",\"20200101\",\"20401231\",\"00002\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"20 \",\"\",\"10017\",\"1\",\"1717\"\r\n"
      "\"10017\",\"20200101\",\"20401231\",\"00002\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"10 \",\"\",\"10017\",\"1\",\"1717\"\r\n";
  E2eResult r = RunZeprink({.rowsSql = DemoRows(), .args = {"IDSTAMM", "HAUPTEINGANG", "@DNL", "1"}});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out,
            "Mit Datenbank verbunden! Schema: ZARDONIX\n"
            "Ausweise gesamt: 12 davon in Datei gestellt: 11\n");
  EXPECT_EQ(r.dnl, expected);
}

TEST(DemoSite, EveryFunctionWritesWholeRecords) {
  const struct {
    const char* function;
    const char* terminal;
    size_t recordLength;
    size_t records;
    const char* countLine;
  } cases[] = {
      {"MGDNL17P", "HAUPTEINGANG", 85, 15, "Ausweise gesamt: 12 davon in Datei gestellt: 11\n"},
      {"MGDNL18P", "HAUPTEINGANG", 173, 10, "Ausweise gesamt: 12 davon in Datei gestellt: 10\n"},
      {"MGDNL31P", "WERKSTOR2", 48, 13,
       "Ausweiscursor lesen: Ausweis Nr. 16 RC: 1403 \nAusweise gesamt: 16 davon in Datei gestellt: 11\n"},
      {"MGDNL60P", "KANTINE", 45, 12, "Ausweise gesamt: 16 davon in Datei gestellt: 12\n"},
  };
  const std::string rows = DemoRows();
  for (const auto& c : cases) {
    E2eResult r = RunZeprink({.rowsSql = rows, .args = {c.function, c.terminal, "@DNL", "1"}});
    EXPECT_EQ(r.exitStatus, 0) << c.function;
    EXPECT_EQ(r.out, std::string("Mit Datenbank verbunden! Schema: ZARDONIX\n") + c.countLine) << c.function;
    ASSERT_TRUE(r.dnl.has_value()) << c.function;
    EXPECT_EQ(r.dnl->size(), c.recordLength * c.records) << c.function;
  }
}

}  // namespace
}  // namespace zx::test
