#include "common/TestPrefix.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/LoggerUtil.h"
#include "base/OVDateUtil.h"
#include "base/OVLibUtil.h"
#include "common/TestHost.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

namespace stdfs = std::filesystem;

void TPrefixTest::SetUp() {
  FPrefix = ovtest::MakeTempDir();
  ASSERT_FALSE(FPrefix.empty());
  ovtest::SetEnv("OV_PREFIX", FPrefix + "/prefix");
  ovtest::SetEnv("XDG_DATA_HOME", FPrefix + "/home/.local/share");
  ovtest::SetEnv("XDG_DESKTOP_DIR", FPrefix + "/home/Desktop");
  FPrefix += "/prefix";
  FIsolation.Begin();
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
  for (char d : FDrives) ovtest::RemoveDrive(FPrefix, d);
  FDrives.clear();
  FIsolation.End();
  std::error_code ec;
  stdfs::remove_all(ovtest::FsPath(FPrefix).parent_path(), ec);
  ov::platform::ResetPrefixCache();
}

std::string TPrefixTest::Host(const std::string& aWinPath) {
  return ov::platform::MapToHost(aWinPath);
}

void TPrefixTest::WriteHost(const std::string& aHostPath, const std::string& aData) {
  stdfs::create_directories(ovtest::FsPath(aHostPath).parent_path());
  std::ofstream out(ovtest::FsPath(aHostPath), std::ios::binary | std::ios::trunc);
  out << aData;
}

std::string TPrefixTest::ReadHost(const std::string& aHostPath) {
  std::ifstream in(ovtest::FsPath(aHostPath), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool TPrefixTest::HostExists(const std::string& aHostPath) {
  std::error_code ec;
  return stdfs::exists(stdfs::symlink_status(ovtest::FsPath(aHostPath), ec));
}

int TPrefixTest::Temporaries(const std::string& aHostDir) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : stdfs::directory_iterator(ovtest::FsPath(aHostDir), ec)) {
    if (e.path().filename().u8string().find(u8".ovtmp.") != std::u8string::npos) ++n;
  }
  return n;
}

std::string TPrefixTest::AddDrive(char aLetter) {
  FDrives += aLetter;
  return ovtest::AddDrive(FPrefix, aLetter);
}

void TPrefixTest::RemoveDrive(char aLetter) { ovtest::RemoveDrive(FPrefix, aLetter); }
