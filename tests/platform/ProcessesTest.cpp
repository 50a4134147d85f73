#include <gtest/gtest.h>

#include <string>

#include "base/OVStrUtil.h"
#include "platform/Paths.h"
#include "platform/RealProcessFixtures.h"

namespace pf = ov::platform;

namespace {

// ---- The process list and image paths

TEST_F(ProcessesTest, ListNamesThisProcessByItsExecutable) {
  pf::SetProgramFileOverride("");
  const std::string name = ov::str::ExtractFileName(pf::ProgramFile());
  ASSERT_FALSE(name.empty());
  bool found = false;
  for (const auto& p : pf::ListProcesses()) {
    if (p.Pid == ovtest::SelfPid()) {
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
  EXPECT_TRUE(pf::TerminateProcess(pid, 7));
  ASSERT_TRUE(pf::WaitForProcess(pid, code, 10000));
  EXPECT_EQ(code, ovtest::TerminatedExitCode(7));
  EXPECT_FALSE(pf::TerminateProcess(0, 0));
}

TEST_F(ProcessesTest, WaitForAProcessThatIsNoChildFails) {
  int32_t code = -1;
  EXPECT_FALSE(pf::WaitForProcess(1, code, 0));
  EXPECT_FALSE(pf::WaitForProcess(0, code, -1));
}

}  // namespace
