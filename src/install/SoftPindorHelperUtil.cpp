#include "install/SoftPindorHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftPindorHelper::TSoftPindorHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/pindor_sdimgs/");
}

void TSoftPindorHelper::GetWebHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostPindor;
}

// The product's platform is its web host.
void TSoftPindorHelper::GetApiHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostPindor;
  if (aHost.empty() || aHost.back() != '/') aHost += '/';
}

TSoftPindorHelper& SoftPindorHelper() {
  return ov::TProcessWide<TSoftPindorHelper>::Ref("TSoftPindorHelper");
}
void CreateSoftPindorHelper() { ov::TProcessWide<TSoftPindorHelper>::Create(); }
void FreeSoftPindorHelper() { ov::TProcessWide<TSoftPindorHelper>::Free(); }
