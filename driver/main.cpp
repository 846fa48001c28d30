#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "driver/run_driver.h"

namespace {

// A standard stream that the program was started without (a scheduler may
// close standard output) is opened on /dev/null first. Otherwise the next
// file or connection the run opens would take its number, and the messages
// would be written into the database connection or a file.
void OpenClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is this stream's, as the ones below are open.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) ::close(opened);
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardStreams();
  // A scheduler that stops reading the messages must not end the run half
  // way (SIGPIPE would kill it mid-run, leaving the temporary DNL file
  // behind): writes to such an output fail, the messages are lost, and the
  // DNL file is written and replaced as ever.
  std::signal(SIGPIPE, SIG_IGN);
  // A file size limit (ulimit -f) must fail the write that crosses it
  // (EFBIG), as a full disk does, so that the run keeps the old file and
  // removes its temporary one; SIGXFSZ would end the process on the spot.
  std::signal(SIGXFSZ, SIG_IGN);
  return zx::RunDriver(argc > 0 ? argc - 1 : 0, argc > 0 ? argv + 1 : argv);
}
