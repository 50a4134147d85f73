#include "platform/Processes.h"
#include "platform/Services.h"
#include "platform/Win32Util.h"

// Services of the service control manager. A handle keeps the service's name and opens the
// service for each request, with only the rights that request needs.
namespace ov::platform {

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
  explicit operator bool() const { return FHandle != nullptr; }

 private:
  SC_HANDLE FHandle;
};

SC_HANDLE OpenManager(DWORD aAccess) { return OpenSCManagerW(nullptr, nullptr, aAccess); }

SC_HANDLE OpenByName(const std::string& aName, DWORD aAccess) {
  TScHandle sc(OpenManager(SC_MANAGER_CONNECT));
  if (!sc) return nullptr;
  return OpenServiceW(sc.Get(), win::Widen(aName).c_str(), aAccess);
}

// The manager finds a service without regard to case but hands back no name; its key name,
// as it was installed, comes through the display name, which is unique as well.
std::string InstalledName(const std::string& aName) {
  TScHandle sc(OpenManager(SC_MANAGER_CONNECT));
  if (!sc) return aName;
  wchar_t display[257] = {};
  DWORD n = 257;
  if (!GetServiceDisplayNameW(sc.Get(), win::Widen(aName).c_str(), display, &n)) return aName;
  wchar_t key[257] = {};
  n = 257;
  if (!GetServiceKeyNameW(sc.Get(), display, key, &n)) return aName;
  return win::Narrow(key);
}

// The manager's own limits on a name: at most 256 characters, no slashes; line breaks and
// other control characters are refused as on the other host.
bool ValidName(const std::string& aName) {
  if (aName.empty() || aName.size() > 256) return false;
  for (unsigned char c : aName) {
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return false;
  }
  return true;
}

}  // namespace

std::string ServicesDir() { return {}; }

bool OpenServiceManager() {
  TScHandle sc(OpenManager(SC_MANAGER_CONNECT));
  return static_cast<bool>(sc);
}

bool ServiceHandle::Open(const std::string& aName) {
  Close();
  if (!ValidName(aName)) return false;
  TScHandle s(OpenByName(aName, SERVICE_QUERY_STATUS));
  if (!s) return false;
  FName = InstalledName(aName);
  FDir = FName;  // marks the handle open; the manager has no folder
  return true;
}

void ServiceHandle::Close() {
  FDir.clear();
  FName.clear();
}

bool ServiceHandle::QueryStatus(ServiceStatus& aStatus) const {
  if (!IsOpen()) return false;
  TScHandle s(OpenByName(FName, SERVICE_QUERY_STATUS));
  SERVICE_STATUS_PROCESS sp{};
  DWORD need = 0;
  if (!s || !QueryServiceStatusEx(s.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&sp),
                                  sizeof sp, &need)) {
    return false;
  }
  aStatus.CurrentState = static_cast<int32_t>(sp.dwCurrentState);
  aStatus.WaitHint = static_cast<int32_t>(sp.dwWaitHint);
  aStatus.ProcessId = sp.dwProcessId;
  return true;
}

bool ServiceHandle::Control(uint32_t aControl) {
  DWORD code = 0;
  DWORD access = 0;
  switch (aControl) {
    case kControlStop:
      code = SERVICE_CONTROL_STOP;
      access = SERVICE_STOP;
      break;
    case kControlPause:
      code = SERVICE_CONTROL_PAUSE;
      access = SERVICE_PAUSE_CONTINUE;
      break;
    case kControlContinue:
      code = SERVICE_CONTROL_CONTINUE;
      access = SERVICE_PAUSE_CONTINUE;
      break;
    default:
      return false;
  }
  if (!IsOpen()) return false;
  TScHandle s(OpenByName(FName, access));
  SERVICE_STATUS st{};
  return s && ControlService(s.Get(), code, &st);
}

bool ServiceHandle::Start() {
  if (!IsOpen()) return false;
  TScHandle s(OpenByName(FName, SERVICE_START));
  if (!s) return false;
  return StartServiceW(s.Get(), 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
}

bool InstallService(const std::string& aName, const std::string& aImagePath) {
  if (!ValidName(aName) || aImagePath.find_first_of("\r\n") != std::string::npos) return false;
  // The manager takes any text as the image; a service whose program is missing would only
  // fail when started. Refused here as on the other host.
  std::string program;
  std::vector<std::string> args;
  if (!ResolveCommandLine(aImagePath, program, args)) return false;
  TScHandle sc(OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!sc) return false;
  const std::wstring name = win::Widen(aName);
  const std::wstring image = win::Widen(aImagePath);
  TScHandle s(CreateServiceW(sc.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (s) return true;
  if (GetLastError() != ERROR_SERVICE_EXISTS) return false;
  // Installing again replaces the image path, as on the other host.
  TScHandle old(OpenServiceW(sc.Get(), name.c_str(), SERVICE_CHANGE_CONFIG));
  return old &&
         ChangeServiceConfigW(old.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                              image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool RegisteredServices(std::vector<RegisteredService>& aServices) {
  aServices.clear();
  TScHandle sc(OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
  if (!sc) return false;
  std::vector<BYTE> buf;
  DWORD need = 0;
  DWORD count = 0;
  DWORD resume = 0;
  for (;;) {
    BOOL ok =
        EnumServicesStatusExW(sc.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                              buf.empty() ? nullptr : buf.data(), static_cast<DWORD>(buf.size()),
                              &need, &count, &resume, nullptr);
    if (!ok && GetLastError() != ERROR_MORE_DATA) return false;
    const auto* list = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buf.data());
    for (DWORD i = 0; i < count; ++i) {
      RegisteredService r;
      r.Name = win::Narrow(list[i].lpServiceName);
      TScHandle s(OpenServiceW(sc.Get(), list[i].lpServiceName, SERVICE_QUERY_CONFIG));
      DWORD cfgNeed = 0;
      if (s && !QueryServiceConfigW(s.Get(), nullptr, 0, &cfgNeed) &&
          GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<BYTE> cfg(cfgNeed);
        auto* qc = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(cfg.data());
        if (QueryServiceConfigW(s.Get(), qc, cfgNeed, &cfgNeed) && qc->lpBinaryPathName) {
          r.ImagePath = win::Narrow(qc->lpBinaryPathName);
        }
      } else if (!s) {
        r.Error = win::ErrorText(GetLastError());
      }
      aServices.push_back(std::move(r));
    }
    if (ok) return true;
    buf.resize(need + buf.size());
    count = 0;
  }
}

// The service control manager always runs; there is no supervisor of this program's own.
bool EnsureSupervision() { return true; }
uint32_t SupervisorPid() { return 0; }
bool StopSupervision() { return true; }

}  // namespace ov::platform
