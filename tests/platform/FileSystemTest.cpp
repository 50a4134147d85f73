#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace stdfs = std::filesystem;
using namespace ov::platform::fs;

namespace {

class FileSystemTest : public TPrefixTest {
 protected:
  static bool SameFile(const std::string& a, const std::string& b) {
    uint64_t va = 0, fa = 0, vb = 0, fb = 0;
    return HostFileIdentity(a, va, fa) && HostFileIdentity(b, vb, fb) && va == vb && fa == fb;
  }
  static int64_t MTimeNs(const std::string& host) {
    FileTimes t;
    return HostGetFileTimes(host, t) ? t.LastWrite : -1;
  }
};

}  // namespace

TEST_F(FileSystemTest, ExistenceTellsFilesFromFolders) {
  WriteHost(Host("C:\\d\\f.txt"), "x");
  EXPECT_TRUE(FileExists("C:\\d\\f.txt"));
  EXPECT_TRUE(FileExists("c:\\D\\F.TXT"));
  EXPECT_FALSE(FileExists("C:\\d"));
  EXPECT_TRUE(DirectoryExists("C:\\d\\"));
  EXPECT_FALSE(DirectoryExists("C:\\d\\f.txt"));
  EXPECT_TRUE(PathExists("C:\\d"));
  EXPECT_FALSE(FileExists("Q:\\d\\f.txt"));
}

TEST_F(FileSystemTest, ForceDirectoriesMakesEveryParent) {
  EXPECT_TRUE(ForceDirectories("C:\\a\\b\\c\\"));
  EXPECT_TRUE(DirectoryExists("C:\\a\\b\\c"));
  EXPECT_TRUE(ForceDirectories("C:\\a\\b\\c"));  // already there
  WriteHost(Host("C:\\a\\file"), "x");
  EXPECT_FALSE(ForceDirectories("C:\\a\\file\\sub"));
  EXPECT_FALSE(LastErrorText().empty());
  EXPECT_FALSE(ForceDirectories("Q:\\x"));
  InjectFault(Op::MkDir, Host("C:\\blocked"));
  EXPECT_FALSE(ForceDirectories("C:\\blocked\\sub"));
}

TEST_F(FileSystemTest, CopyOverwritesAndKeepsTheLastWriteTime) {
  WriteHost(Host("C:\\src\\a.dll"), "new content");
  ASSERT_TRUE(
      SetFileTimes("C:\\src\\a.dll", std::nullopt, std::nullopt, INT64_C(1700000000123456700)));
  WriteHost(Host("C:\\dst\\a.dll"), "old");
  ASSERT_TRUE(CopyFile("C:\\src\\a.dll", "C:\\dst\\a.dll"));
  EXPECT_EQ(ReadHost(Host("C:\\dst\\a.dll")), "new content");
  EXPECT_EQ(MTimeNs(Host("C:\\dst\\a.dll")), INT64_C(1700000000123456700));
  EXPECT_EQ(Temporaries(Host("C:\\dst")), 0);
  EXPECT_FALSE(CopyFile("C:\\src\\a.dll", "C:\\dst\\a.dll", true));
  EXPECT_FALSE(CopyFile("C:\\src\\missing.dll", "C:\\dst\\b.dll"));
  EXPECT_FALSE(CopyFile("C:\\src\\a.dll", "C:\\nofolder\\b.dll"));
}

TEST_F(FileSystemTest, InjectedCopyFailureLeavesTheTargetUntouched) {
  WriteHost(Host("C:\\src\\a.dll"), "new");
  WriteHost(Host("C:\\dst\\a.dll"), "old");
  InjectFault(Op::Copy, Host("C:\\dst\\a.dll"));
  EXPECT_FALSE(CopyFile("C:\\src\\a.dll", "C:\\dst\\a.dll"));
  EXPECT_EQ(ReadHost(Host("C:\\dst\\a.dll")), "old");
}

