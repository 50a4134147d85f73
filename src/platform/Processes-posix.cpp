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

#include "base/OVStrUtil.h"
#include "platform/Paths.h"

extern char** environ;

namespace ov::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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

bool IsRegularFile(const std::string& hostPath) {
  struct stat st {};
  return !hostPath.empty() && ::stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The host file for a program name: as written, else with ".exe" appended (as the process
// loader does for a name without an extension).
std::string ExistingProgram(const std::string& hostPath, bool tryExe) {
  if (IsRegularFile(hostPath)) return hostPath;
  if (tryExe && IsRegularFile(hostPath + ".exe")) return hostPath + ".exe";
  return {};
}

std::string ResolveProgram(const std::string& winName) {
  if (winName.empty()) return {};
  const bool tryExe = str::ExtractFileExt(winName).empty();
  if (winName.find_first_of("\\/:") != std::string::npos) {
    return ExistingProgram(MapToHost(winName), tryExe);
  }
  // A bare name: the program's own folder, the working folder, then the PATH.
  std::string own = str::ExtractFilePath(ProgramFile());
  if (!own.empty()) {
    std::string r = ExistingProgram(MapToHost(own + winName), tryExe);
    if (!r.empty()) return r;
  }
  std::string r = ExistingProgram(MapToHost(winName), tryExe);
  if (!r.empty()) return r;
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      r = ExistingProgram(dir + "/" + winName, tryExe);
      if (!r.empty()) return r;
    }
    start = end + 1;
  }
  return {};
}

// The program token: quotes group, nothing is escaped, an unquoted blank ends it.
size_t ParseProgram(const std::string& s, size_t i, std::string& out) {
  bool quoted = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && IsBlank(c)) break;
    out += c;
  }
  return i;
}

std::vector<std::string> ParseArguments(const std::string& s, size_t i) {
  std::vector<std::string> args;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < s.size()) {
      char c = s[i];
      if (c == '\\') {
        size_t n = 0;
        while (i < s.size() && s[i] == '\\') {
          ++n;
          ++i;
        }
        if (i < s.size() && s[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even run leaves the quote to the next round, where it toggles quoting.
        } else {
          arg.append(n, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (!quoted && IsBlank(c)) break;
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
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

std::vector<std::string> SplitCommandLine(const std::string& aCommandLine) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < aCommandLine.size() && IsBlank(aCommandLine[i])) ++i;
  if (i >= aCommandLine.size()) return out;
  std::string program;
  i = ParseProgram(aCommandLine, i, program);
  out.push_back(std::move(program));
  for (auto& a : ParseArguments(aCommandLine, i)) out.push_back(std::move(a));
  return out;
}

bool ResolveCommandLine(const std::string& aCommandLine, std::string& aHostProgram,
                        std::vector<std::string>& aArgs) {
  aHostProgram.clear();
  aArgs.clear();
  const std::string& line = aCommandLine;
  if (line.find('\0') != std::string::npos) return false;
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size()) return false;

  std::string hostProgram;
  size_t argsFrom = 0;
  size_t firstEnd = i;
  while (firstEnd < line.size() && !IsBlank(line[firstEnd])) ++firstEnd;
  if (line.substr(i, firstEnd - i).find('"') != std::string::npos) {
    std::string program;
    argsFrom = ParseProgram(line, i, program);
    hostProgram = ResolveProgram(program);
  } else {
    // An unquoted path with blanks is tried at each blank, shortest first, as the process
    // loader does ("C:\Program Files\a.exe" tries "C:\Program" before the whole name).
    size_t end = i;
    for (;;) {
      while (end < line.size() && !IsBlank(line[end])) ++end;
      hostProgram = ResolveProgram(line.substr(i, end - i));
      argsFrom = end;
      if (!hostProgram.empty() || end >= line.size()) break;
      while (end < line.size() && IsBlank(line[end])) ++end;
    }
  }
  if (hostProgram.empty()) return false;
  aHostProgram = std::move(hostProgram);
  aArgs = ParseArguments(line, argsFrom);
  return true;
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
