#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace ov::platform {

namespace {

std::string RegistryDir() { return PrefixDir() + "/registry"; }

bool EnsureRegistryDir() {
  EnsurePrefix();
  std::string dir = RegistryDir();
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    fs::SetLastError(errno, "cannot create " + dir);
    return false;
  }
  return true;
}

bool Load(RootKey root, IniFile& ini) {
  std::string file = SettingsStore::StoreFile(root);
  if (fs::ShouldFail(fs::Op::Open, file)) {
    fs::SetLastError(EACCES, "settings store cannot be opened: " + file);
    return false;
  }
  return ini.LoadHost(file);
}

// Runs `change` on the freshly read store under the exclusive lock and writes the result.
bool Modify(RootKey root, const std::function<bool(IniFile&)>& change) {
  if (!EnsureRegistryDir()) return false;
  std::string file = SettingsStore::StoreFile(root);
  if (fs::ShouldFail(fs::Op::Open, file)) {
    fs::SetLastError(EACCES, "settings store cannot be opened: " + file);
    return false;
  }
  // The lock lives on its own file: the store itself is replaced by rename, and a lock on a
  // replaced inode would not exclude the next writer.
  std::string lockName = file + ".lock";
  int fd = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    fs::SetLastError(errno, "cannot open " + lockName);
    return false;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      fs::SetLastError(errno, "cannot lock " + lockName);
      ::close(fd);
      return false;
    }
  }
  IniFile ini;
  bool ok = ini.LoadHost(file) && change(ini) && ini.SaveHost(file, true);
  ::flock(fd, LOCK_UN);
  ::close(fd);
  return ok;
}

}  // namespace

std::string SettingsStore::StoreFile(RootKey aRoot) {
  return RegistryDir() + (aRoot == RootKey::LocalMachine ? "/machine.ini" : "/user.ini");
}

void SettingsStore::SetRootOverride(const std::string& /*aKey*/) {}

bool SettingsStore::ReadString(RootKey aRoot, const std::string& aKey, const std::string& aName,
                               std::string& aValue) {
  EnsurePrefix();
  IniFile ini;
  if (!Load(aRoot, ini)) return false;
  std::string key = NormaliseKey(aKey);
  if (!ini.HasKey(key, aName)) return false;
  aValue = ini.GetValue(key, aName);
  return true;
}

bool SettingsStore::WriteString(RootKey aRoot, const std::string& aKey, const std::string& aName,
                                const std::string& aValue) {
  std::string key = NormaliseKey(aKey);
  if (key.empty()) return false;
  return Modify(aRoot, [&](IniFile& ini) { return ini.SetValue(key, aName, aValue); });
}

bool SettingsStore::KeyExists(RootKey aRoot, const std::string& aKey) {
  EnsurePrefix();
  IniFile ini;
  if (!Load(aRoot, ini)) return false;
  return ini.HasSection(NormaliseKey(aKey));
}

bool SettingsStore::CreateKey(RootKey aRoot, const std::string& aKey) {
  std::string key = NormaliseKey(aKey);
  if (key.empty() || key.find_first_of("]\r\n") != std::string::npos) return false;
  return Modify(aRoot, [&](IniFile& ini) {
    ini.AddSection(key);
    return true;
  });
}

bool SettingsStore::DeleteValue(RootKey aRoot, const std::string& aKey,
                                const std::string& aName) {
  std::string key = NormaliseKey(aKey);
  bool found = false;
  bool ok = Modify(aRoot, [&](IniFile& ini) {
    found = ini.DeleteKey(key, aName);
    return true;
  });
  return ok && found;
}

bool SettingsStore::ValueNames(RootKey aRoot, const std::string& aKey,
                               std::vector<std::string>& aNames) {
  EnsurePrefix();
  IniFile ini;
  if (!Load(aRoot, ini)) return false;
  std::string key = NormaliseKey(aKey);
  if (!ini.HasSection(key)) return false;
  aNames = ini.Keys(key);
  return true;
}

}  // namespace ov::platform
