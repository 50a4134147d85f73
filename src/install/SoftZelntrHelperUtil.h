#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Zelntr service product (one module).
class TSoftZelntrHelper : public TSoftSaasHelper {
 public:
  TSoftZelntrHelper();
  // The one module, installed into the shared install folder itself.
  int32_t ZelAppInst(std::string& aResult);
};

// The process-wide instance; SoftZelntrHelper() throws ov::Error when none exists.
TSoftZelntrHelper& SoftZelntrHelper();
void CreateSoftZelntrHelper();
void FreeSoftZelntrHelper();
