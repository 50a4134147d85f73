
#include "platform/Tick.h"
#include "platform/Win32Util.h"

namespace ov::platform {

namespace {

// FILETIME counts from 1601; the layer's system times count from 1970, as on every host.
constexpr int64_t kEpochDiff = 116444736000000000LL;

int64_t Now100ns() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ((static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - kEpochDiff;
}

class THostTicks : public ITickSource {
 public:
  uint64_t TickCount64() override { return GetTickCount64(); }
  uint32_t TickCount32() override { return GetTickCount(); }
  void SystemTimes(int64_t& aNow, int64_t& aBoot) override {
    // Fixed once, so that later clock corrections do not move the boot.
    static const int64_t boot = Now100ns() - static_cast<int64_t>(GetTickCount64()) * 10000;
    aNow = Now100ns();
    aBoot = boot;
  }
};

}  // namespace

ITickSource& HostTickSource() {
  static THostTicks host;
  return host;
}

}  // namespace ov::platform
