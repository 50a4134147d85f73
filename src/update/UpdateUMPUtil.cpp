#include "update/UpdateUMPUtil.h"

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "net/HttpStack.h"
#include "net/ServiceSettings.h"
#include "net/UpdateHTTPUtil.h"
#include "update/UpdateObjUtil.h"

namespace str = ov::str;

namespace ov::update {

std::string CanonicalString(std::vector<std::pair<std::string, std::string>> aParams) {
  std::vector<std::string> lines;
  for (auto& [name, value] : aParams) {
    if (!value.empty()) lines.push_back(name + "=" + value);
  }
  std::sort(lines.begin(), lines.end(),
            [](const std::string& a, const std::string& b) { return str::CompareText(a, b) < 0; });
  std::string out;
  for (const auto& l : lines) {
    if (!out.empty()) out += '&';
    out += l;
  }
  return out;
}

std::string SignCanonical(const std::string& aCanonical) {
  // The two pieces are kept apart and joined only here.
  const auto s = ov::net::CurrentServiceSettings();
  return TovLib::GetMd5(s.SignPrefix + aCanonical + s.SignSuffix);
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates.
bool ValidUtf8(const std::string& aBytes) {
  size_t i = 0;
  while (i < aBytes.size()) {
    const auto c = static_cast<unsigned char>(aBytes[i]);
    size_t n = 0;
    char32_t cp = 0, min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, cp = c & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (i + n >= aBytes.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(aBytes[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

}  // namespace

std::string UrlDecodeText(const std::string& aText) {
  std::string out;
  out.reserve(aText.size());
  size_t i = 0;
  while (i < aText.size()) {
    if (aText[i] == '%' && i + 2 < aText.size() && HexValue(aText[i + 1]) >= 0 &&
        HexValue(aText[i + 2]) >= 0) {
      std::string run;
      while (i + 2 < aText.size() && aText[i] == '%' && HexValue(aText[i + 1]) >= 0 &&
             HexValue(aText[i + 2]) >= 0) {
        run += static_cast<char>(HexValue(aText[i + 1]) * 16 + HexValue(aText[i + 2]));
        i += 3;
      }
      if (!ValidUtf8(run)) {
        throw ov::Error(
            "No mapping for the Unicode character exists in the target multi-byte "
            "code page");
      }
      out += run;
    } else {
      out += aText[i++];
    }
  }
  return out;
}

}  // namespace ov::update

namespace {

const char* const kNewVerPath = "/FileInfo/SelNewSWVer";
const char* const kDetailPath = "/FileInfo/GetDetailInfo";

std::string CollapseBackslashes(const std::string& aPath) {
  return str::ReplaceAll(aPath, "\\\\", "\\");
}

std::string DefaultFirstPost(const std::string& aUrl, const std::string& aBody) {
  ov::net::THttpOptions o;
  o.Headers = {{"Accept", "application/json"}, {"Content-Type", "application/json"}};
  ov::net::TPostResult r = ov::net::IdPost(aUrl, aBody, o);
  // This stack reports an error status as a failure, like a protocol exception.
  if (r.Status >= 400) {
    throw ov::Error("HTTP/1.1 " + std::to_string(r.Status) + " " + r.StatusText);
  }
  return r.Body;
}

std::string DefaultSecondPost(const std::string& aUrl, const std::string& aBody) {
  ov::net::THttpOptions o;
  o.UserAgent = "NetHttp";
  o.Tls12Only = true;
  o.Headers = {{"Accept", "application/json"}, {"Content-Type", "application/json"}};
  o.CaFile = ov::net::CurrentServiceSettings().CAFile;
  return ov::net::NetPost(aUrl, aBody, o).Body;
}

}  // namespace

TOVUpdateUMP::TOVUpdateUMP()
    : FNetHTTP(std::make_unique<TNetHTTP>()),
      FPkgName("OVUpdata.json"),
      FNewVerData(std::make_unique<TOVVerData>()) {
  SetTargetDir(TovLib::GetModulePath());
  SetStacks(nullptr, nullptr);
}

TOVUpdateUMP::~TOVUpdateUMP() {
  FNewVerData.reset();
  FNetHTTP.reset();
}

void TOVUpdateUMP::SetStacks(TJsonPost aFirst, TJsonPost aSecond) {
  FFirst = aFirst ? std::move(aFirst) : TJsonPost(DefaultFirstPost);
  FSecond = aSecond ? std::move(aSecond) : TJsonPost(DefaultSecondPost);
}

void TOVUpdateUMP::SetTargetDir(const std::string& Value) {
  if (Value.empty()) return;
  std::string v = str::Trim(Value);
  if (v.empty() || v.back() != '\\') v += '\\';
  std::replace(v.begin(), v.end(), '/', '\\');
  FTargetDir = CollapseBackslashes(v);
}

std::string TOVUpdateUMP::ReprintAnsi(const std::string& aJson, bool aIsAnsi) {
  if (!aIsAnsi) return aJson;
  try {
    // ordered_json keeps the members in field order.
    return nlohmann::ordered_json::parse(aJson).dump();
  } catch (const std::exception&) {
    return aJson;
  }
}

int32_t TOVUpdateUMP::DoPost(const std::string& aUrl, const std::string& aParam,
                             std::string& aRespond) {
  try {
    aRespond = FFirst(aUrl, aParam);
    return 1;
  } catch (const std::exception& e) {
    aRespond = std::string("[网络错误]") + e.what();
    if (aRespond.find("reason(241)") != std::string::npos) {
      FNetControlType = 1;
      TovLib::Log("【网络错误】Idy调用SSL错误，自动切换控件....", true);
    }
    return -1;
  }
}

int32_t TOVUpdateUMP::DoNetPost(const std::string& aUrl, const std::string& aParam,
                                std::string& aRespond) {
  std::string body;
  try {
    body = FSecond(aUrl, aParam);
    aRespond = ov::update::UrlDecodeText(body);
    return 1;
  } catch (const std::exception& e) {
    aRespond = std::string("[网络错误]") + e.what();
    if (aRespond.find("mapping for the Unicode character") != std::string::npos) {
      aRespond = body;
    }
    return 0;
  }
}

int32_t TOVUpdateUMP::DoRequest(const std::string& aUrl, const std::string& aParam,
                                std::string& aResult) {
  TovLib::Log("请求：" + aUrl + "\r\n" + aParam);
  const int64_t t0 = TovLib::GetTickTime();
  const int32_t r =
      FNetControlType == 1 ? DoNetPost(aUrl, aParam, aResult) : DoPost(aUrl, aParam, aResult);
  TovLib::Log("返回[" + std::to_string(TovLib::GetTickTime() - t0) + "ms][" + std::to_string(r) +
                  "]：" + aResult,
              r != 1);
  return r;
}

int32_t TOVUpdateUMP::GetAppNewVer(std::string& aResult, const std::string& aAppId,
                                   const std::string& aModId, const std::string& aSoftId,
                                   const std::string& aBranchNo, const std::string& aJhNo) {
  int32_t result = -1;
  *FNewVerData = TOVVerData();
  try {
    TOVNewVerRequest req;
    req.softid = aSoftId;
    req.branch_jg = aBranchNo;
    req.jh_no = aJhNo;
    req.item_id = aAppId;
    req.pos_type = aModId;
    req.page_index = 1;
    req.page_size = 1000;
    const std::string canonical =
        ov::update::CanonicalString({{"item_id", req.item_id},
                                     {"pos_type", req.pos_type},
                                     {"softid", req.softid},
                                     {"branch_jg", req.branch_jg},
                                     {"jh_no", req.jh_no},
                                     {"page_index", std::to_string(req.page_index)},
                                     {"page_size", std::to_string(req.page_size)}});
    req.sg = ov::update::SignCanonical(canonical);
    const std::string param = Obj2JSON(req, true);
    std::string respond;
    const std::string url = ov::net::CurrentServiceSettings().VersionServerUrl() + kNewVerPath;
    if (DoRequest(url, param, respond) != 1 || respond.find("resp_code") == std::string::npos) {
      return -1;
    }
    TOVNewVerRespond res;
    if (!TJSONHelper::JSON2Obj(respond, res)) {
      aResult = "版本数据解析出错";
      TovLib::Log(aResult + "：" + respond, true);
    } else if (res.resp_code == "1000") {
      if (!res.data) throw ov::Error("版本数据中没有data对象");
      *FNewVerData = *res.data;
      aResult = respond;
      result = 1;
    } else if (res.resp_code == "1006") {
      aResult = res.resp_mag + "[" + res.resp_code + "]";
      TovLib::Log(aResult, true);
      TovLib::Log(canonical, true);
    } else {
      aResult = res.resp_mag + "[" + res.resp_code + "]";
      TovLib::Log(aResult, true);
      TovLib::Log(param + "\r\n" + respond);
    }
  } catch (const std::exception& e) {
    aResult = std::string("请求获取版本出错：") + e.what();
    TovLib::Log(aResult, true);
    result = -1;
  }
  return result;
}

bool TOVUpdateUMP::GetVerFiles(const std::string& aVerFileId, std::string& aErro, bool aSavePkg) {
  if (HasSyncObj() && FTargetDir.empty()) SetTargetDir(SyncObj().UpdatePath().v());
  if (FTargetDir.empty()) SetTargetDir(TovLib::GetAppPath());
  try {
    TOVVerDateilRequest req;
    int64_t id = 0;
    req.file_id = str::TryStrToInt64(aVerFileId, id) ? id : 0;
    req.sg = ov::update::SignCanonical("file_id=" + std::to_string(req.file_id));
    const std::string param = Obj2JSON(req, true);
    const std::string url = ov::net::CurrentServiceSettings().VersionServerUrl() + kDetailPath;
    std::string respond;
    int32_t r = DoRequest(url, param, respond);
    if (r < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
      r = DoRequest(url, param, respond);
      if (r < 0) r = DoRequest(url, param, respond);
    }
    if (r == 1 && respond.find("resp_code") != std::string::npos) {
      if (respond.rfind("\xEF\xBB\xBF", 0) == 0) respond.erase(0, 3);
      return LoadVerDetail(respond, aSavePkg, aErro);
    }
  } catch (const std::exception& e) {
    aErro = std::string("请求获取产品出错：") + e.what();
    TovLib::Log(aErro, true);
  }
  return false;
}
