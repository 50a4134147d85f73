#include "install/SoftDaskorHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftDaskorHelper::TSoftDaskorHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/daskor_sdimgs/");
}

void TSoftDaskorHelper::GetWebHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostDaskor;
}

// The product's platform is its web host.
void TSoftDaskorHelper::GetApiHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostDaskor;
  if (aHost.empty() || aHost.back() != '/') aHost += '/';
}

TSoftDaskorHelper& SoftDaskorHelper() {
  return ov::TProcessWide<TSoftDaskorHelper>::Ref("TSoftDaskorHelper");
}
void CreateSoftDaskorHelper() { ov::TProcessWide<TSoftDaskorHelper>::Create(); }
void FreeSoftDaskorHelper() { ov::TProcessWide<TSoftDaskorHelper>::Free(); }
