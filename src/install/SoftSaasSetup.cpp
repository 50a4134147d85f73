// The module setup scheme shared by every product installer.
#include "base/Alglibrary.h"
#include "base/OVError.h"
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
    const int32_t r = DoAppInst(sAppCode, sAppName, sPath, sTmpPath, url, msg);
    // The message first: the main thread reads it as soon as the code changes.
    SyncObj().WorkData().SetV(msg);
    SyncObj().WorkCode().SetV(r == 1 ? 1 : -1);
  });
  while (so.WorkCode().v() == 0) {
    ov::platform::WaitForHandOver(30);
    ov::platform::ProcessPending();
    std::string stop;
    if (IsAppInstStop(stop)) {
      so.WorkData().SetV(stop);
      break;
    }
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
  DoAfterStart(sPath);
  return 1;
}
