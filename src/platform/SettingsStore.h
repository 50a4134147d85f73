#pragma once

#include <string>
#include <vector>

// String values under key paths: the registry on Windows; elsewhere its stand-in, one INI
// section per key path in <prefix>/registry/machine.ini (HKEY_LOCAL_MACHINE) or user.ini (the
// current user), whose writers serialise through an flock on a lock file beside the store and
// replace the store atomically, so a crash never leaves a half-written store and two
// processes never lose each other's values. Key paths and value names are matched without
// regard to case.
namespace ov::platform {

enum class RootKey { LocalMachine, CurrentUser };

class SettingsStore {
 public:
  SettingsStore() = delete;

  // Host path of a root's file ("HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER" on Windows);
  // the file layer's fault seam makes a root fail to open under this name.
  static std::string StoreFile(RootKey aRoot);
  // Test seam: while set, both roots live below this key of the current user
  // ("Software\OVTest\123"), so a test never meets the machine's own values. Empty
  // restores the real roots. The INI stand-in keeps each test apart by its prefix instead.
  static void SetRootOverride(const std::string& aKey);

  // False when the value is missing or the store cannot be opened.
  static bool ReadString(RootKey aRoot, const std::string& aKey, const std::string& aName,
                         std::string& aValue);
  // Creates the key when missing. False when the store cannot be opened or written, or the
  // name or value holds a line break.
  static bool WriteString(RootKey aRoot, const std::string& aKey, const std::string& aName,
                          const std::string& aValue);
  static bool KeyExists(RootKey aRoot, const std::string& aKey);
  static bool CreateKey(RootKey aRoot, const std::string& aKey);
  static bool DeleteValue(RootKey aRoot, const std::string& aKey, const std::string& aName);
  static bool ValueNames(RootKey aRoot, const std::string& aKey,
                         std::vector<std::string>& aNames);

  // "\SOFTWARE\\X\" becomes "SOFTWARE\X".
  static std::string NormaliseKey(const std::string& aKey);
};

}  // namespace ov::platform
