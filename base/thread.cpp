#include "base/thread.h"

#include <limits.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

namespace zx {

namespace {

void* RunBody(void* argument) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

}  // namespace

bool Thread::Start(std::function<void()> body, std::size_t stackBytes) {
  if (started_) {
    errno = EINVAL;
    return false;
  }
  std::unique_ptr<std::function<void()>> owned(new (std::nothrow) std::function<void()>(std::move(body)));
  if (owned == nullptr) {
    errno = ENOMEM;
    return false;
  }
  pthread_attr_t attributes;
  int error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    error = ::pthread_attr_setstacksize(
        &attributes, std::max(stackBytes, static_cast<std::size_t>(PTHREAD_STACK_MIN)));
    if (error == 0) error = ::pthread_create(&handle_, &attributes, RunBody, owned.get());
    ::pthread_attr_destroy(&attributes);
  }
  if (error != 0) {
    errno = error;
    return false;
  }
  owned.release();  // the thread owns it now
  started_ = true;
  return true;
}

void Thread::Join() {
  if (!started_) return;
  ::pthread_join(handle_, nullptr);
  started_ = false;
}

}  // namespace zx
