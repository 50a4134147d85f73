#include "install/InstallBackupUtil.h"

#include <set>

#include "base/OVLibUtil.h"
#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

namespace {

const char* const kPlanHead = "OVKEEP1";

// A rename where it can (one volume), else a copy and the source deleted.
bool MoveOver(const std::string& aFrom, const std::string& aTo) {
  if (fs::ReplaceFile(aFrom, aTo)) return true;
  return fs::CopyFile(aFrom, aTo, false) && fs::DeleteFile(aFrom);
}

}  // namespace

TInstallBackup::TInstallBackup(const std::string& aTmpPath)
    : FTmpPath(str::IncludeTrailingBackslash(aTmpPath)),
      FPlanFile(FTmpPath + "InstKeep.lst"),
      FKeepDir(FTmpPath + "InstKeep\\") {}

std::string TInstallBackup::KeptFile(size_t aLine) const {
  return FKeepDir + std::to_string(aLine);
}

bool TInstallBackup::LoadPlan(std::string& aErro) {
  FItems.clear();
  std::string data;
  if (!fs::ReadFile(FPlanFile, data)) {
    aErro = FPlanFile + "：" + fs::LastErrorText();
    return false;
  }
  size_t pos = 0;
  bool head = true;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    const std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    if (head) {
      if (line != kPlanHead) break;
      head = false;
      continue;
    }
    if (line.size() < 3 || line[1] != '\t' ||
        (line[0] != 'E' && line[0] != 'N' && line[0] != 'D')) {
      break;
    }
    FItems.push_back({line[0], line.substr(2)});
  }
  // The plan is written in one step, so anything else is not ours to act on.
  if (head || pos < data.size()) {
    FItems.clear();
    aErro = FPlanFile + "：文件格式有误";
    return false;
  }
  return true;
}

bool TInstallBackup::Recover(std::string& aErro) {
  if (!fs::FileExists(FPlanFile)) {
    // Kept files without a plan are left from a stage that had succeeded.
    RemoveKeepDir();
    return true;
  }
  TovLib::Log("[更新文件]上次安装未完成，恢复原文件：" + FPlanFile, true);
  if (!LoadPlan(aErro)) {
    TovLib::Log("[更新文件]恢复失败：" + aErro, true);
    return false;
  }
  return PutBack(aErro);
}

bool TInstallBackup::Begin(const std::vector<std::string>& aTargets, std::string& aErro) {
  FItems.clear();
  FTargetLine.clear();
  std::set<std::string> made;  // folders already planned, compared as the file system does
  std::set<std::string> there;  // folders found, likewise: most targets share their folder
  std::string plan = std::string(kPlanHead) + "\n";
  const ov::platform::TMapScope walk;
  for (const auto& t : aTargets) {
    if (t.find_first_of("\r\n") != std::string::npos) {
      aErro = t + "：路径有误";
      return false;
    }
    // The folders this target needs that are not there, outermost first.
    std::vector<std::string> missing;
    const std::string dir = str::ExtractFileDir(t);
    const bool inNewDir = made.count(str::UpperCase(dir)) != 0;
    for (std::string d = dir; !d.empty() && !inNewDir;) {
      const std::string key = str::UpperCase(d);
      if (there.count(key) != 0 || made.count(key) != 0) break;
      if (fs::DirectoryExists(d)) {
        there.insert(key);
        break;
      }
      made.insert(key);
      missing.insert(missing.begin(), d);
      const std::string parent = str::ExtractFileDir(d);
      if (parent == d) break;
      d = parent;
    }
    for (const auto& d : missing) FItems.push_back({'D', d});
    FTargetLine.push_back(FItems.size());
    // Nothing stands in a folder this stage makes.
    const bool exists = !inNewDir && missing.empty() && fs::FileExists(t);
    FItems.push_back({exists ? 'E' : 'N', t});
  }
  for (const auto& i : FItems) plan += std::string(1, i.Kind) + "\t" + i.Path + "\n";
  // Kept files of an old stage would be taken for this one's.
  RemoveKeepDir();
  if (!fs::ForceDirectories(FKeepDir) || !fs::WriteFileAtomic(FPlanFile, plan)) {
    aErro = FPlanFile + "：" + fs::LastErrorText();
    FItems.clear();
    return false;
  }
  return true;
}

bool TInstallBackup::Keep(size_t aIndex, std::string& aErro) {
  if (aIndex >= FTargetLine.size()) return true;
  const size_t line = FTargetLine[aIndex];
  const TItem& item = FItems[line];
  if (item.Kind != 'E' || !fs::FileExists(item.Path)) return true;
  const std::string kept = KeptFile(line);
  if (fs::RenameFile(item.Path, kept) || fs::CopyFile(item.Path, kept, false)) return true;
  aErro = fs::LastErrorText();
  return false;
}

bool TInstallBackup::Restore(std::string& aErro) {
  TovLib::Log("[更新文件]安装失败，恢复原文件：" + FTmpPath, true);
  return PutBack(aErro);
}

bool TInstallBackup::PutBack(std::string& aErro) {
  bool ok = true;
  // Backwards, so files go before the folders made for them, inner folders before outer ones.
  for (size_t i = FItems.size(); i-- > 0;) {
    const TItem& item = FItems[i];
    bool done = true;
    if (item.Kind == 'E') {
      const std::string kept = KeptFile(i);
      // Without a kept file the target was never moved: it is still the old one.
      if (fs::FileExists(kept)) done = MoveOver(kept, item.Path);
    } else if (item.Kind == 'N') {
      done = !fs::FileExists(item.Path) || fs::DeleteFile(item.Path);
    } else if (fs::DirectoryExists(item.Path)) {
      // A folder that something else filled meanwhile stays.
      fs::RemoveDir(item.Path);
    }
    if (!done) {
      const std::string why = item.Path + "：" + fs::LastErrorText();
      TovLib::Log("[更新文件]恢复失败：" + why, true);
      if (ok) aErro = why;
      ok = false;
    }
  }
  // A plan that could not be carried out whole stays for the next run.
  if (ok) {
    fs::DeleteFile(FPlanFile);
    RemoveKeepDir();
  }
  FItems.clear();
  FTargetLine.clear();
  return ok;
}

void TInstallBackup::Commit() {
  if (!fs::DeleteFile(FPlanFile)) {
    TovLib::Log("[更新文件]删除恢复清单失败：" + FPlanFile + "：" + fs::LastErrorText(), true);
    return;  // the kept files stay: the plan would put them back
  }
  RemoveKeepDir();
  FItems.clear();
  FTargetLine.clear();
}

void TInstallBackup::RemoveKeepDir() {
  std::vector<fs::DirEntry> entries;
  if (!fs::ListDir(FKeepDir, entries)) return;
  for (const auto& e : entries) {
    if (!e.IsDir) fs::DeleteFile(FKeepDir + e.Name);
  }
  fs::RemoveDir(FKeepDir);
}
