// The configuration reader on odd files, and the writing of configuration
// files (WriteConfigFile, SetConfigValue).
#include "base/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/config_cipher.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

std::string E(const std::string& plain) { return EncryptConfigValue(plain); }

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zx-config-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "morvalent.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& content) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << content;
  }
  std::string Content() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Files in the directory besides the configuration file (temporary files
  // that should not have been left behind).
  int OtherFiles() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) count += entry.path() != fs::path(path_);
    return count;
  }

  fs::path dir_;
  std::string path_;
};

std::string TwoRecords() {
  return ";ZEPRINK;LOGIN;\n1;LOGIN;" + E("scott") + "\n;ZEPRINK;PASS;\n2;PASS;" + E("tiger") + "\n";
}

TEST_F(ConfigFileTest, ReadsRecordsAsTheRunDriverAsks) {
  const std::string kTwoRecords = TwoRecords();
  const struct {
    std::string what;
    std::string content;
    std::string key;
    ConfigLookup status;
    std::string expected;
  } cases[] = {
      {"plain file, first key", kTwoRecords, "LOGIN", ConfigLookup::kFound, "scott"},
      {"plain file, second key", kTwoRecords, "PASS", ConfigLookup::kFound, "tiger"},
      {"key not in file", kTwoRecords, "NET8", ConfigLookup::kNoRecord, ""},
      {"keys are case-sensitive", kTwoRecords, "login", ConfigLookup::kNoRecord, ""},
      {"header without ';' has an empty section and matches every key",
       "ZEPRINK\n1;LOGIN;" + E("a") + "\n;Z;PASS;\n2;PASS;" + E("b") + "\n", "PASS", ConfigLookup::kFound, "a"},
      {"header with one ';' likewise", ";ZEPRINK\n1;LOGIN;" + E("a") + "\n;Z;PASS;\n2;PASS;" + E("b") + "\n", "PASS",
       ConfigLookup::kFound, "a"},
      {"empty number field reads as 0 and matches every key",
       ";Z;A;\n;A;" + E("a") + "\n;Z;PASS;\n2;PASS;" + E("b") + "\n", "PASS", ConfigLookup::kFound, "a"},
      {"number without digits reads as 0", ";Z;A;\n -x;A;" + E("a") + "\n;Z;PASS;\n2;PASS;" + E("b") + "\n", "PASS",
       ConfigLookup::kFound, "a"},
      {"number with blanks and sign", ";Z;A;\n +7x;A;" + E("a") + "\n;Z;PASS;\n2;PASS;" + E("b") + "\n", "PASS",
       ConfigLookup::kFound, "b"},
      {"adjacent ';' make the key the rest of the line", ";Z;K;\n1;;" + E("a") + "\n;Z;K2;\n2;K2;" + E("b") + "\n",
       "K2", ConfigLookup::kFound, "b"},
      {"the rest of the line includes its line feed", ";Z;K;\n1;;" + E("a") + "\n", ";" + E("a") + "\n",
       ConfigLookup::kFound, "a"},
      {"single ';' gives an empty key and the rest as value", ";Z;K;\n1;" + E("a") + "\n", "", ConfigLookup::kFound,
       "a"},
      {"single ';' record does not match a plain key", ";Z;K;\n1;" + E("a") + "\n", "K", ConfigLookup::kNoRecord, ""},
      {"value line without ';' is all value and number 0", ";Z;K;\n" + E("a") + "\n", "ANY", ConfigLookup::kFound,
       "a"},
      {"last line without line feed still has its value", ";Z;K;\n1;K;" + E("a"), "K", ConfigLookup::kFound, "a"},
      {"CRLF line ends", ";Z;K;\r\n1;K;" + E("abc") + "\r\n;Z;L;\r\n2;L;" + E("l") + "\r\n", "L",
       ConfigLookup::kFound, "l"},
      {"a lone carriage return stays part of the line", ";Z;K;\n1;K\r;" + E("a") + "\n", "K",
       ConfigLookup::kNoRecord, ""},
      {"odd number of lines ignores the last one", ";Z;K;\n1;K;" + E("a") + "\n;Z;L;\n", "L",
       ConfigLookup::kNoRecord, ""},
      {"odd number of lines keeps the records before", ";Z;K;\n1;K;" + E("a") + "\n;Z;L;\n", "K",
       ConfigLookup::kFound, "a"},
      {"empty file", "", "K", ConfigLookup::kNoRecord, ""},
      {"one line", ";Z;K;\n", "K", ConfigLookup::kNoRecord, ""},
      {"first of two equal keys wins", ";Z;K;\n1;K;" + E("first") + "\n;Z;K;\n2;K;" + E("second") + "\n", "K",
       ConfigLookup::kFound, "first"},
      {"empty value gives the empty text", ";Z;K;\n1;K;\n;Z;K;\n2;K;" + E("x") + "\n", "K", ConfigLookup::kFound, ""},
      {"empty value before CRLF", ";Z;K;\r\n1;K;\r\n", "K", ConfigLookup::kFound, ""},
      {"long header line is read whole", ";Z;K;" + std::string(300, 'x') + "\n1;K;" + E("a") + "\n", "K",
       ConfigLookup::kFound, "a"},
      {"long value line is read whole",
       ";Z;K;\n1;K;" + E("a") + "\n;Z;" + std::string(380, 'y') + "\n2;" + std::string(500, 'k') + ";;\n;Z;L;\n3;L;" +
           E("l") + "\n",
       "L", ConfigLookup::kFound, "l"},
      {"value over 200 digits is refused",
       ";Z;K;\n1;K;" + E(std::string(97, 'v')) + "\n;Z;K;\n2;K;" + E("b") + "\n", "K", ConfigLookup::kRefused, ""},
      {"value of 200 digits is read", ";Z;K;\n1;K;" + E(std::string(96, 'v')) + "\n", "K", ConfigLookup::kFound,
       std::string(96, 'v')},
      {"section over 200 characters is refused",
       ";" + std::string(201, 'S') + ";\n1;K;" + E("a") + "\n;Z;K;\n2;K;" + E("b") + "\n", "K",
       ConfigLookup::kRefused, ""},
      {"key over 200 characters is refused",
       ";Z;K;\n1;" + std::string(201, 'K') + ";" + E("a") + "\n;Z;K;\n2;K;" + E("b") + "\n",
       std::string(201, 'K'), ConfigLookup::kRefused, ""},
      {"number beyond 32 bits is refused", ";Z;K;\n99999999999;K;" + E("a") + "\n;Z;K;\n2;K;" + E("b") + "\n", "K",
       ConfigLookup::kRefused, ""},
      {"line beyond the line limit is refused",
       ";Z;K;\n1;K;" + E("a") + std::string(kConfigMaxLineLength, '0') + "\n;Z;K;\n2;K;" + E("b") + "\n", "K",
       ConfigLookup::kRefused, ""},
      {"the pairs stay in step after a line beyond the limit",
       ";Z;C;\n1;C;" + E("a") + std::string(kConfigMaxLineLength, '0') + "\n;Z;K;\n2;K;" + E("b") + "\n", "K",
       ConfigLookup::kFound, "b"},
      {"zero byte in a line is refused", ";Z;K;\n1;K;" + E("a") + std::string(1, '\0') + "00\n;Z;K;\n2;K;" + E("b") +
                                             "\n",
       "K", ConfigLookup::kRefused, ""},
      {"a refused record of another key is passed over",
       ";Z;C;\n1;C;" + std::string(208, '0') + "\n;Z;K;\n2;K;" + E("b") + "\n", "K", ConfigLookup::kFound, "b"},
      {"a refused record with an empty section refuses every key",
       "Z\n1;C;" + std::string(208, '0') + "\n;Z;K;\n2;K;" + E("b") + "\n", "K", ConfigLookup::kRefused, ""},
  };
  for (const auto& c : cases) {
    Write(c.content);
    std::string value = "stale";
    EXPECT_EQ(FindConfigValue("", c.key, 0, path_, value), c.status) << c.what;
    EXPECT_EQ(value, c.expected) << c.what;
    EXPECT_EQ(ReadConfigValue("", c.key, 0, path_), c.expected) << c.what;
  }
}

