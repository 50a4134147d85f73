// The version detail loader and the freshness test of the version-server client.
#include <cmath>

#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "net/ServiceSettings.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUMPUtil.h"

namespace str = ov::str;
namespace fs = ov::platform::fs;

namespace {

std::string CollapseBackslashes(const std::string& aPath) {
  return str::ReplaceAll(aPath, "\\\\", "\\");
}

// The server's file time text as stored: "T" read as a blank, "/" as "-".
std::string NormaliseServerTime(const std::string& aText) {
  std::string t = str::ReplaceAll(aText, "T", " ");
  if (t.find('/') != std::string::npos) t = str::ReplaceAll(t, "/", "-");
  return t;
}

ov::TDateTime ParseTime(const std::string& aText) {
  ov::TDateTime d = 0;
  return ov::TryStrToDateTime(aText, d) ? d : 0;
}

std::string FileStoreHostName() {
  std::string a = ov::net::CurrentServiceSettings().FileStoreAuthority();
  const size_t colon = a.rfind(':');
  if (colon != std::string::npos && a.find(']') == std::string::npos) a.resize(colon);
  return a;
}

std::string LastErrorCode() { return std::to_string(fs::LastErrorCode()); }

}  // namespace

namespace ov::update {

EBadEntryPath::EBadEntryPath(const std::string& aEntry)
    : ov::Error(LangT("app_dup_badpath", "文件路径无效：") + aEntry) {}

std::string FileEntryPath(const std::string& aTarget, const std::string& aFolder) {
  std::string p = str::ReplaceAll(aTarget, ".\\", aFolder);
  if (p.find(":\\") == std::string::npos) p = aFolder + aTarget;
  return p;
}

std::string TaskEntryPath(const std::string& aEntry, const std::string& aFolder) {
  std::string f = str::ReplaceAll(str::Trim(aEntry), ".\\", aFolder);
  if (str::ExtractFilePath(f).empty()) f = aFolder + f;
  return f;
}

bool IsEntryPathAllowed(const std::string& aEntry, const std::string& aResolved,
                        const std::string& aFolder) {
  if (TovLib::IsPathInside(aResolved, aFolder)) return true;
  return ov::platform::IsDrivePath(str::Trim(aEntry)) && TovLib::IsPathInside(aResolved, "");
}

}  // namespace ov::update

bool TOVUpdateUMP::FileNeedsUpdate(const std::string& aPath, const std::string& aMD5,
                                   ov::TDateTime aServerTime, const std::string& aShowPath) {
  const ov::platform::TMapScope once;  // the four reads below look at one file
  std::string t = TovLib::GetFileTime(aPath, ftLastWriteTime);
  if (t.empty()) t = TovLib::GetFileTime(aPath, ftLastWriteTime);
  const bool exists = !aPath.empty() && fs::FileExists(aPath);
  ov::TDateTime local = 0;
  if (!t.empty()) {
    local = ParseTime(t);
    if (local == 0) {
      TovLib::Log("[升级检测]获取本地文件最后更新时间有误[" + LastErrorCode() + "]：" + t + " -" +
                  aPath);
    }
  } else if (exists) {
    TovLib::Log("[升级检测]获取本地文件最后更新时间失败[" + LastErrorCode() + "] -" + aPath);
  }
  std::string localMd5;
  try {
    localMd5 = TovLib::GetFileMD5(aPath);
  } catch (const std::exception&) {
    localMd5.clear();
  }
  if (localMd5.empty()) {
    TovLib::Log("[升级检测]获取本地文件MD5码失败[" + LastErrorCode() + "] -" + aPath);
  }

  const int32_t mode = HasSyncObj() ? SyncObj().FileCheckMode() : 0;
  bool needs;
  if (mode == 1) {
    needs = !(exists && !aMD5.empty() && !localMd5.empty()) || !str::SameText(aMD5, localMd5);
  } else if (!exists || std::fabs(aServerTime) < 0.1 || std::fabs(local) < 0.1) {
    needs = true;
  } else {
    needs = TovLib::DateTimeToMilliseconds(aServerTime) > TovLib::DateTimeToMilliseconds(local) &&
            std::fabs(aServerTime - local) > 0.000115;
  }

  const std::string w = needs ? "需要" : "无需";
  const std::string e = exists ? "文件存在" : "文件不存在";
  const std::string x = exists ? "" : "-" + aPath;
  if (mode == 1) {
    TovLib::Log("[升级检测]" + w + "升级：" + aShowPath + " [" + e + "] 文件MD5码" + "[本地：" +
                localMd5 + "]-[服务器：" + aMD5 + "]" + x);
  } else {
    TovLib::Log("[升级检测]" + w + "升级：" + aShowPath + " [" + e + "] 文件最后修改时间，" +
                "[本地：" + TovLib::FMT(local, "yyyy-MM-dd HH:mm:ss") + "," +
                std::to_string(TovLib::DateTimeToMilliseconds(local)) + "]-" + "[服务器：" +
                TovLib::FMT(aServerTime, "yyyy-MM-dd HH:mm:ss") + "," +
                std::to_string(TovLib::DateTimeToMilliseconds(aServerTime)) + "]" + x);
  }
  return needs;
}

