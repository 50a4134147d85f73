#include "install/SoftKetrinHelperUtil.h"

#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"

TSoftKetrinHelper::TSoftKetrinHelper() {
  ImgSliderUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl +
                      "/updatefiles/ketrin_sdimgs/");
}

void TSoftKetrinHelper::GetWebHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostKetrin;
}

// The product's platform is its web host.
void TSoftKetrinHelper::GetApiHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostKetrin;
  if (aHost.empty() || aHost.back() != '/') aHost += '/';
}

int32_t TSoftKetrinHelper::WebAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_ketrin_mod_web_code",     "Web",
             "app_ketrin_mod_web_name",     "Web",
             "app_ketrin_mod_group",        "Ketrin",
             "app_ketrin_mod_web_title",    "Ketrin-saas",
             "app_ketrin_mod_web_fullname", "Ondrevo.Ketrin-saas"};
  m.UpdateUrl = WebUpdateUrl().v();
  m.Program = "OVWebClient.exe";
  m.Icon = "KTWebApp.ico";
  m.WriteSettings = [this, url = m.UpdateUrl](const std::string& aPath, const std::string& aTitle) {
    WriteWebClientIni(aPath, aTitle, url, true);
  };
  return RunModuleSetup(m, aResult);
}

int32_t TSoftKetrinHelper::CaldisInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {
      "app_ketrin_mod_pos_code",     "Caldis",        "app_ketrin_mod_pos_name",  "Caldis",
      "app_ketrin_mod_group",        "Ketrin",        "app_ketrin_mod_pos_title", "KetrinPos",
      "app_ketrin_mod_pos_fullname", "Ondrevo.Caldis"};
  m.UpdateUrl = PosUpdateUrl().v();
  m.Program = "Caldis.exe";
  m.Icon = "logo-blue.ico";
  m.ShortcutsNeedProgram = false;
  return RunModuleSetup(m, aResult);
}

TSoftKetrinHelper& SoftKetrinHelper() {
  return ov::TProcessWide<TSoftKetrinHelper>::Ref("TSoftKetrinHelper");
}
void CreateSoftKetrinHelper() { ov::TProcessWide<TSoftKetrinHelper>::Create(); }
void FreeSoftKetrinHelper() { ov::TProcessWide<TSoftKetrinHelper>::Free(); }
