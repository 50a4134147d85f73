#include "platform/SettingsStore.h"

namespace ov::platform {

std::string SettingsStore::NormaliseKey(const std::string& aKey) {
  std::string r;
  for (char c : aKey) {
    char ch = c == '/' ? '\\' : c;
    if (ch == '\\' && (r.empty() || r.back() == '\\')) continue;
    r += ch;
  }
  while (!r.empty() && r.back() == '\\') r.pop_back();
  return r;
}

}  // namespace ov::platform
