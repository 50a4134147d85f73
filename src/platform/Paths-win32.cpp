#include <shlobj.h>

#include <mutex>

#include "common/OVTextUtil.h"
#include "platform/Paths.h"
#include "platform/Win32Util.h"

// On Windows the core's paths are the system's own: no prefix, no drive links, and mapping a
// path gives it back as it is (the system resolves relative paths and case itself).
namespace ov::platform {

namespace {

std::mutex gPathLock;
std::string gProgramOverride;

std::string KnownFolder(REFKNOWNFOLDERID aId) {
  wchar_t* p = nullptr;
  std::string r;
  if (SHGetKnownFolderPath(aId, 0, nullptr, &p) == S_OK && p) r = win::Narrow(p);
  if (p) CoTaskMemFree(p);
  return r;
}

}  // namespace

std::string PrefixDir() { return {}; }
void EnsurePrefix() {}
void ResetPrefixCache() {}

bool DriveExists(char aLetter) {
  const char l = str::UpperChar(aLetter);
  if (l < 'A' || l > 'Z') return false;
  const wchar_t root[] = {static_cast<wchar_t>(l), L':', L'\\', L'\0'};
  const UINT type = GetDriveTypeW(root);
  return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

std::string DriveTarget(char aLetter) {
  if (!DriveExists(aLetter)) return {};
  return std::string(1, str::UpperChar(aLetter)) + ":\\";
}

// As on the other host, a path on a drive that does not exist maps to nothing, so callers
// tell a missing drive from a missing file the same way everywhere.
std::string MapToHost(const std::string& aWinPath) {
  if (aWinPath.empty() || aWinPath.find('\0') != std::string::npos) return {};
  if (IsDrivePath(aWinPath) && !DriveExists(aWinPath[0])) return {};
  return aWinPath;
}

std::vector<std::string> MapPathsToHost(const std::vector<std::string>& aWinPaths) {
  std::vector<std::string> hosts;
  hosts.reserve(aWinPaths.size());
  for (const auto& p : aWinPaths) hosts.push_back(MapToHost(p));
  return hosts;
}

TMapScope::TMapScope() = default;
TMapScope::~TMapScope() = default;
void TMapScope::Changed(const std::string&) {}

std::string MapFromHost(const std::string& aHostPath) { return MapToHost(aHostPath); }

std::string ProgramFile() {
  {
    std::lock_guard<std::mutex> g(gPathLock);
    if (!gProgramOverride.empty()) return gProgramOverride;
  }
  std::wstring buf(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  std::string r = win::Narrow(buf);
  if (r.rfind("\\\\?\\", 0) == 0) r.erase(0, 4);
  return r;
}

void SetProgramFileOverride(const std::string& aWinPath) {
  std::lock_guard<std::mutex> g(gPathLock);
  gProgramOverride = aWinPath;
}

// Asked of the shell, not read from its legacy registry values: those are absent where the
// registry's roots are moved (tests) and only a copy of the shell's answer elsewhere.
std::string ShellFolder(const std::string& aName) {
  static const struct {
    const char* Name;
    const KNOWNFOLDERID* Id;
  } kFolders[] = {{"Desktop", &FOLDERID_Desktop},
                  {"Common Desktop", &FOLDERID_PublicDesktop},
                  {"Start Menu", &FOLDERID_StartMenu},
                  {"Common Start Menu", &FOLDERID_CommonStartMenu}};
  for (const auto& f : kFolders) {
    if (str::SameText(aName, f.Name)) return KnownFolder(*f.Id);
  }
  return {};
}

std::string XdgDataHome() { return KnownFolder(FOLDERID_LocalAppData); }
std::string XdgDesktopDir() { return KnownFolder(FOLDERID_Desktop); }

}  // namespace ov::platform
