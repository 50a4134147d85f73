#include "install/SoftZelappHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftZelappHelper::TSoftZelappHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/zelapp_sdimgs/");
}

TSoftZelappHelper& SoftZelappHelper() {
  return ov::TProcessWide<TSoftZelappHelper>::Ref("TSoftZelappHelper");
}
void CreateSoftZelappHelper() { ov::TProcessWide<TSoftZelappHelper>::Create(); }
void FreeSoftZelappHelper() { ov::TProcessWide<TSoftZelappHelper>::Free(); }
