// zeprink-show on the files the program writes: every layout read back field
// by field, the command line, and the diff of two runs of the demo site.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/sqlite_fixture.h"
#include "tools/dnl_layout.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;

// A temporary directory for DNL files, removed at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/zeprink-show-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "";
  }
  ~TempDir() {
    if (!path_.empty()) fs::remove_all(path_);
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The DNL file of one demo run.
std::string DemoFile(const char* function, const char* terminal, const std::string& extraRows = {}) {
  const E2eResult r =
      RunZeprink({.rowsSql = DemoRows() + extraRows, .args = {function, terminal, "@DNL", "1"}});
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  return r.dnl.value_or("");
}

struct ShowRun {
  int status = -1;
  std::string out;
};

ShowRun Show(const std::vector<std::string>& args, const std::string& workDir) {
  ShowRun run;
  run.status = RunProgram(ZEPRINK_SHOW_BINARY, args, workDir, run.out);
  return run;
}

// The bytes the writer wrote, rebuilt from the decoded fields.
std::string Rebuilt(const dnl::LayoutInfo& layout, const std::vector<dnl::Record>& records) {
  std::string bytes;
  for (const dnl::Record& record : records) {
    if (layout.recordLength != 0) {
      for (const std::string& value : record.values) bytes += value;
      continue;
    }
    for (std::size_t i = 0; i < record.values.size(); ++i) {
      bytes += (i == 0 ? "\"" : ",\"") + record.values[i] + "\"";
    }
    bytes += "\r\n";
  }
  return bytes;
}

TEST(ZeprinkShow, ReadsEveryLayoutTheWritersProduceFieldByField) {
  const struct {
    const char* function;
    const char* terminal;
    const char* badge;
    const char* field;
    const char* value;  // in the badge's first record
  } cases[] = {
      {"IDSTAMM", "HAUPTEINGANG", "10014", "location number", ""},
      {"IDSTAMM", "HAUPTEINGANG", "10014", "access class", "30 "},
      {"IDSTAMM", "HAUPTEINGANG", "10004", "badge type", "2"},
      {"MGDNL17P", "HAUPTEINGANG", "10001", "balance", " 12,50 "},
      {"MGDNL17P", "HAUPTEINGANG", "10001", "access class 3", "20 "},
      {"MGDNL17P", "HAUPTEINGANG", "10001", "location", "Ver"},
      {"MGDNL17P", "HAUPTEINGANG", "10001", "reader 9", "09   "},
      {"MGDNL18P", "HAUPTEINGANG", "10001", "label 2", "Gleitzeit    "},
      {"MGDNL18P", "HAUPTEINGANG", "10001", "value 2", " 12,50 "},
      {"MGDNL18P", "HAUPTEINGANG", "10001", "label 4", "Ma\xF1" "ana frei  "},
      {"MGDNL31P", "WERKSTOR2", "10002", "validity end", "00000000"},
      {"MGDNL31P", "WERKSTOR2", "10002", "access class", "30 "},
      {"MGDNL31P", "WERKSTOR2", "10002", "location", "Pro"},
      {"MGDNL60P", "KANTINE", "10001", "balance", "160,00 "},
      {"MGDNL60P", "KANTINE", "10006", "reader 1", "01"},
      {"MGDNL60P", "KANTINE", "10006", "access class 1", "40 "},
  };
  std::string lastFunction;
  std::string bytes;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + c.badge + " " + c.field);
    if (lastFunction != c.function) {
      bytes = DemoFile(c.function, c.terminal);
      lastFunction = c.function;
    }
    const dnl::Recognition recognition = dnl::Recognise(bytes);
    ASSERT_NE(recognition.layout, nullptr) << recognition.reason;
    ASSERT_EQ(recognition.layout->name, c.function);
    const dnl::Decoded decoded = dnl::Decode(*recognition.layout, bytes);
    EXPECT_TRUE(decoded.problems.empty());
    EXPECT_EQ(Rebuilt(*recognition.layout, decoded.records), bytes);

    const dnl::Record* first = nullptr;
    for (const dnl::Record& record : decoded.records) {
      if (dnl::BadgeNumber(record) == c.badge) {
        first = &record;
        break;
      }
    }
    ASSERT_NE(first, nullptr);
    std::size_t index = 0;
    while (index < recognition.layout->fields.size() &&
           recognition.layout->fields[index].name != c.field) {
      ++index;
    }
    ASSERT_LT(index, first->values.size());
    EXPECT_EQ(first->values[index], c.value);
  }
}

