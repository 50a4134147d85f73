#include "platform/Processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/OVTextUtil.h"
#include "platform/Paths.h"

extern char** environ;

namespace ov::platform {

namespace {

bool AllDigits(const char* s) {
  if (!*s) return false;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return false;
  }
  return true;
}

// Target of /proc/<pid>/exe. The kernel marks an image that was deleted or renamed over while
// it runs with " (deleted)"; that mark is dropped unless a file of exactly that name is the
// running image, so a program whose file an update replaced is still found by its path.
std::string ExeTarget(uint32_t pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char buf[PATH_MAX];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string target(buf, static_cast<size_t>(n));
  static const std::string kDeleted = " (deleted)";
  if (target.size() > kDeleted.size() &&
      target.compare(target.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    struct stat running {}, named {};
    bool same = ::stat(link.c_str(), &running) == 0 && ::stat(target.c_str(), &named) == 0 &&
                running.st_dev == named.st_dev && running.st_ino == named.st_ino;
    if (!same) target.erase(target.size() - kDeleted.size());
  }
  return target;
}

// The kernel's short name of a process whose image cannot be read (another user's process).
std::string CommName(uint32_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buf[512];
  ssize_t n = ::read(fd, buf, sizeof buf);
  ::close(fd);
  if (n <= 0) return {};
  std::string s(buf, static_cast<size_t>(n));
  size_t open = s.find('(');
  size_t close = s.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  return s.substr(open + 1, close - open - 1);
}

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> list;
  DIR* d = ::opendir("/proc");
  if (!d) return list;
  while (struct dirent* e = ::readdir(d)) {
    if (!AllDigits(e->d_name)) continue;
    unsigned long pid = std::strtoul(e->d_name, nullptr, 10);
    if (pid == 0 || pid > UINT32_MAX) continue;
    ProcessEntry entry;
    entry.Pid = static_cast<uint32_t>(pid);
    std::string target = ExeTarget(entry.Pid);
    if (!target.empty()) {
      size_t slash = target.rfind('/');
      entry.ExeFile = slash == std::string::npos ? target : target.substr(slash + 1);
    } else {
      entry.ExeFile = CommName(entry.Pid);
    }
    if (entry.ExeFile.empty()) continue;  // ended while the list was read
    list.push_back(std::move(entry));
  }
  ::closedir(d);
  return list;
}

std::string ProcessImagePath(uint32_t aPid) {
  if (aPid == 0) return {};
  std::string target = ExeTarget(aPid);
  if (target.empty()) return {};
  return MapFromHost(target);
}

bool TerminateProcess(uint32_t aPid, uint32_t /*aExitCode*/) {
  // 0 and values beyond pid_t would address process groups or nothing at all.
  if (aPid == 0 || aPid > static_cast<uint32_t>(INT_MAX)) return false;
  return ::kill(static_cast<pid_t>(aPid), SIGKILL) == 0;
}

bool StartCommandLine(const std::string& aCommandLine, int16_t /*aShowMode*/, uint32_t& aPid) {
  aPid = 0;
  std::string hostProgram;
  std::vector<std::string> rest;
  if (!ResolveCommandLine(aCommandLine, hostProgram, rest)) return false;
  std::vector<std::string> args;
  args.push_back(hostProgram);
  for (auto& a : rest) args.push_back(std::move(a));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  // Nothing but the standard handles is inherited; a session of its own stands in for the
  // new console, so the caller's terminal signals do not reach it.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                      POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, hostProgram.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0 || pid <= 0) return false;
  aPid = static_cast<uint32_t>(pid);
  return true;
}

bool WaitForProcess(uint32_t aPid, int32_t& aExitCode, int64_t aTimeoutMs) {
  if (aPid == 0 || aPid > static_cast<uint32_t>(INT_MAX)) return false;
  const pid_t pid = static_cast<pid_t>(aPid);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, aTimeoutMs < 0 ? 0 : WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) {
        aExitCode = WEXITSTATUS(status);
      } else if (WIFSIGNALED(status)) {
        aExitCode = 128 + WTERMSIG(status);
      } else {
        continue;
      }
      return true;
    }
    if (r < 0 && errno != EINTR) return false;
    if (r == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

}  // namespace ov::platform
