// The run when its database misbehaves: a PostgreSQL server that ends the
// session, times a statement out or refuses the connection, a server that
// stops in the middle of a run or does not take connections, writers that
// change the database while runs read it, and a writer's lock on the
// embedded database. Every failed run must end with its message and 255 and
// leave the old DNL file as it was, without a temporary file beside it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <future>
#include <string>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/pg_private_server.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

using namespace std::chrono_literals;

const std::string kConnected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";
const std::string kOldDnl = "old DNL file\r\n";

E2eOptions NewFileRun(const char* function) {
  return {.rowsSql = "", .args = {function, "T1", "@DNL", "1"}, .oldDnl = kOldDnl};
}

std::string ConnectError(int code) {
  return "DB-Connect-Error: " + std::to_string(code) +
         "!Name:zeprink Pwd:*** Net:@NET8 Schema:ZARDONIX\n";
}

std::string Describe(const E2eResult& r) {
  std::string text = "exit " + std::to_string(r.exitStatus) + "\nout: " + testing::PrintToString(r.out);
  text += "\ndnl: " + (r.dnl ? testing::PrintToString(*r.dnl) : std::string("(none)"));
  for (const std::string& file : r.leftover) text += "\nleft behind: " + file;
  return text + "\nerr: " + r.err;
}

// A failed run: the message, 255, the old file byte for byte, nothing beside it.
void ExpectFailedRun(const E2eResult& r, const std::string& expectedOut, const std::string& what) {
  EXPECT_EQ(r.exitStatus, 255) << what << "\n" << Describe(r);
  EXPECT_EQ(r.out, expectedOut) << what;
  EXPECT_EQ(r.dnl, kOldDnl) << what;
  EXPECT_TRUE(r.leftover.empty()) << what << "\n" << Describe(r);
}

// Waits for a run started with std::async. A run that has not ended after
// `limit` is reported, and `release` (which frees what holds it) is called
// before waiting for it again, so that a test never hangs.
E2eResult Await(std::future<E2eResult>& run, const std::function<void()>& release,
                std::chrono::seconds limit = 60s) {
  if (run.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << "the run did not end within " << limit.count() << " s";
  }
  release();
  return run.get();
}

// ---- PostgreSQL server faults ----

// `count` badges B0001.. valid today on terminal T1; only badge `accessBadge`
// has an access right, so only its row reads the location table Zdx113Sto.
std::string BadgesWithOneAccessRight(int count, const char* accessBadge) {
  const std::string n = std::to_string(count);
  return "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', '7600-000', 'S1');\n"
         "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) SELECT 'B' || lpad(i::text, 4, '0'), "
         "'2000-01-01 00:00:00', 'P' || i FROM generate_series(1, " + n + ") i;\n"
         "INSERT INTO Zdx113Awv (AwvNum, AwvSto) SELECT 'B' || lpad(i::text, 4, '0'), 1 "
         "FROM generate_series(1, " + n + ") i;\n"
         "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (1, 'HAL');\n"
         "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
         "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + std::string(accessBadge) + "', 'A');\n";
}

// What a run prints whose session is lost while the location lookup of its
// `accessBadge`-th badge (the first to ask one) waits: MGDNL31P writes that
// badge without its location and ends at the next FETCH; MGDNL17P names the
// lookup, and its cursor ends with the same code.
std::string SessionLostOutput(const std::string& function, int accessBadge) {
  const std::string n = std::to_string(accessBadge);
  const std::string counts = "Ausweise gesamt: " + n + " davon in Datei gestellt: 1\n";
  const std::string abort = "Programmabbruch: Fehler bei Erstellung der Datei " + function + "!\n";
  if (function == "MGDNL31P") {
    return kConnected + "Ausweiscursor lesen: Ausweis Nr. " + n + " RC: -3114 \n" + counts + abort;
  }
  return kConnected + "SQL Standortbez. Ermitteln. SQLCode:-3114\n" + counts +
         "FehlerCode EndWorkMgDnl17P: -3114\n" + abort;
}

