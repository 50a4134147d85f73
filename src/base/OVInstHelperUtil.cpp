#include "base/OVInstHelperUtil.h"

#include "base/OVStrUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/ShellLinks.h"

namespace {

using ov::platform::RootKey;
using ov::platform::SettingsStore;

const char* const kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string OwnKey(const std::string& aKey) {
  return aKey.empty() ? TInstHelper::GetRegKey() + "\\" + "OVOnlineSetup" : aKey;
}

ov::platform::ShortcutSpec LinkOf(const std::string& aFileName, const std::string& aDescription,
                                  const std::string& aIconFile) {
  ov::platform::ShortcutSpec s;
  s.Target = aFileName;
  s.WorkingDir = ov::str::LowerCase(aFileName).find("ttp://") != std::string::npos
                     ? aFileName
                     : ov::str::ExtractFilePath(aFileName);
  s.Description = aDescription;
  s.IconFile = aIconFile.empty() ? aFileName : aIconFile;
  return s;
}

}  // namespace

bool TInstHelper::SelectFolderDialog(void*, const std::string& Caption,
                                     const std::string& InitFolder, std::string& SelectedFolder) {
  if (!InitFolder.empty()) SelectedFolder = InitFolder;
  auto picker = ov::platform::FolderPicker();
  if (!picker) return false;
  std::string chosen = SelectedFolder;
  if (!picker->PickFolder(Caption, chosen)) return false;
  SelectedFolder = chosen;
  return true;
}

std::string TInstHelper::GetSysDir(const std::string& aName) {
  std::string v = ov::platform::ShellFolder(aName);
  if (!v.empty()) return v;
  if (!SettingsStore::ReadString(RootKey::LocalMachine, kShellFolders, aName, v)) v.clear();
  if (v.empty() && !SettingsStore::ReadString(RootKey::CurrentUser, kShellFolders, aName, v)) {
    v.clear();
  }
  return v;
}

std::string TInstHelper::GetRegKey() { return "SOFTWARE\\ONDREVO"; }

std::string TInstHelper::getReg(const std::string& aName, const std::string& aDefValue,
                                const std::string& aKey) {
  const std::string key = OwnKey(aKey);
  if (!SettingsStore::KeyExists(RootKey::LocalMachine, key) &&
      !SettingsStore::CreateKey(RootKey::LocalMachine, key)) {
    return aDefValue;
  }
  std::string v;
  return SettingsStore::ReadString(RootKey::LocalMachine, key, aName, v) ? v : std::string();
}

bool TInstHelper::SetReg(const std::string& aName, const std::string& aValue,
                         const std::string& aKey) {
  return SettingsStore::WriteString(RootKey::LocalMachine, OwnKey(aKey), aName, aValue);
}

void TInstHelper::CreateDesktopIcon(const std::string& aFileName, const std::string& aTitle,
                                    const std::string& aDescription, const std::string& aIconFile) {
  std::string dir = GetSysDir("Common Desktop");
  if (dir.empty()) dir = GetSysDir("Desktop");
  ov::platform::SaveShortcut(ov::str::ExcludeTrailingBackslash(dir) + "\\" + aTitle + ".lnk",
                             LinkOf(aFileName, aDescription, aIconFile));
}

void TInstHelper::CreateStartupIcon(const std::string& aFileName, const std::string& aGroupName,
                                    const std::string& aTitle, const std::string& aDescription,
                                    const std::string& aIconFile) {
  std::string dir = GetSysDir("Common Start Menu");
  if (dir.empty()) dir = GetSysDir("Start Menu");
  dir = ov::str::ExcludeTrailingBackslash(dir) + "\\Programs";
  if (!aGroupName.empty()) dir += "\\" + aGroupName;
  ov::platform::fs::ForceDirectories(dir);
  ov::platform::SaveShortcut(dir + "\\" + aTitle + ".lnk",
                             LinkOf(aFileName, aDescription, aIconFile));
}

std::string TInstHelper::GetAvailablePath(const std::string& aDefPath) {
  if (aDefPath.empty()) return aDefPath;
  // Only a drive path can move to another drive; anything else would lose its first character.
  if (!ov::platform::IsDrivePath(aDefPath)) return aDefPath;
  if (ov::platform::fs::DirectoryExists(aDefPath.substr(0, 1) + ":\\")) return aDefPath;
  for (char l = 'C'; l <= 'Z'; ++l) {
    if (ov::platform::fs::DirectoryExists(std::string(1, l) + ":\\")) {
      return std::string(1, l) + aDefPath.substr(1);
    }
  }
  return aDefPath;
}
