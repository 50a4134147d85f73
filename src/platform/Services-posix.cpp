#include "platform/Services.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Processes.h"
#include "platform/SettingsStore.h"

extern char** environ;

namespace ov::platform {


namespace {

using Clock = std::chrono::steady_clock;


// runit keeps no wait hint; a pending service is asked again after this long.
constexpr int32_t kPendingWaitHintMs = 250;
// runsvdir looks for new service folders at least every five seconds.
constexpr int64_t kPickupLimitMs = 10000;
constexpr int64_t kSupervisorExitLimitMs = 10000;
constexpr int64_t kStartLimitMs = 5000;
// How long a stopping service may take before it is killed (shorter when waits are shorter).
constexpr int64_t kStopGraceMs = 5000;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

std::string PidFile() { return PrefixDir() + "/runsvdir.pid"; }
std::string SupervisorLog() { return PrefixDir() + "/runsvdir.log"; }

bool IsDir(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 256 || name[0] == '.') return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ']') return false;
  }
  return true;
}

std::string ServiceKey(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

// Host folder of a service and the name it is spelt with there; the folder is found without
// regard to case, as service names are.
bool FindServiceDir(const std::string& name, std::string& dir, std::string& spelt) {
  const std::string base = ServicesDir();
  if (IsDir(base + "/" + name)) {
    dir = base + "/" + name;
    spelt = name;
    return true;
  }
  DIR* d = ::opendir(base.c_str());
  if (!d) return false;
  bool found = false;
  while (struct dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' || !str::SameText(e->d_name, name)) continue;
    if (!IsDir(base + "/" + e->d_name)) continue;
    dir = base + "/" + e->d_name;
    spelt = e->d_name;
    found = true;
    break;
  }
  ::closedir(d);
  return found;
}

std::vector<std::string> ServiceDirs() {
  std::vector<std::string> dirs;
  const std::string base = ServicesDir();
  DIR* d = ::opendir(base.c_str());
  if (!d) return dirs;
  while (struct dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::string dir = base + "/" + e->d_name;
    if (IsDir(dir)) dirs.push_back(dir);
  }
  ::closedir(d);
  return dirs;
}

// runsv holds supervise/ok open for reading while it runs, so opening it for writing without
// blocking succeeds exactly then (sv checks the same way).
bool SupervisorAlive(const std::string& dir) {
  int fd = ::open((dir + "/supervise/ok").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool WriteControl(const std::string& dir, const char* commands) {
  int fd = ::open((dir + "/supervise/control").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // A runsv that exits between the open and the write must not take this process with it.
  sigset_t pipeSet, old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  size_t len = std::strlen(commands);
  ssize_t n = ::write(fd, commands, len);
  if (n < 0 && errno == EPIPE) {
    struct timespec zero {};
    sigtimedwait(&pipeSet, nullptr, &zero);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ::close(fd);
  return n == static_cast<ssize_t>(len);
}

// supervise/status as runsv writes it (daemontools layout, 20 bytes): TAI64N time of the last
// change (12), pid little-endian (4), paused flag, wanted state 'u' or 'd', got-TERM flag,
// run state 0 down, 1 run, 2 finish.
bool ReadRawStatus(const std::string& dir, unsigned char (&raw)[20], bool& present) {
  present = false;
  int fd = ::open((dir + "/supervise/status").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  ssize_t n = ::read(fd, raw, sizeof raw);
  ::close(fd);
  if (n != static_cast<ssize_t>(sizeof raw)) return false;
  present = true;
  return true;
}

ServiceStatus MapStatus(const unsigned char (&raw)[20]) {
  const uint32_t pid = raw[12] | (raw[13] << 8) | (raw[14] << 16) |
                       (static_cast<uint32_t>(raw[15]) << 24);
  const bool paused = raw[16] != 0;
  const bool wantUp = raw[17] == 'u';
  const unsigned char run = raw[19];
  ServiceStatus st;
  if (run == 1 && pid != 0) {
    if (!wantUp) {
      st.CurrentState = kServiceStopPending;
    } else {
      st.CurrentState = paused ? kServicePaused : kServiceRunning;
    }
  } else if (run == 2) {
    // ./finish runs: the service comes back when it is wanted up.
    st.CurrentState = wantUp ? kServiceStartPending : kServiceStopPending;
  } else {
    st.CurrentState = wantUp ? kServiceStartPending : kServiceStopped;
  }
  const bool pending = st.CurrentState == kServiceStartPending ||
                       st.CurrentState == kServiceStopPending;
  st.WaitHint = pending ? kPendingWaitHintMs : 0;
  if (run == 1) st.ProcessId = pid;
  return st;
}

std::string ShellQuote(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') {
      r += "'\\''";
    } else {
      r += c;
    }
  }
  return r + "'";
}

bool WriteFileMode(const std::string& path, const std::string& data, mode_t mode) {
  std::string tmp = path + ".tmp" + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ok = ::fchmod(fd, mode) == 0 && ok;
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

void RemoveTree(const std::string& dir) {
  if (DIR* d = ::opendir(dir.c_str())) {
    while (struct dirent* e = ::readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      std::string p = dir + "/" + e->d_name;
      if (IsDir(p)) {
        RemoveTree(p);
      } else {
        ::unlink(p.c_str());
      }
    }
    ::closedir(d);
  }
  ::rmdir(dir.c_str());
}

std::string RealPath(const std::string& p) {
  char buf[PATH_MAX];
  return ::realpath(p.c_str(), buf) ? std::string(buf) : p;
}

bool ReadText(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[4096];
  out.clear();
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

char ProcessState(pid_t pid) {
  std::string stat;
  if (!ReadText("/proc/" + std::to_string(pid) + "/stat", stat)) return 0;
  size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return 0;
  return stat[close + 2];
}

// A live runsvdir watching this prefix's services folder. The command line is checked, not
// just the pid, because a pid from a stale file may have been handed to another process.
bool IsPrefixSupervisor(pid_t pid) {
  if (pid <= 0) return false;
  char state = ProcessState(pid);
  if (state == 0 || state == 'Z' || state == 'X') return false;
  std::string cmdline;
  if (!ReadText("/proc/" + std::to_string(pid) + "/cmdline", cmdline)) return false;
  std::vector<std::string> argv;
  size_t start = 0;
  while (start < cmdline.size()) {
    size_t end = cmdline.find('\0', start);
    if (end == std::string::npos) end = cmdline.size();
    argv.push_back(cmdline.substr(start, end - start));
    start = end + 1;
  }
  if (argv.size() < 2) return false;
  const std::string& prog = argv[0];
  size_t slash = prog.rfind('/');
  if ((slash == std::string::npos ? prog : prog.substr(slash + 1)) != "runsvdir") return false;
  const std::string want = RealPath(ServicesDir());
  for (size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] == ServicesDir() || RealPath(argv[i]) == want) return true;
  }
  return false;
}

// The supervisor's pid file doubles as the lock that keeps two starters of one prefix apart.
class PidFileLock {
 public:
  explicit PidFileLock(bool aCreate) {
    EnsurePrefix();
    FFd = ::open(PidFile().c_str(), O_RDWR | O_CLOEXEC | (aCreate ? O_CREAT : 0), 0644);
    if (FFd < 0) return;
    while (::flock(FFd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(FFd);
        FFd = -1;
        return;
      }
    }
  }
  ~PidFileLock() {
    if (FFd >= 0) {
      ::flock(FFd, LOCK_UN);
      ::close(FFd);
    }
  }
  PidFileLock(const PidFileLock&) = delete;
  PidFileLock& operator=(const PidFileLock&) = delete;

  bool Locked() const { return FFd >= 0; }
  pid_t ReadPid() const {
    char buf[32] = {};
    ssize_t n = ::pread(FFd, buf, sizeof buf - 1, 0);
    if (n <= 0) return 0;
    return static_cast<pid_t>(std::strtol(buf, nullptr, 10));
  }
  void WritePid(pid_t pid) const {
    std::string text = pid > 0 ? std::to_string(pid) + "\n" : std::string();
    if (::ftruncate(FFd, 0) != 0) return;
    if (!text.empty() && ::pwrite(FFd, text.data(), text.size(), 0) < 0) return;
  }

 private:
  int FFd = -1;
};

pid_t SpawnSupervisor() {
  const std::string dir = ServicesDir();
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return 0;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return 0;
  }
  const std::string log = SupervisorLog();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  // A session of its own: the terminal's signals are not meant for the services.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                      POSIX_SPAWN_SETSIGDEF);
  std::string prog = "runsvdir";
  std::string arg = dir;
  char* argv[] = {prog.data(), arg.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "runsvdir", &actions, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

// Waits until the process has ended; reaps it when it is a child of this process. `resend`
// is sent again on every round: runsvdir only looks at a signal's flag after its poll returns,
// so one that lands just before it starts polling would wait out the poll (up to 5 s).
bool WaitGone(pid_t pid, int resend, Clock::time_point deadline) {
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno == ECHILD) {
      char state = ProcessState(pid);
      if (state == 0 || state == 'Z' || state == 'X') return true;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
    if (resend) ::kill(pid, resend);
  }
}

bool AnySupervisorAlive(const std::vector<std::string>& dirs) {
  for (const auto& d : dirs) {
    if (SupervisorAlive(d)) return true;
  }
  return false;
}

bool WaitSupervisorsGone(const std::vector<std::string>& dirs, Clock::time_point deadline) {
  for (;;) {
    if (!AnySupervisorAlive(dirs)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

std::string ServicesDir() { return PrefixDir() + "/services"; }

bool OpenServiceManager() {
  EnsurePrefix();
  const std::string dir = ServicesDir();
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  return IsDir(dir);
}

bool ServiceHandle::Open(const std::string& aName) {
  Close();
  if (!ValidName(aName)) return false;
  if (!SettingsStore::KeyExists(RootKey::LocalMachine, ServiceKey(aName))) return false;
  std::string dir, spelt;
  if (!FindServiceDir(aName, dir, spelt)) return false;
  FDir = dir;
  FName = spelt;
  return true;
}

void ServiceHandle::Close() {
  FDir.clear();
  FName.clear();
}

bool ServiceHandle::QueryStatus(ServiceStatus& aStatus) const {
  if (!IsOpen() || !IsDir(FDir)) return false;
  // Without its runsv a service cannot run; a status file left by a former one is stale.
  if (!SupervisorAlive(FDir)) {
    aStatus = ServiceStatus{kServiceStopped, 0, 0};
    return true;
  }
  unsigned char raw[20];
  bool present = false;
  if (!ReadRawStatus(FDir, raw, present)) return false;
  aStatus = present ? MapStatus(raw) : ServiceStatus{kServiceStopped, 0, 0};
  return true;
}

bool ServiceHandle::Control(uint32_t aControl) {
  const char* command = nullptr;
  switch (aControl) {
    case kControlStop:
      command = "d";
      break;
    case kControlPause:
      command = "p";
      break;
    case kControlContinue:
      command = "c";
      break;
    default:
      return false;
  }
  // As the service control manager does, a control is refused for a service that is not active.
  ServiceStatus st;
  if (!QueryStatus(st) || st.CurrentState == kServiceStopped) return false;
  return WriteControl(FDir, command);
}

bool ServiceHandle::Start() {
  if (!IsOpen() || !IsDir(FDir)) return false;
  if (!EnsureSupervision()) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kPickupLimitMs);
  for (;;) {
    if (WriteControl(FDir, "u")) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

bool InstallService(const std::string& aName, const std::string& aImagePath) {
  if (!ValidName(aName)) return false;
  if (aImagePath.find_first_of("\r\n") != std::string::npos) return false;
  std::string hostProgram;
  std::vector<std::string> args;
  if (!ResolveCommandLine(aImagePath, hostProgram, args)) return false;
  if (!OpenServiceManager()) return false;

  std::string run = "#!/bin/sh\n";
  // The service maps its own paths through the prefix that installed it.
  run += "export OV_PREFIX=" + ShellQuote(PrefixDir()) + "\n";
  run += "exec " + ShellQuote(hostProgram);
  for (const auto& a : args) run += " " + ShellQuote(a);
  run += "\n";

  std::string dir, spelt;
  if (FindServiceDir(aName, dir, spelt)) {
    if (!WriteFileMode(dir + "/run", run, 0755)) return false;
    int fd = ::open((dir + "/down").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
  } else {
    // The folder is made under a dot name, which runsvdir skips, and renamed into place whole:
    // a runsv never sees it without its "down" file.
    const std::string tmp = ServicesDir() + "/.install-" + aName + "-" + std::to_string(::getpid());
    RemoveTree(tmp);
    if (::mkdir(tmp.c_str(), 0755) != 0) return false;
    int fd = ::open((tmp + "/down").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (fd >= 0) ::close(fd);
    ok = ok && WriteFileMode(tmp + "/run", run, 0755);
    dir = ServicesDir() + "/" + aName;
    ok = ok && ::rename(tmp.c_str(), dir.c_str()) == 0;
    if (!ok) {
      RemoveTree(tmp);
      return false;
    }
  }
  return SettingsStore::WriteString(RootKey::LocalMachine, ServiceKey(aName), "ImagePath",
                                    aImagePath);
}

bool RegisteredServices(std::vector<RegisteredService>& aServices) {
  aServices.clear();
  EnsurePrefix();
  const std::string file = SettingsStore::StoreFile(RootKey::LocalMachine);
  if (fs::ShouldFail(fs::Op::Open, file)) return false;
  IniFile ini;
  if (!ini.LoadHost(file)) return false;
  const std::string prefix = std::string(kServicesKey) + "\\";
  std::vector<std::string> names;
  for (const auto& line : str::SplitLines(ini.Text())) {
    if (line.empty() || line[0] != '[') continue;
    size_t close = line.find(']');
    if (close == std::string::npos) continue;
    std::string section = line.substr(1, close - 1);
    if (section.size() <= prefix.size() || !str::StartsText(prefix, section)) continue;
    std::string name = section.substr(prefix.size());
    // Deeper keys belong to a service's own sub-keys.
    if (name.find('\\') != std::string::npos) continue;
    bool seen = false;
    for (const auto& n : names) seen = seen || str::SameText(n, name);
    if (!seen) names.push_back(name);
  }
  for (const auto& name : names) {
    RegisteredService s;
    s.Name = name;
    const std::string key = ServiceKey(name);
    if (!SettingsStore::ReadString(RootKey::LocalMachine, key, "ImagePath", s.ImagePath)) {
      s.ImagePath.clear();
      if (!SettingsStore::KeyExists(RootKey::LocalMachine, key)) {
        s.Error = "the settings store cannot open the key " + key;
      }
    }
    aServices.push_back(std::move(s));
  }
  return true;
}

bool EnsureSupervision() {
  if (!OpenServiceManager()) return false;
  PidFileLock lock(true);
  if (!lock.Locked()) return false;
  if (IsPrefixSupervisor(lock.ReadPid())) return true;
  pid_t pid = SpawnSupervisor();
  if (pid <= 0) return false;
  // The spawn returns while the kernel is still setting up the new image; its command line,
  // which finds it again, is only readable a moment later.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kStartLimitMs);
  while (!IsPrefixSupervisor(pid)) {
    if (WaitGone(pid, 0, Clock::now())) return false;  // it ended at once
    if (Clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      WaitGone(pid, 0, Clock::now() + std::chrono::milliseconds(kSupervisorExitLimitMs));
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  lock.WritePid(pid);
  return true;
}

uint32_t SupervisorPid() {
  std::string text;
  if (!ReadText(PidFile(), text)) return 0;
  pid_t pid = static_cast<pid_t>(std::strtol(text.c_str(), nullptr, 10));
  return IsPrefixSupervisor(pid) ? static_cast<uint32_t>(pid) : 0;
}

bool StopSupervision() {
  // Without a pid file no runsvdir was started here; supervisors may still be left over.
  PidFileLock lock(false);
  pid_t pid = lock.Locked() ? lock.ReadPid() : 0;
  if (IsPrefixSupervisor(pid)) {
    // runsvdir passes a TERM to every runsv and exits; each runsv then takes its service down
    // and exits in turn.
    ::kill(pid, SIGHUP);
    if (!WaitGone(pid, SIGHUP, Clock::now() + std::chrono::milliseconds(kSupervisorExitLimitMs))) {
      ::kill(pid, SIGKILL);
      WaitGone(pid, 0, Clock::now() + std::chrono::milliseconds(kSupervisorExitLimitMs));
    }
  }
  if (lock.Locked()) lock.WritePid(0);

  // Supervisors runsvdir did not know of (restarted in the meantime, or left by a runsvdir that
  // died) are told the same directly.
  const std::vector<std::string> dirs = ServiceDirs();
  for (const auto& d : dirs) {
    if (SupervisorAlive(d)) WriteControl(d, "dx");
  }
  const int64_t grace = std::min<int64_t>(ServiceWaitLimitMs(), kStopGraceMs);
  if (WaitSupervisorsGone(dirs, Clock::now() + std::chrono::milliseconds(grace))) return true;
  // A service that ignores TERM keeps its runsv waiting.
  for (const auto& d : dirs) {
    if (SupervisorAlive(d)) WriteControl(d, "k");
  }
  return WaitSupervisorsGone(dirs, Clock::now() + std::chrono::milliseconds(5000));
}

}  // namespace ov::platform