TEST_F(FileSystemTest, LinkOrCopySharesTheFileOnOneFileSystem) {
  WriteHost(Host("C:\\dl\\a.dll"), "new content");
  ASSERT_TRUE(
      SetFileTimes("C:\\dl\\a.dll", std::nullopt, std::nullopt, INT64_C(1700000000123456700)));
  WriteHost(Host("C:\\dst\\a.dll"), "old");
  ASSERT_TRUE(LinkOrCopyFile("C:\\dl\\a.dll", "C:\\dst\\a.dll"));
  EXPECT_EQ(ReadHost(Host("C:\\dst\\a.dll")), "new content");
  EXPECT_EQ(MTimeNs(Host("C:\\dst\\a.dll")), INT64_C(1700000000123456700));
  EXPECT_TRUE(SameFile(Host("C:\\dst\\a.dll"), Host("C:\\dl\\a.dll")));
  // Deleting the source leaves the target whole.
  ASSERT_TRUE(DeleteFile("C:\\dl\\a.dll"));
  EXPECT_EQ(ReadHost(Host("C:\\dst\\a.dll")), "new content");
  EXPECT_EQ(Temporaries(Host("C:\\dst")), 0);

  // A stopped run left both names on one file: nothing to do, no temporary left behind.
  WriteHost(Host("C:\\dl\\b.dll"), "b");
  ASSERT_TRUE(LinkOrCopyFile("C:\\dl\\b.dll", "C:\\dst\\b.dll"));
  ASSERT_TRUE(LinkOrCopyFile("C:\\dl\\b.dll", "C:\\dst\\b.dll"));
  EXPECT_EQ(ReadHost(Host("C:\\dst\\b.dll")), "b");
  EXPECT_EQ(Temporaries(Host("C:\\dst")), 0);

  EXPECT_FALSE(LinkOrCopyFile("C:\\dl\\missing.dll", "C:\\dst\\m.dll"));
  EXPECT_FALSE(LastErrorText().empty());
  EXPECT_FALSE(HostExists(Host("C:\\dst\\m.dll")));
  EXPECT_FALSE(LinkOrCopyFile("C:\\dl\\b.dll", "C:\\nofolder\\b.dll"));
  ASSERT_TRUE(ForceDirectories("C:\\dst\\dir.dll"));
  EXPECT_FALSE(LinkOrCopyFile("C:\\dl\\b.dll", "C:\\dst\\dir.dll"));
  EXPECT_FALSE(LinkOrCopyFile("Q:\\b.dll", "C:\\dst\\q.dll"));
  WriteHost(Host("C:\\dl\\c.dll"), "c");
  InjectFault(Op::Copy, Host("C:\\dst\\b.dll"));
  EXPECT_FALSE(LinkOrCopyFile("C:\\dl\\c.dll", "C:\\dst\\b.dll"));
  EXPECT_EQ(ReadHost(Host("C:\\dst\\b.dll")), "b");
  EXPECT_EQ(Temporaries(Host("C:\\dst")), 0);
}

TEST_F(FileSystemTest, RenameRefusesAnExistingTargetReplaceDoesNot) {
  WriteHost(Host("C:\\d\\a"), "a");
  WriteHost(Host("C:\\d\\b"), "b");
  EXPECT_FALSE(RenameFile("C:\\d\\a", "C:\\d\\b"));
  EXPECT_EQ(ReadHost(Host("C:\\d\\b")), "b");
  EXPECT_TRUE(RenameFile("C:\\d\\a", "C:\\d\\c"));
  EXPECT_FALSE(FileExists("C:\\d\\a"));
  EXPECT_TRUE(ReplaceFile("C:\\d\\c", "C:\\d\\b"));
  EXPECT_EQ(ReadHost(Host("C:\\d\\b")), "a");
  InjectFault(Op::Rename, Host("C:\\d\\b"));
  EXPECT_FALSE(RenameFile("C:\\d\\b", "C:\\d\\e"));
}

TEST_F(FileSystemTest, DeleteFailsForFoldersMissingFilesAndInjectedLocks) {
  WriteHost(Host("C:\\d\\held.dll"), "x");
  InjectFault(Op::Delete, Host("C:\\d\\held.dll"));
  EXPECT_FALSE(DeleteFile("C:\\d\\held.dll"));
  EXPECT_TRUE(FileExists("C:\\d\\held.dll"));
  ClearFaults();
  EXPECT_TRUE(DeleteFile("C:\\d\\held.dll"));
  EXPECT_FALSE(DeleteFile("C:\\d\\held.dll"));
  EXPECT_FALSE(DeleteFile("C:\\d"));
  // A folder fault covers everything below it.
  WriteHost(Host("C:\\d\\x\\y.txt"), "x");
  InjectFault(Op::Delete, Host("C:\\d\\x") + "/");
  EXPECT_FALSE(DeleteFile("C:\\d\\x\\y.txt"));
}

