#pragma once

#include <string>
#include <vector>

// The registry's place: string values under key paths, one INI section per key path in
// <prefix>/registry/machine.ini (HKEY_LOCAL_MACHINE) or user.ini (the current user).
// Key paths and value names are matched without regard to case. Writers serialise through
// an flock on a lock file beside the store and replace the store atomically, so a crash never
// leaves a half-written store and two processes never lose each other's values.
namespace ov::platform {

enum class RootKey { LocalMachine, CurrentUser };

class SettingsStore {
 public:
  SettingsStore() = delete;

  // Host path of a root's file.
  static std::string StoreFile(RootKey aRoot);

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
