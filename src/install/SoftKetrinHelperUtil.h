#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Ketrin product: web back-office client and point-of-sale front-end.
class TSoftKetrinHelper : public TSoftSaasHelper {
 public:
  TSoftKetrinHelper();
  void GetWebHost(std::string& aHost) override;
  void GetApiHost(std::string& aHost) override;
  int32_t WebAppInst(std::string& aResult) override;
  int32_t CaldisInst(std::string& aResult) override;
};

// The process-wide instance; SoftKetrinHelper() throws ov::Error when none exists.
TSoftKetrinHelper& SoftKetrinHelper();
void CreateSoftKetrinHelper();
void FreeSoftKetrinHelper();
