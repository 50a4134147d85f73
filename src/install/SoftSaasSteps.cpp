// The service and process steps of the SaaS installer: stop services, close programs and
// delete files before an install, start services after it.
#include <chrono>
#include <thread>

#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "platform/FileSystem.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

namespace {

const char* Outcome(bool aOk) { return aOk ? "成功" : "失败"; }

void Pause(int aMs) { std::this_thread::sleep_for(std::chrono::milliseconds(aMs)); }

// A task entry against the module folder: ".\" stands for it, a bare name lives in it.
std::string ResolveEntry(const std::string& aEntry, const std::string& aPath) {
  std::string f = str::ReplaceAll(str::Trim(aEntry), ".\\", aPath);
  if (str::ExtractFilePath(f).empty()) f = aPath + f;
  return f;
}

// A file-list target against the module folder.
std::string ResolveTarget(const std::string& aTarget, const std::string& aPath) {
  std::string f = str::ReplaceAll(aTarget, ".\\", aPath);
  if (f.find(":\\") == std::string::npos) f = aPath + aTarget;
  return f;
}

// The running programs among the file list's targets (the file list is read as it is).
std::vector<std::string> ExeTargets(const std::string& aPath) {
  std::vector<std::string> out;
  for (const auto& f : SyncObj().FileList) {
    if (!f) continue;
    const std::string t = ResolveTarget(f->TargetFile, aPath);
    if (str::EndsText(".exe", t) && fs::FileExists(t)) out.push_back(t);
  }
  return out;
}

std::vector<std::string> Trimmed(const std::vector<std::string>& aList) {
  std::vector<std::string> out;
  for (const auto& e : aList) out.push_back(str::Trim(e));
  return out;
}

}  // namespace

void TSoftSaasHelper::DoBeforeStop(const std::string& aPath) {
  TSyncObj& so = SyncObj();
  auto g = so.FBeforeStopListGuard();
  const std::string names = str::JoinCommaText(so.FBeforeStopList);
  if (so.FBeforeStopList.empty()) {
    Log("[升级前停止]未设置服务：" + names);
  } else {
    AppInstHint("", LangT("app_dup_stopsrv", "正在检测停止服务") + "(" + names + ")...");
    for (const auto& name : Trimmed(so.FBeforeStopList)) {
      if (name.empty()) continue;
      if (TovLib::SrvExists(name)) {
        const bool ok = TovLib::SrvStop(name);
        Log("[升级前停止]服务：" + name + " -> " + Outcome(ok));
        if (!ok && !TovLib::SrvStop(name))
          Log("[升级前停止]服务2：" + name + " -> " + "失败", true);
      } else {
        Log("[升级前停止]服务：" + name + " -> 服务不存在", true);
      }
    }
  }
  for (const auto& t : ExeTargets(aPath)) {
    std::string service;
    if (TovLib::SrvFindByFile(service, t)) {
      if (TovLib::ProcFind(t) != 0) {
        Log("[升级前关闭]该进程找到服务“" + service + "”，停止关闭服务...");
        Log("[升级前关闭]检测停止服务：" + service + " -> " + Outcome(TovLib::SrvStop(service)));
      }
    } else {
      Log("未能查到到该程序的系统服务 - >" + t);
    }
  }
}

