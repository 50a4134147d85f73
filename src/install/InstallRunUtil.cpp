#include "install/InstallRunUtil.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/OVInstHelperUtil.h"
#include "base/OVProcessWide.h"
#include "base/OVStrUtil.h"
#include "install/SoftBrevikHelperUtil.h"
#include "install/SoftCorvelaHelperUtil.h"
#include "install/SoftDaskorHelperUtil.h"
#include "install/SoftKetrinHelperUtil.h"
#include "install/SoftPindorHelperUtil.h"
#include "install/SoftZelappHelperUtil.h"
#include "install/SoftZelcvHelperUtil.h"
#include "install/SoftZelntrHelperUtil.h"
#include "net/ServiceSettings.h"
#include "platform/MainThread.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace {

// Lets the helper reach the receiver only while the run lasts. After a stop the module's
// worker goes on until it notices, and by then the receiver may be gone.
class TReceiverGate {
 public:
  explicit TReceiverGate(IInstallReceiver& aReceiver) : FReceiver(&aReceiver) {}

  template <class F>
  void Call(F&& aFn) {
    std::unique_lock<std::mutex> g(FLock);
    if (!FReceiver) return;
    IInstallReceiver* r = FReceiver;
    ++FBusy;
    g.unlock();
    struct TDone {
      TReceiverGate* Gate;
      ~TDone() {
        std::lock_guard<std::mutex> lg(Gate->FLock);
        if (--Gate->FBusy == 0) Gate->FIdle.notify_all();
      }
    } done{this};
    aFn(*r);
  }

  // Waits for calls in progress. Hand-overs are served meanwhile, since a receiver call on a
  // worker may be waiting for the main thread.
  void Close() {
    std::unique_lock<std::mutex> g(FLock);
    FReceiver = nullptr;
    const bool main = ov::platform::IsMainThread();
    while (FBusy > 0) {
      FIdle.wait_for(g, std::chrono::milliseconds(main ? 10 : 1000));
      if (main && FBusy > 0) {
        g.unlock();
        ov::platform::ProcessPending();
        g.lock();
      }
    }
  }

 private:
  std::mutex FLock;
  std::condition_variable FIdle;
  IInstallReceiver* FReceiver;
  int FBusy = 0;
};

using TModuleRun = std::function<int32_t(TSoftSaasHelper&, std::string&)>;

struct TModule {
  bool IsWeb;  // the web box decides; false: the POS box (two-module rows) or always
  const char* NameKey;
  const char* NameDef;
  TModuleRun Run;
};

struct TRow {
  const char* Code;
  const char* DisplayName;
  const char* ValuePrefix;
  const char* PathFileKey;  // nullptr for the web products
  const char* PathKey;      // language key of a service row's default folder, or nullptr
  const char* DefaultPath;  // default folder (after "D" for service rows)
  std::function<TSoftSaasHelper*()> Installer;
  bool Single;
  const char* WebFolder;  // file-store folder of the web module, or nullptr
  const char* AppId;      // the install configuration's ids, or nullptr
  const char* ModId;
  std::vector<TModule> Modules;
};

template <class T>
std::function<TSoftSaasHelper*()> Instance() {
  return [] { return static_cast<TSoftSaasHelper*>(ov::TProcessWide<T>::Get()); };
}

TModuleRun Web() {
  return [](TSoftSaasHelper& h, std::string& r) { return h.WebAppInst(r); };
}
TModuleRun Pos() {
  return [](TSoftSaasHelper& h, std::string& r) { return h.CaldisInst(r); };
}
template <class T>
TModuleRun Service() {
  return [](TSoftSaasHelper& h, std::string& r) { return static_cast<T&>(h).ZelAppInst(r); };
}

