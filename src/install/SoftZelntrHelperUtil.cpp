#include "install/SoftZelntrHelperUtil.h"

#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftZelntrHelper::TSoftZelntrHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/zelntr_sdimgs/");
}

int32_t TSoftZelntrHelper::ZelAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_zelntr_mod_code",     "ZelApp",          "app_zelntr_mod_name",  "商品下发",
             "app_zelntr_mod_group",    "ZelApp",          "app_zelntr_mod_title", "商品下发",
             "app_zelntr_mod_fullname", "商品智能下发服务"};
  m.OwnFolder = false;
  m.GroupInMenu = false;
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "OVZelService.exe";
  m.Icon = "OVZelNeutral.ico";
  // Plain text, unlike the web client's settings.
  m.WriteSettings = [](const std::string& aPath, const std::string&) {
    TovLib::IniWrite("Main", "SoftOEMType", "neutral", aPath + "OVZelService.ini");
  };
  return RunModuleSetup(m, aResult);
}

TSoftZelntrHelper& SoftZelntrHelper() {
  return ov::TProcessWide<TSoftZelntrHelper>::Ref("TSoftZelntrHelper");
}
void CreateSoftZelntrHelper() { ov::TProcessWide<TSoftZelntrHelper>::Create(); }
void FreeSoftZelntrHelper() { ov::TProcessWide<TSoftZelntrHelper>::Free(); }
