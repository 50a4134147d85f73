#include <stdlib.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/TestHost.h"
#include "platform/Paths.h"

namespace ovtest {

std::string MakeTempDir() {
  char tmpl[] = "/tmp/ovtest.XXXXXX";
  return mkdtemp(tmpl) ? std::string(tmpl) : std::string();
}

void SetEnv(const std::string& aName, const std::string& aValue) {
  setenv(aName.c_str(), aValue.c_str(), 1);
}

std::filesystem::path FsPath(const std::string& aHostPath) { return aHostPath; }

bool MountSmallVolume(const std::string& aHostDir, int aMiB, std::string& aWhy) {
  const std::string opts = "size=" + std::to_string(aMiB) + "m";
  if (::mount("tmpfs", aHostDir.c_str(), "tmpfs", 0, opts.c_str()) != 0) {
    aWhy = "cannot mount a tmpfs here: " + std::string(std::strerror(errno));
    return false;
  }
  return true;
}

void UnmountVolume(const std::string& aHostDir) { ::umount2(aHostDir.c_str(), MNT_DETACH); }

std::string AddDrive(const std::string& aPrefix, char aLetter) {
  std::string dir = aPrefix + "/drive_" + std::string(1, aLetter);
  std::filesystem::create_directories(dir);
  std::string link = aPrefix + "/dosdevices/" + std::string(1, aLetter) + ":";
  std::error_code ec;
  std::filesystem::remove(link, ec);
  std::filesystem::create_directory_symlink(dir, link);
  return dir;
}

void RemoveDrive(const std::string& aPrefix, char aLetter) {
  std::error_code ec;
  std::filesystem::remove(aPrefix + "/dosdevices/" + std::string(1, aLetter) + ":", ec);
}

std::string ShortcutTargets(const std::string& aWinDir) {
  std::string out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(ov::platform::MapToHost(aWinDir), ec)) {
    if (e.path().extension() != ".desktop") continue;
    std::ifstream in(e.path());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("Exec=", 0) == 0) out += line.substr(5) + "\n";
    }
  }
  return out;
}

std::string FolderInTheWayText() { return std::strerror(EISDIR); }

void THostIsolation::Begin() {}
void THostIsolation::End() {}

}  // namespace ovtest
