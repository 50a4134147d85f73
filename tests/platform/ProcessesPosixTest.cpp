#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/RealProcessFixtures.h"

namespace stdfs = std::filesystem;
namespace pf = ov::platform;

// Images as /proc shows them: a file renamed over or deleted while it runs.
namespace {

using ProcessesPosixTest = ProcessesTest;

TEST_F(ProcessesPosixTest, ImageReplacedOrDeletedWhileRunningKeepsItsPath) {
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

}  // namespace