// The process id of a session of the database that waits for a lock, once
// there is one; "" when the run ended first or after a minute.
std::string LockWaiter(PgConnection& watcher, std::future<E2eResult>& run) {
  for (int i = 0; i < 3000; ++i) {
    const std::string pid = watcher.Value(
        "SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
        "AND wait_event_type = 'Lock' AND pid <> pg_backend_pid()");
    if (!pid.empty()) return pid;
    if (run.wait_for(20ms) == std::future_status::ready) return {};
  }
  return {};
}

// The run's sessions (its own and the helper beside it), newest first.
std::vector<std::string> RunSessions(PgConnection& watcher, const std::string& lockerPid) {
  std::vector<std::string> pids;
  std::string rows = watcher.Value(
      "SELECT string_agg(pid::text, ' ' ORDER BY backend_start DESC) FROM pg_stat_activity "
      "WHERE datname = current_database() AND backend_type = 'client backend' "
      "AND pid <> pg_backend_pid() AND pid <> " + lockerPid);
  std::istringstream in(rows);
  for (std::string pid; in >> pid;) pids.push_back(pid);
  return pids;
}

// A stored character that Windows-1252 has no byte for (here 'Ω') costs
// its badge row alone, in every download: the row is named with its column
// and left out, every other record is written as from a database without
// it, and the run succeeds. The rows sit in the middle of the second batch
// of badges, whose lookups the server runs ahead.
TEST(PgHostileData, ACharacterOutsideWindows1252CostsItsBadgeAlone) {
  const std::string rows =
      BadgesWithOneAccessRight(1200, "B0001") +
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) SELECT AswNum, 'A' FROM Zdx301Asw;\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '1');\n"
      "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr) VALUES ('B0600' || chr(937), "
      "'2000-01-01 00:00:00', 'P600');\n"
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('B0600' || chr(937), 1);\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('B0600' || chr(937), 'A');\n"
      "UPDATE Zdx301Asw SET AswSal = 'S' || chr(937) WHERE AswNum = 'B0700';\n";
  PgDatabase db(rows);
  ZX_REQUIRE_PG(db);
  PgDatabase without(rows + "DELETE FROM Zdx301Asw WHERE AswNum IN ('B0600' || chr(937), 'B0700');\n");
  ZX_REQUIRE_PG(without);
  for (const char* function : {"MGDNL17P", "MGDNL18P", "MGDNL31P", "MGDNL60P", "IDSTAMM"}) {
    SCOPED_TRACE(function);
    const E2eResult expected =
        RunZeprinkOn(NewFileRun(function), without.NetService(), TestServer().password);
    const E2eResult r = RunZeprinkOn(NewFileRun(function), db.NetService(), TestServer().password);
    EXPECT_EQ(expected.exitStatus, 0);
    EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
    for (const char* message :
         {"Ausweis B0600<U+03A9>: Wert in Zdx301Asw.AswNum nicht darstellbar, nicht in Datei "
          "gestellt\n",
          "Ausweis B0700: Wert in Zdx301Asw.AswSal nicht darstellbar, nicht in Datei gestellt\n",
          "Ausweise gesamt: 1201 davon in Datei gestellt: "}) {
      EXPECT_NE(r.out.find(message), std::string::npos) << message << "\n" << r.out;
    }
    ASSERT_TRUE(r.dnl.has_value());
    EXPECT_FALSE(r.dnl->empty());
    EXPECT_EQ(r.dnl, expected.dnl);
  }
}

