#pragma once
#include <string>

namespace orbelune {

// Makes the locker unfit to leak what it holds, before anything else runs:
// not dumpable (no core file, no ptrace by the same user, /proc/PID/mem
// closed), with a core-size limit of 0, and refused when setuid or setgid
// (PAM is asked as the user who runs it, with no privilege of its own).
// False with `error` set when any of it cannot be done.
bool guardLockerProcess(std::string& error);

}  // namespace orbelune
