#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Records of the enterprise platform's install-configuration exchange.
struct TCVRespond {
  int32_t resp_code = 0;  // 1 means success
  std::string resp_msg;
  std::string cost;
  template <class V>
  void Fields(V& v) {
    v("resp_code", resp_code);
    v("resp_msg", resp_msg);
    v("cost", cost);
  }
};

struct TCVStrRespond : TCVRespond {
  std::string data;
  template <class V>
  void Fields(V& v) {
    TCVRespond::Fields(v);
    v("data", data);
  }
};

// data holds the Base64 AES ciphertext, iv the Base64 vector.
struct TCVAesStrRespond : TCVStrRespond {
  std::string iv;
  template <class V>
  void Fields(V& v) {
    TCVStrRespond::Fields(v);
    v("iv", iv);
  }
};

// An enterprise's install parameters.
struct TCVInstParamData {
  int32_t softid = 0;
  std::string business_apiurl;
  std::string vip_apiurl;
  std::string business_weburl;
  std::string reception_apiurl;
  std::string firstreception_apiurl;
  std::string receptiondownloadurl;
  std::string webbackenddownloadurl;
  std::vector<std::string> carouselpicurls;

  void CarouselpicurlsAdd(const std::string& aUri) { carouselpicurls.push_back(aUri); }
  void CarouselpicurlsAssign(const std::vector<std::string>& aUris) {
    carouselpicurls.clear();
    for (const auto& u : aUris) CarouselpicurlsAdd(u);
  }

  template <class V>
  void Fields(V& v) {
    v("softid", softid);
    v("business_apiurl", business_apiurl);
    v("vip_apiurl", vip_apiurl);
    v("business_weburl", business_weburl);
    v("reception_apiurl", reception_apiurl);
    v("firstreception_apiurl", firstreception_apiurl);
    v("receptiondownloadurl", receptiondownloadurl);
    v("webbackenddownloadurl", webbackenddownloadurl);
    v("carouselpicurls", carouselpicurls);
  }
};

struct TCVInstParamRespond : TCVRespond {
  std::unique_ptr<TCVInstParamData> data;  // null when the answer has none
  template <class V>
  void Fields(V& v) {
    TCVRespond::Fields(v);
    v("data", data);
  }
};
