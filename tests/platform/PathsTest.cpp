#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

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

TEST_F(PathsTest, SeveralPathsMapAsEachWouldAlone) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/Cache/Sub");
  for (int i = 0; i < 50; ++i) WriteHost(c + "/Cache/f" + std::to_string(i) + ".bin", "x");
  for (const char* n : {"A.TXT", "b.bin.PARTS", "Both.txt", "both.txt", "Two.TXT", "TWO.txt"}) {
    WriteHost(c + "/Cache/" + n, "x");
  }
  const std::vector<std::string> paths = {"C:\\cache\\a.txt",
                                          "C:\\CACHE\\B.BIN",
                                          "C:\\cache\\b.bin.parts",
                                          "C:\\cache\\both.txt",
                                          "C:\\cache\\two.txt",
                                          "C:\\cache\\new.bin",
                                          "C:\\cache\\new.bin.parts",
                                          "C:\\cache\\sub\\x",
                                          "C:\\missing\\deep\\f",
                                          "Q:\\x",
                                          "",
                                          "Z:\\etc\\hostname",
                                          "C:\\cache\\..\\CACHE\\.\\a.txt",
                                          "c:/cache/F7.BIN"};
  const std::vector<std::string> hosts = MapPathsToHost(paths);
  ASSERT_EQ(hosts.size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(hosts[i], MapToHost(paths[i])) << paths[i];
  EXPECT_EQ(hosts[0], c + "/Cache/A.TXT");
  EXPECT_EQ(hosts[1], c + "/Cache/B.BIN");  // missing: as written, in the folder found
  EXPECT_EQ(hosts[2], c + "/Cache/b.bin.PARTS");
  EXPECT_EQ(hosts[3], c + "/Cache/both.txt");  // the exact name wins over another case
  EXPECT_TRUE(hosts[4] == c + "/Cache/Two.TXT" || hosts[4] == c + "/Cache/TWO.txt") << hosts[4];
  EXPECT_EQ(hosts[5], c + "/Cache/new.bin");
  EXPECT_EQ(hosts[6], c + "/Cache/new.bin.parts");
  EXPECT_EQ(hosts[7], c + "/Cache/Sub/x");
  EXPECT_EQ(hosts[8], c + "/missing/deep/f");
  EXPECT_EQ(hosts[9], "");
  EXPECT_EQ(hosts[10], "");
  EXPECT_EQ(hosts[11], "/etc/hostname");
  EXPECT_EQ(hosts[12], c + "/Cache/A.TXT");
  EXPECT_EQ(hosts[13], c + "/Cache/f7.bin");
  EXPECT_TRUE(MapPathsToHost({}).empty());
}

TEST_F(PathsTest, AFileAndItsPartsOfAnotherCaseAreFoundTogether) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  WriteHost(c + "/dl/Data.BIN.Parts", "x");
  EXPECT_EQ(MapPathsToHost({"C:\\dl\\data.bin", "C:\\dl\\data.bin.parts"}),
            (std::vector<std::string>{c + "/dl/data.bin", c + "/dl/Data.BIN.Parts"}));
  WriteHost(c + "/dl/DATA.bin", "x");
  EXPECT_EQ(MapPathsToHost({"C:\\dl\\data.bin", "C:\\dl\\data.bin.parts"}),
            (std::vector<std::string>{c + "/dl/DATA.bin", c + "/dl/Data.BIN.Parts"}));
}

TEST_F(PathsTest, NothingIsRememberedBetweenCalls) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/d");
  const std::vector<std::string> paths = {"C:\\d\\x.txt", "C:\\d\\x.txt.parts"};
  EXPECT_EQ(MapPathsToHost(paths)[0], c + "/d/x.txt");
  EXPECT_EQ(MapToHost(paths[0]), c + "/d/x.txt");
  WriteHost(c + "/d/X.TXT", "x");
  WriteHost(c + "/d/X.txt.PARTS", "x");
  EXPECT_EQ(MapPathsToHost(paths),
            (std::vector<std::string>{c + "/d/X.TXT", c + "/d/X.txt.PARTS"}));
  EXPECT_EQ(MapToHost(paths[0]), c + "/d/X.TXT");
  stdfs::remove(c + "/d/X.TXT");
  stdfs::remove(c + "/d/X.txt.PARTS");
  EXPECT_EQ(MapPathsToHost(paths),
            (std::vector<std::string>{c + "/d/x.txt", c + "/d/x.txt.parts"}));
  EXPECT_EQ(MapToHost(paths[0]), c + "/d/x.txt");
  // A drive relinked between calls is followed at once.
  const std::string d1 = AddDrive('d');
  EXPECT_EQ(MapPathsToHost({"D:\\a", "D:\\b"})[1], stdfs::canonical(d1).string() + "/b");
  stdfs::remove(Prefix() + "/dosdevices/d:");
  stdfs::create_directory_symlink(c + "/d", Prefix() + "/dosdevices/d:");
  EXPECT_EQ(MapPathsToHost({"D:\\a", "D:\\b"})[1], c + "/d/b");
}
