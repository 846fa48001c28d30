#include "driver/dnl_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/run_state.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

class DnlFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zeprink-dnl-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = (dir_ / "out.dnl").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Content() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
  size_t FilesInDir() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }

  fs::path dir_;
  std::string path_;
};

TEST_F(DnlFileTest, CommitReplacesOrExtendsTheTarget) {
  const struct {
    bool newFile;
    const char* expected;
  } cases[] = {{true, "AB"}, {false, "oldAB"}};
  for (const auto& c : cases) {
    Put("old");
    DnlFile file;
    ASSERT_TRUE(file.Open(path_, c.newFile));
    ASSERT_TRUE(file.Write("A"));
    ASSERT_TRUE(file.Write("B"));
    EXPECT_EQ(Content(), "old") << "target untouched before commit";
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Content(), c.expected) << c.newFile;
    EXPECT_EQ(FilesInDir(), 1u) << "no temporary file left";
  }
}

TEST_F(DnlFileTest, FailedWriteOrDiscardKeepsTheOldFileByteForByte) {
  Put(std::string("old\0bytes\r\n", 11));
  {
    DnlFile file;
    file.FailAtWriteForTesting(2);
    ASSERT_TRUE(file.Open(path_, true));
    EXPECT_TRUE(file.Write("first"));
    EXPECT_FALSE(file.Write("second"));
    // The writer stops; the driver discards (here: the destructor does).
  }
  EXPECT_EQ(Content(), std::string("old\0bytes\r\n", 11));
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(DnlFileTest, WriteDnlReportsTheFailureNamingTheFile) {
  DnlFile file;
  file.FailAtWriteForTesting(1);
  ASSERT_TRUE(file.Open(path_, true));
  SetRunDnlFile(&file);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(WriteDnl("x"));
  const std::string out = testing::internal::GetCapturedStdout();
  SetRunDnlFile(nullptr);
  EXPECT_EQ(out, "Downloadfile " + path_ + " konnte nicht geschrieben werden!\n");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(DnlFileTest, KeepsTheModeOfTheOldFile) {
  Put("old");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  DnlFile file;
  ASSERT_TRUE(file.Open(path_, true));
  ASSERT_TRUE(file.Commit());
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(DnlFileTest, UnusablePathsDoNotOpen) {
  DnlFile file;
  EXPECT_FALSE(file.Open((dir_ / "missing" / "x.dnl").string(), true));
  EXPECT_FALSE(file.Open(dir_.string(), true)) << "a directory is no DNL file";
  EXPECT_FALSE(file.Open("", true));
  EXPECT_EQ(FilesInDir(), 0u);
}

}  // namespace
}  // namespace zx
