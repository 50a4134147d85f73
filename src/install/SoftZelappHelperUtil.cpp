#include "install/SoftZelappHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftZelappHelper::TSoftZelappHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/zelapp_sdimgs/");
}

int32_t TSoftZelappHelper::ZelAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_zelapp_mod_code",     "ZelApp",
             "app_zelapp_mod_name",     "商品下发",
             "app_zelapp_mod_group",    "ZelApp",
             "app_zelapp_mod_title",    "商品下发",
             "app_zelapp_mod_fullname", "Pellavo商品智能下发服务"};
  m.OwnFolder = false;
  m.GroupInMenu = false;
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "OVZelService.exe";
  m.Icon = "OVZelService.ico";
  return RunModuleSetup(m, aResult);
}

TSoftZelappHelper& SoftZelappHelper() {
  return ov::TProcessWide<TSoftZelappHelper>::Ref("TSoftZelappHelper");
}
void CreateSoftZelappHelper() { ov::TProcessWide<TSoftZelappHelper>::Create(); }
void FreeSoftZelappHelper() { ov::TProcessWide<TSoftZelappHelper>::Free(); }
