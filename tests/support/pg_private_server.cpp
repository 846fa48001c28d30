#include "tests/support/pg_private_server.h"

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/e2e.h"

namespace zx::test {

namespace fs = std::filesystem;

namespace {

constexpr char kDefaultBinDir[] = "/usr/lib/postgresql/15/bin";

bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// A TCP port nobody listens on now. The server listens on no TCP port; the
// number only names its socket, which no other server shares anyway.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace

PrivatePgServer::PrivatePgServer() {
  const char* binDir = std::getenv("ZEPRINK_PG_BINDIR");
  bin_ = binDir != nullptr && *binDir != '\0' ? binDir : kDefaultBinDir;
  for (const char* program : {"initdb", "pg_ctl", "postgres"}) {
    if (!Executable(bin_ + "/" + program)) {
      unavailable_ = true;
      error_ = bin_ + "/" + program + " not found (package postgresql-15)";
      return;
    }
  }
  const passwd* postgres = nullptr;
  if (geteuid() == 0) {
    postgres = getpwnam("postgres");
    for (const char* candidate : {"/usr/sbin/runuser", "/sbin/runuser", "/usr/bin/runuser"}) {
      if (Executable(candidate)) {
        runuser_ = candidate;
        break;
      }
    }
    if (postgres == nullptr || runuser_.empty()) {
      unavailable_ = true;
      error_ = "running as root, but the user postgres or runuser is missing";
      return;
    }
  }

  // Short: the socket's path, and the URI that names it, have their limits.
  char pattern[] = "/tmp/zxpg-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error_ = "cannot create a temporary directory";
    return;
  }
  directory_ = pattern;
  if (postgres != nullptr && chown(directory_.c_str(), postgres->pw_uid, postgres->pw_gid) != 0) {
    error_ = "cannot hand " + directory_ + " to the user postgres";
    return;
  }
  const int port = FreePort();
  if (port == 0) {
    error_ = "no free port";
    return;
  }
  server_ = PgServer{.host = directory_,
                     .port = std::to_string(port),
                     .database = "postgres",
                     .user = "zeprink",
                     .password = "zeprink_pw"};

  error_ = RunServerProgram("initdb", {"-D", directory_ + "/data", "-U", "zeprink", "-A", "trust",
                                       "-E", "UTF8", "--locale=C", "--no-sync",
                                       "--no-instructions"});
  if (!error_.empty()) return;
  std::ofstream conf(directory_ + "/data/postgresql.conf", std::ios::app);
  // A held start (StartHeldInRecovery) waits in its first restore_command
  // for the release file, a minute at most.
  conf << "\nlisten_addresses = ''\n"
       << "unix_socket_directories = '" << directory_ << "'\n"
       << "port = " << port << "\n"
       << "fsync = off\n"
       << "shared_buffers = 16MB\n"
       << "max_connections = 20\n"
       << "restore_command = 'i=0; until [ -e \"" << directory_
       << "/release\" ] || [ $i -ge 1200 ]; do sleep 0.05; i=$((i+1)); done; exit 1'\n";
  conf.close();
  if (!conf) {
    error_ = "cannot write the server's configuration";
    return;
  }
  error_ = Start();
}

PrivatePgServer::~PrivatePgServer() {
  if (directory_.empty()) return;
  if (fs::exists(directory_ + "/data/postmaster.pid")) {
    std::ofstream(directory_ + "/release").close();
    RunServerProgram("pg_ctl", {"-D", directory_ + "/data", "-m", "immediate", "stop"});
  }
  std::error_code ignored;
  fs::remove_all(directory_, ignored);
}

std::string PrivatePgServer::SocketPath() const {
  return directory_ + "/.s.PGSQL." + server_.port;
}

std::string PrivatePgServer::RunServerProgram(const std::string& program,
                                              const std::vector<std::string>& args) {
  std::string binary = bin_ + "/" + program;
  std::vector<std::string> command = args;
  if (!runuser_.empty()) {
    command.insert(command.begin(), {"-u", "postgres", "--", binary});
    binary = runuser_;
  }
  std::string out;
  std::string err;
  const int status = RunProgram(binary, command, directory_, out, StdoutMode::kCaptured, &err);
  if (status == 0) return {};
  return program + " ended with " + std::to_string(status) + ": " + out + err;
}

std::string PrivatePgServer::LogTail() const {
  std::ifstream in(directory_ + "/log");
  std::ostringstream text;
  text << in.rdbuf();
  const std::string log = text.str();
  return log.size() > 2000 ? log.substr(log.size() - 2000) : log;
}

std::string PrivatePgServer::Start() {
  const std::string error = RunServerProgram(
      "pg_ctl", {"-D", directory_ + "/data", "-l", directory_ + "/log", "-w", "-t", "60", "start"});
  return error.empty() ? error : error + "\nserver log:\n" + LogTail();
}

std::string PrivatePgServer::Stop(const char* mode, bool wait) {
  return RunServerProgram("pg_ctl",
                          {"-D", directory_ + "/data", "-m", mode, wait ? "-w" : "-W", "stop"});
}

std::string PrivatePgServer::StartHeldInRecovery() {
  std::error_code ignored;
  fs::remove(directory_ + "/release", ignored);
  // Archive recovery after a clean shutdown reads the checkpoint through
  // restore_command first, before the server counts as in recovery: until
  // then it refuses every connection as starting up.
  std::ofstream(directory_ + "/data/recovery.signal").close();
  const std::string error = RunServerProgram(
      "pg_ctl", {"-D", directory_ + "/data", "-l", directory_ + "/log", "-W", "start"});
  return error.empty() ? error : error + "\nserver log:\n" + LogTail();
}

std::string PrivatePgServer::ReleaseStart() {
  std::ofstream(directory_ + "/release").close();
  if (!WaitForPing(PQPING_OK)) return "the released server does not accept connections:\n" + LogTail();
  std::error_code ignored;
  fs::remove(directory_ + "/release", ignored);
  return {};
}

bool PrivatePgServer::WaitForPing(PGPing state, std::chrono::seconds limit) const {
  const std::string conninfo = "host=" + server_.host + " port=" + server_.port +
                               " dbname=postgres user=zeprink connect_timeout=5";
  const auto end = std::chrono::steady_clock::now() + limit;
  while (PQping(conninfo.c_str()) != state) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace zx::test
