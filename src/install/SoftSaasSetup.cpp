// The module setup scheme shared by every product installer.
#include "base/Alglibrary.h"
#include "common/OVError.h"
#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

void TSoftSaasHelper::WriteWebClientIni(const std::string& aPath, const std::string& aTitle,
                                        const std::string& aUpgrader, bool aWithLangType) {
  std::string host;
  GetWebHost(host);
  std::vector<std::pair<std::string, std::string>> values = {
      {"AppTitle", aTitle}, {"AppHost", host}, {"AppUpgrader", aUpgrader}};
  if (aWithLangType) values.emplace_back("AppLangType", "2");
  for (const auto& [key, plain] : values) {
    try {
      const std::string enc = TOvAlgLib::GetAESEncrypt(ov::platform::Utf8ToAnsi(plain), "QTRNUX");
      if (!TovLib::IniWrite("Main", key, enc, aPath + "OVWebClient.ini")) {
        throw ov::Error(fs::LastErrorText());
      }
    } catch (const std::exception& e) {
      Log(key + "Error: " + e.what(), true);
    }
  }
}

namespace {

std::string InstallFailedText(const std::string& aAppName) {
  return aAppName + LangT("gls_install", "安装") + LangT("gls_failed", "失败");
}

}  // namespace

int32_t TSoftSaasHelper::RunModuleSetup(const TModuleSetup& aSetup, std::string& aResult) {
  AppInstProgress(FProgressPos->v(), FProgressMax->v());
  TovLib::SetDebugFlag(TovLib::IsDebug() ? 1 : 0);
  std::string sPath = str::ExcludeTrailingBackslash(SoftVar().path().v()) + "\\";
  const std::string sAppCode = LangT(aSetup.Texts.CodeKey, aSetup.Texts.CodeDef);
  const std::string sAppName = LangT(aSetup.Texts.NameKey, aSetup.Texts.NameDef);
  const std::string group = LangT(aSetup.Texts.GroupKey, aSetup.Texts.GroupDef);
  const std::string title = LangT(aSetup.Texts.TitleKey, aSetup.Texts.TitleDef);
  const std::string fullName = LangT(aSetup.Texts.FullNameKey, aSetup.Texts.FullNameDef);
  if (aSetup.OwnFolder) sPath += sAppName + "\\";
  if (FOnModuleCheck) {
    return CheckModule(sAppCode, sAppName, sPath, TovLib::GetTempPath(sPath, false),
                       aSetup.UpdateUrl, aResult);
  }
  auto folderFailed = [&] {
    aResult = LangT("gls_dirfoucefailed", "安装目录创建失败");
    AppInstHint(aResult, "");
    return -1;
  };
  if (!fs::ForceDirectories(sPath)) return folderFailed();
  const std::string sTmpPath = TovLib::GetTempPath(sPath, false);
  if (!fs::ForceDirectories(sTmpPath)) return folderFailed();
  DownImgSliders(aSetup.UpdateUrl, sPath);

  TSyncObj& so = SyncObj();
  so.WorkCode().SetV(0);
  so.WorkData().SetV(aResult);
  const std::string url = aSetup.UpdateUrl;
  ov::platform::StartWorker([this, sAppCode, sAppName, sPath, sTmpPath, url] {
    std::string msg;
    int32_t r = -1;
    // An error that escapes the pipeline ends the module as a failure; otherwise the main
    // thread would wait for a code that never comes.
    try {
      r = DoAppInst(sAppCode, sAppName, sPath, sTmpPath, url, msg);
    } catch (const std::exception& e) {
      msg = InstallFailedText(sAppName) + LangC("：") + e.what();
      Log("[安装]安装线程异常：" + std::string(e.what()), true);
      r = -1;
    } catch (...) {
      msg = InstallFailedText(sAppName);
      Log("[安装]安装线程异常", true);
      r = -1;
    }
    // The message first: the main thread reads it as soon as the code changes.
    SyncObj().WorkData().SetV(msg);
    SyncObj().WorkCode().SetV(r == 1 ? 1 : -1);
  });
  // A stop is final: whatever the worker reports at the same moment, the module is not set
  // up after it (no settings, shortcuts or service starts).
  std::string stop;
  bool stopped = false;
  while (so.WorkCode().v() == 0) {
    ov::platform::WaitForHandOver(30);
    ov::platform::ProcessPending();
    if (IsAppInstStop(stop)) {
      stopped = true;
      break;
    }
  }
  if (stopped || IsAppInstStop(stop)) {
    aResult = stop;
    return -1;
  }
  if (so.WorkCode().v() != 1) {
    aResult = so.WorkData().v();
    return -1;
  }
  if (aSetup.WriteSettings) aSetup.WriteSettings(sPath, title);
  const std::string program = sPath + aSetup.Program;
  if (!aSetup.ShortcutsNeedProgram || fs::FileExists(program)) {
    const std::string icon = fs::FileExists(sPath + aSetup.Icon) ? sPath + aSetup.Icon : "";
    try {
      TInstHelper::CreateDesktopIcon(program, title, fullName, icon);
      TInstHelper::CreateStartupIcon(program, aSetup.GroupInMenu ? group : "", title, fullName,
                                     icon);
    } catch (const std::exception& e) {
      Log(std::string("创建快捷方式出错：") + e.what(), true);
    }
  }
  if (IsAppInstStop(aResult)) return -1;
  DoAfterStart(sPath);
  return 1;
}