TEST(PgServerFaults, SessionTerminatedInTheMiddleOfTheBadgeCursor) {
  // The location lookups (their stream, opened when the first badge with an
  // access right asks) wait for a lock on Zdx113Sto; while they wait, the
  // server ends the run's session. The badge cursor, whatever rows it still
  // holds, must not go on as if the database had no more badges.
  const struct {
    const char* what;
    const char* function;
    int badges;
    const char* accessBadge;
    int accessIndex;
  } cases[] = {
      {"MGDNL31P, with a batch of rows held", "MGDNL31P", 450, "B0300", 300},
      {"MGDNL17P, with a batch of rows held", "MGDNL17P", 150, "B0100", 100},
  };
  for (const auto& c : cases) {
    PgDatabase db(BadgesWithOneAccessRight(c.badges, c.accessBadge));
    ZX_REQUIRE_PG(db);
    PgConnection locker(db);
    PgConnection watcher(db);
    ASSERT_TRUE(locker.ok() && watcher.ok()) << locker.error() << watcher.error();
    ASSERT_EQ(locker.Execute("BEGIN; LOCK TABLE Zdx113Sto IN ACCESS EXCLUSIVE MODE"), "");

    std::future<E2eResult> run = std::async(std::launch::async, [&] {
      return RunZeprinkOn(NewFileRun(c.function), db.NetService(), TestServer().password);
    });
    const std::string lockerPid = locker.Value("SELECT pg_backend_pid()");
    const std::string pid = LockWaiter(watcher, run);
    EXPECT_FALSE(pid.empty()) << c.what << ": the run never waited for the lock";
    if (!pid.empty()) {
      const std::vector<std::string> sessions = RunSessions(watcher, lockerPid);
      // The run reads through one session.
      EXPECT_EQ(sessions.size(), 1u) << c.what;
      for (const std::string& session : sessions) {
        EXPECT_EQ(watcher.Value("SELECT pg_terminate_backend(" + session + ")"), "t") << c.what;
      }
    }
    const E2eResult r = Await(run, [&] { locker.Execute("ROLLBACK"); });
    ExpectFailedRun(r, SessionLostOutput(c.function, c.accessIndex), c.what);
  }
}

TEST(PgServerFaults, BadgeStatementEndedByATimeout) {
  // The badge statement waits for a lock on Zdx301Asw that another session
  // holds for longer than the database lets a statement (or a lock wait) go on.
  const std::string rows =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', '7600-000', 'S1');\n"
      "INSERT INTO Zdx301Asw (AswNum, AswGvo) VALUES ('100', '2000-01-01 00:00:00');\n"
      "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('100', 7);\n";
  const struct {
    const char* setting;
    int code;
  } cases[] = {
      {"statement_timeout = '2s'", -1013},
      {"lock_timeout = '2s'", -54},
  };
  for (const auto& c : cases) {
    PgDatabase db(rows);
    ZX_REQUIRE_PG(db);
    ASSERT_EQ(db.Execute("ALTER DATABASE " + db.name() + " SET " + c.setting), "") << c.setting;
    PgConnection locker(db);
    ASSERT_TRUE(locker.ok()) << locker.error();
    ASSERT_EQ(locker.Execute("BEGIN; LOCK TABLE Zdx301Asw IN ACCESS EXCLUSIVE MODE"), "");

    std::future<E2eResult> run = std::async(std::launch::async, [&] {
      return RunZeprinkOn(NewFileRun("MGDNL31P"), db.NetService(), TestServer().password);
    });
    const E2eResult r = Await(run, [&] { locker.Execute("ROLLBACK"); });
    ExpectFailedRun(r,
                    kConnected + "Ausweiscursor oeffnen: RC: " + std::to_string(c.code) +
                        " \nAusweiscursor lesen: RC: -1001 \n"
                        "Ausweise gesamt: 0 davon in Datei gestellt: 0\n"
                        "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n",
                    c.setting);
  }
}

TEST(PgServerFaults, DatabaseRefusesConnections) {
  const struct {
    const char* setting;
    int code;
  } cases[] = {
      {"ALLOW_CONNECTIONS false", -600},
      {"CONNECTION LIMIT 0", -18},
  };
  for (const auto& c : cases) {
    PgDatabase db("INSERT INTO Zdx1140Trm (TrmNam) VALUES ('T1');\n");
    ZX_REQUIRE_PG(db);
    // Changed from another database: a session may not lock itself out.
    const PgDatabase other({}, false);
    ZX_REQUIRE_PG(other);
    ASSERT_EQ(other.Execute("ALTER DATABASE " + db.name() + " " + c.setting), "") << c.setting;
    const E2eResult r = RunZeprinkOn(NewFileRun("IDSTAMM"), db.NetService(), TestServer().password);
    ExpectFailedRun(r, ConnectError(c.code), c.setting);
  }
}

