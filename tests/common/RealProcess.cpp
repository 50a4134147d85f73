#include "common/RealProcess.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Processes.h"

namespace stdfs = std::filesystem;

namespace ovtest {

bool PollUntil(const std::function<bool()>& aCondition, int64_t aMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aMs);
  for (;;) {
    if (aCondition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

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

void CopyProgram(const std::string& aFrom, const std::string& aTo) {
  stdfs::create_directories(stdfs::path(aTo).parent_path());
  stdfs::copy_file(aFrom, aTo, stdfs::copy_options::overwrite_existing);
}

void TChildren::EndAll() {
  for (uint32_t pid : FPids) {
    ov::platform::TerminateProcess(pid, 0);
    int32_t code = 0;
    ov::platform::WaitForProcess(pid, code, 10000);
  }
  FPids.clear();
}

}  // namespace ovtest