// The product table, in its order.
const std::vector<TRow>& Rows() {
  static const std::vector<TRow> rows = {
      {"corvela",
       "Corvela",
       "Corvela",
       nullptr,
       nullptr,
       "D:\\Ondrevo\\Corvela\\",
       Instance<TSoftCorvelaHelper>(),
       false,
       nullptr,
       nullptr,
       nullptr,
       {{true, "app_corvela_mod_web_name", "Web", Web()},
        {false, "app_corvela_mod_pos_name", "Caldis", Pos()}}},
      {"pindor",
       "Pindor",
       "Pindor",
       nullptr,
       nullptr,
       "D:\\Ondrevo\\PinDor\\",
       Instance<TSoftPindorHelper>(),
       false,
       "/updatefiles/pindor_webapp/",
       "80001888",
       "61064",
       {{true, "app_pindor_mod_web_name", "Web", Web()},
        {false, "app_pindor_mod_pos_name", "Caldis", Pos()}}},
      {"ketrin",
       "Ketrin-saas",
       "Ketrin",
       nullptr,
       nullptr,
       "D:\\Ondrevo\\Ketrin\\",
       Instance<TSoftKetrinHelper>(),
       false,
       "/updatefiles/ketrin_webapp/",
       "80001888",
       "61063",
       {{true, "app_ketrin_mod_web_name", "Web", Web()},
        {false, "app_ketrin_mod_pos_name", "Caldis", Pos()}}},
      {"Daskor",
       "DaskorPOS",
       "Daskor",
       nullptr,
       nullptr,
       "D:\\Ondrevo\\Daskor\\",
       Instance<TSoftDaskorHelper>(),
       false,
       "/updatefiles/daskor_webapp/",
       "80001888",
       "61009",
       {{true, "app_daskor_mod_web_name", "Web", Web()},
        {false, "app_daskor_mod_pos_name", "Caldis", Pos()}}},
      {"zelapp",
       "Pellavo商品智能下发工具",
       "Zelapp",
       "SOFTWARE\\ONDREVO\\OVZelService",
       "app_zelapp_instpath",
       ":\\Ondrevo软件\\Pellavo商品智能下发服务\\",
       Instance<TSoftZelappHelper>(),
       true,
       nullptr,
       "80001004",
       "21062",
       {{false, "app_zelapp_mod_name", "商品下发", Service<TSoftZelappHelper>()}}},
      {"zelntr",
       "商品智能下发工具",
       "Zelntr",
       "SOFTWARE\\ONDREVO\\ZelService",
       "app_zelntr_instpath",
       ":\\商品智能下发服务\\",
       Instance<TSoftZelntrHelper>(),
       true,
       nullptr,
       "80001004",
       "21062",
       {{false, "app_zelntr_mod_name", "商品下发", Service<TSoftZelntrHelper>()}}},
      {"zelcv",
       "Corvela商品智能下发服务",
       "Zelcv",
       "SOFTWARE\\ONDREVO\\CVZelService",
       "app_zelcv_instpath",
       ":\\Ondrevo软件\\Corvela商品智能下发服务\\",
       Instance<TSoftZelcvHelper>(),
       true,
       nullptr,
       "80001004",
       "21062",
       {{false, "app_zelapp_mod_name", "商品下发", Service<TSoftZelcvHelper>()}}},
      {"brvapp",
       "Pellavo外卖平台助手V3",
       "Brvapp",
       "SOFTWARE\\ONDREVO\\OVBKClient",
       "app_brvapp_instpath",
       ":\\Ondrevo软件\\Pellavo外卖平台助手V3\\",
       Instance<TSoftBrevikHelper>(),
       true,
       nullptr,
       "8000514",
       "31067",
       {{false, "app_brevik_mod_name", "外卖助手", Service<TSoftBrevikHelper>()}}},
  };
  return rows;
}

const TRow* RowOf(const std::string& aCode) {
  for (const auto& r : Rows()) {
    if (ov::str::SameText(r.Code, aCode)) return &r;
  }
  return nullptr;
}

bool Chosen(const TRow& aRow, const TModule& aModule, const TInstallChoice& aChoice) {
  if (aRow.Single) return true;
  return aModule.IsWeb ? aChoice.Web : aChoice.Pos;
}

}  // namespace

bool ProductInfo(const std::string& aCode, TProductInfo& aInfo) {
  const TRow* row = RowOf(aCode);
  if (!row) return false;
  aInfo.Code = row->Code;
  aInfo.DisplayName = row->DisplayName;
  aInfo.ValuePrefix = row->ValuePrefix;
  aInfo.PathValue = std::string(row->ValuePrefix) + "Path";
  aInfo.PathFileKey = row->PathFileKey ? row->PathFileKey : "";
  aInfo.DefaultPath =
      row->PathKey ? "D" + LangT(row->PathKey, row->DefaultPath) : std::string(row->DefaultPath);
  return true;
}

std::string RememberedPath(const std::string& aCode) {
  TProductInfo info;
  if (!ProductInfo(aCode, info)) return {};
  std::string path;
  if (!info.PathFileKey.empty()) path = TInstHelper::getReg("PathFile", "", info.PathFileKey);
  if (path.empty()) path = TInstHelper::getReg(info.PathValue, "");
  return path.empty() ? TInstHelper::GetAvailablePath(info.DefaultPath) : path;
}

