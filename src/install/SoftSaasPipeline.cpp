// The install pipeline of one module: file list, make room, download and verify, copy.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/DownloadAheadUtil.h"
#include "install/InstallBackupUtil.h"
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
  const ov::platform::TMapScope walk;  // the entries share a few folders
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

int32_t TSoftSaasHelper::DownloadJobs() {
  int32_t n = FDownloadJobs;
  if (n <= 0 && !str::TryStrToInt(str::Trim(TovLib::IniOptRead("DownloadAhead", "1")), n)) n = 1;
  return std::clamp(n, 1, kMaxDownloadJobs);
}

TFetchResult TSoftSaasHelper::FetchEntry(const TFetchJob& aJob, const std::string& aUpdateUrl,
                                         TNetHTTP& aNet,
                                         const std::function<void(const std::string&)>& aHint) {
  const std::string colon = LangC("："), comma = LangC("，");
  const std::string down = LangT("app_dup_down", "下载");
  const std::string failed = LangT("gls_failed", "失败");
  const TFileInfo& e = *aJob.Entry;
  const std::string& n = aJob.Copy;
  // The copy, its partial file and its record are all looked up in one folder.
  const ov::platform::TMapScope inFolder;
  TFetchResult r;
  auto fail = [&](const std::string& aText, const std::string& aReason) {
    r.Ok = false;
    r.Result = aText;
    r.Reason = aReason;
    aHint(aText);
    return r;
  };
  aHint(LangT("gls_check", "检测") + colon + e.TargetFile + "...");
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
    aHint(LangT("app_dup_filedowned", "文件已下载") + colon + n);
    return r;
  }
  bool fresh = true;
  std::string s = e.SourceFile;
  if (!str::StartsText("http", s)) {
    const bool slash =
        (!s.empty() && s[0] == '/') || (!aUpdateUrl.empty() && aUpdateUrl.back() == '/');
    s = aUpdateUrl + (slash ? "" : "/") + s;
  }
  aHint(down + colon + e.TargetFile);
  std::string err;
  bool fetched = false;
  if (SyncObj().FileCheckZip() == "1" && !TovLib::SameCmdText(aJob.Ext, ".zip,.rar,.7z") &&
      aNet.NetFileExists(s + ".zip")) {
    aHint(down + colon + e.TargetFile + ".zip");
    if (!DownFileRetryWith(aNet, s + ".zip", n + ".zip", err)) {
      Pause(30);
      Log("[文件下载]下载ZIP文件失败，转回下载原文件：" + s + "->" + n, true);
      fetched = DownFileRetryWith(aNet, s, n, err);
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
        fetched = DownFileRetryWith(aNet, s, n, err);
      } else {
        fetched = true;
        fresh = false;
      }
    }
    Pause(30);
    if (fs::FileExists(n + ".zip")) fs::DeleteFile(n + ".zip");
  } else {
    aHint(down + colon + e.TargetFile);
    fetched = DownFileRetryWith(aNet, s, n, err);
  }
  if (!fetched) return fail(down + failed + colon + e.TargetFile, err);
  const std::string valide = LangT("app_dup_valide", "效验");
  aHint(valide + colon + e.TargetFile);
  if (!CheckFileMD5(e.MD5, n)) {
    const std::string retry = LangT("gls_retry", "重试");
    aHint(valide + failed + comma + retry + "...");
    DelFile(n);
    if (!aNet.DownFile(s, n, err)) {
      Log("[文件下载]失败：" + err + " [" + s + " -> " + n + "]", true);
      return fail(retry + down + failed + colon + e.TargetFile, err);
    }
    if (!CheckFileMD5(e.MD5, n)) return fail(valide + failed + colon + e.TargetFile, "");
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
  return r;
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
  const std::string failed = LangT("gls_failed", "失败");
  // A copy stage that an earlier run left unfinished is undone first: the module folder is then
  // the previous version again and everything below sees it as such.
  TInstallBackup backup(aTmpPath);
  {
    std::string why;
    if (!backup.Recover(why)) {
      FFailReason->SetV(why);
      aResult = LangT("gls_update", "更新") + failed + colon + aPath;
      AppInstHint(aResult, "");
      return -1;
    }
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
  AppInstHint(LangT("app_dup_netfiles", "正在下载安装文件") + "(" + aAppName + ")...", "");
  int32_t offset = 38;
  double divisor = static_cast<double>(files.size()) / 38.0;
  const std::string h = aAppName + LangT("app_dup_netfiles", "正在下载安装文件") + comma +
                        LangT("gls_plswait", "请稍候") + "...";
  FModHost = aUpdateUrl;
  std::vector<TFetchJob> jobs(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    jobs[i].Entry = &files[i];
    jobs[i].Copy = CopyPath(files[i].TargetFile, aTmpPath);
    jobs[i].Ext = str::ExtractFileExt(ov::update::FileEntryPath(files[i].TargetFile, aPath));
  }
  const int32_t parallel = DownloadJobs();
  TDownloadAhead ahead(*this, jobs, aUpdateUrl, parallel);
  auto direct = [&](const std::string& aSub) { AppInstHint(h, aSub); };
  {
    const ov::platform::TMapScope walk;  // the copies share a few folders
    for (size_t i = 0; i < files.size(); ++i) {
      TFetchResult r;
      if (ahead.Takes(i)) {
        r = ahead.Wait(i);
        for (const auto& sub : r.Hints) AppInstHint(h, sub);
      } else {
        r = FetchEntry(jobs[i], aUpdateUrl, *FNetHTTP, direct);
      }
      if (!r.Ok) {
        FFailReason->SetV(r.Reason);
        aResult = r.Result;
        so.SetUpdateSucessed(false);
        return -1;
      }
      offset = StepOffset(i, divisor);
      RaiseProgress(offset);
      if (IsAppInstStop(aResult)) {
        AppInstHint(h, down + "-" + LangT("gls_cancel", "取消"));
        return 0;
      }
    }
  }
  Advance(offset);

  const std::string instFile = LangT("app_dup_instfile", "正在安装更新文件");
  AppInstHint(instFile + "...", "");
  offset = 8;
  divisor = static_cast<double>(files.size()) / 8.0;
  {
    const ov::platform::TMapScope walk;  // the entries share a few folders
    for (const auto& e : files) {
      const std::string m = ov::update::FileEntryPath(e.TargetFile, aPath);
      const std::string n = CopyPath(e.TargetFile, aTmpPath);
      if (fs::FileExists(m) && fs::FileExists(n) && TovLib::ProcFind(m) != 0 &&
          !TovLib::ProcClose(m)) {
        Log("[更新前关闭]文件进程：" + m + "失败", true);
      }
    }
  }
  const std::string h2 = aAppName + instFile + comma + LangT("gls_plswait", "请稍候") + "...";
  const bool debug = TovLib::IsDebug();
  std::vector<std::string> targets;
  targets.reserve(files.size());
  for (const auto& e : files) targets.push_back(ov::update::FileEntryPath(e.TargetFile, aPath));
  // Download copies go once all are copied: a file system that keeps deleted inodes from
  // reuse for a while makes every file created after a deletion slower to create. After a
  // failure they all stay, for the next run to reuse.
  std::vector<std::string> copiedCopies;
  std::string madeDir;
  auto fail = [&](const std::string& aText, const std::string& aReason) {
    FFailReason->SetV(aReason);
    aResult = aText;
    AppInstHint(h2, aResult);
    so.SetUpdateSucessed(false);
    std::string why;
    if (!backup.Restore(why)) Log("[更新文件]原文件未能全部恢复：" + why, true);
    return -1;
  };
  {
    std::string why;
    if (!backup.Begin(targets, why)) {
      Log("[更新文件]保存恢复清单失败：" + why, true);
      return fail(LangT("gls_update", "更新") + failed + colon + aPath, why);
    }
  }
  const ov::platform::TMapScope copying;  // the entries share a few folders
  for (size_t i = 0; i < files.size(); ++i) {
    const TFileInfo& e = files[i];
    const std::string& m = targets[i];
    const std::string n = CopyPath(e.TargetFile, aTmpPath);
    AppInstHint(h2, LangT("gls_install", "安装") + colon + e.TargetFile);
    const std::string copyFailed = LangT("gls_update", "更新") + failed + colon + e.TargetFile;
    if (!fs::FileExists(n)) {
      // A module without one of its files must not be reported as installed.
      Log("[更新文件]下载的文件：" + n + " 不存在了", true);
      return fail(copyFailed, "");
    }
    // Most entries share their folder with the one before.
    const std::string dir = str::ExtractFileDir(m);
    if (dir != madeDir) {
      fs::ForceDirectories(dir);
      madeDir = dir;
    }
    std::string reason;
    if (!backup.Keep(i, reason)) {
      Log("[更新文件]保留原文件：" + m + "失败：" + reason, true);
      return fail(copyFailed, reason);
    }
    // Without debug mode the download copies are deleted after this stage, so a target may
    // share its copy's file.
    auto copy = [&] { return debug ? fs::CopyFile(n, m, false) : fs::LinkOrCopyFile(n, m); };
    // The file layer's reason is read at once: logging goes through the file layer too.
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
    if (!copied) return fail(copyFailed, reason);
    if (!debug) copiedCopies.push_back(n);
    offset = StepOffset(i, divisor);
    RaiseProgress(offset);
  }
  backup.Commit();
  for (const auto& c : copiedCopies) {
    Log("[更新文件]成功后删除：" + c + (fs::DeleteFile(c) ? "成功" : "失败"));
  }
  Advance(offset);
  return 1;
}
