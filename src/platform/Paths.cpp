#include "platform/Paths.h"

#include "common/OVTextUtil.h"

namespace ov::platform {

bool IsDrivePath(const std::string& aWinPath) {
  if (aWinPath.size() < 2 || aWinPath[1] != ':') return false;
  char l = str::LowerChar(aWinPath[0]);
  if (l < 'a' || l > 'z') return false;
  return aWinPath.size() == 2 || aWinPath[2] == '\\' || aWinPath[2] == '/';
}

}  // namespace ov::platform
