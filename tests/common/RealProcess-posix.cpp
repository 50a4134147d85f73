#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/RealProcess.h"
#include "platform/Services.h"

namespace stdfs = std::filesystem;

namespace ovtest {

char ProcState(uint32_t aPid) {
  std::ifstream in("/proc/" + std::to_string(aPid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

bool IgnoresTerm(uint32_t aPid) {
  std::ifstream in("/proc/" + std::to_string(aPid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("SigIgn:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
  }
  return false;
}

void ReapAdopted() {
  PollUntil(
      [] {
        for (;;) {
          pid_t r = ::waitpid(-1, nullptr, WNOHANG);
          if (r > 0) continue;
          return r < 0;  // no child left
        }
      },
      5000);
}

std::string Leftovers(const std::string& aRoot) {
  std::string found;
  for (const auto& e : stdfs::directory_iterator("/proc")) {
    const std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ProcState(std::stoul(pid)) == 'Z') continue;
    for (const char* what : {"/exe", "/cwd"}) {
      std::error_code ec;
      if (stdfs::read_symlink("/proc/" + pid + what, ec).string().rfind(aRoot, 0) == 0) {
        found += pid + " ";
        break;
      }
    }
  }
  return found;
}

uint32_t SelfPid() { return static_cast<uint32_t>(::getpid()); }

bool ProcessEnded(uint32_t aPid) {
  return ::kill(static_cast<pid_t>(aPid), 0) != 0 || ProcState(aPid) == 'Z';
}

int32_t TerminatedExitCode(uint32_t /*aGiven*/) { return 128 + SIGKILL; }

bool TServices::Begin(std::string& aWhyNot) {
  // runsv processes outlive their runsvdir for a moment; adopting them lets the test reap them
  // instead of leaving zombies to an init that may not collect them.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (!ov::platform::EnsureSupervision()) {
    aWhyNot = "runsvdir cannot start: runit's runsvdir and runsv must be on the PATH";
    return false;
  }
  return ov::platform::StopSupervision();
}

bool TServices::EndAll() {
  const bool stopped = ov::platform::StopSupervision();
  ReapAdopted();
  FNames.clear();
  return stopped;
}

void TServices::RemoveInstalled() {}

bool TServices::Remove(const std::string& aName) {
  std::error_code ec;
  return stdfs::remove_all(ov::platform::ServicesDir() + "/" + aName, ec) > 0;
}

}  // namespace ovtest