int32_t CheckInstall(const TInstallChoice& aChoice,
                     const std::function<void(const TModuleCheck&)>& aOnModule,
                     std::string& aResult) {
  const TRow* row = RowOf(aChoice.Code);
  TSoftSaasHelper* h = row ? row->Installer() : nullptr;
  if (!h) return 1;
  h->SetOnModuleCheck(aOnModule);
  // Whichever way the loop ends, the installer installs again afterwards.
  struct TReset {
    TSoftSaasHelper* H;
    ~TReset() { H->SetOnModuleCheck(nullptr); }
  } reset{h};
  int32_t result = 1;
  for (const auto& m : row->Modules) {
    if (!Chosen(*row, m, aChoice)) continue;
    std::string msg;
    if (m.Run(*h, msg) != 1 && result == 1) {
      result = -1;
      aResult = msg;
    }
  }
  return result;
}

void SaveInstChoices(const TInstallChoice& aChoice, const std::string& aCorpId) {
  TProductInfo info;
  if (!ProductInfo(aChoice.Code, info)) return;
  try {
    if (ov::str::SameText(info.Code, "corvela")) TInstHelper::SetReg("CorvelaCorpId", aCorpId);
    if (!IsSingleModuleProduct(info.Code)) {
      TInstHelper::SetReg(info.ValuePrefix + "Web", aChoice.Web ? "1" : "0");
      TInstHelper::SetReg(info.ValuePrefix + "Pos", aChoice.Pos ? "1" : "0");
    }
    TInstHelper::SetReg(info.PathValue, aChoice.Path);
  } catch (const std::exception&) {
    // Not remembered: the store could not be written.
  }
}

TSoftSaasHelper* ProductInstaller(const std::string& aCode) {
  const TRow* row = RowOf(aCode);
  return row ? row->Installer() : nullptr;
}

bool IsSingleModuleProduct(const std::string& aCode) {
  const TRow* row = RowOf(aCode);
  return row && row->Single;
}

int32_t PrepareInstall(const TInstallChoice& aChoice, std::string& aResult) {
  const TRow* row = RowOf(aChoice.Code);
  TSoftSaasHelper* h = row ? row->Installer() : nullptr;
  if (!h) return 1;  // a code without a row installs nothing
  if (row->WebFolder && aChoice.Web) {
    h->WebUpdateUrl().SetV(ov::net::CurrentServiceSettings().FileStoreUrl + row->WebFolder);
  }
  if (row->AppId && (row->Single || aChoice.Pos)) {
    return h->GetInstConfig(row->AppId, row->ModId, "", "", aResult) == 1 ? 1 : -1;
  }
  return 1;
}

int32_t RunInstall(const TInstallChoice& aChoice, IInstallReceiver& aReceiver, std::string& aResult,
                   int32_t aPauseMs) {
  const TRow* row = RowOf(aChoice.Code);
  TSoftSaasHelper* h = row ? row->Installer() : nullptr;
  if (!h) return 1;
  auto gate = std::make_shared<TReceiverGate>(aReceiver);
  struct TClose {
    TReceiverGate& Gate;
    ~TClose() { Gate.Close(); }
  } closeGate{*gate};
  h->SetOnAppInstHint([gate](const std::string& a, const std::string& b) {
    gate->Call([&](IInstallReceiver& r) { r.ShowInstHint(a, b); });
  });
  h->SetOnAppInstProgress([gate](int32_t p, int32_t m) {
    gate->Call([&](IInstallReceiver& r) { r.ShowInstProgress(p, m); });
  });
  if (aReceiver.WantsFileDownProgressHint()) {
    h->SetOnAppFileDownProgressHint([gate](const std::string& a) {
      gate->Call([&](IInstallReceiver& r) { r.ShowFileDownProgressHint(a); });
    });
  } else {
    h->SetOnAppFileDownProgressHint(nullptr);
  }
  h->SetHintsOnCallerThread(aReceiver.TakesHintsOnAnyThread());
  h->SetOnDownloadBytes([gate](int64_t r, int64_t t) {
    gate->Call([&](IInstallReceiver& rc) { rc.ShowDownloadBytes(r, t); });
  });
  int32_t max = 0;
  if (row->Single) {
    max = 50;
  } else {
    max = (aChoice.Web ? 50 : 0) + (aChoice.Pos ? 50 : 0);
  }
  h->ProgressMax().SetV(max);
  for (const auto& m : row->Modules) {
    if (!Chosen(*row, m, aChoice)) continue;
    const std::string name = LangT(m.NameKey, m.NameDef);
    aReceiver.ShowModuleStart(name);
    aReceiver.ShowInstHint(LangT("gls_insting", "正在安装") + name + ", " +
                               LangT("gls_plswait", "请稍候..."),
                           "");
    std::string msg;
    const int32_t r = m.Run(*h, msg) == 1 ? 1 : -1;
    aReceiver.ShowModuleEnd(name, r, r == 1 ? std::string() : msg);
    if (r != 1) {
      aResult = msg;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(aPauseMs));
  }
  return 1;
}
