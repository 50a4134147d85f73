// The version detail loader on arbitrary server answers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSetup.h"
#include "update/UpdateUMPUtil.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSetup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  static TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\App\\Caldis\\");
  std::string err;
  ump.LoadVerDetail(std::string(reinterpret_cast<const char*>(aData), aSize), aSize % 2 == 0, err);
  // Keep the task lists from growing without bound across runs.
  TSyncObj& so = SyncObj();
  for (auto* list : {&so.FBeforeStopList, &so.FBeforeCloseList, &so.FBeforeDeleteList,
                     &so.FAfterRunList, &so.FAfterStartList}) {
    list->clear();
  }
  return 0;
}
