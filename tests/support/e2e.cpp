#include "tests/support/e2e.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "driver/config_file.h"

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

// Builds the case's SQLite database from the shipped schema and its rows.
// Returns the net service name, or an empty text with `error` set.
std::string BuildSqliteDatabase(const fs::path& root, const std::string& rowsSql,
                                std::string& error) {
  const fs::path dbPath = root / "zardonix.db";
  sqlite3* raw = nullptr;
  if (sqlite3_open(dbPath.c_str(), &raw) != SQLITE_OK) {
    error = "cannot create " + dbPath.string();
    sqlite3_close(raw);
    return {};
  }
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  // A throw-away file: no journal and no syncing, so a case costs milliseconds.
  const std::string script = "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;\n" +
                             ReadWhole(fs::path(ZEPRINK_SOURCE_DIR) / "schema" / "sqlite.sql") +
                             "\n" + rowsSql + "\nCOMMIT;";
  char* message = nullptr;
  if (sqlite3_exec(db.get(), script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    error = std::string("database script failed: ") + (message ? message : "?");
    sqlite3_free(message);
    return {};
  }
  return "sqlite:" + dbPath.string();
}

}  // namespace

std::vector<std::pair<std::string, std::string>> DefaultConfig() {
  return {{"LOGIN", "zeprink"},
          {"PASS", "geheim"},
          {"NET8", "@NET8"},
          {"DB_SYSTEM", "ORACLE"},
          {"SCHEMA", "ZARDONIX;"}};
}

int RunProgram(const std::string& binary, const std::vector<std::string>& args,
               const std::string& workDir, std::string& out) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  out.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 1000 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

E2eResult RunZeprink(const E2eOptions& options) {
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

  std::string error;
  const std::string net8 = BuildSqliteDatabase(root, options.rowsSql, error);
  if (net8.empty()) {
    result.out = "harness: " + error;
    fs::remove_all(root);
    return result;
  }

  std::vector<std::pair<std::string, std::string>> config =
      options.config ? *options.config : DefaultConfig();
  for (auto& record : config) record.second = ReplaceAll(record.second, "@NET8", net8);
  if (!WriteConfigFile((root / "files" / "morvalent.ini").string(), config)) {
    result.out = "harness: cannot write the configuration file";
    fs::remove_all(root);
    return result;
  }

  const fs::path dnlPath = workDir / "download.dnl";
  if (options.oldDnl) WriteWhole(dnlPath, *options.oldDnl);
  std::vector<std::string> args;
  for (const std::string& arg : options.args) args.push_back(ReplaceAll(arg, "@DNL", dnlPath.string()));

  result.exitStatus = RunProgram(ZEPRINK_BINARY, args, workDir.string(), result.out);
  if (fs::exists(dnlPath)) result.dnl = ReadWhole(dnlPath);
  for (const auto& entry : fs::directory_iterator(workDir)) {
    if (entry.path() != dnlPath) result.leftover.push_back(entry.path().filename().string());
  }
  if (std::getenv("ZEPRINK_KEEP_E2E") == nullptr) fs::remove_all(root);
  return result;
}

std::string DaysFromToday(int days, const char* time) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_mday += days;
  local.tm_hour = 12;  // away from daylight-saving edges
  std::mktime(&local);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %s", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, time);
  return text;
}

std::string Yyyymmdd(int daysFromToday) {
  const std::string date = DaysFromToday(daysFromToday);
  return date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
}

}  // namespace zx::test
