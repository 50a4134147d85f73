#include "install/SoftZelcvHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftZelcvHelper::TSoftZelcvHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/zelcv_sdimgs/");
}

TSoftZelcvHelper& SoftZelcvHelper() {
  return ov::TProcessWide<TSoftZelcvHelper>::Ref("TSoftZelcvHelper");
}
void CreateSoftZelcvHelper() { ov::TProcessWide<TSoftZelcvHelper>::Create(); }
void FreeSoftZelcvHelper() { ov::TProcessWide<TSoftZelcvHelper>::Free(); }
