#include "driver/signal_cleanup.h"

#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>
#include <string>

namespace zx {

namespace {

// The path is kept in a fixed buffer because the handler may only make
// async-signal-safe calls.
std::array<char, 4096> signalTempPath{};
volatile std::sig_atomic_t signalTempSet = 0;

void RemoveTempAndEnd(int signalNumber) {
  if (signalTempSet != 0) ::unlink(signalTempPath.data());
  // SA_RESETHAND has restored the default action: the signal ends the
  // process as soon as the handler returns.
  ::raise(signalNumber);
}

class SignalWatcher final : public TempFileWatcher {
 public:
  void Watch(const std::string& path) override {
    signalTempSet = 0;
    // A path the buffer cannot hold stays behind as after SIGKILL.
    if (path.size() >= signalTempPath.size()) return;
    std::memcpy(signalTempPath.data(), path.c_str(), path.size() + 1);
    InstallHandlers();
    signalTempSet = 1;
  }

  void Unwatch() override { signalTempSet = 0; }

 private:
  void InstallHandlers() {
    if (installed_) return;
    installed_ = true;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
      struct sigaction current {};
      // A signal the caller ignores (nohup) stays ignored.
      if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
        continue;
      }
      struct sigaction action {};
      action.sa_handler = RemoveTempAndEnd;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      ::sigaction(signalNumber, &action, nullptr);
    }
  }

  bool installed_ = false;
};

}  // namespace

TempFileWatcher& SignalTempFileWatcher() {
  static SignalWatcher watcher;
  return watcher;
}

}  // namespace zx
