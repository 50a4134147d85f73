#include <windows.h>

#include <atomic>
#include <cctype>
#include <string_view>
#include <system_error>

#include "common/TestHost.h"
#include "platform/SettingsStore.h"

namespace ovtest {

namespace {

std::wstring Wide(std::string_view s) {
  std::wstring w(static_cast<size_t>(s.size()), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(),
                                    static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return w;
}

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
  _wputenv_s(Wide(aName).c_str(), Wide(aValue).c_str());
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
  DefineDosDeviceW(0, drive.c_str(), Wide(dir).c_str());
  return dir;
}

void RemoveDrive(const std::string& /*aPrefix*/, char aLetter) {
  const std::wstring drive{static_cast<wchar_t>(std::toupper(aLetter)), L':'};
  DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
}

void THostIsolation::Begin() {
  FRegistryKey = "Software\\OVTest\\" + std::to_string(GetCurrentProcessId());
  RegDeleteTreeW(HKEY_CURRENT_USER, Wide(FRegistryKey).c_str());
  ov::platform::SettingsStore::SetRootOverride(FRegistryKey);
  FDriveC = DriveCEntries();
}

void THostIsolation::End() {
  ov::platform::SettingsStore::SetRootOverride("");
  RegDeleteTreeW(HKEY_CURRENT_USER, Wide(FRegistryKey).c_str());
  for (const auto& p : DriveCEntries()) {
    if (FDriveC.count(p)) continue;
    std::error_code ec;
    std::filesystem::remove_all(p, ec);
  }
}

}  // namespace ovtest
