#include "install/SoftDaskorHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftDaskorHelper::TSoftDaskorHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/daskor_sdimgs/");
}

void TSoftDaskorHelper::GetWebHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostDaskor;
}

// The product's platform is its web host.
void TSoftDaskorHelper::GetApiHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostDaskor;
  if (aHost.empty() || aHost.back() != '/') aHost += '/';
}

int32_t TSoftDaskorHelper::WebAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {
      "app_daskor_mod_web_code",     "Web",           "app_daskor_mod_web_name",  "Web",
      "app_daskor_mod_group",        "Daskor",        "app_daskor_mod_web_title", "Daskor后台",
      "app_daskor_mod_web_fullname", "DaskorSAAS平台"};
  m.UpdateUrl = WebUpdateUrl().v();
  m.Program = "OVWebClient.exe";
  m.Icon = "DKWebApp.ico";
  m.WriteSettings = [this, url = m.UpdateUrl](const std::string& aPath, const std::string& aTitle) {
    WriteWebClientIni(aPath, aTitle, url, false);
  };
  return RunModuleSetup(m, aResult);
}

int32_t TSoftDaskorHelper::CaldisInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_daskor_mod_pos_code",     "Caldis",       "app_daskor_mod_pos_name",  "Caldis",
             "app_daskor_mod_group",        "Daskor",       "app_daskor_mod_pos_title", "DaskorPos",
             "app_daskor_mod_pos_fullname", "PellavoCaldis"};
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "Caldis.exe";
  m.Icon = "logo-blue.ico";
  m.ShortcutsNeedProgram = false;
  return RunModuleSetup(m, aResult);
}

TSoftDaskorHelper& SoftDaskorHelper() {
  return ov::TProcessWide<TSoftDaskorHelper>::Ref("TSoftDaskorHelper");
}
void CreateSoftDaskorHelper() { ov::TProcessWide<TSoftDaskorHelper>::Create(); }
void FreeSoftDaskorHelper() { ov::TProcessWide<TSoftDaskorHelper>::Free(); }
