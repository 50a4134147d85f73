#include "install/SoftBrevikHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftBrevikHelper::TSoftBrevikHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/Brevik_sdimgs/");
}

int32_t TSoftBrevikHelper::ZelAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_brvapp_mod_code",     "Brevik",
             "app_brvapp_mod_name",     "外卖助手V3",
             "app_brvapp_mod_group",    "外卖",
             "app_brvapp_mod_title",    "外卖助手V3",
             "app_brvapp_mod_fullname", "Pellavo外卖平台助手V3"};
  m.OwnFolder = false;
  m.GroupInMenu = false;
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "OVFPClient.exe";
  m.Icon = "OVFPClient.ico";
  return RunModuleSetup(m, aResult);
}

TSoftBrevikHelper& SoftBrevikHelper() {
  return ov::TProcessWide<TSoftBrevikHelper>::Ref("TSoftBrevikHelper");
}
void CreateSoftBrevikHelper() { ov::TProcessWide<TSoftBrevikHelper>::Create(); }
void FreeSoftBrevikHelper() { ov::TProcessWide<TSoftBrevikHelper>::Free(); }
