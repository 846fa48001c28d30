#include "driver/dnl_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "driver/signal_cleanup.h"
#include "writers/run_context.h"

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

// A site run keeps a file whose new content is the old one byte for byte:
// the same inode and modification time, so that what copies files to the
// terminals sees no change. Any difference (a byte, the length, a missing
// file) replaces it; a single run (no keepEqualFile) always replaces.
TEST_F(DnlFileTest, EqualContentKeepsTheOldFileUntouched) {
  const struct {
    const char* old;  // nullptr: no file yet
    bool newFile;
    const char* written;
    bool keepEqual;
    bool replaced;
  } cases[] = {
      {"ABC", true, "ABC", true, false},   {"ABC", true, "ABD", true, true},
      {"ABC", true, "AB", true, true},     {"ABC", true, "ABCD", true, true},
      {nullptr, true, "ABC", true, true},  {"", true, "", true, false},
      {"AB", false, "", true, false},      {"AB", false, "C", true, true},
      {"ABC", true, "ABC", false, true},
  };
  for (const auto& c : cases) {
    fs::remove(path_);
    if (c.old != nullptr) Put(c.old);
    struct stat before {};
    ::stat(path_.c_str(), &before);
    // A modification time the replacement could not hit by chance.
    if (c.old != nullptr) {
      const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    }
    DnlFile file;
    ASSERT_TRUE(file.Open(path_, c.newFile, {}, c.keepEqual));
    ASSERT_TRUE(file.Write(c.written));
    ASSERT_TRUE(file.Commit());
    const std::string what = std::string(c.old ? c.old : "(none)") + " -> " + c.written;
    EXPECT_EQ(file.Replaced(), c.replaced) << what;
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0) << what;
    if (!c.replaced) {
      EXPECT_EQ(after.st_ino, before.st_ino) << what;
      EXPECT_EQ(after.st_mtim.tv_sec, 1000000000) << what;
    } else if (c.old != nullptr) {
      EXPECT_NE(after.st_ino, before.st_ino) << what;
    }
    EXPECT_EQ(FilesInDir(), 1u) << what << ": the temporary file is gone";
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
  SqlSession session;
  std::string out;
  std::string reasons;
  Diagnostics diagnostics(&out, &reasons);
  RunContext run{session, file, diagnostics};
  EXPECT_FALSE(run.WriteDnl("x"));
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


// Records reach the file in blocks, with room reserved ahead of them: the
// file holds exactly the records, across blocks and reserved steps, and a
// file size limit fails the record that does not fit (not an earlier one
// because of the room reserved ahead, and without ending the process).
TEST_F(DnlFileTest, RecordsInBlocksAndTheFileSizeLimit) {
  constexpr int kRecords = 30000;  // 3,000,000 bytes after the old ones
  const std::string old = "old\r\n";
  const auto record = [](int n) {
    std::string r = std::to_string(n);
    r.resize(100, static_cast<char>('a' + n % 26));
    return r;
  };
  const long long all = static_cast<long long>(old.size()) + 100LL * kRecords;
  const struct {
    long long limit;  // RLIMIT_FSIZE; 0 none
    int failsAt;      // the record whose write fails; 0 none
  } cases[] = {{0, 0}, {all, 0}, {all + 10, 0}, {all - 1, kRecords}, {1500050, 15001}, {5, 1}, {3, -1}};
  for (const auto& c : cases) {
    Put(old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Where every record fits, SIGXFSZ as a shell leaves it (it would end
      // the process); where one does not, ignored, so that its write fails.
      std::signal(SIGXFSZ, c.failsAt == 0 ? SIG_DFL : SIG_IGN);
      if (c.limit > 0) {
        const rlimit limit{static_cast<rlim_t>(c.limit), static_cast<rlim_t>(c.limit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
      }
      DnlFile file;
      // The copy of the old content itself may not fit.
      if (!file.Open(path_, false)) _exit(c.failsAt == -1 ? 0 : 4);
      for (int n = 1; n <= kRecords; ++n) {
        if (!file.Write(record(n))) _exit(n == c.failsAt && file.Error() == EFBIG ? 0 : 5);
      }
      _exit(c.failsAt == 0 && file.Commit() ? 0 : 6);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "limit " << c.limit << ": " << (WIFSIGNALED(status) ? "signal " : "exit ")
        << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    if (c.failsAt != 0) {
      EXPECT_EQ(Content(), old) << c.limit;
      continue;
    }
    const std::string content = Content();
    ASSERT_EQ(content.size(), static_cast<std::size_t>(all)) << c.limit;
    bool same = content.compare(0, old.size(), old) == 0;
    for (int n = 1; n <= kRecords && same; ++n) {
      same = content.compare(old.size() + 100 * static_cast<std::size_t>(n - 1), 100, record(n)) == 0;
    }
    EXPECT_TRUE(same) << c.limit;
    EXPECT_EQ(FilesInDir(), 1u);
  }
}

TEST_F(DnlFileTest, NoCommitAfterAFailedWrite) {
  // A file with a hole where a write failed is never put in place, even when
  // a writer goes on writing after the failure.
  Put("old");
  DnlFile file;
  file.FailAtWriteForTesting(2);
  ASSERT_TRUE(file.Open(path_, false));
  EXPECT_TRUE(file.Write("A"));
  EXPECT_FALSE(file.Write("B"));
  EXPECT_FALSE(file.Write("C"));
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(Content(), "old");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(DnlFileTest, SymbolicLinkIsWrittenThroughAndStaysALink) {
  // The DNL path may be a link (to a share, to a versioned file): the run
  // writes the file that the link names and keeps the link.
  const struct {
    const char* what;
    std::string linkTarget;  // as stored in the link
    std::optional<std::string> old;
    bool newFile;
    std::string expected;
  } cases[] = {
      {"relative link, new file", "real.dnl", "old", true, "AB"},
      {"relative link, append", "real.dnl", "old", false, "oldAB"},
      {"absolute link", (dir_ / "real.dnl").string(), "old", true, "AB"},
      {"link into a subdirectory", "sub/real.dnl", "old", false, "oldAB"},
      {"dangling link creates its target", "real.dnl", std::nullopt, true, "AB"},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
    const fs::path target = c.linkTarget.front() == '/' ? fs::path(c.linkTarget) : dir_ / c.linkTarget;
    if (c.old) std::ofstream(target, std::ios::binary) << *c.old;
    fs::create_symlink(c.linkTarget, path_);
    DnlFile file;
    ASSERT_TRUE(file.Open(path_, c.newFile)) << c.what;
    ASSERT_TRUE(file.Write("A"));
    ASSERT_TRUE(file.Write("B"));
    ASSERT_TRUE(file.Commit()) << c.what;
    EXPECT_TRUE(fs::is_symlink(path_)) << c.what;
    EXPECT_EQ(fs::read_symlink(path_).string(), c.linkTarget) << c.what;
    std::ifstream in(target, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), c.expected) << c.what;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) files += !entry.is_directory();
    EXPECT_EQ(files, 2u) << c.what << ": the link, its target and no temporary file";
  }
}

TEST_F(DnlFileTest, LinksThatLoopDoNotOpen) {
  fs::create_symlink("out.dnl", path_);
  DnlFile file;
  EXPECT_FALSE(file.Open(path_, true));
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(DnlFileTest, FileNameOfFullLengthIsAccepted) {
  // A name the file system takes must not be refused because the temporary
  // name beside it would be longer.
  const long nameMax = pathconf(dir_.c_str(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 20);
  path_ = (dir_ / std::string(static_cast<size_t>(nameMax), 'n')).string();
  Put("old");
  for (bool newFile : {true, false}) {
    DnlFile file;
    ASSERT_TRUE(file.Open(path_, newFile)) << newFile;
    ASSERT_TRUE(file.Write("X"));
    ASSERT_TRUE(file.Commit()) << newFile;
    EXPECT_EQ(FilesInDir(), 1u) << newFile;
  }
  EXPECT_EQ(Content(), "XX");
}

// Runs `body` in a child process that has dropped root rights (when it had
// them), so that file permissions apply; returns the child's exit status.
template <typename Body>
int AsUnprivilegedUser(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(DnlFileTest, FileWithoutWritePermissionIsNotReplaced) {
  // The directory is open to everybody, the file is not writable: the file
  // cannot be opened for writing, so the run must not replace it either.
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  Put("protected");
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  for (bool newFile : {true, false}) {
    const int status = AsUnprivilegedUser([&] {
      DnlFile file;
      if (file.Open(path_, newFile)) {
        file.Write("X");
        return file.Commit() ? 1 : 2;
      }
      return 0;
    });
    if (status == 99) GTEST_SKIP() << "the user 65534 is not available here";
    EXPECT_EQ(status, 0) << "newFile " << newFile << ": opened and replaced a read-only file";
    EXPECT_EQ(Content(), "protected") << newFile;
    EXPECT_EQ(FilesInDir(), 1u) << newFile;
  }
}

TEST_F(DnlFileTest, ADirectoryWithoutWritePermissionIsTheOneNamed) {
  // The file could be written, but no temporary file can be made beside it:
  // the directory is what refused, and the reason must name it.
  Put("old");
  ASSERT_EQ(chmod(path_.c_str(), 0666), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  const int status = AsUnprivilegedUser([&] {
    DnlFile file;
    if (file.Open(path_, true)) return 1;
    if (file.Error() != EACCES) return 2;
    return file.FailedDirectory() == dir_ ? 0 : 3;
  });
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  if (status == 99) GTEST_SKIP() << "the user 65534 is not available here";
  EXPECT_EQ(status, 0) << "1: opened, 2: another error, 3: the directory not named";
  EXPECT_EQ(Content(), "old");
}

TEST_F(DnlFileTest, RunEndedBySignalRemovesItsTemporaryFile) {
  // A scheduler's time limit (SIGTERM), Ctrl-C or a hang-up ends the run
  // mid-way: the old file stays, and no temporary file is left beside it.
  // A signal that was ignored before the run stays ignored.
  const struct {
    int signalNumber;
    bool ignoredBefore;
    const char* content;  // afterwards
    int status;           // the signal that ended the child, or 0 for its exit code
  } cases[] = {
      {SIGTERM, false, "old", SIGTERM},
      {SIGINT, false, "old", SIGINT},
      {SIGHUP, false, "old", SIGHUP},
      {SIGHUP, true, "new", 0},
  };
  for (const auto& c : cases) {
    Put("old");
    const pid_t pid = fork();
    if (pid == 0) {
      if (c.ignoredBefore) std::signal(c.signalNumber, SIG_IGN);
      DnlFile file;
      if (!file.Open(path_, true) || !file.Write("new")) _exit(3);
      std::raise(c.signalNumber);
      _exit(file.Commit() ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status), c.status)
        << "signal " << c.signalNumber;
    EXPECT_EQ(Content(), c.content) << "signal " << c.signalNumber;
    EXPECT_EQ(FilesInDir(), 1u) << "signal " << c.signalNumber;
  }
}

TEST_F(DnlFileTest, EveryJobOfASiteRunEndedBySignalRemovesItsTemporaryFile) {
  // A site run holds a temporary file per job in flight, up to the limit it
  // keeps to: a signal removes every one of them.
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<std::unique_ptr<DnlFile>> files;
    for (std::size_t i = 0; i < kMaxWatchedTempFiles; ++i) {
      files.push_back(std::make_unique<DnlFile>());
      if (!files.back()->Open((dir_ / ("job" + std::to_string(i) + ".dnl")).string(), true)) _exit(3);
    }
    std::raise(SIGTERM);
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(FilesInDir(), 0u);
}

TEST_F(DnlFileTest, KeepsTheOwnerOfTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  Put("old");
  if (chown(path_.c_str(), 65534, 65534) != 0) GTEST_SKIP() << "the user 65534 is not available here";
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  DnlFile file;
  ASSERT_TRUE(file.Open(path_, false));
  ASSERT_TRUE(file.Commit());
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Content(), "old");
}

}  // namespace
}  // namespace zx
