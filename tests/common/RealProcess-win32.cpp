#include <cctype>

#include "common/RealProcess.h"
#include "platform/Processes.h"
#include "platform/Services.h"
#include "platform/Win32Util.h"

namespace ovtest {

namespace {

class TScHandle {
 public:
  explicit TScHandle(SC_HANDLE aHandle) : FHandle(aHandle) {}
  ~TScHandle() {
    if (FHandle) CloseServiceHandle(FHandle);
  }
  TScHandle(const TScHandle&) = delete;
  TScHandle& operator=(const TScHandle&) = delete;
  SC_HANDLE Get() const { return FHandle; }

 private:
  SC_HANDLE FHandle;
};

bool StartsWithFolder(const std::string& aPath, const std::string& aRoot) {
  std::string root = aRoot;
  if (root.empty()) return false;
  if (root.back() != '\\') root += '\\';
  if (aPath.size() < root.size()) return false;
  for (size_t i = 0; i < root.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(aPath[i])) !=
        std::tolower(static_cast<unsigned char>(root[i]))) {
      return false;
    }
  }
  return true;
}

bool Exists(const std::wstring& aName) {
  TScHandle sc(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  TScHandle s(OpenServiceW(sc.Get(), aName.c_str(), SERVICE_QUERY_STATUS));
  return s.Get() != nullptr || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

}  // namespace

char ProcState(uint32_t) { return 0; }

bool IgnoresTerm(uint32_t) { return true; }

void ReapAdopted() {}

std::string Leftovers(const std::string& aRoot) {
  std::string found;
  for (const auto& p : ov::platform::ListProcesses()) {
    if (StartsWithFolder(ov::platform::ProcessImagePath(p.Pid), aRoot)) {
      found += std::to_string(p.Pid) + " ";
    }
  }
  return found;
}

uint32_t SelfPid() { return GetCurrentProcessId(); }

bool ProcessEnded(uint32_t aPid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, aPid);
  if (!h) return true;
  const bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

int32_t TerminatedExitCode(uint32_t aGiven) { return static_cast<int32_t>(aGiven); }

bool TServices::Begin(std::string& aWhyNot) {
  if (ov::platform::OpenServiceManager()) return true;
  aWhyNot = "the service control manager cannot be opened";
  return false;
}

bool TServices::EndAll() {
  bool gone = true;
  for (const auto& name : FNames) gone = Remove(name) && gone;
  FNames.clear();
  return gone;
}

void TServices::RemoveInstalled() {
  std::vector<ov::platform::RegisteredService> services;
  if (!ov::platform::RegisteredServices(services)) return;
  for (const auto& s : services) {
    std::string lower;
    for (char c : s.ImagePath) {
      lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const size_t start = lower.find_first_not_of('"');
    if (start == std::string::npos || lower.compare(start, 11, "c:\\windows\\") == 0) continue;
    Remove(s.Name);
  }
}

bool TServices::Remove(const std::string& aName) {
  const std::wstring name = ov::platform::win::Widen(aName);
  {
    TScHandle sc(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    TScHandle s(OpenServiceW(sc.Get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!s.Get()) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS_PROCESS st{};
    DWORD need = 0;
    auto query = [&] {
      return QueryServiceStatusEx(s.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&st),
                                  sizeof st, &need) != 0;
    };
    if (query() && st.dwCurrentState != SERVICE_STOPPED) {
      SERVICE_STATUS ignored{};
      ControlService(s.Get(), SERVICE_CONTROL_STOP, &ignored);
      // One that ignores its stop is ended; the manager sees its process go.
      if (!PollUntil([&] { return query() && st.dwCurrentState == SERVICE_STOPPED; }, 3000)) {
        if (st.dwProcessId) ov::platform::TerminateProcess(st.dwProcessId, 1);
        PollUntil([&] { return query() && st.dwCurrentState == SERVICE_STOPPED; }, 10000);
      }
    }
    if (!DeleteService(s.Get())) return false;
  }
  // The manager drops a deleted service once the last handle to it is closed.
  return PollUntil([&] { return !Exists(name); }, 10000);
}

}  // namespace ovtest