TEST(ZeprinkShow, CommandLineShowsOneBadgeInEachFormatAndRefusesClearly) {
  TempDir dir;
  const std::string file = dir.Write("mgdnl31p.dnl", DemoFile("MGDNL31P", "WERKSTOR2"));

  ShowRun csv = Show({"--format", "csv", "--badge", "10002", file}, dir.path());
  EXPECT_EQ(csv.status, 0);
  EXPECT_EQ(csv.out,
            "record,badge number,validity start,validity end,time right,access right,"
            "\"fixed XXXX,XX-\",fixed 001,access class,location\n"
            "2,10002        ,20200101,00000000,1,1,\"XXXX,XX-\",001,30 ,Pro\n");

  ShowRun json = Show({"--format", "json", "--badge", "10002", file}, dir.path());
  EXPECT_EQ(json.status, 0);
  EXPECT_NE(json.out.find("{\"record\": 2, \"fields\": {\"badge number\": \"10002        \","),
            std::string::npos)
      << json.out;

  ShowRun table = Show({file}, dir.path());
  EXPECT_EQ(table.status, 0);
  EXPECT_TRUE(table.out.starts_with("MGDNL31P (13 records of 48 bytes), " + file +
                                    "\nrecord | badge number  | validity start |"))
      << table.out;

  // The layout named overrides recognition; a wrong one shows the problem.
  const std::string odd = dir.Write("odd.dnl", std::string(50, '0'));
  EXPECT_EQ(Show({odd}, dir.path()).status, 255);
  EXPECT_EQ(Show({"--layout", "MGDNL31P", odd}, dir.path()).status, 255);
  EXPECT_EQ(Show({"--layout", "MGDNL99P", file}, dir.path()).status, 255);
  EXPECT_EQ(Show({"--format", "xml", file}, dir.path()).status, 255);
  EXPECT_EQ(Show({dir.path() + "/missing.dnl"}, dir.path()).status, 255);
}

TEST(ZeprinkShow, DiffOfTwoDemoRunsNamesTheBadges) {
  // The second run: 10004 gone, 10002 at another location, 10009 with
  // another PIN, 10030 new (licence 10, class 10).
  const std::string changes =
      "DELETE FROM Zdx301Asw WHERE AswNum = '10004';\n"
      "UPDATE Zdx113Awv SET AwvSto = 3 WHERE AwvNum = '10002';\n"
      "UPDATE Zdx301Asw SET AswPin = '9999' WHERE AswNum = '10009';\n"
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, "
      "AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10030', "
      "'2020-01-01 00:00:00', '2040-12-31 00:00:00', '1030', '10', NULL, 'VW', 'Mitarbeiter', 1, "
      "NULL, 1, '3030', 10, 1, NULL);\n"
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10030', 1, 0, NULL);\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10030', '10');\n";
  TempDir dir;
  const std::string before = dir.Write("old.dnl", DemoFile("IDSTAMM", "HAUPTEINGANG"));
  const std::string after = dir.Write("new.dnl", DemoFile("IDSTAMM", "HAUPTEINGANG", changes));

  ShowRun diff = Show({"--diff", before, after}, dir.path());
  EXPECT_EQ(diff.status, 1);
  EXPECT_EQ(diff.out,
            "~ 10002: record 1 of the badge: location number \"00002\" -> \"00003\"\n"
            "- 10004: 1 record\n"
            "~ 10009: record 1 of the badge: PIN \"****\" -> \"****\"\n"
            "+ 10030: 1 record\n"
            "added 1, removed 1, changed 2, unchanged 8\n");
  ShowRun clear = Show({"--diff", "--show-pins", before, after}, dir.path());
  EXPECT_NE(clear.out.find("~ 10009: record 1 of the badge: PIN \"9090\" -> \"9999\"\n"),
            std::string::npos)
      << clear.out;

  ShowRun same = Show({"--diff", before, before}, dir.path());
  EXPECT_EQ(same.status, 0);
  EXPECT_EQ(same.out, "added 0, removed 0, changed 0, unchanged 11\n");

  // Files of two layouts are not compared.
  const std::string other = dir.Write("mgdnl31p.dnl", DemoFile("MGDNL31P", "WERKSTOR2"));
  EXPECT_EQ(Show({"--diff", before, other}, dir.path()).status, 255);
}

TEST(ZeprinkShow, PinsShowOnlyWhenAskedFor) {
  // Badge 10001's PIN is 4711, 10004 has none; a viewer's output ends up in
  // tickets and mails.
  TempDir dir;
  const std::string file = dir.Write("idstamm.dnl", DemoFile("IDSTAMM", "HAUPTEINGANG"));
  for (const char* format : {"table", "csv", "json"}) {
    const ShowRun masked = Show({"--format", format, "--badge", "10001", file}, dir.path());
    EXPECT_EQ(masked.status, 0) << format;
    EXPECT_EQ(masked.out.find("4711"), std::string::npos) << format << "\n" << masked.out;
    EXPECT_NE(masked.out.find("****"), std::string::npos) << format << "\n" << masked.out;
    const ShowRun clear = Show({"--format", format, "--show-pins", "--badge", "10001", file}, dir.path());
    EXPECT_NE(clear.out.find("4711"), std::string::npos) << format << "\n" << clear.out;
  }
  const ShowRun none = Show({"--format", "csv", "--badge", "10004", file}, dir.path());
  EXPECT_EQ(none.out.find("****"), std::string::npos) << "an empty PIN stays empty\n" << none.out;
}

}  // namespace
}  // namespace zx::test
