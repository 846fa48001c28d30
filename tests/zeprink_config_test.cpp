// The zeprink-config tool, run as a separate program on files that the
// configuration reader then reads.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/config_cipher.h"
#include "base/config_file.h"
#include "tests/support/sqlite_fixture.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ZeprinkConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zx-tool-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "morvalent.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool with `args`, standard input from `input`, standard output
  // and error into files.
  ToolResult Run(const std::vector<std::string>& args, const std::string& input = {}) {
    const fs::path in = dir_ / "stdin";
    const fs::path out = dir_ / "stdout";
    const fs::path err = dir_ / "stderr";
    std::ofstream(in, std::ios::binary) << input;
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int inFd = ::open(in.c_str(), O_RDONLY);
      const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (inFd < 0 || outFd < 0 || errFd < 0 || ::dup2(inFd, 0) < 0 || ::dup2(outFd, 1) < 0 ||
          ::dup2(errFd, 2) < 0) {
        ::_exit(127);
      }
      std::vector<char*> argv;
      std::string binary = ZEPRINK_CONFIG_BINARY;
      argv.push_back(binary.data());
      std::vector<std::string> copies = args;
      for (auto& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(binary.c_str(), argv.data());
      ::_exit(127);
    }
    ToolResult result;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    fs::remove(in);
    fs::remove(out);
    fs::remove(err);
    return result;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(ZeprinkConfigTest, CreateSetGetRoundTrip) {
  ToolResult r = Run({"create", path_, "--login", "scott", "--pass", "tiger;pw", "--net8", "sqlite:/tmp/x.db",
                      "--db-system", "ORACLE", "--schema", "ZARDONIX"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(path_), ";ZEPRINK;LOGIN;\n1;LOGIN;" + EncryptConfigValue("scott") + "\n;ZEPRINK;PASS;\n2;PASS;" +
                                EncryptConfigValue("tiger;pw") + "\n;ZEPRINK;NET8;\n3;NET8;" +
                                EncryptConfigValue("sqlite:/tmp/x.db") + "\n;ZEPRINK;DB_SYSTEM;\n4;DB_SYSTEM;" +
                                EncryptConfigValue("ORACLE") + "\n;ZEPRINK;SCHEMA;\n5;SCHEMA;" +
                                EncryptConfigValue("ZARDONIX;") + "\n");

  const struct {
    const char* key;
    const char* expected;
  } cases[] = {
      {"LOGIN", "scott"}, {"PASS", "tiger;pw"}, {"NET8", "sqlite:/tmp/x.db"}, {"DB_SYSTEM", "ORACLE"},
      {"SCHEMA", "ZARDONIX;"},  // stored with the trailing character the program drops
  };
  for (const auto& c : cases) {
    r = Run({"get", path_, c.key});
    EXPECT_EQ(r.status, 0) << c.key << ": " << r.err;
    EXPECT_EQ(r.out, std::string(c.expected) + "\n") << c.key;
    EXPECT_EQ(ReadConfigValue("", c.key, 0, path_), c.expected) << c.key;
  }

  r = Run({"set", path_, "PASS", "geheim 2"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"set", path_, "EXTRA", "added"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("unknown key 'EXTRA'"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(ReadConfigValue("", "EXTRA", 0, path_), "");
  r = Run({"set", path_, "--force", "EXTRA", "added"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"set", path_, "--schema", "OTHER", "--login", "zx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadConfigValue("", "PASS", 0, path_), "geheim 2");
  EXPECT_EQ(ReadConfigValue("", "EXTRA", 0, path_), "added");
  EXPECT_EQ(ReadConfigValue("", "SCHEMA", 0, path_), "OTHER;");
  EXPECT_EQ(ReadConfigValue("", "LOGIN", 0, path_), "zx");
  EXPECT_EQ(ReadConfigValue("", "NET8", 0, path_), "sqlite:/tmp/x.db");
  r = Run({"get", path_, "EXTRA"});
  EXPECT_EQ(r.out, "added\n");
  EXPECT_NE(ReadAll(path_).find(";ZEPRINK;EXTRA;\n6;EXTRA;" + EncryptConfigValue("added") + "\n"), std::string::npos);
}

TEST_F(ZeprinkConfigTest, CreateWithoutOptionsWritesEmptyValuesAndKeepsExistingFiles) {
  ToolResult r = Run({"create", path_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(path_),
            ";ZEPRINK;LOGIN;\n1;LOGIN;\n;ZEPRINK;PASS;\n2;PASS;\n;ZEPRINK;NET8;\n3;NET8;\n"
            ";ZEPRINK;DB_SYSTEM;\n4;DB_SYSTEM;\n;ZEPRINK;SCHEMA;\n5;SCHEMA;\n");
  r = Run({"get", path_, "PASS"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n");

  const std::string before = ReadAll(path_);
  r = Run({"create", path_, "--login", "x"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(path_), before);
  r = Run({"create", path_, "--force", "--login", "x"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadConfigValue("", "LOGIN", 0, path_), "x");
}

TEST_F(ZeprinkConfigTest, FailuresAndBadCommandLines) {
  ToolResult r = Run({"get", path_, "LOGIN"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(Run({"create", path_}).status, 0);
  r = Run({"get", path_, "NOPE"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("NOPE"), std::string::npos) << r.err;
  r = Run({"set", path_, "PASS", std::string(97, 'p')});
  EXPECT_EQ(r.status, 255);
  r = Run({"set", (dir_ / "missing.ini").string(), "PASS", "x"});
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(fs::exists(dir_ / "missing.ini"));

  // A bad command line is named in one line, without the whole usage.
  const struct {
    std::vector<std::string> args;
    const char* named;
  } bad[] = {
      {{}, "no command"},
      {{"create"}, "create needs a FILE"},
      {{"frob", path_}, "unknown command 'frob'"},
      {{"get", path_}, "get needs FILE and one KEY"},
      {{"get", path_, "A", "B"}, "get needs FILE and one KEY"},
      {{"set", path_, "KEY"}, "set needs KEY VALUE"},
      {{"set", path_, "--login"}, "set needs KEY VALUE"},
      {{"set", path_, "--force", "--login", "x"}, "--force takes KEY VALUE"},
      {{"create", path_, "--login"}, "option --login needs a value"},
      {{"create", path_, "--bogus", "x"}, "unknown option '--bogus'"},
      {{"create", path_, "--login", "a", "--login", "b"}, "option --login given twice"},
      {{"check", path_, "x"}, "check takes at most one FILE"},
      {{"--help", "x"}, "unknown command '--help'"},
  };
  const std::string before = ReadAll(path_);
  for (const auto& c : bad) {
    r = Run(c.args);
    EXPECT_EQ(r.status, 255) << c.named;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.out, "") << c.named;
  }
  EXPECT_EQ(ReadAll(path_), before);

  r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind("usage:", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("check [FILE"), std::string::npos);
}

TEST_F(ZeprinkConfigTest, AValueGivenAsDashComesFromStandardInput) {
  // The password then shows neither in the process list nor in the
  // shell's history.
  ToolResult r = Run({"create", path_, "--login", "zx", "--pass", "-"}, "Geheim 7\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadConfigValue("", "PASS", 0, path_), "Geheim 7");
  EXPECT_EQ(ReadConfigValue("", "LOGIN", 0, path_), "zx");
  r = Run({"set", path_, "PASS", "-"}, "neu\r\nrest\n");  // one line; CR LF as LF
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadConfigValue("", "PASS", 0, path_), "neu");
  EXPECT_EQ(r.out + r.err, "");  // no prompt when standard input is no terminal

  const std::string before = ReadAll(path_);
  const struct {
    std::vector<std::string> args;
    std::string input;
    const char* named;
  } refused[] = {
      {{"set", path_, "PASS", "-"}, "", "no value for PASS on standard input"},
      {{"set", path_, "--pass", "-", "--login", "-"}, "a\nb\n", "only one value can come from standard input"},
  };
  for (const auto& c : refused) {
    r = Run(c.args, c.input);
    EXPECT_EQ(r.status, 255) << c.named;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadAll(path_), before);
}

TEST_F(ZeprinkConfigTest, ASchemaNameGetsItsTrailerOnceAndCheckConnectsWithIt) {
  test::SqliteDatabase db("");
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(Run({"create", path_, "--login", "zx", "--pass", "Geheim-7", "--net8", db.NetService()}).status, 0);
  const struct {
    std::vector<std::string> set;
    const char* stored;
  } cases[] = {
      {{"SCHEMA", "ZARDONIX"}, "ZARDONIX;"},
      {{"SCHEMA", "zardonix;"}, "zardonix;"},  // as files have always stored it
      {{"--schema", "ZARDONIX;"}, "ZARDONIX;"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"set", path_};
    args.insert(args.end(), c.set.begin(), c.set.end());
    ASSERT_EQ(Run(args).status, 0) << c.stored;
    EXPECT_EQ(ReadConfigValue("", "SCHEMA", 0, path_), c.stored);
    const ToolResult r = Run({"check", path_});
    EXPECT_EQ(r.status, 0) << c.stored << ": " << r.err;
    EXPECT_NE(r.out.find("SCHEMA:    ZARDONIX (as zeprink uses it)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PASS:      (set)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("connected, schema ZARDONIX is current"), std::string::npos) << r.out;
    EXPECT_EQ((r.out + r.err).find("Geheim-7"), std::string::npos);
  }

  ASSERT_EQ(Run({"set", path_, "SCHEMA", "OTHER"}).status, 0);
  fs::permissions(path_, fs::perms::group_read, fs::perm_options::add);
  ToolResult r = Run({"check", path_});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("warning:   mode 0640"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("schema cannot be made current, code -1435"), std::string::npos) << r.err;
  // A replaced file keeps its mode: the tool never widens it, nor narrows it behind the owner's back.
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  r = Run({"check", (dir_ / "missing.ini").string()});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find((dir_ / "missing.ini").string() + ": No such file or directory"), std::string::npos) << r.err;
}

TEST_F(ZeprinkConfigTest, OnATerminalTheValueIsAskedForWithoutEcho) {
  // script(1) gives the tool a terminal; what the terminal shows comes back.
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) missing";
  ASSERT_EQ(Run({"create", path_}).status, 0);
  const std::string command = "(sleep 1; printf 'Geheim-9\\n') | script -qec '" +
                              std::string(ZEPRINK_CONFIG_BINARY) + " set " + path_ +
                              " PASS -' /dev/null";
  std::string shown;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) shown.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << shown;
  }
  EXPECT_NE(shown.find("PASS: "), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Geheim-9"), std::string::npos) << "echoed: " << shown;
  EXPECT_EQ(ReadConfigValue("", "PASS", 0, path_), "Geheim-9");
}

TEST_F(ZeprinkConfigTest, GetRefusesARecordThatCannotBeReadAndSetRepairsIt) {
  {
    std::ofstream out(path_, std::ios::binary);
    out << ";ZEPRINK;NET8;\n1;NET8;" << std::string(208, '0') << "\n";
  }
  ToolResult r = Run({"get", path_, "NET8"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cannot be read"), std::string::npos) << r.err;
  ASSERT_EQ(Run({"set", path_, "--net8", "sqlite:x.db"}).status, 0);
  r = Run({"get", path_, "NET8"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "sqlite:x.db\n");
}

}  // namespace
}  // namespace zx