// ---- a server that stops answering ----

// A TCP socket on the loopback that takes connections (the kernel completes
// them) but never reads nor answers: a server that hangs.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        listen(fd_, 16) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~SilentServer() { Close(); }
  // Takes the connections that wait and closes them unread (which resets
  // them), then the socket: a run that still waits on one ends.
  void Close() {
    if (fd_ < 0) return;
    fcntl(fd_, F_SETFL, O_NONBLOCK);
    for (int connection; (connection = accept(fd_, nullptr, nullptr)) >= 0;) close(connection);
    close(fd_);
    fd_ = -1;
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// An environment variable set for the runs a test starts, and taken back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PgServerSilent, ServerThatNeverAnswersTheConnectionEndsTheRunAfterTheDefaultWait) {
  // No connect_timeout anywhere: the service, the URI and PGCONNECT_TIMEOUT
  // set none, so the run's own default (10 s) applies.
  SilentServer server;
  ASSERT_NE(server.port(), 0);
  const ScopedEnv noTimeout("PGCONNECT_TIMEOUT", "");
  const std::string net8 = "postgresql://127.0.0.1:" + std::to_string(server.port()) + "/site";
  const auto start = std::chrono::steady_clock::now();
  std::future<E2eResult> run = std::async(std::launch::async, [&] {
    return RunZeprinkOn(NewFileRun("IDSTAMM"), net8, "pw");
  });
  const E2eResult r = Await(run, [&] { server.Close(); }, 40s);
  const auto took = std::chrono::steady_clock::now() - start;
  ExpectFailedRun(r, ConnectError(-12170), "silent server");
  EXPECT_GE(took, 9s);
  EXPECT_LT(took, 20s);
  EXPECT_NE(r.err.find("no answer from the server for 10 s (connect_timeout)"), std::string::npos)
      << r.err;
}

TEST(PgServerSilent, StatementThatGetsNoAnswerEndsTheRunAfterTheWaitLimit) {
  // The badge statement waits for a lock that another session holds, and the
  // database sets no timeout of its own: the server says nothing until the
  // lock goes. The run gives up after ZEPRINK_PG_TIMEOUT seconds.
  const std::string rows =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', '7600-000', 'S1');\n"
      "INSERT INTO Zdx301Asw (AswNum, AswGvo) VALUES ('100', '2000-01-01 00:00:00');\n";
  PgDatabase db(rows);
  ZX_REQUIRE_PG(db);
  PgConnection locker(db);
  ASSERT_TRUE(locker.ok()) << locker.error();
  ASSERT_EQ(locker.Execute("BEGIN; LOCK TABLE Zdx301Asw IN ACCESS EXCLUSIVE MODE"), "");
  const ScopedEnv wait("ZEPRINK_PG_TIMEOUT", "2");
  const auto start = std::chrono::steady_clock::now();
  std::future<E2eResult> run = std::async(std::launch::async, [&] {
    return RunZeprinkOn(NewFileRun("MGDNL31P"), db.NetService(), TestServer().password);
  });
  const E2eResult r = Await(run, [&] { locker.Execute("ROLLBACK"); }, 30s);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, 10s);
  ExpectFailedRun(r,
                  kConnected +
                      "Ausweiscursor oeffnen: RC: -12609 \nAusweiscursor lesen: RC: -1001 \n"
                      "Ausweise gesamt: 0 davon in Datei gestellt: 0\n"
                      "Programmabbruch: Fehler bei Erstellung der Datei MGDNL31P!\n",
                  "stalled statement");
  EXPECT_NE(r.err.find("no answer from the server for 2 s (ZEPRINK_PG_TIMEOUT)"), std::string::npos)
      << r.err;
}

// ---- the whole server stopped ----
//
// On a server of the test's own: the shared test server must go on.

