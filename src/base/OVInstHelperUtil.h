#pragma once

#include <string>

// Desktop-side helpers of an installer: default folders, the folder picker, the remembered
// choices and shortcuts.
class TInstHelper {
 public:
  TInstHelper() = delete;

  // The window's folder browser (aParent is the window, unused without one); false when there
  // is no picker or the user cancels, with SelectedFolder then as it was or InitFolder.
  static bool SelectFolderDialog(void* aParent, const std::string& Caption,
                                 const std::string& InitFolder, std::string& SelectedFolder);
  static std::string GetSysDir(const std::string& aName);
  static std::string GetRegKey();
  // A string value under HKEY_LOCAL_MACHINE; aKey empty means the installer's own key.
  static std::string getReg(const std::string& aName, const std::string& aDefValue,
                            const std::string& aKey = "");
  static bool SetReg(const std::string& aName, const std::string& aValue,
                     const std::string& aKey = "");
  // Shortcuts; errors while saving propagate as ov::Error.
  static void CreateDesktopIcon(const std::string& aFileName, const std::string& aTitle,
                                const std::string& aDescription, const std::string& aIconFile);
  static void CreateStartupIcon(const std::string& aFileName, const std::string& aGroupName,
                                const std::string& aTitle, const std::string& aDescription,
                                const std::string& aIconFile);

  // `aDefPath` moved to the first existing drive (C to Z) when its own drive does not exist;
  // unchanged when it has no drive letter or no drive exists.
  static std::string GetAvailablePath(const std::string& aDefPath);
};
