#include "driver/on_change.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace zx {

std::string RunOnChange(const std::string& program, const std::vector<std::string>& args,
                        std::FILE* reasons) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (reasons != nullptr) {
    std::fflush(reasons);
    posix_spawn_file_actions_adddup2(&actions, ::fileno(reasons), STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // The command starts with the signals as the program was started with
  // them, not with the run's handlers or ignored SIGPIPE.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int started = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return "--on-change " + program + " nicht startbar: " + std::strerror(started);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "--on-change " + program + ": " + std::strerror(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFSIGNALED(status)) {
    return "--on-change " + program + " durch Signal " + std::to_string(WTERMSIG(status)) + " beendet";
  }
  return "--on-change " + program + " endete mit Status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace zx