// The reason a failed run gives on standard error: `start` exactly, then
// the server's (or libpq's) words somewhere in the rest of the line. The
// server's directory shows as "@SERVER".
void ExpectReason(const E2eResult& r, const PrivatePgServer& server, const std::string& start,
                  const std::string& words, const std::string& what) {
  std::string reason = r.err;
  for (std::size_t at = reason.find(server.directory()); at != std::string::npos;
       at = reason.find(server.directory(), at)) {
    reason.replace(at, server.directory().size(), "@SERVER");
  }
  EXPECT_TRUE(reason.starts_with(start)) << what << "\n" << reason;
  EXPECT_NE(reason.find(words, start.size()), std::string::npos)
      << what << ": the reason does not carry \"" << words << "\"\n" << reason;
}

TEST(PgServerStopped, InTheMiddleOfTheBadgeCursor) {
  // The server stops while the run's location lookup (the first, for the
  // 300th badge) waits for a lock on Zdx113Sto: the badge cursor is open,
  // holds a batch and has as many rows again on the server.
  PrivatePgServer server;
  ZX_REQUIRE_PRIVATE_PG(server);
  const PgDatabase db(BadgesWithOneAccessRight(1000, "B0300"), true, server.server());
  ASSERT_TRUE(db.ok()) << db.error();
  const std::string cursorFailed =
      "zeprink: SQL-Anweisung \"gueltige Ausweise lesen (Ausweiscursor)\" fehlgeschlagen, SQLCode -3114: ";
  // An immediate stop ends the sessions with no error for the client (a
  // warning at most, which the program does not read): the reason gives
  // libpq's words.
  const struct {
    const char* mode;
    const char* function;
    const char* words;
  } cases[] = {
      {"immediate", "MGDNL31P", "server closed the connection unexpectedly"},
      {"fast", "MGDNL31P", "terminating connection due to administrator command"},
      {"immediate", "MGDNL17P", "server closed the connection unexpectedly"},
      {"fast", "MGDNL17P", "terminating connection due to administrator command"},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.function) + ", pg_ctl stop -m " + c.mode;
    if (!server.WaitForPing(PQPING_OK, 0s)) {
      ASSERT_EQ(server.Start(), "") << what;
    }
    PgConnection locker(db);
    PgConnection watcher(db);
    ASSERT_TRUE(locker.ok() && watcher.ok()) << locker.error() << watcher.error();
    ASSERT_EQ(locker.Execute("BEGIN; LOCK TABLE Zdx113Sto IN ACCESS EXCLUSIVE MODE"), "");

    std::future<E2eResult> run = std::async(std::launch::async, [&] {
      return RunZeprinkOn(NewFileRun(c.function), db.NetService(), db.server().password);
    });
    const std::string pid = LockWaiter(watcher, run);
    EXPECT_FALSE(pid.empty()) << what << ": the run never waited for the lock";
    if (!pid.empty()) {
      EXPECT_EQ(server.Stop(c.mode), "") << what;
    }
    const E2eResult r = Await(run, [&] { locker.Execute("ROLLBACK"); });
    ExpectFailedRun(r, SessionLostOutput(c.function, 300), what);
    ExpectReason(r, server, cursorFailed, c.words, what);
  }
}

