// The install pipeline of one module: file list, make room, download and verify, copy.
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "net/UpdateHTTPUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUMPUtil.h"
#include "update/UpdateXMLUtil.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

namespace {

void Pause(int aMs) { std::this_thread::sleep_for(std::chrono::milliseconds(aMs)); }

// The download copy of a list entry: below the download folder as its target lies below the
// module folder. A target given with its drive (C:\x\a.dll) has its copy in a folder for its
// drive there (InstDrive\C\x\a.dll): never the target itself, which the clean-up of the
// copies would delete, and never the copy of another drive's file of the same path.
std::string CopyPath(const std::string& aTarget, const std::string& aTmpPath) {
  if (ov::platform::IsDrivePath(aTarget) && aTarget.size() > 3) {
    return aTmpPath + "InstDrive\\" +
           static_cast<char>(std::toupper(static_cast<unsigned char>(aTarget[0]))) +
           aTarget.substr(2);
  }
  return ov::update::FileEntryPath(aTarget, aTmpPath);
}

// (i + 1) / divisor to the nearest whole number, halves to even.
int32_t StepOffset(size_t aIndex, double aDivisor) {
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(aIndex + 1) / aDivisor));
}

// Empty when the file cannot be read.
std::string Md5Of(const std::string& aFile) {
  try {
    return TovLib::GetFileMD5(aFile);
  } catch (const std::exception&) {
    return {};
  }
}

std::string StampText(const std::string& aText) {
  ov::TDateTime d = 0;
  if (!ov::TryStrToDateTime(aText, d)) d = ov::Now();
  return TovLib::FMT(d, "yyyy-MM-dd HH:mm:ss");
}

}  // namespace

TInstallSpace InstallSpaceNeed(const std::vector<TFileInfo>& aFiles, const std::string& aPath,
                               const std::string& aTmpPath, bool aOneVolume, bool aRealCopies) {
  TInstallSpace r;
  r.OneVolume = aOneVolume;
  int64_t all = 0, replaced = 0;
  for (const auto& e : aFiles) {
    const int64_t size = e.FileSize > 0 ? e.FileSize : 0;
    all += size;
    const int64_t have = fs::FileSize(CopyPath(e.TargetFile, aTmpPath));
    if (have < 0 || e.FileSize <= 0 || have != e.FileSize) {
      ++r.FetchCount;
      r.FetchBytes += size;
    }
    if (!aOneVolume) {
      const int64_t old = fs::FileSize(ov::update::FileEntryPath(e.TargetFile, aPath));
      if (old > 0) replaced += old;
    }
  }
  const int64_t copies = aRealCopies ? all : 0;
  if (aOneVolume) {
    r.TmpNeed = r.FetchBytes + copies + kInstallSpaceMargin;
  } else {
    r.TmpNeed = r.FetchBytes + replaced + kInstallSpaceMargin;
    r.PathNeed = copies + kInstallSpaceMargin;
  }
  return r;
}

void TSoftSaasHelper::RaiseProgress(int32_t aOffset) {
  AppInstProgress(FProgressPos->v() + aOffset, FProgressMax->v());
}

void TSoftSaasHelper::Advance(int32_t aBy) {
  FProgressPos->SetV(FProgressPos->v() + aBy);
  RaiseProgress(0);
}

bool TSoftSaasHelper::FetchFileList(const std::string& aAppCode, const std::string& aPath,
                                    const std::string& aTmpPath, const std::string& aUpdateUrl,
                                    bool aReadOnly, std::string& aResult) {
  TSyncObj& so = SyncObj();
  so.UMPFlag().SetV(0);
  std::string verFileId;
  if (str::StartsText("ovupdata://", aUpdateUrl)) {
    so.UMPFlag().SetV(1);
    const std::string link = str::LowerCase(aUpdateUrl) + "&";
    const size_t p = link.find("vfid=");
    if (p != std::string::npos) {
      const size_t b = p + 5;
      verFileId = link.substr(b, link.find('&', b) - b);
    }
    so.UMPVerFId().SetV(verFileId);
  }
  const std::string getFiles = LangT("app_get_netfiles", "正在获取服务器文件");
  if (so.UMPFlag().v() == 1) {
    AppInstHint(getFiles + "(" + verFileId + ")...", "");
    FUpdUMP->SetTargetDir(aPath);
    FUpdUMP->SetPkgName(aAppCode + "Updata.json");
    return FUpdUMP->GetVerFiles(verFileId, aResult, !aReadOnly);
  }
  AppInstHint(getFiles + "(XML)...", "");
  FUpdXML->SetReadOnly(aReadOnly);
  FUpdXML->SetTargetDir(aPath);
  FUpdXML->SetTempDir(aTmpPath);
  FUpdXML->SetXMLName(aAppCode + "Updata.xml");
  FUpdXML->InitProperty();
  // The XML parser here needs no per-thread component runtime.
  std::string appVer;
  const bool ok = FUpdXML->GetNetXML(aUpdateUrl, appVer, aResult);
  FUpdXML->SetReadOnly(false);
  return ok;
}

