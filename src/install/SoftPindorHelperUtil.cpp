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

int32_t TSoftPindorHelper::WebAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {
      "app_pindor_mod_web_code",     "Web",           "app_pindor_mod_web_name",  "Web",
      "app_pindor_mod_group",        "PinDor",        "app_pindor_mod_web_title", "Pindor后台",
      "app_pindor_mod_web_fullname", "Pindor管理平台"};
  m.UpdateUrl = WebUpdateUrl().v();
  m.Program = "OVWebClient.exe";
  m.Icon = "PDWebApp.ico";
  m.WriteSettings = [this, url = m.UpdateUrl](const std::string& aPath, const std::string& aTitle) {
    WriteWebClientIni(aPath, aTitle, url, false);
  };
  return RunModuleSetup(m, aResult);
}

int32_t TSoftPindorHelper::CaldisInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_pindor_mod_pos_code",     "Caldis",       "app_pindor_mod_pos_name",  "Caldis",
             "app_pindor_mod_group",        "Pindor",       "app_pindor_mod_pos_title", "PindorPos",
             "app_pindor_mod_pos_fullname", "PellavoCaldis"};
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "Caldis.exe";
  m.Icon = "logo-blue.ico";
  m.ShortcutsNeedProgram = false;
  return RunModuleSetup(m, aResult);
}

TSoftPindorHelper& SoftPindorHelper() {
  return ov::TProcessWide<TSoftPindorHelper>::Ref("TSoftPindorHelper");
}
void CreateSoftPindorHelper() { ov::TProcessWide<TSoftPindorHelper>::Create(); }
void FreeSoftPindorHelper() { ov::TProcessWide<TSoftPindorHelper>::Free(); }
