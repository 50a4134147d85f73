#include "platform/Win32Util.h"
// clang-format off
#include <shellapi.h>
#include <tlhelp32.h>  // both need windows.h before them
// clang-format on

#include "SampleProgram.h"
#include "platform/Paths.h"

// Started by the service control manager (its parent is services.exe) the program is a
// service: it reports running and stops on a stop control. Asking the dispatcher first and
// falling back to a console program is not used, because under Wine that call waits for the
// pipe of whichever service started last while one runs. Anything else is a console program
// that runs until it is terminated or gets a console Ctrl event.
namespace ovsample {

namespace {

// What a service that ignores its stop tells a waiter, again on every stop control.
constexpr DWORD kStuckWaitHintMs = 2000;

HANDLE gStop = nullptr;
bool gIgnoreStop = false;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
DWORD gCheckPoint = 0;

void Report(DWORD aState, DWORD aWaitHint) {
  SERVICE_STATUS st{};
  st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  st.dwCurrentState = aState;
  st.dwControlsAccepted = aState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  st.dwWaitHint = aWaitHint;
  st.dwCheckPoint = aWaitHint ? ++gCheckPoint : 0;
  SetServiceStatus(gStatusHandle, &st);
}

// Controls arrive on the dispatcher's thread, one at a time.
DWORD WINAPI OnControl(DWORD aControl, DWORD, void*, void*) {
  switch (aControl) {
    case SERVICE_CONTROL_STOP:
      // A service that ignores its stop hangs in stopping, as a program that ignores TERM
      // keeps its supervisor waiting; only termination ends it.
      if (gIgnoreStop) {
        Report(SERVICE_STOP_PENDING, kStuckWaitHintMs);
      } else {
        SetEvent(gStop);
      }
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD aArgc, wchar_t** aArgv) {
  gStatusHandle = RegisterServiceCtrlHandlerExW(aArgc > 0 ? aArgv[0] : L"", OnControl, nullptr);
  if (!gStatusHandle) return;
  Report(SERVICE_RUNNING, 0);
  WaitForSingleObject(gStop, INFINITE);
  Report(SERVICE_STOPPED, 0);
}

BOOL WINAPI OnConsoleCtrl(DWORD) {
  if (!gIgnoreStop) SetEvent(gStop);
  return TRUE;
}

bool StartedByServiceManager() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W e;
  e.dwSize = sizeof e;
  DWORD parent = 0;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
    if (e.th32ProcessID == GetCurrentProcessId()) parent = e.th32ParentProcessID;
  }
  bool found = false;
  for (BOOL ok = Process32FirstW(snap, &e); ok && parent; ok = Process32NextW(snap, &e)) {
    if (e.th32ProcessID == parent) found = _wcsicmp(e.szExeFile, L"services.exe") == 0;
  }
  CloseHandle(snap);
  return found;
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
  std::vector<std::string> args;
  int n = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!argv) return args;
  for (int i = 1; i < n; ++i) args.push_back(ov::platform::win::Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

bool HoldFile(const std::string& aWinFile) {
  // Shared for reading only: nobody deletes, renames or writes the file while it is held.
  // Left open on purpose: it closes when the program ends.
  const std::wstring path = ov::platform::win::LongPath(ov::platform::MapToHost(aWinFile));
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr) != INVALID_HANDLE_VALUE;
}

int RunUntilStopped(bool aIgnoreStop) {
  gIgnoreStop = aIgnoreStop;
  gStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!gStop) return 5;
  if (StartedByServiceManager()) {
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 6;
  }
  SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
  WaitForSingleObject(gStop, INFINITE);
  return 0;
}

}  // namespace ovsample