int32_t TSoftSaasHelper::DoAppInst(const std::string& aAppCode, const std::string& aAppName,
                                   const std::string& aPath, const std::string& aTmpPath,
                                   const std::string& aUpdateUrl, std::string& aResult) {
  const std::string comma = LangC("，"), colon = LangC("：");
  FFailReason->SetV("");
  if (aUpdateUrl.empty()) {
    aResult = aAppName + LangT("app_corvela_insturl_invalid", "服务地址无效");
    AppInstHint(aResult, "");
    return -1;
  }
  TSyncObj& so = SyncObj();
  Advance(1);
  if (!FetchFileList(aAppCode, aPath, aTmpPath, aUpdateUrl, false, aResult)) {
    AppInstHint(aResult, "");
    return -1;
  }
  if (IsAppInstStop(aResult)) return -1;
  Advance(1);

  // The pipeline is the only writer of the file list from here on; work on a copy of it.
  std::vector<TFileInfo> files;
  {
    auto g = so.FileListGuard();
    for (const auto& f : so.FileList) {
      if (f) files.push_back(*f);
    }
  }
  // Before anything is stopped or fetched: a module that cannot be installed leaves the
  // machine as it was.
  TInstallSpace space;
  if (CheckInstallRoom(aAppName, files, aPath, aTmpPath, space, aResult) != 1) {
    AppInstHint(aResult, "");
    return -1;
  }

  DoBeforeStop(aPath);
  DoBeforeClose(aPath);
  DoBeforeDelete(aPath);
  if (IsAppInstStop(aResult)) return -1;

  const std::string down = LangT("app_dup_down", "下载");
  const std::string failed = LangT("gls_failed", "失败");
  AppInstHint(LangT("app_dup_netfiles", "正在下载安装文件") + "(" + aAppName + ")...", "");
  bool ok = true;
  int32_t offset = 38;
  double divisor = static_cast<double>(files.size()) / 38.0;
  const std::string h = aAppName + LangT("app_dup_netfiles", "正在下载安装文件") + comma +
                        LangT("gls_plswait", "请稍候") + "...";
  for (size_t i = 0; i < files.size() && ok; ++i) {
    const TFileInfo& e = files[i];
    const std::string m = ov::update::FileEntryPath(e.TargetFile, aPath);
    const std::string n = CopyPath(e.TargetFile, aTmpPath);
    const std::string ext = str::ExtractFileExt(m);
    AppInstHint(h, LangT("gls_check", "检测") + colon + e.TargetFile + "...");
    bool reuse = false;
    if (fs::FileExists(n)) {
      const int64_t size = fs::FileSize(n);
      if (!e.MD5.empty()) {
        // A copy whose MD5 cannot be computed proves nothing, whatever its size.
        const std::string md5 = Md5Of(n);
        reuse = !md5.empty() && str::SameText(md5, e.MD5);
      } else {
        reuse = e.FileSize >= 16 && size == e.FileSize;
      }
      if (!reuse) DelFile(n);
    }
    if (reuse) {
      AppInstHint(h, LangT("app_dup_filedowned", "文件已下载") + colon + n);
    } else {
      bool fresh = true;
      FModHost = aUpdateUrl;
      std::string s = e.SourceFile;
      if (!str::StartsText("http", s)) {
        const bool slash =
            (!s.empty() && s[0] == '/') || (!FModHost.empty() && FModHost.back() == '/');
        s = FModHost + (slash ? "" : "/") + s;
      }
      AppInstHint(h, down + colon + e.TargetFile);
      std::string err;
      bool fetched = false;
      if (so.FileCheckZip() == "1" && !TovLib::SameCmdText(ext, ".zip,.rar,.7z") &&
          FNetHTTP->NetFileExists(s + ".zip")) {
        AppInstHint(h, down + colon + e.TargetFile + ".zip");
        if (!DownFileRetry(s + ".zip", n + ".zip", err)) {
          Pause(30);
          Log("[文件下载]下载ZIP文件失败，转回下载原文件：" + s + "->" + n, true);
          fetched = DownFileRetry(s, n, err);
        } else {
          Log("[文件下载]解压压缩文件：" + n + ".zip" + "...");
          bool unpacked = TovLib::UnZipFile(n + ".zip");
          if (!unpacked) {
            Pause(30);
            unpacked = TovLib::UnZipFile(n + ".zip");
          }
          if (!unpacked) {
            Pause(30);
            Log("[文件下载]解压ZIP文件失败，转回下载原文件：" + s + "->" + n, true);
            fetched = DownFileRetry(s, n, err);
          } else {
            fetched = true;
            fresh = false;
          }
        }
        Pause(30);
        if (fs::FileExists(n + ".zip")) fs::DeleteFile(n + ".zip");
      } else {
        AppInstHint(h, down + colon + e.TargetFile);
        fetched = DownFileRetry(s, n, err);
      }
      if (!fetched) {
        FFailReason->SetV(err);
        aResult = down + failed + colon + e.TargetFile;
        AppInstHint(h, aResult);
        so.SetUpdateSucessed(false);
        ok = false;
        break;
      }
      const std::string valide = LangT("app_dup_valide", "效验");
      AppInstHint(h, valide + colon + e.TargetFile);
      const ov::platform::TMapScope once;  // the checks and the time stamp read one file
      if (!CheckFileMD5(e.MD5, n)) {
        const std::string retry = LangT("gls_retry", "重试");
        AppInstHint(h, valide + failed + comma + retry + "...");
        DelFile(n);
        if (!FNetHTTP->DownFile(s, n, err)) {
          Log("[文件下载]失败：" + err + " [" + s + " -> " + n + "]", true);
          FFailReason->SetV(err);
          aResult = retry + down + failed + colon + e.TargetFile;
          AppInstHint(h, aResult);
          ok = false;
          so.SetUpdateSucessed(false);
          break;
        }
        if (!CheckFileMD5(e.MD5, n)) {
          aResult = valide + failed + colon + e.TargetFile;
          AppInstHint(h, aResult);
          ok = false;
          so.SetUpdateSucessed(false);
          break;
        }
      }
      if (!e.Update.empty()) {
        if (fresh) {
          UpdateFileTime(n, e.CreateDateTime, e.Update);
        } else {
          const std::string local = TovLib::GetFileTime(n, ftLastWriteTime);
          const std::string server = StampText(e.Update);
          if (local.empty() || StampText(local) != server) {
            UpdateFileTime(n, e.CreateDateTime, server);
          }
        }
      }
    }
    offset = StepOffset(i, divisor);
    RaiseProgress(offset);
    if (IsAppInstStop(aResult)) {
      AppInstHint(h, down + "-" + LangT("gls_cancel", "取消"));
      return 0;
    }
  }
  if (!ok) return -1;
  Advance(offset);

  const std::string instFile = LangT("app_dup_instfile", "正在安装更新文件");
  AppInstHint(instFile + "...", "");
  offset = 8;
  divisor = static_cast<double>(files.size()) / 8.0;
  for (const auto& e : files) {
    const std::string m = ov::update::FileEntryPath(e.TargetFile, aPath);
    const std::string n = CopyPath(e.TargetFile, aTmpPath);
    if (fs::FileExists(n) && fs::FileExists(m) && TovLib::ProcFind(m) != 0 &&
        !TovLib::ProcClose(m)) {
      Log("[更新前关闭]文件进程：" + m + "失败", true);
    }
  }
  const std::string h2 = aAppName + instFile + comma + LangT("gls_plswait", "请稍候") + "...";
  const bool debug = TovLib::IsDebug();
  // Download copies go once all are copied: a file system that keeps deleted inodes from
  // reuse for a while makes every file created after a deletion slower to create.
  std::vector<std::string> copiedCopies;
  auto deleteCopied = [&] {
    for (const auto& c : copiedCopies) {
      Log("[更新文件]成功后删除：" + c + (fs::DeleteFile(c) ? "成功" : "失败"));
    }
  };
  for (size_t i = 0; i < files.size(); ++i) {
    const TFileInfo& e = files[i];
    const std::string m = ov::update::FileEntryPath(e.TargetFile, aPath);
    const std::string n = CopyPath(e.TargetFile, aTmpPath);
    AppInstHint(h2, LangT("gls_install", "安装") + colon + e.TargetFile);
    const ov::platform::TMapScope once;
    const std::string copyFailed = LangT("gls_update", "更新") + failed + colon + e.TargetFile;
    if (!fs::FileExists(n)) {
      // A module without one of its files must not be reported as installed.
      Log("[更新文件]下载的文件：" + n + " 不存在了", true);
      aResult = copyFailed;
      AppInstHint(h2, aResult);
      so.SetUpdateSucessed(false);
      deleteCopied();
      return -1;
    }
    fs::ForceDirectories(str::ExtractFileDir(m));
    // Without debug mode the download copies are deleted after this stage, so a target may
    // share its copy's file.
    auto copy = [&] { return debug ? fs::CopyFile(n, m, false) : fs::LinkOrCopyFile(n, m); };
    // The file layer's reason is read at once: logging goes through the file layer too.
    std::string reason;
    bool copied = copy();
    if (copied) {
      Log("[更新文件]拷贝：" + n + " 到 " + m + "成功");
    } else {
      reason = fs::LastErrorText();
      Log("[更新文件]拷贝：" + n + " 到 " + m + "失败：" + reason);
      copied = copy();
      if (!copied) reason = fs::LastErrorText();
      Log("[更新文件]再次拷贝：" + n + " 到 " + m + (copied ? "成功" : "失败：" + reason), true);
    }
    if (!copied) {
      FFailReason->SetV(reason);
      aResult = copyFailed;
      AppInstHint(h2, aResult);
      so.SetUpdateSucessed(false);
      deleteCopied();
      return -1;
    }
    if (!debug) copiedCopies.push_back(n);
    offset = StepOffset(i, divisor);
    RaiseProgress(offset);
  }
  deleteCopied();
  Advance(offset);
  return 1;
}
