#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/TestPrefix.h"
#include "platform/SettingsStore.h"

namespace stdfs = std::filesystem;
using namespace ov::platform;

using PathsTest = TPrefixTest;

TEST_F(PathsTest, FirstStartLaysOutThePrefix) {
  EXPECT_EQ(PrefixDir(), Prefix());
  EXPECT_TRUE(stdfs::is_directory(Prefix() + "/drive_c"));
  EXPECT_EQ(stdfs::read_symlink(Prefix() + "/dosdevices/c:"), "../drive_c");
  EXPECT_EQ(stdfs::read_symlink(Prefix() + "/dosdevices/z:"), "/");
  EXPECT_TRUE(DriveExists('C'));
  EXPECT_TRUE(DriveExists('z'));
  EXPECT_FALSE(DriveExists('D'));
  EXPECT_FALSE(DriveExists('1'));
}

TEST_F(PathsTest, PrefixFallsBackToTheXdgDataFolder) {
  unsetenv("OV_PREFIX");
  EXPECT_EQ(PrefixDir(), std::string(getenv("XDG_DATA_HOME")) + "/ondrevo");
  setenv("OV_PREFIX", Prefix().c_str(), 1);
}

TEST_F(PathsTest, AnExistingPrefixIsLeftAsItIs) {
  RemoveDrive('c');
  ResetPrefixCache();
  EnsurePrefix();  // dosdevices exists: no first start, c: stays removed
  EXPECT_FALSE(DriveExists('c'));
  EXPECT_EQ(MapToHost("C:\\x"), "");
}

TEST_F(PathsTest, FirstStartSeedsTheShellFolders) {
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::string desktop, startMenu, common;
  ASSERT_TRUE(SettingsStore::ReadString(RootKey::CurrentUser, key, "Desktop", desktop));
  ASSERT_TRUE(SettingsStore::ReadString(RootKey::CurrentUser, key, "Start Menu", startMenu));
  EXPECT_EQ(MapToHost(desktop), stdfs::path(Prefix()).parent_path().string() + "/home/Desktop");
  EXPECT_EQ(MapToHost(startMenu),
            stdfs::path(Prefix()).parent_path().string() + "/home/.local/share/applications");
  EXPECT_EQ(desktop.substr(0, 3), "Z:\\");
  EXPECT_FALSE(SettingsStore::ReadString(RootKey::CurrentUser, key, "Common Desktop", common));
}

TEST_F(PathsTest, MapsDrivePathsBothWays) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  EXPECT_EQ(MapToHost("C:\\ProgramData\\OVInstCache\\"), c + "/ProgramData/OVInstCache");
  EXPECT_EQ(MapToHost("c:/a/b.txt"), c + "/a/b.txt");
  EXPECT_EQ(MapToHost("C:\\"), c);
  EXPECT_EQ(MapToHost("C:"), c);
  EXPECT_EQ(MapToHost("Z:\\etc\\hostname"), "/etc/hostname");
  EXPECT_EQ(MapFromHost(c + "/a/b.txt"), "C:\\a\\b.txt");
  EXPECT_EQ(MapFromHost(c), "C:\\");
  EXPECT_EQ(MapFromHost("/etc/hostname"), "Z:\\etc\\hostname");
  for (const char* win : {"C:\\a\\b\\c.dll", "C:\\中文目录\\文件.txt", "Z:\\tmp\\x y"}) {
    EXPECT_EQ(MapFromHost(MapToHost(win)), win) << win;
  }
}

TEST_F(PathsTest, ReverseMappingPrefersTheLongestDrive) {
  std::string d = AddDrive('d');
  stdfs::create_directories(d + "/Ondrevo");
  EXPECT_EQ(MapFromHost(d + "/Ondrevo/Ketrin/x.exe"), "D:\\Ondrevo\\Ketrin\\x.exe");
  EXPECT_EQ(MapToHost("D:\\Ondrevo"), stdfs::canonical(d).string() + "/Ondrevo");
  // A path through the drive's symlink resolves to the same Windows path.
  EXPECT_EQ(MapFromHost(Prefix() + "/dosdevices/d:/Ondrevo"), "D:\\Ondrevo");
  RemoveDrive('z');
  EXPECT_EQ(MapFromHost("/etc/hostname"), "");
}

TEST_F(PathsTest, ExistingComponentsAreFoundWithoutRegardToCase) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/Program Files/Ondrevo");
  WriteHost(c + "/Program Files/Ondrevo/OVWebClient.ini", "x");
  EXPECT_EQ(MapToHost("C:\\PROGRAM FILES\\ondrevo\\ovwebclient.INI"),
            c + "/Program Files/Ondrevo/OVWebClient.ini");
  // New components are created as written, below the existing ones found case-insensitively.
  EXPECT_EQ(MapToHost("c:\\program files\\ONDREVO\\New\\Deeper.txt"),
            c + "/Program Files/Ondrevo/New/Deeper.txt");
  stdfs::create_directories(c + "/中文/子目录");
  EXPECT_EQ(MapToHost("C:\\中文\\子目录"), c + "/中文/子目录");
}

TEST_F(PathsTest, DotsResolveWithoutClimbingAboveTheRoot) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  EXPECT_EQ(MapToHost("C:\\a\\.\\b\\..\\c"), c + "/a/c");
  EXPECT_EQ(MapToHost("C:\\..\\..\\etc\\passwd"), c + "/etc/passwd");
  EXPECT_EQ(MapToHost("C:\\a\\\\b"), c + "/a/b");
}

TEST_F(PathsTest, UnmappablePaths) {
  EXPECT_EQ(MapToHost(""), "");
  EXPECT_EQ(MapToHost("Q:\\x"), "");
  EXPECT_EQ(MapToHost("\\\\server\\share\\x"), "");
  EXPECT_EQ(MapToHost("\\rooted"), "");
  EXPECT_EQ(MapToHost(std::string("C:\\a\0b", 6)), "");
  EXPECT_FALSE(IsDrivePath("C"));
  EXPECT_FALSE(IsDrivePath("1:\\"));
  EXPECT_FALSE(IsDrivePath("C:x"));
  EXPECT_TRUE(IsDrivePath("c:"));
}

TEST_F(PathsTest, ProgramFileComesFromTheOverrideOrProc) {
  EXPECT_EQ(ProgramFile(), "C:\\OVTest\\OVOnlineSetup.exe");
  SetProgramFileOverride("");
  EXPECT_EQ(MapToHost(ProgramFile()), stdfs::canonical("/proc/self/exe").string());
}
