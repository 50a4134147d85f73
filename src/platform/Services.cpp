#include "platform/Services.h"

#include <atomic>

namespace ov::platform {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\services";

namespace {
std::atomic<int64_t> gWaitLimitMs{kServiceWaitDefaultLimitMs};
}  // namespace

int64_t ServiceWaitLimitMs() { return gWaitLimitMs.load(std::memory_order_relaxed); }

void SetServiceWaitLimitMs(int64_t aMs) {
  gWaitLimitMs.store(aMs > 0 ? aMs : kServiceWaitDefaultLimitMs, std::memory_order_relaxed);
}

}  // namespace ov::platform
