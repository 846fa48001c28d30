// A thread with a small stack, whose start is a status. std::thread takes
// the process's default stack (the stack size limit, 8 MiB of address space
// each on Linux) and ends the process (std::terminate) when the system
// cannot start one; a site run starts a thread per job in flight.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
#define ZEPRINK_THREAD_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEPRINK_THREAD_SANITIZED 1
#endif
#endif

namespace zx {

class Thread {
 public:
  // A job of a site run needs less than 24 KiB of stack (every writer on
  // both databases, with "/d"): ten times that leaves room. The sanitizers'
  // checks take several times as much.
#if defined(ZEPRINK_THREAD_SANITIZED)
  static constexpr std::size_t kStackBytes = 1024 * 1024;
#else
  static constexpr std::size_t kStackBytes = 256 * 1024;
#endif

  Thread() = default;
  ~Thread() { Join(); }  // waits for a started thread to end
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Runs `body` on a new thread with a stack of `stackBytes`. False, with
  // errno set, when the system cannot start a thread (no memory for its
  // stack, the process limit reached) or this one was started already;
  // `body` is then not run.
  bool Start(std::function<void()> body, std::size_t stackBytes = kStackBytes);

  // Waits until the thread has ended; nothing when it was never started.
  void Join();

  bool Started() const { return started_; }

 private:
  pthread_t handle_{};
  bool started_ = false;
};

}  // namespace zx
