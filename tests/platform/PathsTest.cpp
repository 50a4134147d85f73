#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

namespace stdfs = std::filesystem;
using namespace ov::platform;

// The prefix, its drive links and its case-blind lookups: the POSIX stand-in of Windows paths.
using PathsPosixTest = TPrefixTest;

TEST_F(PathsPosixTest, FirstStartLaysOutThePrefix) {
  EXPECT_EQ(PrefixDir(), Prefix());
  EXPECT_TRUE(stdfs::is_directory(Prefix() + "/drive_c"));
  EXPECT_EQ(stdfs::read_symlink(Prefix() + "/dosdevices/c:"), "../drive_c");
  EXPECT_EQ(stdfs::read_symlink(Prefix() + "/dosdevices/z:"), "/");
  EXPECT_TRUE(DriveExists('C'));
  EXPECT_TRUE(DriveExists('z'));
  EXPECT_FALSE(DriveExists('D'));
  EXPECT_FALSE(DriveExists('1'));
}

TEST_F(PathsPosixTest, PrefixFallsBackToTheXdgDataFolder) {
  unsetenv("OV_PREFIX");
  EXPECT_EQ(PrefixDir(), std::string(getenv("XDG_DATA_HOME")) + "/ondrevo");
  setenv("OV_PREFIX", Prefix().c_str(), 1);
}

TEST_F(PathsPosixTest, AnExistingPrefixIsLeftAsItIs) {
  RemoveDrive('c');
  ResetPrefixCache();
  EnsurePrefix();  // dosdevices exists: no first start, c: stays removed
  EXPECT_FALSE(DriveExists('c'));
  EXPECT_EQ(MapToHost("C:\\x"), "");
}

