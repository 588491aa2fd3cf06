#include "lock/process_guard.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace orbelune {

bool guardLockerProcess(std::string& error) {
  // Started with standard descriptors closed, the sockets made next would
  // take their numbers, and a line written to stdout or stderr (here, in the
  // password check, in a PAM module) would go into the check's channel.
  // /dev/null takes any free one of 0, 1 and 2 first.
  for (;;) {
    const int fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      error = std::string("cannot open /dev/null: ") + strerror(errno);
      return false;
    }
    if (fd > 2) {
      close(fd);
      break;
    }
    // Kept open, and across exec: it stands for the standard descriptor.
    fcntl(fd, F_SETFD, 0);
  }
  // A reader of stdout or stderr that goes (a pipe to a closed terminal or
  // log) must not end a locker holding the session: writes fail instead.
  signal(SIGPIPE, SIG_IGN);
  if (getuid() != geteuid() || getgid() != getegid()) {
    error = "refusing to run setuid or setgid";
    return false;
  }
  if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
    error = std::string("cannot make the process undumpable: ") + strerror(errno);
    return false;
  }
  const rlimit none{0, 0};
  if (setrlimit(RLIMIT_CORE, &none) != 0) {
    error = std::string("cannot turn off core files: ") + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace orbelune