TEST_F(ConfigFileTest, SectionOrKeyOrNumberIsEnough) {
  Write(";SEC;\n7;K;" + E("seven") + "\n;OTHER;\n8;L;" + E("eight") + "\n");
  EXPECT_EQ(ReadConfigValue("SEC", "none", 99, path_), "seven");
  EXPECT_EQ(ReadConfigValue("none", "L", 99, path_), "eight");
  EXPECT_EQ(ReadConfigValue("none", "none", 8, path_), "eight");
  EXPECT_EQ(ReadConfigValue("OTHER", "K", 99, path_), "seven");  // file order decides
  EXPECT_EQ(ReadConfigValue("none", "none", 99, path_), "");
}

TEST_F(ConfigFileTest, MissingFileGivesTheEmptyValue) {
  std::string value = "stale";
  EXPECT_EQ(FindConfigValue("", "LOGIN", 0, path_, value), ConfigLookup::kNoFile);
  EXPECT_EQ(value, "");
  EXPECT_EQ(ReadConfigValue("", "LOGIN", 0, (dir_ / "nowhere" / "x.ini").string()), "");
}

TEST_F(ConfigFileTest, WriteConfigFileWritesNumberedRecords) {
  ASSERT_TRUE(WriteConfigFile(path_, {{"LOGIN", "scott"}, {"PASS", ""}, {"SCHEMA", StoredSchemaValue("ZARDONIX")}}));
  EXPECT_EQ(Content(), ";ZEPRINK;LOGIN;\n1;LOGIN;" + E("scott") + "\n;ZEPRINK;PASS;\n2;PASS;\n;ZEPRINK;SCHEMA;\n3;SCHEMA;" +
                           E("ZARDONIX;") + "\n");
  EXPECT_EQ(ReadConfigValue("", "SCHEMA", 0, path_), "ZARDONIX;");
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(OtherFiles(), 0);
}

