#pragma once

#include <string>

#include "install/SoftSaasHelperUtil.h"

// The installer of the Pindor product: web back-office client and point-of-sale front-end.
class TSoftPindorHelper : public TSoftSaasHelper {
 public:
  TSoftPindorHelper();
  void GetWebHost(std::string& aHost) override;
  void GetApiHost(std::string& aHost) override;
  int32_t WebAppInst(std::string& aResult) override;
  int32_t CaldisInst(std::string& aResult) override;
};

// The process-wide instance; SoftPindorHelper() throws ov::Error when none exists.
TSoftPindorHelper& SoftPindorHelper();
void CreateSoftPindorHelper();
void FreeSoftPindorHelper();
