#include "install/SoftCorvelaHelperUtil.h"

#include "base/Alglibrary.h"
#include "base/JSONHelperUtil.h"
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

TSoftCorvelaHelper& SoftCorvelaHelper() {
  return ov::TProcessWide<TSoftCorvelaHelper>::Ref("TSoftCorvelaHelper");
}
void CreateSoftCorvelaHelper() { ov::TProcessWide<TSoftCorvelaHelper>::Create(); }
void FreeSoftCorvelaHelper() { ov::TProcessWide<TSoftCorvelaHelper>::Free(); }