TEST_F(ConfigFileTest, WriteConfigFileRefusesBadEntriesAndKeepsTheOldFile) {
  const struct {
    const char* what;
    ConfigEntries entries;
  } cases[] = {
      {"empty key", {{"", "x"}}},
      {"';' in key", {{"A;B", "x"}}},
      {"line feed in key", {{"A\nB", "x"}}},
      {"key over 200", {{std::string(201, 'K'), "x"}}},
      {"value over 96", {{"K", std::string(97, 'v')}}},
      {"zero byte in value", {{"K", std::string("a\0b", 3)}}},
      {"same key twice, different values", {{"K", "a"}, {"K", "b"}}},
  };
  for (const auto& c : cases) {
    Write("old");
    std::string error;
    EXPECT_FALSE(WriteConfigFile(path_, c.entries, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_EQ(Content(), "old") << c.what;
    EXPECT_EQ(OtherFiles(), 0) << c.what;
  }
}

TEST_F(ConfigFileTest, SetConfigValueReplacesOrAppends) {
  const std::string other = ";ZEPRINK;LOGIN;\r\n4;LOGIN;" + E("scott") + "\r\n";
  Write(other + ";X;PASS;\n9;PASS;" + E("old") + "\n;ZEPRINK;NET8;\n5;NET8;" + E("net"));
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  ASSERT_TRUE(SetConfigValue(path_, "PASS", "new password"));
  EXPECT_EQ(Content(), other + ";ZEPRINK;PASS;\n9;PASS;" + E("new password") + "\n;ZEPRINK;NET8;\n5;NET8;" + E("net"));

  ASSERT_TRUE(SetConfigValue(path_, "SCHEMA", "ZX;"));
  EXPECT_EQ(Content(), other + ";ZEPRINK;PASS;\n9;PASS;" + E("new password") + "\n;ZEPRINK;NET8;\n5;NET8;" + E("net") +
                           "\n;ZEPRINK;SCHEMA;\n10;SCHEMA;" + E("ZX;") + "\n");
  EXPECT_EQ(ReadConfigValue("", "LOGIN", 0, path_), "scott");
  EXPECT_EQ(ReadConfigValue("", "NET8", 0, path_), "net");
  EXPECT_EQ(ReadConfigValue("", "PASS", 0, path_), "new password");
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(OtherFiles(), 0);
}

TEST_F(ConfigFileTest, SetConfigValueRefusesWhatWouldNotReadBack) {
  const struct {
    const char* what;
    std::string content;
    std::string key;
    std::string value;
  } cases[] = {
      {"odd number of lines", ";ZEPRINK;LOGIN;\n1;LOGIN;" + E("a") + "\n;ZEPRINK;PASS;\n", "PASS", "x"},
      {"earlier record with empty section hides the key", "ZEPRINK\n1;LOGIN;" + E("a") + "\n", "PASS", "x"},
      {"earlier record with number 0 hides the key", ";Z;\n0;LOGIN;" + E("a") + "\n;Z;\n2;PASS;" + E("b") + "\n",
       "PASS", "x"},
      {"value too long", ";ZEPRINK;LOGIN;\n1;LOGIN;\n", "LOGIN", std::string(97, 'v')},
  };
  for (const auto& c : cases) {
    Write(c.content);
    std::string error;
    EXPECT_FALSE(SetConfigValue(path_, c.key, c.value, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_EQ(Content(), c.content) << c.what;
    EXPECT_EQ(OtherFiles(), 0) << c.what;
  }
  fs::remove(path_);
  EXPECT_FALSE(SetConfigValue(path_, "LOGIN", "x"));
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ConfigFileTest, SetConfigValueRepairsARefusedRecordOfItsKey) {
  const std::string login = ";ZEPRINK;LOGIN;\n1;LOGIN;" + E("scott") + "\n";
  Write(login + ";ZEPRINK;NET8;\n2;NET8;" + std::string(208, '0') + "\n");
  ASSERT_EQ(ReadConfigValue("", "NET8", 0, path_), "");
  ASSERT_TRUE(SetConfigValue(path_, "NET8", "sqlite:x.db"));
  EXPECT_EQ(Content(), login + ";ZEPRINK;NET8;\n2;NET8;" + E("sqlite:x.db") + "\n");
}

TEST_F(ConfigFileTest, ALinkedFileIsReplacedThroughItsLinkWithItsOwner) {
  // The configuration may be a link to a file shared by several sites, and
  // belong to the user the program runs as: changing a value keeps both.
  fs::create_directories(dir_ / "shared");
  const fs::path real = dir_ / "shared" / "site.ini";
  {
    std::ofstream out(real, std::ios::binary);
    out << ";ZEPRINK;LOGIN;\n1;LOGIN;" + E("scott") + "\n";
  }
  fs::create_symlink("shared/site.ini", path_);
  // Giving the file to another user needs root (and that user).
  const bool root = geteuid() == 0 && ::chown(real.c_str(), 65534, 65534) == 0;
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);

  ASSERT_TRUE(SetConfigValue(path_, "PASS", "tiger"));
  ASSERT_TRUE(WriteConfigFile(path_, {{"LOGIN", "adams"}, {"PASS", "tiger"}}));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadConfigValue("", "LOGIN", 0, real.string()), "adams");
  EXPECT_EQ(ReadConfigValue("", "PASS", 0, real.string()), "tiger");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "shared"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace zx
