#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winioctl.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <system_error>

#include "common/TestHost.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/Win32Util.h"

namespace ovtest {

namespace win = ov::platform::win;

namespace {

// The C drive's top level and the level below it (where C:\ProgramData\X and
// C:\Program Files\X go), without the system's own folder.
std::set<std::filesystem::path> DriveCEntries() {
  std::set<std::filesystem::path> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("C:\\", ec)) {
    names.insert(e.path());
    if (!e.is_directory(ec) || _wcsicmp(e.path().filename().c_str(), L"windows") == 0) continue;
    std::error_code ec2;
    for (const auto& f : std::filesystem::directory_iterator(e.path(), ec2)) {
      names.insert(f.path());
    }
  }
  return names;
}

// What the shared desktop and the shared start menu's programs hold; shortcuts of the installs
// go there.
std::set<std::filesystem::path> SharedShortcutEntries() {
  std::set<std::filesystem::path> names;
  for (const std::string& dir : {ov::platform::ShellFolder("Common Desktop"),
                                 ov::platform::ShellFolder("Common Start Menu") + "\\Programs"}) {
    std::error_code ec;
    if (dir.empty() || dir[0] == '\\') continue;
    for (const auto& e : std::filesystem::directory_iterator(FsPath(dir), ec)) {
      names.insert(e.path());
    }
  }
  return names;
}

void RemoveNew(const std::set<std::filesystem::path>& aBefore,
               const std::set<std::filesystem::path>& aNow) {
  for (const auto& p : aNow) {
    if (aBefore.count(p)) continue;
    std::error_code ec;
    std::filesystem::remove_all(p, ec);
  }
}

// Wine's mount manager defines its drives through a request of its own; its layout as in
// Wine 8's ddk/mountmgr.h.
struct TWineUnixDrive {
  ULONG Size;
  ULONG Type;
  ULONG FsType;
  DWORD Serial;
  ULONGLONG UnixDev;
  WCHAR Letter;
  USHORT MountPointOffset;
  USHORT DeviceOffset;
  USHORT LabelOffset;
};
constexpr DWORD kWineDefineUnixDrive =
    CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Wine 8's file layer does not follow a name DefineDosDeviceW defines; there a drive is one of
// its mount manager's, on the folder's Unix path (empty aWinDir: the drive is removed). False
// outside Wine.
bool WineDefineDrive(wchar_t aLetter, const std::string& aWinDir) {
  using TUnixName = char*(CDECL*)(LPCWSTR);
  // Through void*: a FARPROC is no function type of its own.
  const auto unixName = reinterpret_cast<TUnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  std::string mount;
  if (!aWinDir.empty()) {
    char* u = unixName(win::Widen(aWinDir).c_str());
    if (!u) return false;
    mount = u;
    HeapFree(GetProcessHeap(), 0, u);
  }
  std::string buf(sizeof(TWineUnixDrive) + mount.size() + 1, '\0');
  TWineUnixDrive d{};
  d.Size = static_cast<ULONG>(buf.size());
  d.Type = mount.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
  d.Letter = static_cast<WCHAR>(std::tolower(aLetter));
  d.MountPointOffset = mount.empty() ? 0 : static_cast<USHORT>(sizeof d);
  std::memcpy(buf.data(), &d, sizeof d);
  std::memcpy(buf.data() + sizeof d, mount.c_str(), mount.size());
  const HANDLE manager =
      CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  DWORD got = 0;
  const BOOL ok = DeviceIoControl(manager, kWineDefineUnixDrive, buf.data(),
                                  static_cast<DWORD>(buf.size()), nullptr, 0, &got, nullptr);
  CloseHandle(manager);
  return ok;
}

// The drives AddDrive gave Wine's mount manager: only those are taken away again, never one of
// the prefix's own (Z: reaches the build).
std::set<wchar_t> gWineDrives;

bool HasRoot(const std::wstring& aDrive) {
  const UINT type = GetDriveTypeW((aDrive + L"\\").c_str());
  return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

}  // namespace

std::string MakeTempDir() {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, base);
  std::filesystem::path root = std::filesystem::path(std::wstring(base, n)) / L"ovtest";
  for (;;) {
    const auto p =
        root / (std::to_wstring(GetCurrentProcessId()) + L"." +
                std::to_wstring(counter.fetch_add(1)) + L"." + std::to_wstring(GetTickCount64()));
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    if (std::filesystem::create_directory(p, ec)) {
      const std::u8string u = p.u8string();
      return std::string(u.begin(), u.end());
    }
  }
}

void SetEnv(const std::string& aName, const std::string& aValue) {
  _wputenv_s(win::Widen(aName).c_str(), win::Widen(aValue).c_str());
}

std::filesystem::path FsPath(const std::string& aHostPath) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(aHostPath.data()), aHostPath.size()));
}

std::string AddDrive(const std::string& aPrefix, char aLetter) {
  const std::string dir = aPrefix + "\\drive_" + std::string(1, aLetter);
  std::error_code ec;
  std::filesystem::create_directories(FsPath(dir), ec);
  const std::wstring drive{static_cast<wchar_t>(std::toupper(aLetter)), L':'};
  DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
  DefineDosDeviceW(0, drive.c_str(), win::Widen(dir).c_str());
  if (!HasRoot(drive)) {
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    if (WineDefineDrive(drive[0], dir)) gWineDrives.insert(drive[0]);
  }
  return dir;
}

void RemoveDrive(const std::string& /*aPrefix*/, char aLetter) {
  const std::wstring drive{static_cast<wchar_t>(std::toupper(aLetter)), L':'};
  DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
  if (gWineDrives.erase(drive[0])) WineDefineDrive(drive[0], "");
}

std::string ShortcutTargets(const std::string& aWinDir) {
  std::string out;
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(FsPath(aWinDir), ec)) {
    if (_wcsicmp(e.path().extension().c_str(), L".lnk") != 0) continue;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
      continue;
    }
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH + 1] = {};
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(e.path().c_str(), STGM_READ)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) {
      out += win::Narrow(target) + "\n";
    }
    if (file) file->Release();
    link->Release();
  }
  if (com) CoUninitialize();
  return out;
}

bool MountSmallVolume(const std::string&, int, std::string& aWhy) {
  aWhy = "a small volume needs a virtual disk, which a test cannot make here";
  return false;
}

void UnmountVolume(const std::string&) {}

std::string FolderInTheWayText() { return win::ErrorText(ERROR_ACCESS_DENIED); }

void THostIsolation::Begin() {
  FRegistryKey = "Software\\OVTest\\" + std::to_string(GetCurrentProcessId());
  RegDeleteTreeW(HKEY_CURRENT_USER, win::Widen(FRegistryKey).c_str());
  ov::platform::SettingsStore::SetRootOverride(FRegistryKey);
  FDriveC = DriveCEntries();
  FShared = SharedShortcutEntries();
}

void THostIsolation::End() {
  ov::platform::SettingsStore::SetRootOverride("");
  RegDeleteTreeW(HKEY_CURRENT_USER, win::Widen(FRegistryKey).c_str());
  RemoveNew(FDriveC, DriveCEntries());
  RemoveNew(FShared, SharedShortcutEntries());
}

}  // namespace ovtest
