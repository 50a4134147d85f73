// The descriptor loader on arbitrary downloaded files.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSetup.h"
#include "update/UpdateXMLUtil.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSetup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  static TOVUpdateXML xml;
  xml.SetTargetDir("C:\\App\\");
  xml.SetTempDir("C:\\App\\updt_temp\\");
  xml.SetXMLName("WebUpdata.xml");
  xml.InitProperty();
  ov::platform::fs::WriteFileAtomic(
      xml.XMLFile(), std::string(reinterpret_cast<const char*>(aData), aSize), false);
  std::string err;
  auto g = SyncObj().FileListGuard();
  xml.LoadXMLFile(err);
  return 0;
}
