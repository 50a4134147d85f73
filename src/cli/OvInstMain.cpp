// ovinst: the unattended front end of the installer.
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/OVError.h"
#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "cli/ConsoleReceiver.h"
#include "cli/JsonReceiver.h"
#include "install/InstallRunUtil.h"
#include "install/ProgramStartUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "install/SoftCorvelaHelperUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "platform/Console.h"
#include "platform/MainThread.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace {

const char* const kBuildProduct = "ketrin";
// How long the end waits for the workers; a stop reaches every wait of theirs well within it.
constexpr int32_t kWorkerJoinMs = 10000;

const char* const kUsage =
    "usage: ovinst [--product CODE] [--modules web,pos] [--dir PATH] [--lang EN|CN]\n"
    "              [--corp-id ID --install-code CODE] [--jobs N] [--check] [--debug]\n"
    "              [--json] [--help]\n"
    "Installs the chosen modules of a product unattended, as the window would.\n"
    "  --product CODE   a row of the product table (default: ketrin)\n"
    "  --modules LIST   web, pos or both (default: the remembered choice, else both)\n"
    "  --dir PATH       install folder, a Windows path (default: the remembered one)\n"
    "  --lang EN|CN     language of the texts (default EN)\n"
    "  --corp-id, --install-code   enterprise id and install code (product corvela)\n"
    "  --jobs N         files downloaded at once, 1 to 16 (default 4)\n"
    "  --check          change nothing: ask the servers as an install would and tell, for each\n"
    "                   module, its versions, the files to fetch, their size and the free\n"
    "                   space, and whether the install could proceed (exit 0) or not (1)\n"
    "  --debug          debug logging for this run\n"
    "  --json           one JSON object a line on stdout (hints, progress, modules, result);\n"
    "                   with --check the answer as one JSON object\n"
    "exit codes: 0 installed (or could be), 1 failed or stopped (or could not be), 2 bad arguments\n";

struct TArgs {
  std::string Product = kBuildProduct;
  std::string Modules;
  std::string Dir;
  std::string Lang = "EN";
  std::string CorpId, InstallCode;
  int32_t Jobs = 4;
  bool Debug = false;
  bool Json = false;
  bool Check = false;
};

// Seen before the arguments are checked, so a script also gets its result line for bad ones.
bool gJson = false;

int BadArgs(const std::string& aWhy) {
  std::fprintf(stderr, "ovinst: %s\n%s", aWhy.c_str(), kUsage);
  if (gJson) ov::cli::TJsonReceiver(stdout).ShowResult(2, aWhy);
  return 2;
}

