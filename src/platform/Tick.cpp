#include "platform/Tick.h"

#include <mutex>

namespace ov::platform {

namespace {

std::mutex gTickLock;
std::shared_ptr<ITickSource> gOverride;

}  // namespace

ITickSource& TickSource() {
  std::lock_guard<std::mutex> g(gTickLock);
  if (gOverride) return *gOverride;
  return HostTickSource();
}

void SetTickSource(std::shared_ptr<ITickSource> aSource) {
  std::lock_guard<std::mutex> g(gTickLock);
  gOverride = std::move(aSource);
}

}  // namespace ov::platform
