#include "install/SoftCorvelaHelperUtil.h"

#include "base/Alglibrary.h"
#include "base/JSONHelperUtil.h"
#include "common/OVError.h"
#include "base/OVHMacUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "net/ServiceSettings.h"
#include "ui/OVLangUtil.h"

TSoftCorvelaHelper::TSoftCorvelaHelper() : FParam(std::make_unique<TCVInstParamData>()) {}

TSoftCorvelaHelper::~TSoftCorvelaHelper() { FParam.reset(); }

void TSoftCorvelaHelper::GetWebHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().WebHostCorvela;
}

void TSoftCorvelaHelper::GetApiHost(std::string& aHost) {
  aHost = ov::net::CurrentServiceSettings().PlatformUrl;
}

int32_t TSoftCorvelaHelper::GetInstConfig(const std::string&, const std::string&,
                                          const std::string& aCorpId, const std::string& aInstCode,
                                          std::string& aResult) {
  // The values go in as typed: an install code with a quote makes the inner text invalid JSON,
  // which the platform then refuses.
  const std::string body = "{\"data\":\"{\\\"softid\\\":" + aCorpId + ",\\\"install_code\\\":\\\"" +
                           aInstCode + "\\\"}\"}";
  const std::string stamp = std::to_string(TovLib::GetMillTimeStamp(ov::Now()));
  const std::string nonce = TovLib::GetRandom(10);
  const std::string signature =
      TOvAlgLib::Base64Encode(THMacHelper::GetHMacSHA256(stamp + "|" + nonce, FKey));
  const std::string heads = "Authorization=" + ov::net::CurrentServiceSettings().Bearer +
                            ",X-Timestamp=" + stamp + ",X-Nonce=" + nonce +
                            ",X-Signature=" + signature;
  std::string host;
  GetApiHost(host);
  std::string plain;
  if (DoApiPost(host + "api/enterprise/getinstallconfig", plain, heads, body) != 1) {
    aResult = plain;
    return -1;
  }
  try {
    TCVInstParamRespond res;
    if (!TJSONHelper::JSON2Obj(plain, res)) {
      aResult = LangT("gls_net_resp_invalid", "响应数据无效");
      Log(aResult + "：\r\n" + plain, true);
      return -1;
    }
    if (res.resp_code == 1 && res.data) {
      FParam->softid = res.data->softid;
      FParam->business_apiurl = res.data->business_apiurl;
      FParam->vip_apiurl = res.data->vip_apiurl;
      FParam->business_weburl = res.data->business_weburl;
      FParam->firstreception_apiurl = res.data->firstreception_apiurl;
      FParam->reception_apiurl = res.data->reception_apiurl;
      FParam->receptiondownloadurl = res.data->receptiondownloadurl;
      FParam->webbackenddownloadurl = res.data->webbackenddownloadurl;
      FParam->CarouselpicurlsAssign(res.data->carouselpicurls);
      return 1;
    }
    aResult = res.resp_msg + "[" + std::to_string(res.resp_code) + "]";
    return -1;
  } catch (const std::exception& e) {
    aResult = LangT("gls_net_resp_invalid", "响应数据无效");
    Log(aResult + "：" + e.what(), true);
    return -1;
  }
}

int32_t TSoftCorvelaHelper::WebAppInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {"app_corvela_mod_web_code",     "Web",
             "app_corvela_mod_web_name",     "Web",
             "app_corvela_mod_group",        "CorVela",
             "app_corvela_mod_web_title",    "Corvela后台",
             "app_corvela_mod_web_fullname", "Corvela管理平台"};
  m.UpdateUrl = FParam->webbackenddownloadurl;
  m.Program = "OVWebClient.exe";
  m.Icon = "CVWebApp.ico";
  m.WriteSettings = [this, url = m.UpdateUrl](const std::string& aPath, const std::string& aTitle) {
    WriteWebClientIni(aPath, aTitle, url, false);
  };
  return RunModuleSetup(m, aResult);
}

int32_t TSoftCorvelaHelper::CaldisInst(std::string& aResult) {
  TModuleSetup m;
  m.Texts = {
      "app_corvela_mod_pos_code",     "Caldis",       "app_corvela_mod_pos_name",  "Caldis",
      "app_corvela_mod_group",        "Corvela",      "app_corvela_mod_pos_title", "CorvelaPos",
      "app_corvela_mod_pos_fullname", "PellavoCaldis"};
  m.UpdateUrl = FParam->firstreception_apiurl;
  m.Program = "Caldis.exe";
  m.Icon = "logo-blue.ico";
  m.ShortcutsNeedProgram = false;
  m.WriteSettings = [this](const std::string& aPath, const std::string&) { WriteSoftData(aPath); };
  return RunModuleSetup(m, aResult);
}

void TSoftCorvelaHelper::WriteSoftData(const std::string& aPath) {
  try {
    const std::string type = "corvela";
    const std::string data = TJSONHelper::Obj2JSON(*FParam, true);
    const auto s = ov::net::CurrentServiceSettings();
    // The two salt pieces are kept apart and joined only here.
    const std::string sign = TovLib::GetMd5(s.SoftDataPrefix + type + data + s.SoftDataSuffix);
    const std::string text = "{\"ver_type\":" + TJSONHelper::QuoteStr(type, true) +
                             ",\"data\":" + data +
                             ",\"sign\":" + TJSONHelper::QuoteStr(sign, true) + "}";
    if (!TovLib::SaveTxt(text, aPath + "soft.data"))
      throw ov::Error("cannot write " + aPath + "soft.data");
  } catch (const std::exception& e) {
    Log(std::string("Write Caldis Config Failed: ") + e.what(), true);
  }
}

TSoftCorvelaHelper& SoftCorvelaHelper() {
  return ov::TProcessWide<TSoftCorvelaHelper>::Ref("TSoftCorvelaHelper");
}
void CreateSoftCorvelaHelper() { ov::TProcessWide<TSoftCorvelaHelper>::Create(); }
void FreeSoftCorvelaHelper() { ov::TProcessWide<TSoftCorvelaHelper>::Free(); }
