#pragma once

#include <memory>
#include <string>

#include "install/SoftCorvelaObjectUtil.h"
#include "install/SoftSaasHelperUtil.h"

// The installer of product line 1: installed per enterprise, with the install parameters that
// the enterprise platform answers encrypted.
class TSoftCorvelaHelper : public TSoftSaasHelper {
 public:
  TSoftCorvelaHelper();
  ~TSoftCorvelaHelper() override;

  const TCVInstParamData& Param() const { return *FParam; }

  void GetWebHost(std::string& aHost) override;
  void GetApiHost(std::string& aHost) override;
  // Asks the platform for the enterprise aCorpId's parameters with the install code aInstCode.
  int32_t GetInstConfig(const std::string& aAppId, const std::string& aModId,
                        const std::string& aCorpId, const std::string& aInstCode,
                        std::string& aResult) override;
  // The slide images named by the enterprise's parameters.
  void DownImgSliders(const std::string& aAppHost, const std::string& aPath) override;
  int32_t WebAppInst(std::string& aResult) override;
  int32_t CaldisInst(std::string& aResult) override;
  // The front-end's "soft.data": the parameters, signed with the two salt pieces.
  void WriteSoftData(const std::string& aPath);

 private:
  std::unique_ptr<TCVInstParamData> FParam;
};

TSoftCorvelaHelper& SoftCorvelaHelper();
void CreateSoftCorvelaHelper();
void FreeSoftCorvelaHelper();
