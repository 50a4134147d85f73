#include "install/SoftSaasHelperUtil.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/Alglibrary.h"
#include "base/JSONHelperUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftCorvelaObjectUtil.h"
#include "net/ServiceSettings.h"
#include "net/UpdateHTTPUtil.h"
#include "platform/FileSystem.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUMPUtil.h"
#include "update/UpdateXMLUtil.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

TSoftSaasHelper::TSoftSaasHelper()
    : FKey(ov::net::CurrentServiceSettings().InstallerKey),
      FUpdXML(std::make_unique<TOVUpdateXML>()),
      FUpdUMP(std::make_unique<TOVUpdateUMP>()),
      FNetHTTP(std::make_unique<TNetHTTP>()),
      FWebUpdateUrl(std::make_unique<TOVSyncStr>()),
      FPosUpdateUrl(std::make_unique<TOVSyncStr>()),
      FImgSliderUrl(std::make_unique<TOVSyncStr>()),
      FFileCount(std::make_unique<TOVSyncInt>(0)),
      FFilesCurrSize(std::make_unique<TOVSyncInt64>(0)),
      FFileDownProgress(std::make_unique<TOVSyncStr>()),
      FProgressMax(std::make_unique<TOVSyncInt>(100)),
      FProgressPos(std::make_unique<TOVSyncInt>(0)),
      FFailReason(std::make_unique<TOVSyncStr>()) {
  FNetHTTP->SetOnFileDownload(
      [this](ov::net::IHttpStack* s, const std::string& u, const std::string& f, int64_t a,
             int64_t b, int64_t c, int64_t d, int64_t e, int64_t t,
             bool& abort) { OnFileUpdate(s, u, f, a, b, c, d, e, t, abort); });
}

TSoftSaasHelper::~TSoftSaasHelper() {
  FUpdUMP.reset();
  FUpdXML.reset();
  FNetHTTP.reset();
  FWebUpdateUrl.reset();
  FPosUpdateUrl.reset();
  FImgSliderUrl.reset();
  FProgressMax.reset();
  FProgressPos.reset();
  FFileCount.reset();
  FFilesCurrSize.reset();
  FFileDownProgress.reset();
  FFailReason.reset();
}

void TSoftSaasHelper::GetWebHost(std::string&) {}
void TSoftSaasHelper::GetApiHost(std::string&) {}
int32_t TSoftSaasHelper::WebAppInst(std::string&) { return 0; }
int32_t TSoftSaasHelper::CaldisInst(std::string&) { return 0; }

int32_t TSoftSaasHelper::GetInstConfig(const std::string& aAppId, const std::string& aModId,
                                       const std::string&, const std::string&,
                                       std::string& aResult) {
  const std::string appId = aAppId.empty() ? "80001888" : aAppId;
  std::string text;
  const int32_t r = FUpdUMP->GetAppNewVer(text, appId, aModId, "*", "*", "*");
  const std::string ids = "[appid:" + appId + ",modid:" + aModId + "]";
  if (r == 1) {
    const TOVVerData& v = FUpdUMP->NewVerData();
    if (!v.up_ver_no.empty()) {
      FPosUpdateUrl->SetV("ovupdata://vfid=" + std::to_string(v.up_file_id) +
                          "&app_nver=" + v.up_ver_no);
      return 1;
    }
    aResult = LangT("app_dup_insturl_nodata", "平台未配置该版本") + ids;
    Log(aResult + "\r\n" + text, true);
    return -1;
  }
  aResult = LangT("app_dup_insturl_request_fail", "版本数据请求失败") + "\r\n" + text;
  Log(aResult + ids, true);
  return -1;
}

namespace {

// The value of a string member found as text: after "name":" up to the next quote.
std::string TextAfter(const std::string& aText, const std::string& aMarker, char aEnd) {
  const size_t p = aText.find(aMarker);
  if (p == std::string::npos) return {};
  const size_t b = p + aMarker.size();
  const size_t e = aText.find(aEnd, b);
  return aText.substr(b, e == std::string::npos ? std::string::npos : e - b);
}

}  // namespace

