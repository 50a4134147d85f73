#include "base/OVStopUtil.h"

#include <atomic>

namespace ov {

namespace {
std::atomic<TStopTest> gStopTest{nullptr};
}

void SetStopTest(TStopTest aTest) { gStopTest = aTest; }

bool StopRequested() {
  const TStopTest t = gStopTest.load();
  return t != nullptr && t();
}

}  // namespace ov