// A unix socket that nobody listens on, where the server's socket was: what
// a server that crashed leaves behind. Connecting to it is refused.
class DeadSocket {
 public:
  explicit DeadSocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~DeadSocket() {
    if (fd_ >= 0) close(fd_);
    if (bound_) unlink(path_.c_str());
  }
  DeadSocket(const DeadSocket&) = delete;
  DeadSocket& operator=(const DeadSocket&) = delete;
  bool bound() const { return bound_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
};

TEST(PgServerStopped, RunStartsWhileTheServerTakesNoConnections) {
  PrivatePgServer server;
  ZX_REQUIRE_PRIVATE_PG(server);
  const PgDatabase db("INSERT INTO Zdx1140Trm (TrmNam) VALUES ('T1');\n", true, server.server());
  ASSERT_TRUE(db.ok()) << db.error();
  enum class State { kStopped, kCrashedSocket, kStartingUp, kShuttingDown };
  const struct {
    const char* what;
    State state;
    int code;
    const char* words;  // libpq's or the server's
  } cases[] = {
      {"server stopped", State::kStopped, -12541, "No such file or directory"},
      {"socket left by a crashed server", State::kCrashedSocket, -12541, "Connection refused"},
      {"server starting up", State::kStartingUp, -1033, "the database system is starting up"},
      {"server shutting down", State::kShuttingDown, -1033, "the database system is shutting down"},
  };
  const std::string reasonStart = "zeprink: Verbindung zur Datenbank \"@NET8\" fehlgeschlagen: "
                                  "connection to server on socket \"@SERVER/.s.PGSQL." +
                                  server.server().port + "\" failed: ";
  for (const auto& c : cases) {
    if (!server.WaitForPing(PQPING_OK, 0s)) {
      ASSERT_EQ(server.Start(), "") << c.what;
    }
    std::unique_ptr<DeadSocket> deadSocket;
    std::unique_ptr<PgConnection> lastSession;
    switch (c.state) {
      case State::kStopped:
        ASSERT_EQ(server.Stop("fast"), "") << c.what;
        break;
      case State::kCrashedSocket:
        ASSERT_EQ(server.Stop("fast"), "") << c.what;
        deadSocket = std::make_unique<DeadSocket>(server.SocketPath());
        ASSERT_TRUE(deadSocket->bound()) << c.what;
        break;
      case State::kStartingUp:
        ASSERT_EQ(server.Stop("fast"), "") << c.what;
        ASSERT_EQ(server.StartHeldInRecovery(), "") << c.what;
        ASSERT_TRUE(server.WaitForPing(PQPING_REJECT)) << c.what;
        break;
      case State::kShuttingDown:
        // A smart shutdown waits for the last session to end and takes no
        // new one meanwhile.
        lastSession = std::make_unique<PgConnection>(db);
        ASSERT_TRUE(lastSession->ok()) << lastSession->error();
        ASSERT_EQ(server.Stop("smart", false), "") << c.what;
        ASSERT_TRUE(server.WaitForPing(PQPING_REJECT)) << c.what;
        break;
    }
    const E2eResult r = RunZeprinkOn(NewFileRun("IDSTAMM"), db.NetService(), db.server().password);
    ExpectFailedRun(r, ConnectError(c.code), c.what);
    ExpectReason(r, server, reasonStart, c.words, c.what);
    if (c.state == State::kStartingUp) {
      EXPECT_EQ(server.ReleaseStart(), "") << c.what;
    }
    if (c.state == State::kShuttingDown) {
      // Ends the last session too; the server is down when it returns.
      EXPECT_EQ(server.Stop("fast"), "") << c.what;
    }
  }
}

// ---- writers beside the runs ----

std::string Badge(const std::string& number, const char* accessClass, const char* balance) {
  return "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswPnr, AswBkl) VALUES ('" + number +
         "', '2000-01-01 00:00:00', 'P" + number + "', 'Z');\n"
         "INSERT INTO Zdx113Awv (AwvNum, AwvSto) VALUES ('" + number + "', 1);\n"
         "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + number + "', '" + accessClass + "');\n"
         "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('" + number + "', '" + balance + "');\n";
}

std::string TwoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// A site that moves through numbered states: step k (from 1) takes it from
// state k-1 to state k in one transaction. Each step sets every balance to
// k, adds a badge, deletes one and gives another an access class, so a run
// that read part of one state and part of another gives a file of neither.
struct ChangingSite {
  static constexpr int kBadges = 30;
  static constexpr int kSteps = 15;
  std::string base;
  std::vector<std::string> steps;

