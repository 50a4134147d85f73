#include "install/SoftZelntrHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftZelntrHelper::TSoftZelntrHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/zelntr_sdimgs/");
}

TSoftZelntrHelper& SoftZelntrHelper() {
  return ov::TProcessWide<TSoftZelntrHelper>::Ref("TSoftZelntrHelper");
}
void CreateSoftZelntrHelper() { ov::TProcessWide<TSoftZelntrHelper>::Create(); }
void FreeSoftZelntrHelper() { ov::TProcessWide<TSoftZelntrHelper>::Free(); }
