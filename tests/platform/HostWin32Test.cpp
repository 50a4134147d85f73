#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/Win32Util.h"  // windows.h without the macros that rename the file layer

// What only Windows does: the real registry behind the settings store, and files that the
// system itself refuses to touch.
using namespace ov::platform;

namespace {

using PlatformWin32Test = TPrefixTest;

std::wstring W(const std::string& s) { return ovtest::FsPath(s).wstring(); }

}  // namespace

TEST_F(PlatformWin32Test, SettingsAreRegistryValuesInThe32BitView) {
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\T", "Path",
                                         "D:\\店铺\\"));
  // The test root stands for HKLM; the value is a REG_SZ there, in the 32-bit view.
  const std::wstring key = L"Software\\OVTest\\" + std::to_wstring(GetCurrentProcessId()) +
                           L"\\Machine\\SOFTWARE\\ONDREVO\\T";
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY, &h),
            ERROR_SUCCESS);
  wchar_t buf[64] = {};
  DWORD size = sizeof buf - sizeof(wchar_t);
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExW(h, L"path", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(buf), L"D:\\店铺\\");
  // Unlike the stand-in's sections, the registry has the keys on the way.
  EXPECT_TRUE(SettingsStore::KeyExists(RootKey::LocalMachine, "SOFTWARE\\ONDREVO"));
  // A value written by another program is read back, whatever the case of its names.
  const std::wstring v = L"中文";
  RegSetValueExW(h, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                 static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
  const DWORD n = 7;
  RegSetValueExW(h, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
  RegCloseKey(h);
  std::string got;
  EXPECT_TRUE(
      SettingsStore::ReadString(RootKey::LocalMachine, "software\\ondrevo\\t", "OTHER", got));
  EXPECT_EQ(got, "中文");
  // Not a string: not read as one.
  EXPECT_FALSE(
      SettingsStore::ReadString(RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\T", "Number", got));
}

TEST_F(PlatformWin32Test, AFileHeldOpenOrReadOnlyFailsWithTheSystemsReason) {
  WriteHost("C:\\held\\a.dll", "old");
  HANDLE held = CreateFileW(W("C:\\held\\a.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(fs::DeleteFile("C:\\held\\a.dll"));
  EXPECT_EQ(fs::LastErrorCode(), ERROR_SHARING_VIOLATION);
  EXPECT_NE(fs::LastErrorText().find("C:\\held\\a.dll: "), std::string::npos);
  WriteHost("C:\\held\\new.dll", "new");
  EXPECT_FALSE(fs::CopyFile("C:\\held\\new.dll", "C:\\held\\a.dll"));
  EXPECT_FALSE(fs::LastErrorText().empty());
  CloseHandle(held);
  EXPECT_EQ(ReadHost("C:\\held\\a.dll"), "old");

  ASSERT_TRUE(SetFileAttributesW(W("C:\\held\\a.dll").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(fs::DeleteFile("C:\\held\\a.dll"));
  EXPECT_EQ(fs::LastErrorCode(), ERROR_ACCESS_DENIED);
  SetFileAttributesW(W("C:\\held\\a.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(fs::DeleteFile("C:\\held\\a.dll"));
}

TEST_F(PlatformWin32Test, PathsAreTheSystemsOwn) {
  EXPECT_EQ(MapToHost("C:\\Ondrevo\\Ketrin\\a.dll"), "C:\\Ondrevo\\Ketrin\\a.dll");
  EXPECT_EQ(MapToHost(".\\bin\\a.dll"), ".\\bin\\a.dll");
  EXPECT_TRUE(DriveExists('c'));
  // A drive that is not there maps to nothing, as on the other host.
  EXPECT_FALSE(DriveExists('q'));
  EXPECT_EQ(MapToHost("Q:\\x.ini"), "");
  // The running program, once no test names another.
  SetProgramFileOverride("");
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(ovtest::FsPath(ProgramFile()), std::filesystem::path(self));
  EXPECT_NE(ProgramFile().rfind("platform_tests.exe"), std::string::npos);
}
