// Processes and services of TovLib, on the host layer's process list and service supervision.
// None of them throws.
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "base/OVLibUtil.h"
#include "base/OVStopUtil.h"
#include "base/OVStrUtil.h"
#include "platform/Processes.h"
#include "platform/Services.h"

namespace pf = ov::platform;

namespace {

using Clock = std::chrono::steady_clock;

// A longer command line is cut to this many characters rather than refused.
constexpr size_t kCommandLineChars = 512;

bool IsPending(int32_t aState) {
  return aState == pf::kServiceStartPending || aState == pf::kServiceStopPending ||
         aState == pf::kServiceContinuePending || aState == pf::kServicePausePending;
}

bool Query(pf::ServiceHandle& aSvc, TServiceStatus& St) {
  pf::ServiceStatus s;
  if (!aSvc.QueryStatus(s)) return false;
  St.dwCurrentState = s.CurrentState;
  St.dwWaitHint = s.WaitHint;
  return true;
}

// A service's wait hint has no bound of its own and may be 0, which would spin. So every wait
// sleeps at least kServiceWaitFloorMs (100 ms) and gives up once ServiceWaitLimitMs (30 s by
// default) has passed since it began. False when that limit has been reached, or when the run
// is being stopped: a quit must not sit out a service's wait.
bool SleepWaitHint(const TServiceStatus& St, Clock::time_point aDeadline) {
  const auto now = Clock::now();
  if (now >= aDeadline || ov::StopRequested()) return false;
  int64_t hint = std::max<int64_t>(St.dwWaitHint, pf::kServiceWaitFloorMs);
  auto pause = std::min<Clock::duration>(std::chrono::milliseconds(hint), aDeadline - now);
  // Sleeps in slices so a stop ends the wait soon after it is asked for.
  const auto end = now + pause;
  for (auto t = now; t < end; t = Clock::now()) {
    std::this_thread::sleep_for(std::min<Clock::duration>(end - t, std::chrono::milliseconds(100)));
    if (ov::StopRequested()) return false;
  }
  return true;
}

Clock::time_point WaitDeadline() {
  return Clock::now() + std::chrono::milliseconds(pf::ServiceWaitLimitMs());
}

}  // namespace

std::string TovLib::ProcFile(uint32_t ProcessID) {
  try {
    return pf::ProcessImagePath(ProcessID);
  } catch (...) {
    return {};
  }
}

uint32_t TovLib::ProcFind(const std::string& aProcFile) {
  try {
    const std::string name = ov::str::ExtractFileName(aProcFile);
    for (const auto& p : pf::ListProcesses()) {
      if (!ov::str::SameText(p.ExeFile, name)) continue;
      if (ov::str::SameText(ProcFile(p.Pid), aProcFile)) return p.Pid;
    }
  } catch (...) {
  }
  return 0;
}

bool TovLib::ProcClose(const std::string& aProcFile) {
  bool found = false;
  bool result = false;
  try {
    const std::string name = ov::str::ExtractFileName(aProcFile);
    const bool withFolder = !ov::str::ExtractFilePath(aProcFile).empty();
    for (const auto& p : pf::ListProcesses()) {
      try {
        if (!ov::str::SameText(ov::str::ExtractFileName(p.ExeFile), name)) continue;
        std::string entry = p.ExeFile;
        if (ov::str::ExtractFilePath(entry).empty() && withFolder) entry = ProcFile(p.Pid);
        if (!ov::str::SameText(entry, aProcFile)) continue;
        found = true;
        result = pf::TerminateProcess(p.Pid, 0);
      } catch (...) {
        // One process that cannot be looked at does not stop the walk.
      }
    }
  } catch (...) {
  }
  return found ? result : true;
}

int32_t TovLib::ProcWinExecWait(const std::string& aProcFile, int16_t aVisble) {
  try {
    const std::string line = ov::str::CodePointCopy(aProcFile, 0, kCommandLineChars);
    uint32_t pid = 0;
    if (!pf::StartCommandLine(line, aVisble, pid)) return -1;
    int32_t exitCode = 0;
    pf::WaitForProcess(pid, exitCode, -1);
    return 1;
  } catch (...) {
    return -1;
  }
}

bool TovLib::SrvFindByFile(std::string& aSrvName, const std::string& aSrvFile) {
  try {
    std::vector<pf::RegisteredService> services;
    if (!pf::RegisteredServices(services)) return false;
    const bool bare = ov::str::ExtractFilePath(aSrvFile).empty();
    for (const auto& s : services) {
      const std::string name = ov::str::Trim(s.Name);
      if (name.empty()) continue;
      if (!s.Error.empty()) {
        Log("查询服务“" + aSrvName + "[" + "\\" + name + "]”出错：" + s.Error, false);
        continue;
      }
      if (s.ImagePath.empty()) continue;
      // The value is compared as registered: quotes or arguments make it differ from a path.
      const std::string value = bare ? ov::str::ExtractFileName(s.ImagePath) : s.ImagePath;
      if (ov::str::SameText(value, aSrvFile)) {
        aSrvName = name;
        return true;
      }
    }
  } catch (...) {
  }
  return false;
}

bool TovLib::SrvExists(const std::string& aSrvName) {
  try {
    if (!pf::OpenServiceManager()) return false;
    pf::ServiceHandle svc;
    return svc.Open(aSrvName);
  } catch (...) {
    return false;
  }
}

bool TovLib::SrvStop(const std::string& aSrvName) {
  try {
    if (!pf::OpenServiceManager()) return false;
    pf::ServiceHandle svc;
    if (!svc.Open(aSrvName)) return false;
    TServiceStatus st;
    bool ok = SrvWaitPending(svc, st);
    if (st.dwCurrentState != pf::kServiceStopped) ok = svc.Control(pf::kControlStop);
    return SrvWaitStatus(svc, st, pf::kServiceStopped, ok);
  } catch (...) {
    return false;
  }
}

bool TovLib::SrvStart(const std::string& ServiceName) {
  try {
    if (!pf::OpenServiceManager()) return false;
    pf::ServiceHandle svc;
    if (!svc.Open(ServiceName)) return false;
    TServiceStatus st;
    bool ok = SrvWaitPending(svc, st);
    if (st.dwCurrentState == pf::kServicePaused) {
      ok = svc.Control(pf::kControlContinue);
    } else if (st.dwCurrentState == pf::kServiceStopped) {
      ok = svc.Start();
    }
    return SrvWaitStatus(svc, st, pf::kServiceRunning, ok);
  } catch (...) {
    return false;
  }
}

bool TovLib::SrvWaitPending(ov::platform::ServiceHandle& aSvc, TServiceStatus& St) {
  try {
    const auto deadline = WaitDeadline();
    bool ok = Query(aSvc, St);
    while (ok && IsPending(St.dwCurrentState)) {
      // Still pending when the limit is reached counts as a failed wait.
      if (!SleepWaitHint(St, deadline)) return false;
      ok = Query(aSvc, St);
    }
    return ok;
  } catch (...) {
    return false;
  }
}

bool TovLib::SrvWaitStatus(ov::platform::ServiceHandle& aSvc, TServiceStatus& St,
                           uint32_t WaitStatus, bool IsWait) {
  try {
    const auto deadline = WaitDeadline();
    while (IsWait && static_cast<int64_t>(St.dwCurrentState) != static_cast<int64_t>(WaitStatus)) {
      if (!SleepWaitHint(St, deadline)) return false;
      IsWait = Query(aSvc, St);
    }
    return IsWait;
  } catch (...) {
    return false;
  }
}
