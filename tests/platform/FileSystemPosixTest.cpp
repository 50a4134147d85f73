#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

// The POSIX host as such: execute bits, and a drive linked to another file system.
namespace stdfs = std::filesystem;
using namespace ov::platform::fs;

namespace {

class FileSystemPosixTest : public TPrefixTest {
 protected:
  static int64_t MTimeNs(const std::string& host) {
    struct stat st {};
    stat(host.c_str(), &st);
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  }
  static mode_t Mode(const std::string& host) {
    struct stat st {};
    stat(host.c_str(), &st);
    return st.st_mode & 07777;
  }
};

}  // namespace

TEST_F(FileSystemPosixTest, InstalledProgramsGetExecuteBits) {
  ASSERT_TRUE(ForceDirectories("C:\\dst"));
  WriteHost(Host("C:\\src\\pos.exe"), "MZ");
  WriteHost(Host("C:\\src\\run.sh"), "#!/bin/sh\necho\n");
  WriteHost(Host("C:\\src\\prog"),
            "\x7f"
            "ELF....");
  WriteHost(Host("C:\\src\\data.txt"), "#not a script");
  for (const char* n : {"pos.exe", "run.sh", "prog", "data.txt"}) {
    chmod(Host(std::string("C:\\src\\") + n).c_str(), 0644);
    ASSERT_TRUE(CopyFile(std::string("C:\\src\\") + n, std::string("C:\\dst\\") + n)) << n;
  }
  EXPECT_EQ(Mode(Host("C:\\dst\\pos.exe")), 0755u);
  EXPECT_EQ(Mode(Host("C:\\dst\\run.sh")), 0755u);
  EXPECT_EQ(Mode(Host("C:\\dst\\prog")), 0755u);
  EXPECT_EQ(Mode(Host("C:\\dst\\data.txt")), 0644u);
  ASSERT_TRUE(WriteFileAtomic("C:\\dst\\svc.EXE", "x"));
  EXPECT_EQ(Mode(Host("C:\\dst\\svc.EXE")), 0755u);
  // A link to the download copy gets them as a copy would.
  WriteHost(Host("C:\\dl\\prog"),
            "\x7f"
            "ELF....");
  chmod(Host("C:\\dl\\prog").c_str(), 0644);
  ASSERT_TRUE(LinkOrCopyFile("C:\\dl\\prog", "C:\\dst\\prog2"));
  EXPECT_EQ(Mode(Host("C:\\dst\\prog2")), 0755u);
}

TEST_F(FileSystemPosixTest, LinkOrCopyCopiesAcrossFileSystems) {
  // A drive on the memory file system, where the prefix is on another one.
  const std::string shm = "/dev/shm/ovfs-" + std::to_string(::getpid());
  struct stat a {};
  struct stat b {};
  stdfs::create_directories(shm);
  if (::stat(shm.c_str(), &a) != 0 || ::stat(Prefix().c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    stdfs::remove_all(shm);
    GTEST_SKIP() << "no second file system here";
  }
  const std::string link = Prefix() + "/dosdevices/m:";
  stdfs::create_directory_symlink(shm, link);
  WriteHost(Host("C:\\dl\\x.bin"), "across");
  ASSERT_TRUE(
      SetFileTimes("C:\\dl\\x.bin", std::nullopt, std::nullopt, INT64_C(1600000000000000000)));
  const bool ok = LinkOrCopyFile("C:\\dl\\x.bin", "M:\\x.bin");
  const std::string copied = ReadHost(shm + "/x.bin");
  const int64_t mtime = MTimeNs(shm + "/x.bin");
  const int temporaries = Temporaries(shm);
  stdfs::remove(link);
  stdfs::remove_all(shm);
  EXPECT_TRUE(ok) << LastErrorText();
  EXPECT_EQ(copied, "across");
  EXPECT_EQ(mtime, INT64_C(1600000000000000000));
  EXPECT_EQ(temporaries, 0);
  EXPECT_EQ(ReadHost(Host("C:\\dl\\x.bin")), "across");
}
