#include "common/TestPrefix.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/LoggerUtil.h"
#include "base/OVDateUtil.h"
#include "base/OVLibUtil.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

namespace stdfs = std::filesystem;

void TPrefixTest::SetUp() {
  char tmpl[] = "/tmp/ovtest.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  FPrefix = tmpl;
  setenv("OV_PREFIX", (FPrefix + "/prefix").c_str(), 1);
  setenv("XDG_DATA_HOME", (FPrefix + "/home/.local/share").c_str(), 1);
  setenv("XDG_DESKTOP_DIR", (FPrefix + "/home/Desktop").c_str(), 1);
  FPrefix += "/prefix";
  ov::platform::ResetPrefixCache();
  ov::platform::EnsurePrefix();
  ov::platform::SetProgramFileOverride("C:\\OVTest\\OVOnlineSetup.exe");
  ASSERT_TRUE(ov::platform::fs::ForceDirectories("C:\\OVTest"));
  ov::platform::fs::ClearFaults();
  ov::platform::SetAnsiCodesetOverride("");
  ov::platform::SetTickSource(nullptr);
  ov::SetClock(nullptr);
  TovLib::SetDebugFlag(-1);
  TovLib::SetDateFormat();
}

void TPrefixTest::TearDown() {
  FreeProcessLogger();
  ov::platform::fs::ClearFaults();
  ov::platform::SetProgramFileOverride("");
  ov::platform::SetAnsiCodesetOverride("");
  ov::platform::SetTickSource(nullptr);
  ov::SetClock(nullptr);
  TovLib::SetDebugFlag(-1);
  std::error_code ec;
  stdfs::remove_all(stdfs::path(FPrefix).parent_path(), ec);
  ov::platform::ResetPrefixCache();
}

std::string TPrefixTest::Host(const std::string& aWinPath) {
  return ov::platform::MapToHost(aWinPath);
}

void TPrefixTest::WriteHost(const std::string& aHostPath, const std::string& aData) {
  stdfs::create_directories(stdfs::path(aHostPath).parent_path());
  std::ofstream out(aHostPath, std::ios::binary | std::ios::trunc);
  out << aData;
}

std::string TPrefixTest::ReadHost(const std::string& aHostPath) {
  std::ifstream in(aHostPath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool TPrefixTest::HostExists(const std::string& aHostPath) {
  std::error_code ec;
  return stdfs::exists(stdfs::symlink_status(aHostPath, ec));
}

std::string TPrefixTest::AddDrive(char aLetter) {
  std::string dir = FPrefix + "/drive_" + std::string(1, aLetter);
  stdfs::create_directories(dir);
  std::string link = FPrefix + "/dosdevices/" + std::string(1, aLetter) + ":";
  std::error_code ec;
  stdfs::remove(link, ec);
  stdfs::create_directory_symlink(dir, link);
  return dir;
}

void TPrefixTest::RemoveDrive(char aLetter) {
  std::error_code ec;
  stdfs::remove(FPrefix + "/dosdevices/" + std::string(1, aLetter) + ":", ec);
}
