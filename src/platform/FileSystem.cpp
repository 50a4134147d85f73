#include "platform/FileSystem.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/Paths.h"

// What both hosts' file layers share: the fault seam, the thread's last failure, and the
// operations on Windows paths, which map their path and hand it to the host's twin.
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

std::string HostOf(const std::string& aWinPath) {
  std::string h = MapToHost(aWinPath);
  CheckMapped(h, aWinPath);
  return h;
}

bool FileExists(const std::string& aPath) { return HostFileExists(HostOf(aPath)); }
bool DirectoryExists(const std::string& aPath) { return HostDirectoryExists(HostOf(aPath)); }
bool PathExists(const std::string& aPath) { return HostPathExists(HostOf(aPath)); }

bool ForceDirectories(const std::string& aPath) {
  std::string h = HostOf(aPath);
  return !h.empty() && HostForceDirectories(h);
}

bool DeleteFile(const std::string& aPath) {
  std::string h = HostOf(aPath);
  return !h.empty() && HostDeleteFile(h);
}

bool ReplaceFile(const std::string& aFrom, const std::string& aTo) {
  std::string from = HostOf(aFrom);
  std::string to = HostOf(aTo);
  return !from.empty() && !to.empty() && HostReplaceFile(from, to);
}

bool ReadFile(const std::string& aPath, std::string& aData) {
  std::string h = HostOf(aPath);
  return !h.empty() && ReadHostFile(h, aData);
}

bool WriteFileAtomic(const std::string& aPath, std::string_view aData, bool aSync) {
  std::string h = HostOf(aPath);
  if (h.empty() || !WriteHostFileAtomic(h, aData, aSync)) return false;
  ApplyExecBits(h);
  return true;
}

bool GetFileTimes(const std::string& aPath, FileTimes& aTimes) {
  return HostGetFileTimes(HostOf(aPath), aTimes);
}

bool SetFileTimes(const std::string& aPath, std::optional<int64_t> aCreation,
                  std::optional<int64_t> aLastAccess, std::optional<int64_t> aLastWrite) {
  return HostSetFileTimes(HostOf(aPath), aCreation, aLastAccess, aLastWrite);
}

File::~File() { Close(); }

bool File::Open(const std::string& aPath, Mode aMode) {
  std::string h = HostOf(aPath);
  return !h.empty() && OpenHost(h, aMode);
}

}  // namespace ov::platform::fs