TEST_F(PathsPosixTest, FirstStartSeedsTheShellFolders) {
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

TEST_F(PathsPosixTest, MapsDrivePathsBothWays) {
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

TEST_F(PathsPosixTest, ReverseMappingPrefersTheLongestDrive) {
  std::string d = AddDrive('d');
  stdfs::create_directories(d + "/Ondrevo");
  EXPECT_EQ(MapFromHost(d + "/Ondrevo/Ketrin/x.exe"), "D:\\Ondrevo\\Ketrin\\x.exe");
  EXPECT_EQ(MapToHost("D:\\Ondrevo"), stdfs::canonical(d).string() + "/Ondrevo");
  // A path through the drive's symlink resolves to the same Windows path.
  EXPECT_EQ(MapFromHost(Prefix() + "/dosdevices/d:/Ondrevo"), "D:\\Ondrevo");
  RemoveDrive('z');
  EXPECT_EQ(MapFromHost("/etc/hostname"), "");
}

TEST_F(PathsPosixTest, ARelinkedOrRemovedDriveIsSeenAtOnce) {
  const std::string first = AddDrive('d');
  EXPECT_EQ(MapToHost("D:\\a.txt"), stdfs::canonical(first).string() + "/a.txt");
  // The same link name now points elsewhere.
  const std::string second = stdfs::path(Prefix()).parent_path().string() + "/other_d";
  stdfs::create_directories(second);
  const std::string link = Prefix() + "/dosdevices/d:";
  stdfs::remove(link);
  stdfs::create_directory_symlink(second, link);
  EXPECT_EQ(MapToHost("D:\\a.txt"), stdfs::canonical(second).string() + "/a.txt");
  EXPECT_EQ(MapFromHost(second + "/a.txt"), "D:\\a.txt");
  // The folder goes while the link stays: no path on the drive maps any more, alone or with
  // others, whatever part of it was there a moment ago.
  stdfs::create_directories(second + "/sub");
  EXPECT_EQ(MapToHost("D:\\sub\\x"), stdfs::canonical(second).string() + "/sub/x");
  stdfs::remove_all(second);
  EXPECT_FALSE(DriveExists('d'));
  EXPECT_EQ(DriveTarget('d'), "");
  EXPECT_EQ(MapToHost("D:\\sub\\x"), "");
  EXPECT_EQ(MapToHost("D:\\a.txt"), "");
  EXPECT_EQ(MapToHost("D:"), "");
  EXPECT_EQ(MapPathsToHost({"D:\\sub\\x", "D:\\sub\\y"}), (std::vector<std::string>{"", ""}));
}

TEST_F(PathsPosixTest, ExistingComponentsAreFoundWithoutRegardToCase) {
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

TEST_F(PathsPosixTest, DotsResolveWithoutClimbingAboveTheRoot) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  EXPECT_EQ(MapToHost("C:\\a\\.\\b\\..\\c"), c + "/a/c");
  EXPECT_EQ(MapToHost("C:\\..\\..\\etc\\passwd"), c + "/etc/passwd");
  EXPECT_EQ(MapToHost("C:\\a\\\\b"), c + "/a/b");
}

TEST_F(PathsPosixTest, UnmappablePaths) {
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

TEST_F(PathsPosixTest, ProgramFileComesFromTheOverrideOrProc) {
  EXPECT_EQ(ProgramFile(), "C:\\OVTest\\OVOnlineSetup.exe");
  SetProgramFileOverride("");
  EXPECT_EQ(MapToHost(ProgramFile()), stdfs::canonical("/proc/self/exe").string());
}

TEST_F(PathsPosixTest, SeveralPathsMapAsEachWouldAlone) {
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
                                          "c:/cache/F7.BIN",
                                          "C:\\cache\\Sub",
                                          "C:\\cache\\Sub\\y",
                                          "C:\\CACHE\\SUB\\y",
                                          "C:\\missing\\deep\\g",
                                          "C:\\missing",
                                          "C:\\cache\\b.bin.parts\\z",
                                          // the folder as written, the name not
                                          "C:\\Cache\\a.txt",
                                          "C:\\Cache\\two.txt",
                                          "C:\\Cache\\Both.txt",
                                          "C:\\Cache\\Sub\\Y",
                                          "C:\\Cache\\A.TXT\\z",
                                          "C:\\Cache\\B.BIN.parts"};
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
  EXPECT_EQ(hosts[15], c + "/Cache/Sub/y");
  EXPECT_EQ(hosts[16], c + "/Cache/Sub/y");
  EXPECT_EQ(hosts[17], c + "/missing/deep/g");
  EXPECT_EQ(hosts[19], c + "/Cache/b.bin.PARTS/z");
  EXPECT_EQ(hosts[20], c + "/Cache/A.TXT");
  EXPECT_EQ(hosts[21], hosts[4]);
  EXPECT_EQ(hosts[22], c + "/Cache/Both.txt");
  EXPECT_EQ(hosts[23], c + "/Cache/Sub/Y");
  EXPECT_EQ(hosts[24], c + "/Cache/A.TXT/z");
  EXPECT_EQ(hosts[25], c + "/Cache/b.bin.PARTS");
  EXPECT_TRUE(MapPathsToHost({}).empty());
}

TEST_F(PathsPosixTest, AFileAndItsPartsOfAnotherCaseAreFoundTogether) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  WriteHost(c + "/dl/Data.BIN.Parts", "x");
  EXPECT_EQ(MapPathsToHost({"C:\\dl\\data.bin", "C:\\dl\\data.bin.parts"}),
            (std::vector<std::string>{c + "/dl/data.bin", c + "/dl/Data.BIN.Parts"}));
  WriteHost(c + "/dl/DATA.bin", "x");
  EXPECT_EQ(MapPathsToHost({"C:\\dl\\data.bin", "C:\\dl\\data.bin.parts"}),
            (std::vector<std::string>{c + "/dl/DATA.bin", c + "/dl/Data.BIN.Parts"}));
}

TEST_F(PathsPosixTest, AScopeAnswersAPathAgainUntilAFileOperationChangesSomething) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/dl");
  {
    const TMapScope once;
    EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/a.bin");
    // Another name of another case appears behind the scope's back: still the first answer.
    WriteHost(c + "/dl/A.BIN", "x");
    EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/a.bin");
    EXPECT_EQ(MapToHost("C:\\dl\\b.bin"), c + "/dl/b.bin");  // other paths map afresh
    {
      const TMapScope inner;  // scopes nest; the inner end keeps the outer answers
    }
    EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/a.bin");
    // A change made through the file layer ends the answers.
    ASSERT_TRUE(ov::platform::fs::ForceDirectories("C:\\dl\\sub"));
    EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/A.BIN");
    ASSERT_TRUE(ov::platform::fs::DeleteFile("C:\\dl\\a.bin"));
    EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/a.bin");
    // A read does not.
    WriteHost(c + "/dl/A.BIN", "x");
    EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/a.bin");
    EXPECT_FALSE(ov::platform::fs::FileExists("C:\\dl\\a.bin"));
  }
  // Outside a scope every call looks again.
  EXPECT_EQ(MapToHost("C:\\dl\\a.bin"), c + "/dl/A.BIN");
  // Another thread has no scope of its own.
  const TMapScope once;
  EXPECT_EQ(MapToHost("C:\\dl\\c.bin"), c + "/dl/c.bin");
  WriteHost(c + "/dl/C.bin", "x");
  std::string other;
  std::thread([&] { other = MapToHost("C:\\dl\\c.bin"); }).join();
  EXPECT_EQ(other, c + "/dl/C.bin");
}

