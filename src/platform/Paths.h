#pragma once

#include <string>
#include <vector>

// The core thinks in Windows paths ("C:\ProgramData\x\"). On Windows they are the system's
// own: the mapping gives a path back as it is and there is no prefix. Elsewhere they are mapped
// onto the host through a prefix folder laid out like a Wine prefix:
//   <prefix>/dosdevices/<letter>:  symlink to the drive's folder
//   <prefix>/drive_c/              the C drive
//   <prefix>/registry/             the settings store
namespace ov::platform {

// Host folder of the prefix: $OV_PREFIX, else $XDG_DATA_HOME/ondrevo, else
// ~/.local/share/ondrevo. No trailing slash.
std::string PrefixDir();

// Creates drive_c and the c: and z: links the first time a prefix is used (a prefix whose
// dosdevices folder exists is left as it is), then seeds the shell folders of a fresh profile.
void EnsurePrefix();

// Forgets which prefixes were already prepared; tests call it after replacing OV_PREFIX.
void ResetPrefixCache();

// True when dosdevices/<letter>: resolves to an existing folder.
bool DriveExists(char aLetter);
// Canonical host folder of a drive, empty when the drive does not exist.
std::string DriveTarget(char aLetter);

// True for "X:" followed by a separator or nothing.
bool IsDrivePath(const std::string& aWinPath);

// Host path of a Windows path; empty when it cannot be mapped (no such drive, UNC name,
// embedded NUL). Existing components are found without regard to case; "." and ".." are
// resolved lexically and never climb above the drive's root. A relative path is taken
// relative to the process's working folder.
std::string MapToHost(const std::string& aWinPath);
// Host paths of several Windows paths, each as MapToHost gives it. What one of them learns
// serves the others (a file, its ".parts" and their folder share all but the last component,
// and a folder that had to be scanned for one missing name is scanned once for all).
std::vector<std::string> MapPathsToHost(const std::vector<std::string>& aWinPaths);

// While one lives on a thread, a Windows path mapped again on that thread is answered from its
// first mapping, and a name in a folder found before is looked up in that folder alone: for
// the steps of one operation on one file (its time, then its MD5), or a walk over the files of
// one folder. A file operation of this layer that creates, deletes, renames or changes a file
// forgets the answers, and the folders that a name added or removed there could lead
// elsewhere; changes by others during the scope are seen by the next scope.
class TMapScope {
 public:
  TMapScope();
  ~TMapScope();
  TMapScope(const TMapScope&) = delete;
  TMapScope& operator=(const TMapScope&) = delete;
  // Called by the file operations that change the folders, with the host path they change.
  static void Changed(const std::string& aHostPath);
};

// Windows path of a host path through the drive whose folder is the longest prefix of it
// (z: reaches every host path); empty when no drive reaches it.
std::string MapFromHost(const std::string& aHostPath);

// The running program as a Windows path (from /proc/self/exe), unless a test set another.
std::string ProgramFile();
// Tests point the program's own folder (settings file, language files) at their prefix;
// an empty text restores the real executable.
void SetProgramFileOverride(const std::string& aWinPath);

// XDG folders of the user on the host (no trailing slash).
std::string XdgDataHome();
std::string XdgDesktopDir();

// The system's folder under its "Shell Folders" name ("Desktop", "Common Desktop", "Start Menu",
// "Common Start Menu") where the system answers for it; empty where the registry's value is the
// answer (a prefix's registry on POSIX).
std::string ShellFolder(const std::string& aName);

}  // namespace ov::platform
