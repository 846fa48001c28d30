#include "driver/signal_cleanup.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <string>

namespace zx {

namespace {

// The temporary files that exist now: a run of many jobs has one per job in
// progress. The paths are kept in fixed buffers because the handler may
// only make async-signal-safe calls; a slot's flag says it holds a path.
constexpr std::size_t kSlots = kMaxWatchedTempFiles;
std::array<std::array<char, 4096>, kSlots> signalTempPaths{};
std::array<std::atomic<int>, kSlots> signalTempSet{};

void RemoveTempsAndEnd(int signalNumber) {
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (signalTempSet[i].load() != 0) ::unlink(signalTempPaths[i].data());
  }
  // SA_RESETHAND has restored the default action: the signal ends the
  // process as soon as the handler returns.
  ::raise(signalNumber);
}

class SignalWatcher final : public TempFileWatcher {
 public:
  int Watch(const std::string& path) override {
    // A path the buffers cannot hold stays behind as after SIGKILL.
    if (path.size() >= signalTempPaths[0].size()) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < kSlots; ++i) {
      if (signalTempSet[i].load() != 0) continue;
      std::memcpy(signalTempPaths[i].data(), path.c_str(), path.size() + 1);
      InstallHandlers();
      signalTempSet[i].store(1);
      return static_cast<int>(i);
    }
    return -1;
  }

  void Unwatch(int watch) override {
    if (watch < 0 || static_cast<std::size_t>(watch) >= kSlots) return;
    signalTempSet[static_cast<std::size_t>(watch)].store(0);
  }

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
      action.sa_handler = RemoveTempsAndEnd;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      ::sigaction(signalNumber, &action, nullptr);
    }
  }

  std::mutex mutex_;
  bool installed_ = false;
};

}  // namespace

TempFileWatcher& SignalTempFileWatcher() {
  static SignalWatcher watcher;
  return watcher;
}

}  // namespace zx
