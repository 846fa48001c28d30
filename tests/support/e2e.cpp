#include "tests/support/e2e.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <thread>
#include <vector>

#include "base/config_file.h"
#include "tests/support/backend_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWhole(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> DefaultConfig() {
  return {{"LOGIN", "zeprink"},
          {"PASS", "@PASS"},
          {"NET8", "@NET8"},
          {"DB_SYSTEM", "ORACLE"},
          {"SCHEMA", "ZARDONIX;"}};
}

int RunProgram(const std::string& binary, const std::vector<std::string>& args,
               const std::string& workDir, std::string& out, StdoutMode stdoutMode,
               std::string* err, std::optional<long long> fileSizeLimit) {
  // Standard error comes through a pipe of its own that a thread reads, so
  // that neither stream waits for the other (and a file-size limit of the
  // program does not cut it).
  int errFds[2] = {-1, -1};
  if (err != nullptr && pipe(errFds) != 0) return -1;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (errFds[1] >= 0) {
      dup2(errFds[1], STDERR_FILENO);
      close(errFds[0]);
      close(errFds[1]);
    }
    if (stdoutMode == StdoutMode::kClosed) {
      close(STDOUT_FILENO);
    } else {
      dup2(pipeFds[1], STDOUT_FILENO);
    }
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    if (fileSizeLimit) {
      // As a shell starts it: a write beyond the limit ends the program
      // unless it ignores SIGXFSZ itself.
      std::signal(SIGXFSZ, SIG_DFL);
      const rlimit limit{static_cast<rlim_t>(*fileSizeLimit), static_cast<rlim_t>(*fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  std::thread errReader;
  if (errFds[0] >= 0) {
    close(errFds[1]);
    err->clear();
    errReader = std::thread([fd = errFds[0], err] {
      char buffer[4096];
      for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        err->append(buffer, static_cast<size_t>(n));
      }
      close(fd);
    });
  }
  out.clear();
  if (stdoutMode == StdoutMode::kReaderGone) {
    // Nobody reads: the program's writes to the pipe find no reader.
    close(pipeFds[0]);
  } else {
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (errReader.joinable()) errReader.join();
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 1000 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

namespace {

// Holds a run to the rule for standard error (see RunZeprink).
void CheckReasons(const std::vector<std::string>& args, const E2eResult& result) {
  const bool verbose = args.size() == 5 && args[4] == "/d";
  int reasons = 0;
  std::istringstream lines(result.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("zeprink: ", 0) != 0) ADD_FAILURE() << "standard error line without \"zeprink: \": " << line;
    // Warnings (the run goes on) are no reasons.
    if (line.rfind(kWarning, 0) != 0) ++reasons;
  }
  if (verbose) return;
  if (result.exitStatus == 255 && reasons != 1) {
    ADD_FAILURE() << "a failed run gives one reason, not " << reasons << ":\n" << result.err;
  }
  if (result.exitStatus == 0 && reasons != 0) {
    ADD_FAILURE() << "a successful run gives no reason:\n" << result.err;
  }
}

// Runs one case on a prepared database: writes the configuration two levels
// above the working directory, runs the binary and collects the results.
E2eResult RunCase(const E2eOptions& options, const std::string& net8, const std::string& password) {
  E2eResult result;
  char pattern[] = "/tmp/zeprink-e2e-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) {
    result.out = "harness: cannot create a temporary directory";
    return result;
  }
  const fs::path root(made);
  const fs::path workDir = root / "site" / "run";
  fs::create_directories(workDir);
  fs::create_directories(root / "files");

  std::vector<std::pair<std::string, std::string>> config =
      options.config ? *options.config : DefaultConfig();
  for (auto& record : config) {
    record.second = ReplaceAll(record.second, "@NET8", net8);
    record.second = ReplaceAll(record.second, "@PASS", password);
  }
  std::string error;
  if (options.noConfigFile) {
    // nothing written
  } else if (options.rawConfig) {
    WriteWhole(root / "files" / "morvalent.ini", *options.rawConfig);
    fs::permissions(root / "files" / "morvalent.ini", fs::perms::owner_read | fs::perms::owner_write);
  } else if (!WriteConfigFile((root / "files" / "morvalent.ini").string(), config, &error)) {
    result.out = "harness: cannot write the configuration file: " + error;
    fs::remove_all(root);
    return result;
  }

  if (options.configMode) {
    fs::permissions(root / "files" / "morvalent.ini", static_cast<fs::perms>(*options.configMode));
  }
  const fs::path dnlPath = workDir / "download.dnl";
  if (options.oldDnl) WriteWhole(dnlPath, *options.oldDnl);
  std::vector<std::string> args;
  for (const std::string& arg : options.args) args.push_back(ReplaceAll(arg, "@DNL", dnlPath.string()));

  result.exitStatus = RunProgram(ZEPRINK_BINARY, args, workDir.string(), result.out,
                                 options.stdoutMode, &result.err, options.fileSizeLimit);
  // The database's name shows in connection messages, the DNL file's path in
  // file messages; both differ per case.
  result.out = ReplaceAll(result.out, net8, "@NET8");
  result.out = ReplaceAll(result.out, dnlPath.string(), "@DNL");
  result.err = ReplaceAll(ReplaceAll(result.err, net8, "@NET8"), root.string(), "@ROOT");
  CheckReasons(options.args, result);
  if (fs::exists(dnlPath)) result.dnl = ReadWhole(dnlPath);
  for (const auto& entry : fs::directory_iterator(workDir)) {
    if (entry.path() != dnlPath) result.leftover.push_back(entry.path().filename().string());
  }
  if (std::getenv("ZEPRINK_KEEP_E2E") == nullptr) fs::remove_all(root);
  return result;
}

std::string Describe(const E2eResult& r) {
  std::ostringstream text;
  text << "exit " << r.exitStatus << "\nout: " << testing::PrintToString(r.out) << "\ndnl: "
       << (r.dnl ? testing::PrintToString(*r.dnl) : std::string("(none)"));
  return text.str();
}

// Runs the case once more on `fixture`'s backend and reports a failure when
// anything differs from the reference's result. False when the backend's
// database is not there (and not required): nothing was run.
bool CompareOn(const BackendFixture& fixture, const E2eOptions& options, E2eResult& reference) {
  const std::unique_ptr<TestDatabase> db = fixture.create(options.rowsSql, true);
  if (!db->ok()) {
    if (db->skippable()) return false;
    ADD_FAILURE() << fixture.name << " database for the case: " << db->error();
    return true;
  }
  const ConnectionSettings login = db->Login();
  const E2eResult other = RunCase(options, login.netService, login.password);
  reference.otherErr.push_back(other.err);
  if (other.exitStatus != reference.exitStatus || other.out != reference.out ||
      other.dnl != reference.dnl || other.leftover != reference.leftover) {
    ADD_FAILURE() << fixture.name << " gives another result than " << BackendFixtures()[0].name
                  << ".\n" << BackendFixtures()[0].name << ":\n" << Describe(reference) << "\n"
                  << fixture.name << ":\n" << Describe(other);
  }
  return true;
}

}  // namespace

E2eResult RunZeprink(const E2eOptions& options) {
  const std::span<const BackendFixture> fixtures = BackendFixtures();
  const std::unique_ptr<TestDatabase> db = fixtures[0].create(options.rowsSql, true);
  if (!db->ok()) {
    E2eResult failed;
    failed.out = "harness: " + db->error();
    return failed;
  }
  const ConnectionSettings login = db->Login();
  E2eResult result = RunCase(options, login.netService, login.password);
  if (std::getenv("ZEPRINK_E2E_SQLITE_ONLY") != nullptr) return result;
  // A backend found missing once is not tried again in this process.
  static std::vector<bool> missing(fixtures.size(), false);
  for (std::size_t i = 1; i < fixtures.size(); ++i) {
    if (!missing[i] && !CompareOn(fixtures[i], options, result)) missing[i] = true;
  }
  return result;
}

E2eResult RunZeprinkOn(const E2eOptions& options, const std::string& net8,
                       const std::string& password) {
  return RunCase(options, net8, password);
}

TestSite::TestSite(const std::string& net8, const std::string& password) {
  static int counter = 0;
  root = fs::temp_directory_path() /
         ("zeprink-site-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::create_directories(root / "files");
  work = root / "a" / "b";
  fs::create_directories(work);
  std::string error;
  ok = WriteConfigFile((root / "files" / "morvalent.ini").string(),
                       {{"LOGIN", "zeprink"}, {"PASS", password}, {"NET8", net8},
                        {"DB_SYSTEM", "ORACLE"}, {"SCHEMA", StoredSchemaValue("ZARDONIX")}},
                       &error);
}

TestSite::~TestSite() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

std::string TestSite::Read(const fs::path& name) const { return ReadWhole(work / name); }

std::string DaysFromToday(int days, const char* time) { return DateFromToday(days, time); }

std::string Yyyymmdd(int daysFromToday) { return YyyymmddFromToday(daysFromToday); }

}  // namespace zx::test
