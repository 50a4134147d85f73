#pragma once

#include <stdlib.h>

#include <string>

#include "base/OVLibUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "update/UpdateObjUtil.h"

// A private prefix and the update state, once per fuzzing process.
inline void FuzzSetup() {
  char tmpl[] = "/tmp/ovfuzz.XXXXXX";
  if (!mkdtemp(tmpl)) abort();
  setenv("OV_PREFIX", (std::string(tmpl) + "/prefix").c_str(), 1);
  ov::platform::ResetPrefixCache();
  ov::platform::EnsurePrefix();
  ov::platform::SetProgramFileOverride("C:\\OVFuzz\\OVOnlineSetup.exe");
  ov::platform::fs::ForceDirectories("C:\\OVFuzz");
  TovLib::SetDateFormat();
  TovLib::SetDebugFlag(1);  // the debug-only lines run too; with no logger they go nowhere
  CreateSyncObj();
}
