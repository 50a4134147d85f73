#include "install/SoftBrevikHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftBrevikHelper::TSoftBrevikHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/Brevik_sdimgs/");
}

TSoftBrevikHelper& SoftBrevikHelper() {
  return ov::TProcessWide<TSoftBrevikHelper>::Ref("TSoftBrevikHelper");
}
void CreateSoftBrevikHelper() { ov::TProcessWide<TSoftBrevikHelper>::Create(); }
void FreeSoftBrevikHelper() { ov::TProcessWide<TSoftBrevikHelper>::Free(); }
