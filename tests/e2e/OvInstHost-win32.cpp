#include "platform/Win32Util.h"

#include "common/RealProcess.h"
#include "e2e/OvInstHost.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

namespace win = ov::platform::win;

namespace ovtest {

namespace {

// One argument as the C runtime splits it again: quoted, with the backslashes before a quote
// doubled.
std::wstring Quote(const std::wstring& aArg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : aArg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

HANDLE OpenForChild(const std::string& aFile) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileW(win::Widen(aFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Console control events reach only the processes of one console: the test gets one (under
// ctest it has none) before it starts a child, keeping its standard handles where they were.
void EnsureConsole() {
  if (GetConsoleCP() != 0) return;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  AllocConsole();
  SetStdHandle(STD_INPUT_HANDLE, in);
  SetStdHandle(STD_OUTPUT_HANDLE, out);
  SetStdHandle(STD_ERROR_HANDLE, err);
}

}  // namespace

TProgramRun::~TProgramRun() {
  if (!FHandle) return;
  if (!FEnded) {
    Kill();
    Wait(10000);
  }
  CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

bool TProgramRun::Start(const std::vector<std::string>& aArgs, const std::string& aOutFile,
                        const std::string& aErrFile) {
  EnsureConsole();
  std::wstring line;
  for (const auto& a : aArgs) line += (line.empty() ? L"" : L" ") + Quote(win::Widen(a));
  HANDLE out = OpenForChild(aOutFile);
  HANDLE err = OpenForChild(aErrFile);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  // A process group of its own, so that Ctrl-Break reaches the child alone.
  const BOOL ok = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                  CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                 CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
  if (!ok) return false;
  CloseHandle(pi.hThread);
  FHandle = reinterpret_cast<intptr_t>(pi.hProcess);
  FEnded = false;
  return true;
}

int TProgramRun::Wait(int64_t aMs) {
  if (!FEnded) {
    HANDLE h = reinterpret_cast<HANDLE>(FHandle);
    if (WaitForSingleObject(h, static_cast<DWORD>(aMs)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    FEnded = true;
    if (FExit != kKilled) FExit = static_cast<int>(code);
  }
  return FExit == kKilled ? -1 : FExit;
}

bool TProgramRun::Kill() {
  if (FEnded || !::TerminateProcess(reinterpret_cast<HANDLE>(FHandle), 1)) return false;
  FExit = kKilled;
  return true;
}

// Ctrl-C cannot be aimed at one process group; Ctrl-Break can, and the installer takes both.
bool TProgramRun::Interrupt() {
  if (FEnded) return false;
  return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetProcessId(reinterpret_cast<HANDLE>(FHandle)));
}

void BeginInstalls() { ov::platform::SettingsStore::SetRootOverride(""); }

void EndInstalls() {
  TServices::RemoveInstalled();
  // The installer's remembered choices, in the 32-bit view it writes.
  HKEY software = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    &software) == ERROR_SUCCESS) {
    RegDeleteTreeW(software, L"ONDREVO");
    RegCloseKey(software);
  }
}

}  // namespace ovtest
