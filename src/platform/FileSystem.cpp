#include "platform/FileSystem.h"

#include <atomic>
#include <mutex>
#include <utility>

// What both hosts' file layers share: the fault seam and the thread's last failure.
namespace ov::platform::fs {

namespace {

std::mutex gFaultLock;
std::vector<std::pair<Op, std::string>> gFaults;
std::atomic<bool> gAnyFault{false};

thread_local int tLastCode = 0;
thread_local std::string tLastText;

}  // namespace

void InjectFault(Op aOp, const std::string& aHostPath) {
  std::lock_guard<std::mutex> g(gFaultLock);
  gFaults.emplace_back(aOp, aHostPath);
  gAnyFault = true;
}

void ClearFaults() {
  std::lock_guard<std::mutex> g(gFaultLock);
  gFaults.clear();
  gAnyFault = false;
}

bool ShouldFail(Op aOp, const std::string& aHostPath) {
  if (!gAnyFault) return false;
  std::lock_guard<std::mutex> g(gFaultLock);
  for (const auto& [op, path] : gFaults) {
    if (op != aOp) continue;
    if (path == aHostPath) return true;
    // A folder given with either separator covers what lies below it, whichever separator
    // the path below uses.
    const size_t n = path.size() - 1;
    if (!path.empty() && (path.back() == '/' || path.back() == '\\') && aHostPath.size() > n &&
        aHostPath.compare(0, n, path, 0, n) == 0 && (aHostPath[n] == '/' || aHostPath[n] == '\\')) {
      return true;
    }
  }
  return false;
}

bool CheckMapped(const std::string& aHostPath, const std::string& aWinPath) {
  if (!aHostPath.empty()) return true;
  SetLastError(kPathNotFound, "path cannot be mapped: " + aWinPath);
  return false;
}

std::string LastErrorText() { return tLastText; }
int LastErrorCode() { return tLastCode; }
void SetLastError(int aCode, const std::string& aText) {
  tLastCode = aCode;
  tLastText = aText;
}

}  // namespace ov::platform::fs