TEST_F(PathsPosixTest, AScopeLooksNamesUpInTheFoldersItFoundUntilOneOfThemChanges) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/t/Web");
  const TMapScope walk;
  EXPECT_EQ(MapToHost("C:\\t\\web\\f.bin"), c + "/t/Web/f.bin");
  // Other names in the folder found are still looked up without regard to case.
  WriteHost(c + "/t/Web/G.BIN", "x");
  EXPECT_EQ(MapToHost("C:\\t\\web\\g.bin"), c + "/t/Web/G.BIN");
  // The folder renamed through the file layer and made again as written: names go there.
  ASSERT_TRUE(ov::platform::fs::RenameFile("C:\\t\\Web", "C:\\t\\Old"));
  ASSERT_TRUE(ov::platform::fs::ForceDirectories("C:\\t\\web"));
  EXPECT_EQ(MapToHost("C:\\t\\web\\h.bin"), c + "/t/web/h.bin");
}

TEST_F(PathsPosixTest, NothingIsRememberedBetweenCalls) {
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

namespace {

// What a lookup must give, found the slow way: the exact name, else the first name of the
// folder (in its own order) equal without regard to case, else the name as written.
std::string ExpectedHost(const std::string& aDir, const std::string& aName) {
  if (stdfs::exists(stdfs::symlink_status(aDir + "/" + aName))) return aDir + "/" + aName;
  DIR* d = opendir(aDir.c_str());
  std::string found = aName;
  while (dirent* e = d ? readdir(d) : nullptr) {
    if (strcasecmp(e->d_name, aName.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  if (d) closedir(d);
  return aDir + "/" + found;
}

}  // namespace

TEST_F(PathsPosixTest, LookupsFollowEveryChangeOfTheFolder) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  const std::string dir = c + "/big";
  stdfs::create_directories(dir);
  for (int i = 0; i < 300; ++i) WriteHost(dir + "/file" + std::to_string(i) + ".bin", "x");
  const std::vector<std::string> names = {"a.txt", "A.TXT", "a.TXT", "b.bin.parts", "B.BIN.PARTS",
                                          "Sub", "SUB", "c.dll"};
  std::mt19937 rng(20240611);
  auto pick = [&] { return names[rng() % names.size()]; };
  for (int step = 0; step < 400; ++step) {
    const std::string n1 = dir + "/" + pick(), n2 = dir + "/" + pick();
    std::error_code ec;
    switch (rng() % 7) {
      case 0: WriteHost(n1, "x"); break;
      case 1: stdfs::remove(n1, ec); break;
      case 2: stdfs::rename(n1, n2, ec); break;
      case 3: renameat2(AT_FDCWD, n1.c_str(), AT_FDCWD, n2.c_str(), RENAME_EXCHANGE); break;
      case 4: stdfs::create_directory(n1, ec); break;
      case 5: stdfs::create_hard_link(n1, n2, ec); break;
      case 6: stdfs::create_symlink("nowhere", n1, ec); break;
    }
    for (const auto& q : {"a.txt", "b.bin.parts", "sub", "c.DLL", "none.txt"}) {
      const std::string win = std::string("C:\\BIG\\") + q;
      ASSERT_EQ(MapToHost(win), ExpectedHost(dir, q)) << "step " << step << " " << q;
      const auto both = MapPathsToHost({win, win + ".parts"});
      ASSERT_EQ(both[0], ExpectedHost(dir, q)) << step;
      ASSERT_EQ(both[1], ExpectedHost(dir, q + std::string(".parts"))) << step;
    }
  }
}

TEST_F(PathsPosixTest, ChangesOfAnotherProcessAreSeenAtOnce) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/shared");
  EXPECT_EQ(MapToHost("C:\\shared\\new.txt"), c + "/shared/new.txt");
  ASSERT_EQ(std::system(("touch '" + c + "/shared/NEW.TXT'").c_str()), 0);
  EXPECT_EQ(MapToHost("C:\\shared\\new.txt"), c + "/shared/NEW.TXT");
  ASSERT_EQ(std::system(("mv '" + c + "/shared/NEW.TXT' '" + c + "/shared/New.Txt'").c_str()), 0);
  EXPECT_EQ(MapToHost("C:\\shared\\new.txt"), c + "/shared/New.Txt");
  ASSERT_EQ(std::system(("rm '" + c + "/shared/New.Txt'").c_str()), 0);
  EXPECT_EQ(MapToHost("C:\\shared\\new.txt"), c + "/shared/new.txt");
}

TEST_F(PathsPosixTest, AForkedChildLeavesTheLookupsOfItsParentIntact) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/f");
  EXPECT_EQ(MapToHost("C:\\f\\child.txt"), c + "/f/child.txt");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child's own change, then its own lookups: they must not consume what the parent
    // has yet to learn.
    WriteHost(c + "/f/CHILD.TXT", "x");
    const bool ok = MapToHost("C:\\f\\child.txt") == c + "/f/CHILD.TXT" &&
                    MapToHost("C:\\f\\other.txt") == c + "/f/other.txt";
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(MapToHost("C:\\f\\child.txt"), c + "/f/CHILD.TXT");
}

TEST_F(PathsPosixTest, AFolderReplacedAtItsPathIsLookedUpAfresh) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/r");
  WriteHost(c + "/r/OLD.TXT", "x");
  EXPECT_EQ(MapToHost("C:\\r\\old.txt"), c + "/r/OLD.TXT");
  stdfs::rename(c + "/r", c + "/r.gone");
  stdfs::create_directories(c + "/r");
  EXPECT_EQ(MapToHost("C:\\r\\old.txt"), c + "/r/old.txt");
  WriteHost(c + "/r/NEW.TXT", "x");
  EXPECT_EQ(MapToHost("C:\\r\\new.txt"), c + "/r/NEW.TXT");
  // Now a link to another folder stands at the path.
  stdfs::remove_all(c + "/r");
  stdfs::create_directory_symlink(c + "/r.gone", c + "/r");
  EXPECT_EQ(MapToHost("C:\\r\\old.txt"), c + "/r/OLD.TXT");
  EXPECT_EQ(MapToHost("C:\\r\\new.txt"), c + "/r/new.txt");
  // The old folder deleted while looked up, then made again with other names.
  stdfs::remove(c + "/r");
  stdfs::remove_all(c + "/r.gone");
  stdfs::create_directories(c + "/r.gone");
  WriteHost(c + "/r.gone/Old.Txt", "x");
  stdfs::create_directory_symlink(c + "/r.gone", c + "/r");
  EXPECT_EQ(MapToHost("C:\\r\\old.txt"), c + "/r/Old.Txt");
}

