#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Zelcv service product (one module).
class TSoftZelcvHelper : public TSoftSaasHelper {
 public:
  TSoftZelcvHelper();
  // The one module, installed into the shared install folder itself.
  int32_t ZelAppInst(std::string& aResult);
};

// The process-wide instance; SoftZelcvHelper() throws ov::Error when none exists.
TSoftZelcvHelper& SoftZelcvHelper();
void CreateSoftZelcvHelper();
void FreeSoftZelcvHelper();
