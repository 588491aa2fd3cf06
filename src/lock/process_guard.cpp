#include "lock/process_guard.h"

#include <errno.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace orbelune {

bool guardLockerProcess(std::string& error) {
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
