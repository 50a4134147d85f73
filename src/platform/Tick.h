#pragma once

#include <cstdint>
#include <memory>

namespace ov::platform {

// Counters of time since the system started, replaceable by tests. A source may throw
// ov::Error to report that asking failed.
class ITickSource {
 public:
  virtual ~ITickSource() = default;
  // Milliseconds since start from the 64-bit counter.
  virtual uint64_t TickCount64() = 0;
  // The same, wrapped at 32 bits.
  virtual uint32_t TickCount32() = 0;
  // Current system time and the system's boot time, in 100-nanosecond units.
  virtual void SystemTimes(int64_t& aNow, int64_t& aBoot) = 0;
};

ITickSource& TickSource();
// The host's own counters (the source when no test has installed another).
ITickSource& HostTickSource();
// Installs `aSource` (nullptr restores the host's counters).
void SetTickSource(std::shared_ptr<ITickSource> aSource);

}  // namespace ov::platform