  ChangingSite() {
    base =
        "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', '7600-000', 'S1');\n"
        "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
        "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 2);\n"
        "INSERT INTO Zdx113Sto (StoNum, StoKtx) VALUES (1, 'HAL');\n"
        "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n"
        "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
        "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'B', '0');\n";
    for (int i = 1; i <= kBadges; ++i) base += Badge("B" + TwoDigits(i), i % 2 == 0 ? "A" : "Z", "+000000");
    for (int k = 1; k <= kSteps; ++k) {
      const std::string gone = "B" + TwoDigits(k);
      steps.push_back("UPDATE O2002TSW SET TswW02 = '+0000" + TwoDigits(k) + "';\n" +
                      Badge("N" + TwoDigits(k), "B", "-000001") +
                      "DELETE FROM Zdx301Asw WHERE AswNum = '" + gone + "';\n"
                      "DELETE FROM Zdx113Awv WHERE AwvNum = '" + gone + "';\n"
                      "DELETE FROM Zdx301Awb WHERE AwbAsw = '" + gone + "';\n"
                      "DELETE FROM O2002TSW WHERE TswIdn = '" + gone + "';\n"
                      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('B" + TwoDigits(k + 10) + "', 'B');\n");
    }
  }

  // The rows of state k.
  std::string State(int k) const {
    std::string sql = base;
    for (int i = 0; i < k; ++i) sql += steps[static_cast<std::size_t>(i)];
    return sql;
  }
};

// The result of a run on a copy of each state, built on its own.
std::vector<E2eResult> ResultsOfEachState(const ChangingSite& site, const E2eOptions& options) {
  std::vector<E2eResult> results;
  for (int k = 0; k <= ChangingSite::kSteps; ++k) {
    SqliteDatabase copy(site.State(k));
    EXPECT_TRUE(copy.ok()) << copy.error();
    results.push_back(RunZeprinkOn(options, copy.NetService(), "geheim"));
    EXPECT_EQ(results.back().exitStatus, 0) << "state " << k << "\n" << Describe(results.back());
  }
  for (int k = 1; k <= ChangingSite::kSteps; ++k) {
    EXPECT_NE(results[static_cast<std::size_t>(k)].dnl, results[static_cast<std::size_t>(k - 1)].dnl)
        << "states " << k - 1 << " and " << k << " give the same file";
  }
  return results;
}

// Runs the program on the live database again and again while `applyStep`
// commits the site's steps one after the other in another thread, then once
// more after the last step. Every run must succeed with the result of one
// state; the last one with that of the last state.
void RunBesideWriter(const ChangingSite& site, const std::string& net8, const std::string& password,
                     const std::function<std::string(const std::string&)>& applyStep) {
  const E2eOptions options = NewFileRun("MGDNL17P");
  const std::vector<E2eResult> expected = ResultsOfEachState(site, options);
  if (testing::Test::HasFailure()) return;

  std::atomic<bool> writerDone{false};
  std::vector<std::string> writerErrors;
  std::thread writer([&] {
    for (const std::string& step : site.steps) {
      const std::string error = applyStep(step);
      if (!error.empty()) writerErrors.push_back(error);
      std::this_thread::sleep_for(10ms);
    }
    writerDone = true;
  });

  auto stateOf = [&](const E2eResult& r) {
    for (std::size_t k = 0; k < expected.size(); ++k) {
      if (r.exitStatus == 0 && r.out == expected[k].out && r.dnl == expected[k].dnl && r.leftover.empty()) {
        return static_cast<int>(k);
      }
    }
    return -1;
  };
  int runs = 0;
  bool mismatch = false;
  while (!writerDone && runs < 1000 && !mismatch) {
    const E2eResult r = RunZeprinkOn(options, net8, password);
    ++runs;
    if (stateOf(r) < 0) {
      ADD_FAILURE() << "run " << runs << " gives the file of no state of the database\n" << Describe(r);
      mismatch = true;
    }
  }
  writer.join();
  for (const std::string& error : writerErrors) ADD_FAILURE() << "writer: " << error;

  const E2eResult last = RunZeprinkOn(options, net8, password);
  EXPECT_EQ(stateOf(last), ChangingSite::kSteps) << Describe(last);
}

// How long a writer's transaction holds its changes before the commit.
constexpr auto kWriterHold = 20ms;

// A writer of its own on the SQLite file, waiting for the runs' read locks.
std::string ApplyToSqlite(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "cannot open " + path;
  }
  sqlite3_busy_timeout(db, 20000);
  sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  char* message = nullptr;
  std::string error;
  // The write lock is held for a moment, as a writer's transaction takes
  // its time: runs that start meanwhile must wait for it.
  int rc = sqlite3_exec(db, ("BEGIN EXCLUSIVE;\n" + sql).c_str(), nullptr, nullptr, &message);
  if (rc == SQLITE_OK) {
    std::this_thread::sleep_for(kWriterHold);
    rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, &message);
  }
  if (rc != SQLITE_OK) {
    error = message != nullptr ? message : "step failed";
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return error;
}

TEST(WritersBesideRuns, EveryFileIsTheFileOfOneStateOnTheEmbeddedDatabase) {
  const ChangingSite site;
  for (const char* journalMode : {"DELETE", "WAL"}) {
    SCOPED_TRACE(journalMode);
    SqliteDatabase db(site.State(0));
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db.Execute(std::string("PRAGMA journal_mode=") + journalMode), "");
    RunBesideWriter(site, db.NetService(), "geheim",
                    [&](const std::string& step) { return ApplyToSqlite(db.path(), step); });
  }
}

