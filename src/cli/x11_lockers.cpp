#include "cli/x11_lockers.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

extern char** environ;

namespace orbelune {
namespace {

// Runs `argv` with the environment plus `extra`; its output, when `output`
// is given, collected. The exit status, or -1 when it could not run.
int runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
               std::string* output = nullptr) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    bool replaced = false;
    for (const auto& x : extra) {
      const auto eq = x.find('=');
      if (std::strncmp(*e, x.c_str(), eq + 1) == 0) replaced = true;
    }
    if (!replaced) envText.emplace_back(*e);
  }
  envText.insert(envText.end(), extra.begin(), extra.end());
  std::vector<char*> env;
  for (auto& e : envText) env.push_back(e.data());
  env.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output) {
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  }
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (output) close(pipeFds[1]);
  if (spawned != 0) {
    if (output) close(pipeFds[0]);
    return -1;
  }
  if (output) {
    std::array<char, 512> chunk{};
    ssize_t n;
    while ((n = read(pipeFds[0], chunk.data(), chunk.size())) != 0) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      output->append(chunk.data(), static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

std::optional<int> lockWithXScreenSaver(std::ostream& err) {
  std::string state;
  if (runProgram({"xscreensaver-command", "-time"}, {}, &state) != 0) return std::nullopt;
  if (runProgram({"xscreensaver-command", "-lock"}, {}) != 0) {
    err << "orbelune lock: XScreenSaver refused to lock (is locking allowed in its settings?)\n";
    return 1;
  }
  // Its -time answer reads "screen locked since" (or "blanked since") once
  // the daemon has locked, and "non-blanked since" otherwise. The daemon
  // fades out before it locks, so "non-blanked" counts as the unlock only
  // after the lock was seen; a lock never seen, or a daemon gone meanwhile,
  // is no unlock.
  constexpr int kSecondsToLock = 15;  // well past the fade, a few seconds
  bool seenLocked = false;
  for (int waited = 0;; ++waited) {
    sleep(1);
    state.clear();
    if (runProgram({"xscreensaver-command", "-time"}, {}, &state) != 0) {
      err << "orbelune lock: the XScreenSaver daemon went while locked\n";
      return 1;
    }
    const bool unblanked = state.find("non-blanked") != std::string::npos;
    if (!unblanked && (state.find(" locked") != std::string::npos || state.find(" blanked") != std::string::npos)) {
      seenLocked = true;
    } else if (unblanked && seenLocked) {
      return 0;
    } else if (!seenLocked && waited >= kSecondsToLock) {
      err << "orbelune lock: XScreenSaver took the lock request but did not lock\n";
      return 1;
    }
  }
}

std::optional<int> lockWithXSecureLock(bool verbose, std::ostream& out, std::ostream& err) {
  // The module installed beside this program (libexec/xscreensaver/orbelune
  // and libexec/xsecurelock/saver_orbelune), else in xsecurelock's folder.
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::filesystem::path module = self.parent_path().parent_path() / "xsecurelock" / "saver_orbelune";
  if (ec || !std::filesystem::exists(module, ec)) module = std::filesystem::path(kXSecureLockHelperDir) / "saver_orbelune";
  if (!std::filesystem::exists(module, ec)) {
    bool hasLocker = false;
    for (const char* dir : {"/usr/bin", "/usr/local/bin"}) hasLocker |= std::filesystem::exists(std::string(dir) + "/xsecurelock", ec);
    if (!hasLocker) return std::nullopt;
    err << "orbelune lock: xsecurelock has no saver_orbelune in " << kXSecureLockHelperDir
        << " (install Orbelune's package)\n";
    return 1;
  }
  if (verbose) out << "orbelune lock: locking with xsecurelock" << std::endl;
  const int status = runProgram({"xsecurelock"}, {"XSECURELOCK_SAVER=" + module.string()});
  if (status < 0) return std::nullopt;
  if (status != 0) {
    err << "orbelune lock: xsecurelock ended with status " << status << "\n";
    return 1;
  }
  if (verbose) out << "orbelune lock: unlocked" << std::endl;
  return 0;
}

}  // namespace orbelune
