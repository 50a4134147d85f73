#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Zelntr service product (one module).
class TSoftZelntrHelper : public TSoftSaasHelper {
 public:
  TSoftZelntrHelper();
};

// The process-wide instance; SoftZelntrHelper() throws ov::Error when none exists.
TSoftZelntrHelper& SoftZelntrHelper();
void CreateSoftZelntrHelper();
void FreeSoftZelntrHelper();
