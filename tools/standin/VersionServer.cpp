#include "VersionServer.h"

#include <algorithm>

#include "StandInCrypto.h"

namespace ov::standin {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string MemberText(const nlohmann::json& aValue) {
  if (aValue.is_string()) return aValue.get<std::string>();
  if (aValue.is_null()) return {};
  return aValue.dump();
}

std::string UrlEncode(const std::string& aText) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : aText) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

nlohmann::json Reply(const std::string& aCode, const std::string& aMessage) {
  return {{"resp_code", aCode}, {"resp_mag", aMessage}};
}

// A catalogue selector of "*" or "" matches every request value.
bool Selects(const nlohmann::json& aVersion, const nlohmann::json& aRequest, const char* aName) {
  std::string want = MemberText(aVersion.value(aName, nlohmann::json()));
  return want.empty() || want == "*" || want == MemberText(aRequest.value(aName, nlohmann::json()));
}

}  // namespace

std::string CanonicalString(const nlohmann::json& aRequest) {
  std::vector<std::string> lines;
  for (auto it = aRequest.begin(); it != aRequest.end(); ++it) {
    if (it.key() == "sg") continue;
    std::string v = MemberText(it.value());
    if (v.empty()) continue;
    lines.push_back(it.key() + "=" + v);
  }
  std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
  });
  std::string out;
  for (const auto& l : lines) {
    if (!out.empty()) out += '&';
    out += l;
  }
  return out;
}

std::string Signature(const std::string& aCanonical, const std::string& aPrefix,
                      const std::string& aSuffix) {
  return crypto::Md5Hex(aPrefix + aCanonical + aSuffix);
}

bool TVersionServer::Start(const TVersionServerConfig& aConfig) {
  Stop();
  FConfig = aConfig;
  if (!FServer.Create("", "")) return false;
  for (const char* path : {"/FileInfo/SelNewSWVer", "/FileInfo/GetDetailInfo"}) {
    FServer.Server().Post(path, [this, path](const httplib::Request& req, httplib::Response& res) {
      std::string text = Answer(path, req.body);
      bool bom, encoded;
      {
        std::lock_guard<std::mutex> g(FLock);
        bom = FBom;
        encoded = FUrlEncoded;
      }
      if (encoded) text = UrlEncode(text);
      if (bom) text = "\xEF\xBB\xBF" + text;
      res.set_content(text, "application/json; charset=utf-8");
    });
  }
  FPort = FServer.Run(aConfig.Port);
  return FPort > 0;
}

void TVersionServer::SetCatalogue(const TCatalogue& aCatalogue) {
  std::lock_guard<std::mutex> g(FLock);
  FCatalogue = aCatalogue;
}

void TVersionServer::SetBom(bool aValue) {
  std::lock_guard<std::mutex> g(FLock);
  FBom = aValue;
}

void TVersionServer::SetUrlEncoded(bool aValue) {
  std::lock_guard<std::mutex> g(FLock);
  FUrlEncoded = aValue;
}

std::vector<TVersionLogEntry> TVersionServer::RequestLog() const {
  std::lock_guard<std::mutex> g(FLock);
  return FLog;
}

bool TVersionServer::CurrentCatalogue(TCatalogue& aCatalogue, std::string& aError) {
  if (FConfig.CatalogueFile.empty()) {
    std::lock_guard<std::mutex> g(FLock);
    aCatalogue = FCatalogue;
    return true;
  }
  return aCatalogue.Load(FConfig.CatalogueFile, aError);
}

std::string TVersionServer::Answer(const std::string& aPath, const std::string& aBody) {
  nlohmann::json reply;
  auto request = nlohmann::json::parse(aBody, nullptr, false);
  TCatalogue cat;
  std::string err;
  if (request.is_discarded() || !request.is_object()) {
    reply = Reply("1001", "请求数据格式错误");
  } else if (Lower(MemberText(request.value("sg", nlohmann::json()))) !=
             Signature(CanonicalString(request), FConfig.SignPrefix, FConfig.SignSuffix)) {
    reply = Reply("1006", "签名验证失败");
  } else if (!CurrentCatalogue(cat, err)) {
    reply = Reply("1009", "版本库读取失败：" + err);
  } else if (aPath == "/FileInfo/SelNewSWVer") {
    // An unknown module is not an error: it is accepted and answered with an empty version.
    nlohmann::json data = {{"softid", ""},      {"branch_jg", ""},  {"jh_no", ""},
                           {"item_id", ""},     {"pos_type", ""},   {"ver_no", ""},
                           {"ver_name", ""},    {"ver_file_id", 0}, {"up_ver_no", ""},
                           {"up_ver_name", ""}, {"up_file_id", 0},  {"ver_date", ""},
                           {"forceupdate", ""}, {"ver_memo", ""},   {"ver_up_date", ""}};
    for (const auto& v : cat.Versions) {
      if (Selects(v, request, "item_id") && Selects(v, request, "pos_type") &&
          Selects(v, request, "softid") && Selects(v, request, "branch_jg") &&
          Selects(v, request, "jh_no")) {
        for (auto it = v.begin(); it != v.end(); ++it) data[it.key()] = it.value();
        break;
      }
    }
    for (const char* echo : {"softid", "branch_jg", "jh_no", "item_id", "pos_type"}) {
      data[echo] = MemberText(request.value(echo, nlohmann::json()));
    }
    reply = Reply("1000", "成功");
    reply["data"] = data;
  } else {
    const std::string id = MemberText(request.value("file_id", nlohmann::json()));
    auto it = cat.Details.find(id);
    if (it == cat.Details.end() || !it->is_object()) {
      reply = Reply("1002", "版本文件不存在");
    } else {
      nlohmann::json data = *it;
      if (data.contains("file_detail") && data["file_detail"].is_array()) {
        for (auto& f : data["file_detail"]) {
          if (!f.is_object() || !f.contains("file_url") || !f["file_url"].is_string()) continue;
          std::string url = f["file_url"].get<std::string>();
          if (!url.empty() && url[0] == '/') f["file_url"] = FConfig.FileStoreUrl + url;
        }
      }
      reply = Reply("1000", "成功");
      reply["data"] = data;
    }
  }
  {
    std::lock_guard<std::mutex> g(FLock);
    FLog.push_back({aPath, aBody, reply.value("resp_code", std::string())});
  }
  return reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace ov::standin