TEST_F(PathsPosixTest, LookupsStayRightWhenChangesComeFasterThanTheyAreRead) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/q");
  WriteHost(c + "/q/spin", "x");
  EXPECT_EQ(MapToHost("C:\\q\\late.txt"), c + "/q/late.txt");
  // More changes than the kernel queues between two lookups, then the one that matters.
  int limit = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
  ASSERT_LT(limit, 1 << 20);
  for (int i = 0; i < limit / 2 + 100; ++i) {
    ASSERT_EQ(rename((c + "/q/spin").c_str(), (c + "/q/spun").c_str()), 0);
    ASSERT_EQ(rename((c + "/q/spun").c_str(), (c + "/q/spin").c_str()), 0);
  }
  WriteHost(c + "/q/LATE.TXT", "x");
  EXPECT_EQ(MapToHost("C:\\q\\late.txt"), c + "/q/LATE.TXT");
  EXPECT_EQ(MapToHost("C:\\q\\SPIN"), c + "/q/spin");
}

TEST_F(PathsPosixTest, LookupsInManyFoldersStayRight) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 80; ++i) {
      const std::string d = c + "/m" + std::to_string(i);
      stdfs::create_directories(d);
      const std::string win = "C:\\m" + std::to_string(i) + "\\x" + std::to_string(round) + ".txt";
      EXPECT_EQ(MapToHost(win), d + "/x" + std::to_string(round) + ".txt");
      WriteHost(d + "/X" + std::to_string(round) + ".TXT", "x");
    }
    for (int i = 0; i < 80; ++i) {
      const std::string win = "C:\\m" + std::to_string(i) + "\\x" + std::to_string(round) + ".txt";
      EXPECT_EQ(MapToHost(win),
                c + "/m" + std::to_string(i) + "/X" + std::to_string(round) + ".TXT");
    }
  }
}

