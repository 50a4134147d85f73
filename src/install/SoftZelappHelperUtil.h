#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Zelapp service product (one module).
class TSoftZelappHelper : public TSoftSaasHelper {
 public:
  TSoftZelappHelper();
  // The one module, installed into the shared install folder itself.
  int32_t ZelAppInst(std::string& aResult);
};

// The process-wide instance; SoftZelappHelper() throws ov::Error when none exists.
TSoftZelappHelper& SoftZelappHelper();
void CreateSoftZelappHelper();
void FreeSoftZelappHelper();
