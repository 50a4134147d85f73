#include "install/SoftZelcvHelperUtil.h"

#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftZelcvHelper::TSoftZelcvHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/zelcv_sdimgs/");
}

int32_t TSoftZelcvHelper::ZelAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_zelcv_mod_code",     "ZelCV",
             "app_zelcv_mod_name",     "Corvela商品下发",
             "app_zelcv_mod_group",    "ZelCV",
             "app_zelcv_mod_title",    "Corvela商品下发",
             "app_zelcv_mod_fullname", "Corvela商品智能下发服务"};
  m.OwnFolder = false;
  m.GroupInMenu = false;
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "OVZelService.exe";
  m.Icon = "OVZelService.ico";
  // Plain text, unlike the web client's settings.
  m.WriteSettings = [](const std::string& aPath, const std::string&) {
    TovLib::IniWrite("Main", "SoftDefVerFlag", "CV", aPath + "OVZelService.ini");
    TovLib::IniWrite("Main", "SoftVerDefLock", "1", aPath + "OVZelService.ini");
    TovLib::IniWrite("Main", "SoftVer", "00901", aPath + "OVZelService.ini");
    TovLib::IniWrite("Main", "SoftVerName", "Corvela商品智能下发服务", aPath + "OVZelService.ini");
  };
  return RunModuleSetup(m, aResult);
}

TSoftZelcvHelper& SoftZelcvHelper() {
  return ov::TProcessWide<TSoftZelcvHelper>::Ref("TSoftZelcvHelper");
}
void CreateSoftZelcvHelper() { ov::TProcessWide<TSoftZelcvHelper>::Create(); }
void FreeSoftZelcvHelper() { ov::TProcessWide<TSoftZelcvHelper>::Free(); }
