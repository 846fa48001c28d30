// A PostgreSQL 15 server of a test's own, for the faults the shared test
// server must never suffer, such as being stopped: a cluster that initdb
// makes in a temporary directory, reachable only through a unix socket in
// that directory, with trust authentication and the login "zeprink" as its
// superuser. The server refuses to run as root; a test that runs as root
// runs the server's programs as the user "postgres".
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/pg_fixture.h"

namespace zx::test {

class PrivatePgServer {
 public:
  // Makes the cluster and starts the server. ok() tells whether it worked;
  // unavailable() whether the server programs (or, as root, the user
  // "postgres") are missing.
  PrivatePgServer();
  // Stops the server at once, whatever state it is in, and removes the
  // directory.
  ~PrivatePgServer();
  PrivatePgServer(const PrivatePgServer&) = delete;
  PrivatePgServer& operator=(const PrivatePgServer&) = delete;

  bool ok() const { return error_.empty(); }
  bool unavailable() const { return unavailable_; }
  const std::string& error() const { return error_; }

  // For PgDatabase: the socket directory, the port, the login.
  const PgServer& server() const { return server_; }
  const std::string& directory() const { return directory_; }
  // The socket a client connects to.
  std::string SocketPath() const;

  // pg_ctl start, waiting until the server accepts connections. Each
  // returns "" or what went wrong (with the end of the server's log).
  std::string Start();
  // pg_ctl stop -m `mode` (smart, fast, immediate); without waiting for the
  // end when `wait` is false.
  std::string Stop(const char* mode, bool wait = true);
  // Starts a server that was shut down cleanly so that it stays starting
  // up (in recovery, refusing connections) until ReleaseStart(): its first
  // restore_command waits for the release. Does not wait for the start.
  std::string StartHeldInRecovery();
  // Lets a held start go on and waits until the server accepts connections.
  std::string ReleaseStart();

  // Waits until a ping of the server gives `state` (PQPING_OK: accepting,
  // PQPING_REJECT: up but refusing, PQPING_NO_RESPONSE: not there); false
  // when it does not within `limit`.
  bool WaitForPing(PGPing state, std::chrono::seconds limit = std::chrono::seconds(60)) const;

 private:
  // Runs one of the server's programs (as "postgres" when root); returns ""
  // or its status and output.
  std::string RunServerProgram(const std::string& program, const std::vector<std::string>& args);
  std::string LogTail() const;

  std::string bin_;
  std::string directory_;
  std::string runuser_;  // set when the programs run as "postgres"
  PgServer server_;
  std::string error_;
  bool unavailable_ = false;
};

}  // namespace zx::test

// In a test body: skips the test when the server programs are missing (fails
// with ZEPRINK_PG_REQUIRED=1), and fails it when the server did not start.
#define ZX_REQUIRE_PRIVATE_PG(server)                                                  \
  do {                                                                                 \
    if (!(server).ok()) {                                                              \
      if ((server).unavailable() && !::zx::test::PgRequired()) {                       \
        GTEST_SKIP() << "no PostgreSQL server of the test's own: " << (server).error(); \
      }                                                                                \
      FAIL() << "PostgreSQL server of the test's own: " << (server).error();           \
    }                                                                                  \
  } while (false)
