#include "platform/Win32Util.h"
// clang-format off
#include <tlhelp32.h>  // needs windows.h before it
// clang-format on

#include <map>
#include <mutex>

#include "platform/Processes.h"

namespace ov::platform {

namespace {

// Children started here, kept open so that their exit code can be read after they end.
std::mutex gChildLock;
std::map<uint32_t, HANDLE> gChildren;

// One argument as the C runtime splits it again: quoted when it has blanks or quotes or is
// empty, backslashes doubled only where a quote follows them.
std::string QuoteArgument(const std::string& aArg) {
  if (!aArg.empty() && aArg.find_first_of(" \t\"") == std::string::npos) return aArg;
  std::string q = "\"";
  size_t slashes = 0;
  for (char c : aArg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    q += c;
  }
  q.append(slashes * 2, '\\');
  return q + "\"";
}

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> list;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return list;
  PROCESSENTRY32W e;
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
    ProcessEntry entry;
    entry.Pid = e.th32ProcessID;
    entry.ExeFile = win::Narrow(e.szExeFile);
    if (!entry.ExeFile.empty()) list.push_back(std::move(entry));
  }
  CloseHandle(snap);
  return list;
}

std::string ProcessImagePath(uint32_t aPid) {
  if (aPid == 0) return {};
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, aPid);
  if (!h) return {};
  std::wstring buf(32768, L'\0');
  DWORD n = static_cast<DWORD>(buf.size());
  // A process that ended lives on while anyone holds a handle to it, and still names its image.
  DWORD code = 0;
  const bool ok = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE &&
                  QueryFullProcessImageNameW(h, 0, buf.data(), &n) != 0;
  CloseHandle(h);
  if (!ok) return {};
  buf.resize(n);
  return win::Narrow(buf);
}

bool TerminateProcess(uint32_t aPid, uint32_t aExitCode) {
  if (aPid == 0) return false;
  HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, aPid);
  if (!h) return false;
  const bool ok = ::TerminateProcess(h, aExitCode) != 0;
  CloseHandle(h);
  return ok;
}

bool StartCommandLine(const std::string& aCommandLine, int16_t aShowMode, uint32_t& aPid) {
  aPid = 0;
  std::string program;
  std::vector<std::string> args;
  if (!ResolveCommandLine(aCommandLine, program, args)) return false;
  // The child gets the program it was resolved to and the arguments as they were split, so an
  // unquoted program path with blanks does not hand the rest of its path on as arguments.
  std::string commandLine = "\"" + program + "\"";
  for (const auto& a : args) commandLine += " " + QuoteArgument(a);
  std::wstring app = win::Widen(program);
  std::wstring line = win::Widen(commandLine);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(aShowMode);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  aPid = pi.dwProcessId;
  std::lock_guard<std::mutex> g(gChildLock);
  gChildren[aPid] = pi.hProcess;
  return true;
}

bool WaitForProcess(uint32_t aPid, int32_t& aExitCode, int64_t aTimeoutMs) {
  HANDLE h = nullptr;
  {
    std::lock_guard<std::mutex> g(gChildLock);
    auto it = gChildren.find(aPid);
    if (it == gChildren.end()) return false;
    h = it->second;
  }
  const DWORD wait = aTimeoutMs < 0            ? INFINITE
                     : aTimeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF
                                               : static_cast<DWORD>(aTimeoutMs);
  if (WaitForSingleObject(h, wait) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(h, &code);
  aExitCode = static_cast<int32_t>(code);
  std::lock_guard<std::mutex> g(gChildLock);
  gChildren.erase(aPid);
  CloseHandle(h);
  return true;
}

}  // namespace ov::platform