int32_t TSoftSaasHelper::DoApiPost(const std::string& aUrl, std::string& aResult,
                                   const std::string& aHeads, const std::string& aParam) {
  const std::string param = aParam.empty() ? "{}" : aParam;
  Log("请求：" + aUrl + "\r\n" + param);
  const int64_t t0 = GetTickTime();
  std::string answer;
  const int32_t posted = DoNetPost2(aUrl, aHeads, param, answer);
  Log("返回[" + std::to_string(GetTickTime() - t0) + "ms]：" + answer, posted != 1);
  if (posted != 1) {
    if (!TovLib::IsDebug()) Log("请求：" + aUrl + "\r\n" + param, true);
    Log("[响应]" + answer, true);
    aResult = answer;
    if (str::Trim(answer).rfind('{', 0) == 0) {
      try {
        TCVRespond r;
        if (TJSONHelper::JSON2Obj(str::Trim(answer), r)) {
          aResult = r.resp_msg + "[" + std::to_string(r.resp_code) + "]";
        }
      } catch (const std::exception&) {
      }
    }
    return -1;
  }
  if (answer.empty()) {
    aResult = LangT("gls_net_resp_null", "响应数据为空");
    return -1;
  }
  if (answer[0] != '{') {
    aResult = LangT("gls_net_resp_invalid", "响应数据无效");
    return -1;
  }
  TCVAesStrRespond res;
  try {
    if (!TJSONHelper::JSON2Obj(answer, res)) {
      aResult = LangT("gls_net_resp_invalid", "响应数据无效");
      Log(aResult + "：\r\n" + answer, true);
      return -1;
    }
  } catch (const std::exception& e) {
    aResult = LangT("gls_net_resp_invalid", "响应数据无效");
    Log(aResult + "：" + e.what(), true);
    return -1;
  }
  if (res.data.empty()) {
    aResult = LangT("gls_net_resp_null", "响应数据无效");
    Log(aResult + "：\r\n" + answer, true);
    return -1;
  }
  try {
    const std::string ivBytes = TOvAlgLib::Base64Decode(res.iv);
    TAESIV iv{};
    for (size_t i = 0; i < iv.size() && i < ivBytes.size(); ++i) {
      iv[i] = static_cast<uint8_t>(ivBytes[i]);
    }
    const std::string plain = AESDecryptText(res.data, FKey, kb256, amCBC, TAESInput::Base64, iv);
    if (plain.find("\"traceId\":\"") != std::string::npos &&
        plain.find("\"title\":\"") != std::string::npos) {
      aResult =
          TextAfter(plain, "\"title\":\"", '"') + "[" + TextAfter(plain, "\"status\":", ',') + "]";
      return -1;
    }
    aResult = plain;
    return 1;
  } catch (const std::exception& e) {
    aResult = LangT("gls_net_resp_decode_erro", "响应数据解码出错");
    Log(aResult + "：" + e.what() + "\r\n" + answer, true);
    return -1;
  }
}

bool TSoftSaasHelper::DownFileRetry(const std::string& aUrl, const std::string& aFile,
                                    std::string& aErro) {
  return DownFileRetryWith(*FNetHTTP, aUrl, aFile, aErro);
}

namespace {

bool InstallerStopped() { return HasSyncObj() && SyncObj().IsAppExit(); }

// The pause between two attempts; false when the installer is stopped before or during it.
bool PauseUnlessStopped(int32_t aMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(aMs);
  while (!InstallerStopped()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(20)));
  }
  return false;
}

}  // namespace

bool TSoftSaasHelper::DownFileRetryWith(TNetHTTP& aNet, const std::string& aUrl,
                                        const std::string& aFile, std::string& aErro) {
  const int64_t t0 = GetTickTime();
  auto done = [&](bool aOk) {
    Log("[文件下载]耗时[" + std::to_string(GetTickTime() - t0) + "ms]");
    return aOk;
  };
  Log("[文件下载]下载：" + aUrl + "->" + aFile);
  if (aNet.DownFile(aUrl, aFile, aErro)) return done(true);
  auto tail = [&] { return aErro + " [" + aUrl + " -> " + aFile + "]"; };
  if (aErro.find("404: Not Found") != std::string::npos) {
    Log("[文件下载]失败：" + tail(), true);
    return done(false);
  }
  // A quitting installer is not held up by further attempts and their pauses.
  auto again = [&](const char* aWhat) {
    if (!InstallerStopped()) Log(aWhat + tail(), true);
    if (PauseUnlessStopped(FRetryPauseMs)) return true;
    Log("[文件下载]安装已终止，不再重下：" + tail(), true);
    return false;
  };
  if (!again("[文件下载]失败，重下一次：")) return done(false);
  DelFile(aFile);
  if (aNet.DownFile(aUrl, aFile, aErro)) return done(true);
  if (!again("[文件下载]失败，再次重下：")) return done(false);
  DelFile(aFile);
  if (aNet.DownFile(aUrl, aFile, aErro)) return done(true);
  Log("[文件下载]失败：" + tail(), true);
  return done(false);
}

