#include "base/OVInstHelperUtil.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

std::string TInstHelper::GetAvailablePath(const std::string& aDefPath) {
  if (aDefPath.empty()) return aDefPath;
  // Only a drive path can move to another drive; anything else would lose its first character.
  if (!ov::platform::IsDrivePath(aDefPath)) return aDefPath;
  if (ov::platform::fs::DirectoryExists(aDefPath.substr(0, 1) + ":\\")) return aDefPath;
  for (char l = 'C'; l <= 'Z'; ++l) {
    if (ov::platform::fs::DirectoryExists(std::string(1, l) + ":\\")) {
      return std::string(1, l) + aDefPath.substr(1);
    }
  }
  return aDefPath;
}
