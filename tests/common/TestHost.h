#pragma once

#include <filesystem>
#include <set>
#include <string>

// What a test needs of its host that the platform layer does not offer.
namespace ovtest {

// A new empty folder for one test (host path, no trailing separator).
std::string MakeTempDir();
void SetEnv(const std::string& aName, const std::string& aValue);
// The std::filesystem path of a UTF-8 host path (Chinese names survive on every host).
std::filesystem::path FsPath(const std::string& aHostPath);

// Drive aLetter on a new folder inside aPrefix (host path), returned; and gone again. Windows
// defines the drive for the session, as `subst` does.
std::string AddDrive(const std::string& aPrefix, char aLetter);
void RemoveDrive(const std::string& aPrefix, char aLetter);

// A file system of aMiB mebibytes mounted on the empty host folder aHostDir, for tests of a
// full disk; false with the reason in aWhy where the host cannot (not root, no tmpfs, Windows).
bool MountSmallVolume(const std::string& aHostDir, int aMiB, std::string& aWhy);
void UnmountVolume(const std::string& aHostDir);

// The shortcuts in a Windows folder: what each one starts, as host paths, one a line.
std::string ShortcutTargets(const std::string& aWinDir);
// The system's text when a folder stands where a file is to be written.
std::string FolderInTheWayText();

// Keeps a test's traces on the machine apart from the next test's: on Windows the registry
// roots are moved below a key of the test's own, and what the test left on the C drive's top
// level, in the all-users desktop and start menu and in that key is removed at the end.
// Nothing to do where every test has a prefix.
class THostIsolation {
 public:
  void Begin();
  void End();

 private:
  std::string FRegistryKey;
  std::set<std::filesystem::path> FDriveC;  // the C drive's top level at the start
  std::set<std::filesystem::path> FShared;  // the shared shortcut folders' entries at the start
};

}  // namespace ovtest
