#include "platform/Tick.h"

#include <time.h>

#include <mutex>

namespace ov::platform {

namespace {

int64_t ClockNs(clockid_t id) {
  struct timespec ts{};
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

std::mutex gTickLock;
std::shared_ptr<ITickSource> gOverride;
THostTicks gHost;

}  // namespace

ITickSource& TickSource() {
  std::lock_guard<std::mutex> g(gTickLock);
  if (gOverride) return *gOverride;
  return gHost;
}

void SetTickSource(std::shared_ptr<ITickSource> aSource) {
  std::lock_guard<std::mutex> g(gTickLock);
  gOverride = std::move(aSource);
}

}  // namespace ov::platform
