#pragma once

#include <string>

#include "common/OVError.h"

#include <atomic>
#include <memory>

namespace ov {

// Holder of one process-wide object. The program start creates these in a fixed order before
// any window and frees them in reverse; nothing is created by static initialisation.
template <class T>
class TProcessWide {
 public:
  TProcessWide() = delete;

  static T* Get() { return FInstance.load(); }
  // The instance; throws ov::Error naming aClass when none exists.
  static T& Ref(const char* aClass) {
    T* p = FInstance.load();
    if (!p) throw ov::Error(std::string(aClass) + " is not created");
    return *p;
  }
  // Creates the object unless one exists; returns the one created, or nullptr.
  static T* Create() {
    if (FInstance.load()) return nullptr;
    auto made = std::make_unique<T>();
    T* expected = nullptr;
    if (!FInstance.compare_exchange_strong(expected, made.get())) return nullptr;
    return made.release();
  }
  static void Free() { delete FInstance.exchange(nullptr); }

 private:
  static inline std::atomic<T*> FInstance{nullptr};
};

}  // namespace ov
