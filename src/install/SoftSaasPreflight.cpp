// The pre-flight check of a module install, and the look-only run of a module behind
// ovinst --check.
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "platform/FileSystem.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateXMLUtil.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

namespace {

// The folder itself, or the nearest of its parents that exists: a first install probes where
// its folder will be created.
std::string NearestFolder(const std::string& aPath) {
  std::string dir = str::ExcludeTrailingBackslash(aPath);
  for (int i = 0; i < 256 && !dir.empty() && !fs::DirectoryExists(dir + "\\"); ++i) {
    const std::string up = str::ExcludeTrailingBackslash(str::ExtractFileDir(dir));
    if (up == dir) break;
    dir = up;
  }
  return dir + "\\";
}

// Creates and deletes a small file in the folder; the file layer's reason when it cannot.
bool CanWrite(const std::string& aFolder, std::string& aReason) {
  const std::string probe = NearestFolder(aFolder) + ".ovinst_probe.tmp";
  bool ok = false;
  {
    fs::File f;
    ok = f.Open(probe, fs::File::Mode::Truncate) && f.Write("ov");
  }
  if (!ok) aReason = fs::LastErrorText();
  // A probe that stays behind tells that files here cannot be replaced either.
  if (fs::FileExists(probe) && !fs::DeleteFile(probe) && ok) {
    ok = false;
    aReason = fs::LastErrorText();
  }
  return ok;
}

}  // namespace

int32_t TSoftSaasHelper::CheckInstallRoom(const std::string& aAppName,
                                          const std::vector<TFileInfo>& aFiles,
                                          const std::string& aPath, const std::string& aTmpPath,
                                          TInstallSpace& aSpace, std::string& aResult) {
  const std::string colon = LangC("："), comma = LangC("，");
  bool one = true;
  if (!fs::SameVolume(aPath, aTmpPath, one)) {
    Log("[安装检查]无法判断目录所在磁盘：" + fs::LastErrorText(), true);
  }
  aSpace = InstallSpaceNeed(aFiles, aPath, aTmpPath, one, !one || TovLib::IsDebug());
  aSpace.TmpFree = fs::FreeBytes(aTmpPath);
  aSpace.PathFree = one ? aSpace.TmpFree : fs::FreeBytes(aPath);
  auto tooSmall = [&](const std::string& aDir, int64_t aNeed, int64_t aFree) {
    Log("[安装检查]磁盘空间不足：" + aDir + "，需要" + std::to_string(aNeed) + "字节，可用" +
            std::to_string(aFree) + "字节",
        true);
    aResult = LangT("app_inst_space_short", "磁盘空间不足") + "(" + aAppName + ")" + colon + aDir +
              comma + LangT("app_inst_space_need", "需要") + " " + TovLib::ConvertBytes(aNeed) + comma +
              LangT("app_inst_space_free", "可用") + " " + TovLib::ConvertBytes(aFree);
    return -1;
  };
  // Free space that cannot be told does not stop an install: the copy stage still reports a
  // full disk on its own.
  if (aSpace.PathFree < 0 || aSpace.TmpFree < 0) {
    Log("[安装检查]无法获取磁盘可用空间：" + fs::LastErrorText(), true);
  }
  const int64_t pathNeed = one ? aSpace.TmpNeed : aSpace.PathNeed;
  if (aSpace.PathFree >= 0 && pathNeed > aSpace.PathFree) {
    return tooSmall(aPath, pathNeed, aSpace.PathFree);
  }
  if (!one && aSpace.TmpFree >= 0 && aSpace.TmpNeed > aSpace.TmpFree) {
    return tooSmall(aTmpPath, aSpace.TmpNeed, aSpace.TmpFree);
  }
  std::string reason;
  if (!CanWrite(aPath, reason)) {
    Log("[安装检查]安装目录无法写入：" + aPath + " " + reason, true);
    FFailReason->SetV(reason);
    aResult = LangT("app_inst_dir_nowrite", "安装目录无法写入") + "(" + aAppName + ")" + colon +
              aPath;
    return -1;
  }
  Log("[安装检查]待下载文件" + std::to_string(aSpace.FetchCount) + "个，" +
      std::to_string(aSpace.FetchBytes) + "字节");
  return 1;
}

int32_t TSoftSaasHelper::CheckModule(const std::string& aAppCode, const std::string& aAppName,
                                     const std::string& aPath, const std::string& aTmpPath,
                                     const std::string& aUpdateUrl, std::string& aResult) {
  TModuleCheck c;
  c.Name = aAppName;
  c.Path = aPath;
  c.TmpPath = aTmpPath;
  auto done = [&](int32_t aCode) {
    c.Result = aCode == 1 ? 1 : -1;
    if (c.Result != 1) c.Message = aResult;
    FOnModuleCheck(c);
    return c.Result;
  };
  if (aUpdateUrl.empty()) {
    aResult = aAppName + LangT("app_corvela_insturl_invalid", "服务地址无效");
    return done(-1);
  }
  TSyncObj& so = SyncObj();
  so.SetAppNewVer("");
  if (!FetchFileList(aAppCode, aPath, aTmpPath, aUpdateUrl, true, aResult)) return done(-1);
  if (so.UMPFlag().v() == 1) {
    const std::string link = str::LowerCase(aUpdateUrl) + "&";
    const size_t p = link.find("app_nver=");
    if (p != std::string::npos) c.NewVer = link.substr(p + 9, link.find('&', p + 9) - p - 9);
  } else {
    c.NewVer = so.AppNewVer();
    // The descriptor of the last install stays in the download folder.
    c.CurVer = TOVUpdateXML::FileAppVer(aTmpPath + aAppCode + "Updata.xml");
  }
  std::vector<TFileInfo> files;
  {
    auto g = so.FileListGuard();
    for (const auto& f : so.FileList) {
      if (f) files.push_back(*f);
    }
  }
  return done(CheckInstallRoom(aAppName, files, aPath, aTmpPath, c.Space, aResult));
}