bool TSoftSaasHelper::IsFileExists(const std::string& aFile) {
  return fs::FileExists(aFile) || fs::FileExists(aFile);
}

bool TSoftSaasHelper::CheckFileMD5(const std::string& aMD5, const std::string& aFile) {
  if (aMD5.empty()) return true;
  std::string why;
  auto md5 = [&] {
    try {
      std::string m = TovLib::GetFileMD5(aFile);
      if (m.empty()) why = "文件不存在";
      return m;
    } catch (const std::exception& e) {
      why = e.what();
      return std::string();
    }
  };
  std::string m = md5();
  if (m.empty()) m = md5();
  // A file that cannot be read or has gone is not the file the server described.
  if (m.empty()) {
    Log("效验文件失败[网络MD5值：" + aMD5 + "，无法计算下载MD5值：" + why + "]" + aFile, true);
    return false;
  }
  if (str::LowerCase(aMD5) == str::LowerCase(m)) return true;
  Log("效验文件失败[网络MD5值：" + aMD5 + " <> 下载MD5值：" + m + "]" + aFile);
  return false;
}

bool TSoftSaasHelper::DelFile(const std::string& aFile) {
  try {
    if (IsFileExists(aFile) && !fs::DeleteFile(aFile) && fs::FileExists(aFile)) {
      fs::RenameFile(aFile, aFile + ".del");
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TSoftSaasHelper::UpdateFileTime(const std::string& aFile, const std::string& aCreateTime,
                                     const std::string& aModifyTime) {
  if (aModifyTime.empty()) {
    Log("更新文件[" + aFile + "]时间无效[创建时间：" + aCreateTime + "，修改时间：" + aModifyTime +
            "]",
        true);
    return false;
  }
  const std::string created = aCreateTime.empty() ? aModifyTime : aCreateTime;
  auto read = [](const std::string& aText) {
    ov::TDateTime d = 0;
    return ov::TryStrToDateTime(aText, d) ? d : ov::Now();
  };
  const bool ok = TovLib::SetFileDateTime(aFile, read(created), read(aModifyTime));
  Log("更新文件[" + aFile + "]时间完成[" + aModifyTime + "]->" + (ok ? "成功" : "失败"), !ok);
  return ok;
}

void TSoftSaasHelper::CountDownloadBytes(TByteCount& aCount, int64_t aRead) {
  if (aRead < 0) return;
  // Under the lock to the end, so the receiver never sees the total fall.
  std::lock_guard<std::mutex> g(FBytesLock);
  FBytesAll += aRead >= aCount.Last ? aRead - aCount.Last : aRead;
  aCount.Last = aRead;
  DownloadBytes(FBytesAll, -1);
}

void TSoftSaasHelper::OnFileUpdate(ov::net::IHttpStack*, const std::string&, const std::string&,
                                   int64_t, int64_t, int64_t AContentLength, int64_t AReadCount,
                                   int64_t, int64_t ATime, bool&) {
  try {
    try {
      std::string text;
      if (AReadCount > 0 && ATime > 0 && AReadCount > 1024) {
        text = TovLib::ConvertBytes(AContentLength) + "/" + TovLib::ConvertBytes(AReadCount) + " ";
      }
      AppFileDownProgressHint(text);
      CountDownloadBytes(FMainBytes, AReadCount);
    } catch (const std::exception& e) {
      Log(std::string("[TMain.OnFileUpdate]执行出错：") + e.what());
    }
  } catch (const std::exception& e) {
    Log(std::string("执行OnFileUpdate出错：") + e.what());
  }
}