TEST_F(PathsPosixTest, AFolderMovedWithItsParentIsStillLookedUpRight) {
  const std::string c = stdfs::canonical(Prefix() + "/drive_c").string();
  stdfs::create_directories(c + "/p/dir");
  WriteHost(c + "/p/dir/A.TXT", "a");
  WriteHost(c + "/p/dir/B.TXT", "b");
  for (int i = 0; i < 600; ++i) WriteHost(c + "/p/dir/x" + std::to_string(i), "x");
  EXPECT_EQ(MapToHost("C:\\p\\dir\\a.txt"), c + "/p/dir/A.TXT");
  // The parent moves (the folder itself hears nothing of it) and a new folder takes the path.
  stdfs::rename(c + "/p", c + "/p2");
  stdfs::create_directories(c + "/p/dir");
  // Two names swapped are reported renamed away although both stay; they and the names
  // really renamed away must be checked in the moved folder, not in the new folder at the old
  // path, which has none of its names.
  ASSERT_EQ(renameat2(AT_FDCWD, (c + "/p2/dir/A.TXT").c_str(), AT_FDCWD,
                      (c + "/p2/dir/B.TXT").c_str(), RENAME_EXCHANGE),
            0);
  for (int i = 0; i < 600; ++i) {
    stdfs::rename(c + "/p2/dir/x" + std::to_string(i), c + "/p2/x" + std::to_string(i));
  }
  EXPECT_EQ(MapToHost("C:\\p\\dir\\a.txt"), c + "/p/dir/a.txt");
  EXPECT_EQ(MapToHost("C:\\p2\\dir\\a.txt"), c + "/p2/dir/A.TXT");
  EXPECT_EQ(MapToHost("C:\\p2\\dir\\b.txt"), c + "/p2/dir/B.TXT");
  EXPECT_EQ(MapToHost("C:\\p2\\dir\\X7"), c + "/p2/dir/X7");
}