void TSoftSaasHelper::DoBeforeClose(const std::string& aPath) {
  TSyncObj& so = SyncObj();
  auto g = so.FBeforeCloseListGuard();
  const std::string names = str::JoinCommaText(so.FBeforeCloseList);
  if (so.FBeforeCloseList.empty()) {
    Log("[升级前关闭]未设置进程：" + names);
  } else {
    AppInstHint("", LangT("app_dup_closeapp", "正在检测关闭运行的程序") + "(" + names + ")...");
    for (const auto& entry : so.FBeforeCloseList) {
      const std::string f = ResolveEntry(entry, aPath);
      if (!fs::FileExists(f)) {
        Log("[升级前关闭]文件不存在：" + f);
        continue;
      }
      bool ok = TovLib::ProcClose(f);
      Log("[升级前关闭]文件：" + f + " -> " + Outcome(ok));
      if (!ok && !TovLib::ProcClose(f)) Log("[升级前关闭]文件2：" + f + " -> " + "失败");
      if (TovLib::ProcFind(f) != 0) {
        Log("[升级前关闭]文件进程还存在：" + f + "，[关闭失败]");
        std::string service;
        if (TovLib::SrvFindByFile(service, f)) {
          Log("[升级前关闭]该进程找到服务“" + service + "”，停止关闭服务...");
          Log("[升级前关闭]停止服务：" + service + " -> " + Outcome(TovLib::SrvStop(service)));
        }
      }
      if (TovLib::ProcFind(f) != 0) {
        Pause(30);
        Log("[升级前关闭]文件：" + f + " -> 进程还存在，重试1-" + Outcome(TovLib::ProcClose(f)));
        if (TovLib::ProcFind(f) != 0) {
          Pause(300);
          Log("[升级前关闭]文件：" + f + " -> 进程还存在，重试2-" + Outcome(TovLib::ProcClose(f)));
          if (TovLib::ProcFind(f) != 0) {
            Log("[升级前关闭]文件进程还存在：" + f + "，[重试2次关闭失败]");
          }
        }
      }
    }
  }
  for (const auto& t : ExeTargets(aPath)) {
    if (TovLib::ProcFind(t) == 0) continue;
    const bool ok = TovLib::ProcClose(t);
    Log("[升级前关闭]文件：" + t + " -> " + Outcome(ok));
    if (!ok && !TovLib::ProcClose(t)) Log("[升级前关闭]文件2：" + t + " -> " + "失败");
  }
}

void TSoftSaasHelper::DoBeforeDelete(const std::string& aPath) {
  TSyncObj& so = SyncObj();
  auto g = so.FBeforeDeleteListGuard();
  const std::string names = str::JoinCommaText(so.FBeforeDeleteList);
  if (so.FBeforeDeleteList.empty()) {
    Log("[升级前删除]文件为空：" + names);
    return;
  }
  AppInstHint("", LangT("app_dup_cleanfile", "正在检测清理文件") + "(" + names + ")...");
  for (const auto& entry : so.FBeforeDeleteList) {
    const std::string f = ResolveEntry(entry, aPath);
    if (!fs::FileExists(f)) {
      Log("[升级前删除]文件不存在：" + f);
      continue;
    }
    if (TovLib::ProcFind(f) != 0) {
      bool ok = TovLib::ProcClose(f);
      if (!ok) ok = TovLib::ProcClose(f);
      Log("[升级前删除]关闭进程：" + f + " -> " + Outcome(ok));
    }
    bool ok = fs::DeleteFile(f);
    Log("[升级前删除]文件：" + f + " -> " + Outcome(ok));
    if (!ok) {
      ok = fs::DeleteFile(f);
      Log("[升级前删除]文件：" + f + " -> " + Outcome(ok));
    }
  }
}

void TSoftSaasHelper::DoAfterStart(const std::string&) {
  TSyncObj& so = SyncObj();
  auto g = so.FAfterStartListGuard();
  const std::string names = str::JoinCommaText(so.FAfterStartList);
  if (so.FAfterStartList.empty()) {
    Log("[升级后打开]未配置启动的服务：" + names);
    return;
  }
  AppInstHint("", LangT("app_dup_startsrv", "正在启动服务") + "(" + names + ")...");
  for (const auto& entry : Trimmed(so.FAfterStartList)) {
    if (entry.empty()) continue;
    const size_t bar = entry.find('|');
    const std::string name = bar == std::string::npos ? entry : entry.substr(0, bar);
    const std::string program = bar == std::string::npos ? "" : entry.substr(bar + 1);
    if (!program.empty() && fs::FileExists(program) && !TovLib::SrvExists(name)) {
      TovLib::ProcWinExecWait(program + " -install -silent", 0);
    }
    Log("[升级后启动]服务：" + name + " -> " + Outcome(TovLib::SrvStart(name)));
  }
}
