#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Zelapp service product (one module).
class TSoftZelappHelper : public TSoftSaasHelper {
 public:
  TSoftZelappHelper();
};

// The process-wide instance; SoftZelappHelper() throws ov::Error when none exists.
TSoftZelappHelper& SoftZelappHelper();
void CreateSoftZelappHelper();
void FreeSoftZelappHelper();