// The check's findings for a person, one block a module.
void PrintChecks(const std::vector<TModuleCheck>& aModules) {
  auto orUnknown = [](const std::string& aText) { return aText.empty() ? std::string("?") : aText; };
  auto bytes = [](int64_t aBytes) {
    return aBytes < 0 ? std::string("?") : ov::cli::FormatBytes(aBytes);
  };
  for (const auto& m : aModules) {
    const TInstallSpace& s = m.Space;
    std::printf("%s: version %s -> %s, %d files to fetch (%s)\n", m.Name.c_str(),
                orUnknown(m.CurVer).c_str(), orUnknown(m.NewVer).c_str(), s.FetchCount,
                bytes(s.FetchBytes).c_str());
    if (s.OneVolume) {
      std::printf("  %s: needs %s, free %s\n", m.Path.c_str(), bytes(s.TmpNeed).c_str(),
                  bytes(s.TmpFree).c_str());
    } else {
      std::printf("  %s: needs %s, free %s\n", m.Path.c_str(), bytes(s.PathNeed).c_str(),
                  bytes(s.PathFree).c_str());
      std::printf("  %s: needs %s, free %s\n", m.TmpPath.c_str(), bytes(s.TmpNeed).c_str(),
                  bytes(s.TmpFree).c_str());
    }
    std::printf("  %s\n", m.Result == 1 ? "could be installed" : m.Message.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  TArgs a;
  for (int i = 1; i < argc; ++i) gJson = gJson || std::string(argv[i]) == "--json";
  for (int i = 1; i < argc; ++i) {
    const std::string k = argv[i];
    if (k == "--help") {
      std::printf("%s", kUsage);
      return 0;
    }
    if (k == "--debug") {
      a.Debug = true;
      continue;
    }
    if (k == "--json") {
      a.Json = true;
      continue;
    }
    if (k == "--check") {
      a.Check = true;
      continue;
    }
    if (i + 1 >= argc) return BadArgs("option " + k + " needs a value");
    const std::string v = argv[++i];
    if (k == "--product")
      a.Product = v;
    else if (k == "--modules")
      a.Modules = v;
    else if (k == "--dir")
      a.Dir = v;
    else if (k == "--lang")
      a.Lang = ov::str::UpperCase(v);
    else if (k == "--corp-id")
      a.CorpId = v;
    else if (k == "--install-code")
      a.InstallCode = v;
    else if (k == "--jobs") {
      if (!ov::str::TryStrToInt(v, a.Jobs) || a.Jobs < 1 ||
          a.Jobs > TSoftSaasHelper::kMaxDownloadJobs) {
        return BadArgs("--jobs must be a number from 1 to " +
                       std::to_string(TSoftSaasHelper::kMaxDownloadJobs));
      }
    }
    else
      return BadArgs("unknown option " + k);
  }
  TProductInfo info;
  if (!ProductInfo(a.Product, info)) return BadArgs("no product " + a.Product);
  if (a.Lang != "EN" && a.Lang != "CN") return BadArgs("language must be EN or CN");
  const bool corvela = ov::str::SameText(info.Code, "corvela");
  if (corvela && (ov::str::Trim(a.CorpId).empty() || ov::str::Trim(a.InstallCode).empty())) {
    return BadArgs("product corvela needs --corp-id and --install-code");
  }

  // A stop request sets the exit flag, as the window's close image does. The update state
  // exists before the first request can arrive.
  CreateSyncObj();
  auto stops =
      std::make_unique<ov::platform::TStopRequests>([] { SyncObj().SetIsAppExit(true); });

  ov::platform::SetMainThread(ov::platform::CreateQueueMainThread());
  try {
    ov::StartProgram();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ovinst: %s\n", e.what());
    return 1;
  }
  // The Chinese table first, as the window labels itself, then the chosen one serves the texts.
  LangHelper().LoadLang("CN");
  if (a.Lang != "CN") LangHelper().LoadLang(a.Lang);
  SoftVar().code().SetV(info.Code);
  SoftVar().name().SetV(info.DisplayName);
  const std::string oldDebug = TovLib::IniOptRead("IsDebug", "");
  // A check writes no setting, not even for the time it runs.
  const bool debugWritten = a.Debug && !a.Check;
  if (debugWritten) TovLib::IniOptWrite("IsDebug", "1");

  if (TSoftSaasHelper* installer = ProductInstaller(info.Code)) installer->SetDownloadJobs(a.Jobs);

  TInstallChoice choice;
  choice.Code = info.Code;
  choice.Path = ov::str::Trim(a.Dir.empty() ? RememberedPath(info.Code) : a.Dir);
  if (a.Modules.empty()) {
    const std::string web = TInstHelper::getReg(info.ValuePrefix + "web", "");
    const std::string pos = TInstHelper::getReg(info.ValuePrefix + "pos", "");
    choice.Web = web != "0";
    choice.Pos = pos != "0";
  } else {
    for (const auto& m : ov::str::SplitDelimited(a.Modules, ',')) {
      if (ov::str::SameText(m, "web"))
        choice.Web = true;
      else if (ov::str::SameText(m, "pos"))
        choice.Pos = true;
    }
  }

  int exitCode = 1;
  std::string msg;
  std::vector<TModuleCheck> checks;
  ov::cli::TConsoleReceiver console(stdout, !a.Json && ov::platform::PrepareConsole(stdout));
  ov::cli::TJsonReceiver json(stdout);
  IInstallReceiver& receiver = a.Json ? static_cast<IInstallReceiver&>(json) : console;
  try {
    if (choice.Path.empty()) {
      msg = "no install folder";
    } else if (!IsSingleModuleProduct(info.Code) && !choice.Web && !choice.Pos) {
      msg = LangT("app_dup_instmod_nulltips", "请选择一个安装的模块！");
    } else if (corvela &&
               SoftCorvelaHelper().GetInstConfig("", "", ov::str::Trim(a.CorpId),
                                                 ov::str::Trim(a.InstallCode), msg) != 1) {
      // msg holds the platform's answer
    } else if (PrepareInstall(choice, msg) == 1) {
      SoftVar().path().SetV(choice.Path);
      if (a.Check) {
        auto keep = [&checks](const TModuleCheck& m) { checks.push_back(m); };
        if (CheckInstall(choice, keep, msg) == 1) {
          msg.clear();
          exitCode = 0;
        }
      } else if (RunInstall(choice, receiver, msg, 0) == 1) {
        // The window pauses after each module so the user sees where it stands; a console
        // has nothing to show in that second.
        msg = LangT("app_dup_inst_finished", "程序已安装完成！");
        if (!a.Json) {
          console.EndLine();
          std::printf("%s\n", msg.c_str());
        }
        exitCode = 0;
      }
    }
  } catch (const std::exception& e) {
    TovLib::Log(std::string("[安装]安装出错：") + e.what(), true);
    msg = e.what();
  }
  if (exitCode != 0 && SyncObj().IsAppExit()) msg = LangT("app_inst_stop", "终止安装");
  if (!a.Json) console.EndLine();
  std::string reason;
  if (exitCode != 0) {
    // The system's own text, then what the operating system said, when a file failed.
    TSoftSaasHelper* installer = ProductInstaller(info.Code);
    if (installer && !SyncObj().IsAppExit()) reason = installer->FailReason().v();
    if (reason.empty()) {
      std::fprintf(stderr, "ovinst: %s\n", msg.c_str());
    } else {
      std::fprintf(stderr, "ovinst: %s (%s)\n", msg.c_str(), reason.c_str());
    }
  }
  const std::string result = reason.empty() ? msg : msg + " (" + reason + ")";

  if (!a.Check) SaveInstChoices(choice, ov::str::Trim(a.CorpId));
  if (debugWritten) TovLib::IniOptWrite("IsDebug", oldDebug);
  SyncObj().SetIsAppExit(true);  // workers still running stop at their next check
  ov::platform::CloseHandOvers();
  const bool ended = ov::platform::JoinWorkers(kWorkerJoinMs);
  // Last, after what the workers had to say.
  if (a.Check && a.Json) {
    json.ShowCheck(exitCode, result, checks);
  } else if (a.Check) {
    PrintChecks(checks);
  } else if (a.Json) {
    json.ShowResult(exitCode, result);
  }
  if (!ended) {
    // A worker that outlived the wait may still reach the installers and the update state:
    // they stay, and the process ends without running destructors under it.
    TovLib::Log("[安装]程序结束时仍有工作线程运行", true);
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  stops.reset();
  FreeSyncObj();
  ov::EndProgram();
  return exitCode;
}
