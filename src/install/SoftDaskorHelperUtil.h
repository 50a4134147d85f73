#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Daskor product: web back-office client and point-of-sale front-end.
class TSoftDaskorHelper : public TSoftSaasHelper {
 public:
  TSoftDaskorHelper();
  void GetWebHost(std::string& aHost) override;
  void GetApiHost(std::string& aHost) override;
  int32_t WebAppInst(std::string& aResult) override;
  int32_t CaldisInst(std::string& aResult) override;
};

// The process-wide instance; SoftDaskorHelper() throws ov::Error when none exists.
TSoftDaskorHelper& SoftDaskorHelper();
void CreateSoftDaskorHelper();
void FreeSoftDaskorHelper();
