#include "install/SoftBaseHelperUtil.h"

#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "base/OVStrUtil.h"
#include "net/HttpStack.h"
#include "platform/MainThread.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

TSoftVar::TSoftVar()
    : Fcode(std::make_unique<TOVSyncStr>()),
      Fname(std::make_unique<TOVSyncStr>()),
      Fpath(std::make_unique<TOVSyncStr>()),
      Fsliders(std::make_unique<TOVSyncStringList>()) {}

TSoftVar::~TSoftVar() {
  Fsliders.reset();
  Fpath.reset();
  Fname.reset();
  Fcode.reset();
}

TSoftVar& SoftVar() { return ov::TProcessWide<TSoftVar>::Ref("TSoftVar"); }
bool HasSoftVar() { return ov::TProcessWide<TSoftVar>::Get() != nullptr; }
void CreateSoftVar() { ov::TProcessWide<TSoftVar>::Create(); }
void FreeSoftVar() { ov::TProcessWide<TSoftVar>::Free(); }

int64_t TSoftBaseHelper::GetTickTime() { return TovLib::GetTickTime(); }

void TSoftBaseHelper::Log(const std::string& aLog, bool aIsLog) { TovLib::Log(aLog, aIsLog); }

void TSoftBaseHelper::AppInstHint(const std::string& aHint, const std::string& aSubHint) {
  if (!FOnAppInstHint) return;
  if (FHintsOnCallerThread) {
    FOnAppInstHint(aHint, aSubHint);
    return;
  }
  ov::platform::InvokeSync([this, aHint, aSubHint] {
    if (FOnAppInstHint) FOnAppInstHint(aHint, aSubHint);
  });
}

void TSoftBaseHelper::AppFileDownProgressHint(const std::string& aHint) {
  if (!FOnAppFileDownProgressHint) return;
  if (FHintsOnCallerThread) {
    FOnAppFileDownProgressHint(aHint);
    return;
  }
  ov::platform::InvokeSync([this, aHint] {
    if (FOnAppFileDownProgressHint) FOnAppFileDownProgressHint(aHint);
  });
}

void TSoftBaseHelper::AppInstProgress(int32_t aPos, int32_t aMax) {
  if (FOnAppInstProgress) FOnAppInstProgress(aPos, aMax);
}

bool TSoftBaseHelper::IsAppInstStop(std::string& aResult) {
  if (HasSyncObj() && SyncObj().IsAppExit()) {
    aResult = LangT("app_inst_stop", "终止安装");
    return true;
  }
  return false;
}

int32_t TSoftBaseHelper::DoNetPost2(const std::string& aUrl, const std::string& aHeads,
                                    const std::string& aParam, std::string& aRespond) {
  const std::string netErro = "[" + LangT("gls_net_erro", "网络异常") + "]";
  try {
    ov::net::THttpOptions o;
    o.UserAgent = "Mozilla/3.0 (compatible; NetHTTP)";
    o.ConnTimeoutMs = 3000;
    o.ReadTimeoutMs = 10000;
    o.VerifyPeer = false;
    o.Headers = {{"Content-Type", "application/json"}, {"Accept", "*/*"}};
    if (!aHeads.empty()) {
      size_t start = 0;
      while (start <= aHeads.size()) {
        size_t comma = aHeads.find(',', start);
        if (comma == std::string::npos) comma = aHeads.size();
        const std::string item = aHeads.substr(start, comma - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos) {
          const std::string name = item.substr(0, eq);
          bool replaced = false;
          for (auto& [k, v] : o.Headers) {
            if (ov::str::SameText(k, name)) {
              v = item.substr(eq + 1);
              replaced = true;
            }
          }
          if (!replaced) o.Headers.emplace_back(name, item.substr(eq + 1));
        }
        start = comma + 1;
      }
    }
    ov::net::TPostResult r = ov::net::NetPost(aUrl, aParam, o);
    if (r.Status >= 200 && r.Status <= 299) {
      aRespond = r.Body;
      return 1;
    }
    const std::string erro = netErro + r.StatusText + "[" + std::to_string(r.Status) + "]";
    aRespond = r.Body.empty() ? erro : r.Body;
    if (("-" + aRespond).find("Server Certificate Invalid") != std::string::npos) {
      aRespond = "当前电脑证书无效(" + aRespond + ")";
    }
    return 0;
  } catch (const std::exception& e) {
    aRespond = netErro + e.what();
    return 0;
  }
}
