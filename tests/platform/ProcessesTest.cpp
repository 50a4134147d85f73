#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/RealProcess.h"
#include "common/TestPrefix.h"
#include "platform/Paths.h"
#include "platform/Processes.h"

namespace stdfs = std::filesystem;
namespace pf = ov::platform;

namespace {

using Args = std::vector<std::string>;

class ProcessesTest : public TPrefixTest {
 protected:
  void TearDown() override {
    FChildren.EndAll();
    TPrefixTest::TearDown();
  }

  // A copy of the sample program at a Windows path of the prefix.
  void Copy(const std::string& aWinPath) {
    ASSERT_FALSE(Host(aWinPath).empty()) << aWinPath;
    ovtest::CopyProgram(OV_SAMPLE_PROGRAM, Host(aWinPath));
  }

  uint32_t Run(const std::string& aCommandLine) {
    uint32_t pid = 0;
    EXPECT_TRUE(pf::StartCommandLine(aCommandLine, 0, pid)) << aCommandLine;
    FChildren.Add(pid);
    return pid;
  }

  // Exit code of a child run to its end (-1 when it did not end in time).
  int32_t RunToEnd(const std::string& aCommandLine) {
    uint32_t pid = Run(aCommandLine);
    int32_t code = -1;
    if (!pid || !pf::WaitForProcess(pid, code, 10000)) return -1;
    return code;
  }

  ovtest::TChildren FChildren;
};

// ---- The process list and image paths

TEST_F(ProcessesTest, ListNamesThisProcessByItsExecutable) {
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  const std::string name = stdfs::path(self).filename().string();
  bool found = false;
  for (const auto& p : pf::ListProcesses()) {
    if (p.Pid == static_cast<uint32_t>(::getpid())) {
      found = true;
      EXPECT_EQ(p.ExeFile, name);
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(ProcessesTest, ImagePathOfARunningCopyIsItsWindowsPath) {
  Copy("C:\\App\\pos.exe");
  uint32_t pid = Run("C:\\App\\pos.exe");
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(pf::ProcessImagePath(pid), "C:\\App\\pos.exe");
  bool listed = false;
  for (const auto& p : pf::ListProcesses())
    listed = listed || (p.Pid == pid && p.ExeFile == "pos.exe");
  EXPECT_TRUE(listed);
}

TEST_F(ProcessesTest, ImageReplacedOrDeletedWhileRunningKeepsItsPath) {
  Copy("C:\\App\\pos.exe");
  Copy("C:\\App\\new.exe");
  uint32_t pid = Run("C:\\App\\pos.exe");
  ASSERT_NE(pid, 0u);
  // An update renames the new file over the running one.
  stdfs::rename(Host("C:\\App\\new.exe"), Host("C:\\App\\pos.exe"));
  EXPECT_EQ(pf::ProcessImagePath(pid), "C:\\App\\pos.exe");
  stdfs::remove(Host("C:\\App\\pos.exe"));
  EXPECT_EQ(pf::ProcessImagePath(pid), "C:\\App\\pos.exe");
  bool listed = false;
  for (const auto& p : pf::ListProcesses())
    listed = listed || (p.Pid == pid && p.ExeFile == "pos.exe");
  EXPECT_TRUE(listed);
}

TEST_F(ProcessesTest, ImagePathOfNoProcessIsEmpty) {
  EXPECT_EQ(pf::ProcessImagePath(0), "");
  Copy("C:\\App\\pos.exe");
  uint32_t pid = Run("C:\\App\\pos.exe --exit 0");
  int32_t code = -1;
  ASSERT_TRUE(pf::WaitForProcess(pid, code, 10000));
  EXPECT_EQ(pf::ProcessImagePath(pid), "");
}

// ---- Starting, waiting and ending

TEST_F(ProcessesTest, MissingOrUnrunnableProgramDoesNotStart) {
  uint32_t pid = 7;
  EXPECT_FALSE(pf::StartCommandLine("C:\\App\\missing.exe -x", 0, pid));
  EXPECT_EQ(pid, 0u);
  EXPECT_FALSE(pf::StartCommandLine("", 0, pid));
  EXPECT_FALSE(pf::StartCommandLine("Q:\\no-drive\\a.exe", 0, pid));
  WriteHost(Host("C:\\App\\text.exe"), "not a program");
  EXPECT_FALSE(pf::StartCommandLine("C:\\App\\text.exe", 0, pid));
  EXPECT_EQ(pid, 0u);
}

TEST_F(ProcessesTest, WaitReportsTheExitCode) {
  Copy("C:\\App\\pos.exe");
  EXPECT_EQ(RunToEnd("C:\\App\\pos.exe --exit 5"), 5);
  EXPECT_EQ(RunToEnd("\"C:\\App\\pos.exe\" --exit 0"), 0);
}

TEST_F(ProcessesTest, ArgumentsArriveSplitByWindowsRules) {
  Copy("C:\\My App\\pos.exe");
  ASSERT_EQ(
      RunToEnd("\"C:\\My App\\pos.exe\" --args-to C:\\args.txt \"a b\" c\\\"d \"e\\\\\" --exit 0"),
      0);
  EXPECT_EQ(ReadHost(Host("C:\\args.txt")), "--args-to\nC:\\args.txt\na b\nc\"d\ne\\\n--exit\n0\n");
}

TEST_F(ProcessesTest, UnquotedProgramPathWithBlanksIsTriedAtEachBlank) {
  Copy("C:\\My App\\pos.exe");
  ASSERT_EQ(RunToEnd("C:\\My App\\pos.exe --args-to C:\\args.txt --exit 0"), 0);
  EXPECT_EQ(ReadHost(Host("C:\\args.txt")), "--args-to\nC:\\args.txt\n--exit\n0\n");
  // The shorter name wins when it exists; the rest of the path becomes its argument.
  Copy("C:\\My.exe");
  ASSERT_EQ(RunToEnd("C:\\My App\\pos.exe --args-to C:\\args.txt --exit 0"), 0);
  EXPECT_EQ(ReadHost(Host("C:\\args.txt")), "App\\pos.exe\n--args-to\nC:\\args.txt\n--exit\n0\n");
}

TEST_F(ProcessesTest, BareNameIsFoundInTheProgramFolderWithExeAppended) {
  Copy("C:\\OVTest\\tool.exe");
  EXPECT_EQ(RunToEnd("tool --exit 3"), 3);
  EXPECT_EQ(RunToEnd("TOOL.exe --exit 4"), 4);
}

TEST_F(ProcessesTest, TerminateEndsTheProcessAtOnce) {
  Copy("C:\\App\\pos.exe");
  uint32_t pid = Run("C:\\App\\pos.exe --ignore-term");
  ASSERT_NE(pid, 0u);
  int32_t code = -1;
  EXPECT_FALSE(pf::WaitForProcess(pid, code, 0));  // still running
  EXPECT_TRUE(pf::TerminateProcess(pid, 0));
  ASSERT_TRUE(pf::WaitForProcess(pid, code, 10000));
  EXPECT_EQ(code, 128 + 9);
  EXPECT_FALSE(pf::TerminateProcess(0, 0));
}

TEST_F(ProcessesTest, WaitForAProcessThatIsNoChildFails) {
  int32_t code = -1;
  EXPECT_FALSE(pf::WaitForProcess(1, code, 0));
  EXPECT_FALSE(pf::WaitForProcess(0, code, -1));
}

}  // namespace