TEST_F(FileSystemTest, AtomicWriteReplacesWholeOrNotAtAll) {
  ASSERT_TRUE(WriteFileAtomic("C:\\w\\..\\w.txt", "first"));
  EXPECT_EQ(ReadHost(Host("C:\\w.txt")), "first");
  std::string data;
  ASSERT_TRUE(ReadFile("C:\\W.TXT", data));
  EXPECT_EQ(data, "first");
  InjectFault(Op::Write, Host("C:\\w.txt"));
  EXPECT_FALSE(WriteFileAtomic("C:\\w.txt", "second"));
  EXPECT_EQ(ReadHost(Host("C:\\w.txt")), "first");
  EXPECT_EQ(Temporaries(Host("C:\\")), 0);
  EXPECT_FALSE(WriteFileAtomic("C:\\missing\\x.txt", "x"));
  EXPECT_FALSE(ReadFile("C:\\missing\\x.txt", data));
}

TEST_F(FileSystemTest, SizesTimesAndListing) {
  WriteHost(Host("C:\\d\\f.bin"), std::string(1234, 'x'));
  EXPECT_EQ(FileSize("C:\\d\\f.bin"), 1234);
  EXPECT_EQ(FileSize("C:\\d\\none"), -1);
  EXPECT_EQ(FileSize("C:\\d"), 0);
  ASSERT_TRUE(
      SetFileTimes("C:\\d\\f.bin", 1, INT64_C(1600000000000000000), INT64_C(1650000000000000000)));
  FileTimes t;
  ASSERT_TRUE(GetFileTimes("C:\\d\\f.bin", t));
  EXPECT_EQ(t.LastWrite, INT64_C(1650000000000000000));
  EXPECT_EQ(t.LastAccess, INT64_C(1600000000000000000));
  if (!t.HasBirthTime) {
    EXPECT_EQ(t.Creation, t.LastWrite);
  }
  EXPECT_FALSE(GetFileTimes("C:\\d\\none", t));
  std::vector<DirEntry> entries;
  stdfs::create_directories(Host("C:\\d") + "/sub");
  ASSERT_TRUE(ListDir("C:\\d", entries));
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    if (e.Name == "sub") {
      EXPECT_TRUE(e.IsDir);
    } else {
      EXPECT_EQ(e.Name, "f.bin");
      EXPECT_EQ(e.Size, 1234);
      EXPECT_EQ(e.LastWrite, INT64_C(1650000000000000000));
    }
  }
}

