#include <gtest/gtest.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/RealProcessFixtures.h"
#include "platform/Win32Util.h"

namespace pf = ov::platform;

// What a running program does to its files on Windows.
namespace {

using ProcessesWin32Test = ProcessesTest;

bool OpensForWriting(const std::string& aPath) {
  HANDLE h = CreateFileW(pf::win::Widen(aPath).c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

TEST_F(ProcessesWin32Test, AHeldFileCannotBeWrittenOrDeletedUntilItsProgramEnds) {
  Copy("C:\\App\\pos.exe");
  WriteHost("C:\\App\\data.dll", "data");
  const uint32_t pid = Run("C:\\App\\pos.exe --hold C:\\App\\data.dll");
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(ovtest::PollUntil([] { return !OpensForWriting("C:\\App\\data.dll"); }));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(pf::fs::DeleteFile("C:\\App\\data.dll"));
  EXPECT_EQ(pf::fs::LastErrorCode(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(pf::fs::RenameFile("C:\\App\\data.dll", "C:\\App\\moved.dll"));

  ASSERT_TRUE(pf::TerminateProcess(pid, 0));
  int32_t code = -1;
  ASSERT_TRUE(pf::WaitForProcess(pid, code, 10000));
  EXPECT_TRUE(pf::fs::DeleteFile("C:\\App\\data.dll"));
}

}  // namespace
