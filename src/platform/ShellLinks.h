#pragma once

#include <memory>
#include <string>

// Shortcuts and the folder picker of the desktop.
namespace ov::platform {

// A shortcut: the Windows-path "X.lnk" is written as the freedesktop entry "X.desktop" beside
// it. Paths are Windows paths; an http(s) target becomes a link entry.
struct ShortcutSpec {
  std::string Target;
  std::string WorkingDir;
  std::string Description;
  std::string IconFile;
};
// Written whole through a temporary file and a rename. Throws ov::Error when it cannot be
// written.
void SaveShortcut(const std::string& aLnkFile, const ShortcutSpec& aSpec);
// The file a shortcut ends up in ("X.lnk" -> "X.desktop").
std::string ShortcutFileOf(const std::string& aLnkFile);

// The window's folder browser; the core has none of its own.
class IFolderPicker {
 public:
  virtual ~IFolderPicker() = default;
  // True with the chosen folder (a Windows path) in aFolder; false when cancelled.
  virtual bool PickFolder(const std::string& aCaption, std::string& aFolder) = 0;
};
void SetFolderPicker(std::shared_ptr<IFolderPicker> aPicker);
std::shared_ptr<IFolderPicker> FolderPicker();

}  // namespace ov::platform