TEST_F(FileSystemTest, OpenFileAppendsAndReads) {
  File f;
  ASSERT_TRUE(f.Open("C:\\log\\..\\a.log", File::Mode::Append));
  ASSERT_TRUE(f.Write("one\r\n"));
  ASSERT_TRUE(f.Write("two\r\n"));
  f.Close();
  File g;
  ASSERT_TRUE(g.Open("C:\\a.log", File::Mode::Append));
  ASSERT_TRUE(g.Write("three\r\n"));
  EXPECT_EQ(g.Size(), 17);
  g.Close();
  File r;
  ASSERT_TRUE(r.Open("C:\\A.LOG", File::Mode::Read));
  char buf[64];
  int64_t n = r.Read(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(r.Read(buf, sizeof buf), 0);
  File missing;
  EXPECT_FALSE(missing.Open("C:\\none.log", File::Mode::Read));
  EXPECT_FALSE(missing.IsOpen());
  File dir;
  EXPECT_FALSE(dir.Open("C:\\", File::Mode::Read));
}

TEST_F(FileSystemTest, HostTwinsActOnMappedPaths) {
  WriteHost(Host("C:\\d") + "/A.TXT", "a");
  const std::vector<std::string> hosts =
      ov::platform::MapPathsToHost({"C:\\d\\a.txt", "C:\\d\\a.txt.parts", "C:\\d\\new\\sub"});
  ASSERT_EQ(hosts.size(), 3u);
  EXPECT_TRUE(HostFileExists(hosts[0]));  // created as A.TXT, asked for as a.txt
  EXPECT_FALSE(HostDirectoryExists(hosts[0]));
  EXPECT_FALSE(HostFileExists(hosts[1]));
  EXPECT_FALSE(HostDirectoryExists(hosts[2]));
  ASSERT_TRUE(HostForceDirectories(hosts[2]));
  EXPECT_TRUE(DirectoryExists("C:\\D\\NEW\\SUB"));
  EXPECT_TRUE(HostDirectoryExists(hosts[2]));
  EXPECT_FALSE(HostFileExists(hosts[2]));
  WriteHost(hosts[1], "p");
  InjectFault(Op::Rename, hosts[0]);
  EXPECT_FALSE(HostReplaceFile(hosts[1], hosts[0]));
  EXPECT_EQ(ReadHost(hosts[0]), "a");
  ClearFaults();
  ASSERT_TRUE(HostReplaceFile(hosts[1], hosts[0]));
  EXPECT_EQ(ReadHost(Host("C:\\d\\a.txt")), "p");
  EXPECT_FALSE(HostFileExists(hosts[1]));
  EXPECT_FALSE(HostReplaceFile(hosts[1], hosts[0]));  // nothing left to rename
  InjectFault(Op::Delete, hosts[0]);
  EXPECT_FALSE(HostDeleteFile(hosts[0]));
  EXPECT_TRUE(HostFileExists(hosts[0]));
  ClearFaults();
  ASSERT_TRUE(HostDeleteFile(hosts[0]));
  EXPECT_FALSE(FileExists("C:\\d\\a.txt"));
  EXPECT_FALSE(HostDeleteFile(hosts[0]));
  EXPECT_FALSE(LastErrorText().empty());
  EXPECT_FALSE(HostDeleteFile(hosts[2]));  // a folder
  EXPECT_TRUE(HostDirectoryExists(hosts[2]));
  WriteHost(Host("C:\\d\\file"), "x");
  EXPECT_FALSE(HostForceDirectories(Host("C:\\d\\file") + "/sub"));
}

TEST_F(FileSystemTest, AnUnmappedPathFailsWithItsName) {
  EXPECT_TRUE(CheckMapped("/x", "C:\\x"));
  EXPECT_FALSE(CheckMapped("", "Q:\\x"));
  EXPECT_NE(LastErrorText().find("Q:\\x"), std::string::npos) << LastErrorText();
  EXPECT_FALSE(HostFileExists(""));
  EXPECT_FALSE(HostDirectoryExists(""));
  EXPECT_FALSE(HostForceDirectories(""));
}

TEST_F(FileSystemTest, FreeSpaceAndVolumesOfFoldersStillToBeMade) {
  ASSERT_TRUE(ForceDirectories("C:\\Vol\\"));
  // A folder that does not exist yet is measured where it will be made.
  const int64_t free = FreeBytes("C:\\Vol\\not\\yet\\");
  EXPECT_GT(free, 0) << LastErrorText();
  bool same = false;
  ASSERT_TRUE(SameVolume("C:\\Vol\\not\\yet\\", "C:\\Vol\\", same)) << LastErrorText();
  EXPECT_TRUE(same);
  EXPECT_FALSE(PathExists("C:\\Vol\\not\\"));  // only looked at
  // A drive that does not exist has neither.
  EXPECT_EQ(FreeBytes("Q:\\x\\"), -1);
  EXPECT_FALSE(SameVolume("Q:\\x\\", "C:\\Vol\\", same));
}

TEST_F(FileSystemTest, LongPathsWithChineseNamesWork) {
  std::string dir = "C:\\长路径";
  while (dir.size() < 300) dir += "\\文件夹-0123456789";
  const std::string file = dir + "\\说明.txt";
  ASSERT_TRUE(ForceDirectories(dir)) << LastErrorText();
  ASSERT_TRUE(WriteFileAtomic(file, "内容")) << LastErrorText();
  std::string back;
  ASSERT_TRUE(ReadFile(file, back)) << LastErrorText();
  EXPECT_EQ(back, "内容");
  ASSERT_TRUE(CopyFile(file, dir + "\\副本.txt")) << LastErrorText();
  EXPECT_EQ(FileSize(dir + "\\副本.txt"), 6);
  std::vector<DirEntry> list;
  ASSERT_TRUE(ListDir(dir, list));
  EXPECT_EQ(list.size(), 2u);
}
