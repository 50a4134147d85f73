#include <time.h>

#include "platform/Tick.h"

namespace ov::platform {

namespace {

int64_t ClockNs(clockid_t id) {
  struct timespec ts {};
  clock_gettime(id, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// CLOCK_BOOTTIME keeps counting while the machine sleeps, as Windows' tick count does: a
// duration includes a suspend, and the wall clock minus the count is the moment of the boot.
class THostTicks : public ITickSource {
 public:
  uint64_t TickCount64() override {
    return static_cast<uint64_t>(ClockNs(CLOCK_BOOTTIME) / 1000000);
  }
  uint32_t TickCount32() override { return static_cast<uint32_t>(TickCount64()); }
  void SystemTimes(int64_t& aNow, int64_t& aBoot) override {
    // The boot time is fixed once so that later clock corrections do not move it.
    static const int64_t boot = (ClockNs(CLOCK_REALTIME) - ClockNs(CLOCK_BOOTTIME)) / 100;
    aNow = ClockNs(CLOCK_REALTIME) / 100;
    aBoot = boot;
  }
};

}  // namespace

ITickSource& HostTickSource() {
  static THostTicks host;
  return host;
}

}  // namespace ov::platform
