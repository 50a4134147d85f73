#include <mutex>

#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "platform/Win32Util.h"

// The real registry. Keys are opened in the 32-bit view (KEY_WOW64_32KEY): the maker's
// programs and the installers before this one are 32-bit programs, so their values under
// HKLM\SOFTWARE live in that view, and a 64-bit build must read and write the same ones.
namespace ov::platform {

namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;

std::mutex gRootLock;
std::string gRootOverride;

struct TKeyPath {
  HKEY Base = nullptr;
  std::wstring Path;
};

TKeyPath PathOf(RootKey aRoot, const std::string& aKey) {
  std::string over;
  {
    std::lock_guard<std::mutex> g(gRootLock);
    over = gRootOverride;
  }
  const std::string key = SettingsStore::NormaliseKey(aKey);
  if (!over.empty()) {
    std::string p = SettingsStore::NormaliseKey(over) +
                    (aRoot == RootKey::LocalMachine ? "\\Machine" : "\\User");
    if (!key.empty()) p += "\\" + key;
    return {HKEY_CURRENT_USER, win::Widen(p)};
  }
  return {aRoot == RootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, win::Widen(key)};
}

// The fault seam of the file layer names a root by StoreFile(), as on the other host: Open
// makes it fail to open, Write fails every change.
bool Blocked(RootKey aRoot, bool aWrite = false) {
  const std::string name = SettingsStore::StoreFile(aRoot);
  if (!fs::ShouldFail(fs::Op::Open, name) && !(aWrite && fs::ShouldFail(fs::Op::Write, name))) {
    return false;
  }
  fs::SetLastError(ERROR_ACCESS_DENIED, "settings store cannot be opened: " + name);
  return true;
}

bool Failed(LSTATUS aStatus, const std::string& aWhat) {
  fs::SetLastError(static_cast<int>(aStatus), aWhat + ": " + win::ErrorText(aStatus));
  return false;
}

class TKey {
 public:
  ~TKey() {
    if (FKey) RegCloseKey(FKey);
  }
  HKEY FKey = nullptr;
};

LSTATUS OpenKey(RootKey aRoot, const std::string& aKey, REGSAM aAccess, TKey& aOut) {
  const TKeyPath p = PathOf(aRoot, aKey);
  return RegOpenKeyExW(p.Base, p.Path.c_str(), 0, aAccess | kView, &aOut.FKey);
}

LSTATUS CreateKeyW(RootKey aRoot, const std::string& aKey, REGSAM aAccess, TKey& aOut) {
  const TKeyPath p = PathOf(aRoot, aKey);
  return RegCreateKeyExW(p.Base, p.Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         aAccess | kView, nullptr, &aOut.FKey, nullptr);
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string SettingsStore::StoreFile(RootKey aRoot) {
  return aRoot == RootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

void SettingsStore::SetRootOverride(const std::string& aKey) {
  std::lock_guard<std::mutex> g(gRootLock);
  gRootOverride = aKey;
}

bool SettingsStore::ReadString(RootKey aRoot, const std::string& aKey, const std::string& aName,
                               std::string& aValue) {
  if (Blocked(aRoot)) return false;
  TKey k;
  if (OpenKey(aRoot, aKey, KEY_QUERY_VALUE, k) != ERROR_SUCCESS) return false;
  const std::wstring name = win::Widen(aName);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(k.FKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
  if (RegQueryValueExW(k.FKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  buf.resize(size / sizeof(wchar_t));
  while (!buf.empty() && buf.back() == L'\0') buf.pop_back();
  aValue = win::Narrow(buf);
  return true;
}

bool SettingsStore::WriteString(RootKey aRoot, const std::string& aKey, const std::string& aName,
                                const std::string& aValue) {
  if (NormaliseKey(aKey).empty() || HasLineBreak(aName) || HasLineBreak(aValue)) return false;
  if (Blocked(aRoot, true)) return false;
  TKey k;
  LSTATUS rc = CreateKeyW(aRoot, aKey, KEY_SET_VALUE, k);
  if (rc != ERROR_SUCCESS) return Failed(rc, "open key " + aKey);
  const std::wstring name = win::Widen(aName);
  const std::wstring value = win::Widen(aValue);
  rc = RegSetValueExW(k.FKey, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return rc == ERROR_SUCCESS || Failed(rc, "write " + aName);
}

bool SettingsStore::KeyExists(RootKey aRoot, const std::string& aKey) {
  if (Blocked(aRoot)) return false;
  TKey k;
  return OpenKey(aRoot, aKey, KEY_READ, k) == ERROR_SUCCESS;
}

bool SettingsStore::CreateKey(RootKey aRoot, const std::string& aKey) {
  if (NormaliseKey(aKey).empty() || HasLineBreak(aKey)) return false;
  if (Blocked(aRoot, true)) return false;
  TKey k;
  const LSTATUS rc = CreateKeyW(aRoot, aKey, KEY_READ, k);
  return rc == ERROR_SUCCESS || Failed(rc, "create key " + aKey);
}

bool SettingsStore::DeleteValue(RootKey aRoot, const std::string& aKey, const std::string& aName) {
  if (Blocked(aRoot, true)) return false;
  TKey k;
  if (OpenKey(aRoot, aKey, KEY_SET_VALUE, k) != ERROR_SUCCESS) return false;
  return RegDeleteValueW(k.FKey, win::Widen(aName).c_str()) == ERROR_SUCCESS;
}

bool SettingsStore::ValueNames(RootKey aRoot, const std::string& aKey,
                               std::vector<std::string>& aNames) {
  if (Blocked(aRoot)) return false;
  TKey k;
  if (OpenKey(aRoot, aKey, KEY_QUERY_VALUE, k) != ERROR_SUCCESS) return false;
  aNames.clear();
  std::wstring name(16384, L'\0');  // the longest value name the registry allows, and its NUL
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(name.size());
    const LSTATUS rc =
        RegEnumValueW(k.FKey, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return Failed(rc, "list values of " + aKey);
    aNames.push_back(win::Narrow(std::wstring_view(name.data(), len)));
  }
  return true;
}

}  // namespace ov::platform