TEST(WritersBesideRuns, EveryFileIsTheFileOfOneStateOnPostgres) {
  const ChangingSite site;
  PgDatabase db(site.State(0));
  ZX_REQUIRE_PG(db);
  PgConnection writer(db);
  ASSERT_TRUE(writer.ok()) << writer.error();
  RunBesideWriter(site, db.NetService(), TestServer().password, [&](const std::string& step) {
    std::string error = writer.Execute("BEGIN;\n" + step);
    std::this_thread::sleep_for(kWriterHold);
    if (error.empty()) error = writer.Execute("COMMIT");
    if (!error.empty()) writer.Execute("ROLLBACK");
    return error;
  });
}

// ---- a writer's lock on the embedded database ----

TEST(SqliteWriteLock, RunWaitsForAShortLockAndGivesUpOnALongOne) {
  // A writer holds the write lock of the database, with its first step not
  // yet committed, when the run starts. In rollback-journal mode the run
  // waits for it (2 s at most); in WAL mode it reads the committed state.
  const ChangingSite site;
  const E2eOptions options = NewFileRun("MGDNL17P");
  const std::vector<E2eResult> expected = ResultsOfEachState(site, options);
  ASSERT_FALSE(testing::Test::HasFailure());
  const struct {
    const char* what;
    const char* journalMode;
    bool heldThroughTheRun;  // else committed a moment after the run started
    int expectedState;       // -1: the run fails with -54
  } cases[] = {
      {"rollback journal, lock held for a moment", "DELETE", false, 1},
      {"rollback journal, lock held longer than the run waits", "DELETE", true, -1},
      {"WAL, lock held throughout", "WAL", true, 0},
  };
  for (const auto& c : cases) {
    SqliteDatabase db(site.State(0));
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db.Execute(std::string("PRAGMA journal_mode=") + c.journalMode), "");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(db.path().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> writer(raw, sqlite3_close);
    ASSERT_EQ(sqlite3_exec(writer.get(), ("BEGIN EXCLUSIVE;\n" + site.steps[0]).c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(writer.get());

    std::future<E2eResult> run = std::async(std::launch::async, [&] {
      return RunZeprinkOn(options, db.NetService(), "geheim");
    });
    if (!c.heldThroughTheRun) {
      // Long enough for the run to reach the lock, well within its wait.
      std::this_thread::sleep_for(400ms);
      EXPECT_EQ(sqlite3_exec(writer.get(), "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK) << c.what;
    }
    const E2eResult r =
        Await(run, [&] { sqlite3_exec(writer.get(), "ROLLBACK", nullptr, nullptr, nullptr); }, 30s);
    if (c.expectedState < 0) {
      ExpectFailedRun(r, ConnectError(-54), c.what);
    } else {
      const E2eResult& want = expected[static_cast<std::size_t>(c.expectedState)];
      EXPECT_EQ(r.exitStatus, 0) << c.what << "\n" << Describe(r);
      EXPECT_EQ(r.out, want.out) << c.what;
      EXPECT_EQ(r.dnl, want.dnl) << c.what;
      EXPECT_TRUE(r.leftover.empty()) << c.what;
    }
  }
}

}  // namespace
}  // namespace zx::test