void TOVUpdateUMP::LoadVerFile(const TOVVerFile* aFile) {
  if (!aFile || aFile->file_name.empty()) return;
  const std::string& d = FTargetDir;
  std::string p = str::ReplaceAll(aFile->file_addr, ".\\", d);
  if (p.find('\\') == std::string::npos && p.find(':') == std::string::npos) {
    p = CollapseBackslashes(d + p);
  }
  const bool named = p.empty() || p.back() == '\\' || p.back() == ':';
  if (named) p += aFile->file_name;
  if (p.find(":\\") == std::string::npos) p = CollapseBackslashes(d + p);
  // Refused before the freshness test: that already reads the file.
  if (!ov::update::IsEntryPathAllowed(aFile->file_addr, p, d)) {
    throw ov::update::EBadEntryPath(aFile->file_addr + (named ? aFile->file_name : ""));
  }

  std::string url = aFile->file_url;
  if (FFileStoreHost.empty()) FFileStoreHost = FileStoreHostName();
  const std::string& host = FFileStoreHost;
  if (!host.empty()) url = str::ReplaceAll(url, ":/" + host, "://" + host);

  const std::string update = NormaliseServerTime(aFile->file_date);
  ov::TDateTime serverTime = 0;
  if (!update.empty()) {
    serverTime = ParseTime(update);
    if (serverTime == 0) {
      TovLib::Log("[升级检测]检测到文件最后更新时间有误(服务器)：" + update);
    }
  }
  if (!FileNeedsUpdate(p, aFile->file_key, serverTime, p)) return;
  if (("-" + str::LowerCase(aFile->file_name)).find("thumbs.db") != std::string::npos) return;

  auto info = std::make_unique<TFileInfo>();
  info->FileName = aFile->file_name;
  info->SourceFile = url;
  info->TargetFile = str::ReplaceAll(p, d, ".\\");
  info->MD5 = aFile->file_key;
  info->FileSize = aFile->file_size;
  info->Update = update;
  auto guard = SyncObj().FileListGuard();
  SyncObj().FileList.push_back(std::move(info));
}

