#include "install/SoftKetrinHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftKetrinHelper::TSoftKetrinHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/ketrin_sdimgs/");
}

void TSoftKetrinHelper::GetWebHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostKetrin;
}

// The product's platform is its web host.
void TSoftKetrinHelper::GetApiHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostKetrin;
  if (aHost.empty() || aHost.back() != '/') aHost += '/';
}

TSoftKetrinHelper& SoftKetrinHelper() {
  return ov::TProcessWide<TSoftKetrinHelper>::Ref("TSoftKetrinHelper");
}
void CreateSoftKetrinHelper() { ov::TProcessWide<TSoftKetrinHelper>::Create(); }
void FreeSoftKetrinHelper() { ov::TProcessWide<TSoftKetrinHelper>::Free(); }
