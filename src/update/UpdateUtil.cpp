#include "update/UpdateUtil.h"

#include <atomic>

namespace {
std::atomic<TOvUpdate*> gOvUpdate{nullptr};
}  // namespace

TOvUpdate* OvUpdate() { return gOvUpdate.load(); }

void CreateOvUpdate() {
  if (gOvUpdate.load()) return;
  auto* u = new TOvUpdate();
  TOvUpdate* expected = nullptr;
  if (!gOvUpdate.compare_exchange_strong(expected, u)) delete u;
}

void FreeOvUpdate() { delete gOvUpdate.exchange(nullptr); }