void TOVUpdateUMP::LoadVerTask(const TOVVerTask* aTask) {
  if (!aTask) return;
  TSyncObj& so = SyncObj();
  // Each list's lock is taken alone, for the single append.
  auto append = [&](std::unique_lock<std::recursive_mutex> (TSyncObj::*aGuard)(),
                    std::vector<std::string>& aList) {
    auto g = (so.*aGuard)();
    aList.push_back(aTask->task_file);
  };
  if (aTask->exec_node == 0 && aTask->task_type == 8 && !str::Trim(aTask->task_file).empty() &&
      !ov::update::IsEntryPathAllowed(
          aTask->task_file, ov::update::TaskEntryPath(aTask->task_file, FTargetDir), FTargetDir)) {
    throw ov::update::EBadEntryPath(aTask->task_file);
  }
  if (aTask->exec_node == 0 && aTask->task_type == 0) {
    append(&TSyncObj::FBeforeCloseListGuard, so.FBeforeCloseList);
  } else if (aTask->exec_node == 0 && aTask->task_type == 3) {
    append(&TSyncObj::FBeforeStopListGuard, so.FBeforeStopList);
  } else if (aTask->exec_node == 0 && aTask->task_type == 8) {
    append(&TSyncObj::FBeforeDeleteListGuard, so.FBeforeDeleteList);
  } else if (aTask->exec_node == 1 && aTask->task_type == 1) {
    append(&TSyncObj::FAfterRunListGuard, so.FAfterRunList);
  } else if (aTask->exec_node == 1 && aTask->task_type == 4) {
    append(&TSyncObj::FAfterStartListGuard, so.FAfterStartList);
  }
}

bool TOVUpdateUMP::LoadVerDetail(const std::string& aText, bool aSavePkg, std::string& aErro) {
  bool result = false;
  try {
    const std::string text = str::Trim(aText);
    TOVVerDetailRespond res;
    if (!TJSONHelper::JSON2Obj(text, res)) {
      aErro = "版本数据解析出错";
      TovLib::Log(aErro + "：" + text, true);
      return false;
    }
    if (res.resp_code != "1000") {
      aErro = res.resp_mag + "[" + res.resp_code + "]";
      TovLib::Log(aErro, true);
      return false;
    }
    result = true;
    if (aSavePkg) {
      const std::string pkg = CollapseBackslashes(FTargetDir + FPkgName);
      TovLib::Log(">>保存待升级文件包[" + pkg + "]...");
      TovLib::Log(TovLib::SaveTxt(text, pkg) ? ">>保存待升级文件包OK" : ">>保存待升级文件包失败");
    }
    TovLib::Log(">>加载待升级文件...");
    FFileStoreHost = FileStoreHostName();  // once per answer, not once per file
    TSyncObj& so = SyncObj();
    // A refused entry leaves nothing of the version behind for the steps to act on.
    auto refuse = [&](const ov::update::EBadEntryPath& e) {
      aErro = e.what();
      TovLib::Log(aErro, true);
      auto guard = so.FileListGuard();
      so.ClearFileList();
      so.ClearTaskLists();
      return false;
    };
    {
      auto guard = so.FileListGuard();
      so.ClearFileList();
      // Tasks of an earlier load, another module's perhaps, must not run against this one.
      so.ClearTaskLists();
      try {
        so.SetFileCheckZip("1");
        if (res.data) {
          const ov::platform::TMapScope walk;  // the entries share a few folders
          for (const auto& f : res.data->file_detail) {
            if (f) LoadVerFile(f.get());
          }
        }
      } catch (const ov::update::EBadEntryPath& e) {
        TovLib::Log(">>加载待升级文件完毕.");
        return refuse(e);
      } catch (const std::exception& e) {
        aErro = std::string("加载升级文件列表失败：") + e.what();
        TovLib::Log(aErro, true);
        TovLib::Log(">>加载待升级文件完毕.");
        return true;
      }
      TovLib::Log(">>加载待升级文件完毕.");
    }
    TovLib::Log(">>加载升级前任务...");
    if (res.data) {
      try {
        for (const auto& t : res.data->task_detail) {
          if (t) LoadVerTask(t.get());
        }
      } catch (const ov::update::EBadEntryPath& e) {
        return refuse(e);
      }
    }
  } catch (const std::exception& e) {
    aErro = std::string("加载版本数据出错：") + e.what();
    TovLib::Log(aErro, true);
  }
  return result;
}
