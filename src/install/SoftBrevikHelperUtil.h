#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Brevik service product (one module).
class TSoftBrevikHelper : public TSoftSaasHelper {
 public:
  TSoftBrevikHelper();
  // The one module, installed into the shared install folder itself.
  int32_t ZelAppInst(std::string& aResult);
};

// The process-wide instance; SoftBrevikHelper() throws ov::Error when none exists.
TSoftBrevikHelper& SoftBrevikHelper();
void CreateSoftBrevikHelper();
void FreeSoftBrevikHelper();
