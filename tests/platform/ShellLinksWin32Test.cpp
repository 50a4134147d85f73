#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/TestPrefix.h"
#include "platform/ShellLinks.h"
#include "platform/Win32Util.h"
// clang-format off
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>  // need windows.h before them
// clang-format on

namespace pf = ov::platform;

// Shortcuts are the shell's own .lnk files.
namespace {

using ShellLinksWin32Test = TPrefixTest;

struct TReadBack {
  HRESULT Result = E_FAIL;
  std::string Target, WorkingDir, Description, IconFile;
  int Icon = -1;
};

std::string Text(const wchar_t* aBuf) { return pf::win::Narrow(aBuf); }

// What the shell reads from a .lnk file, on a thread of its own with its own apartment.
TReadBack ReadShortcut(const std::string& aLnkFile) {
  TReadBack r;
  std::thread([&] {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    r.Result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
    if (SUCCEEDED(r.Result)) {
      r.Result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    }
    if (SUCCEEDED(r.Result)) r.Result = file->Load(pf::win::Widen(aLnkFile).c_str(), STGM_READ);
    if (SUCCEEDED(r.Result)) {
      wchar_t buf[MAX_PATH] = {};
      link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
      r.Target = Text(buf);
      buf[0] = 0;
      link->GetWorkingDirectory(buf, MAX_PATH);
      r.WorkingDir = Text(buf);
      buf[0] = 0;
      link->GetDescription(buf, MAX_PATH);
      r.Description = Text(buf);
      buf[0] = 0;
      link->GetIconLocation(buf, MAX_PATH, &r.Icon);
      r.IconFile = Text(buf);
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
  }).join();
  return r;
}

TEST_F(ShellLinksWin32Test, ALnkFileReadsBackThroughTheShell) {
  WriteHost("C:\\App\\shop.exe", "MZ");
  const pf::ShortcutSpec wanted{"C:\\App\\shop.exe", "C:\\店铺", "店铺 front", "C:\\店铺\\shop.ico"};
  pf::SaveShortcut("C:\\Links\\Deep\\店铺.lnk", wanted);
  EXPECT_EQ(pf::ShortcutFileOf("C:\\Links\\Deep\\店铺.lnk"), "C:\\Links\\Deep\\店铺.lnk");
  const TReadBack r = ReadShortcut("C:\\Links\\Deep\\店铺.lnk");
  ASSERT_TRUE(SUCCEEDED(r.Result)) << std::hex << r.Result;
  EXPECT_EQ(r.Target, wanted.Target);
  EXPECT_EQ(r.WorkingDir, wanted.WorkingDir);
  EXPECT_EQ(r.Description, wanted.Description);
  EXPECT_EQ(r.IconFile, wanted.IconFile);
  EXPECT_EQ(r.Icon, 0);
}

// A .lnk keeps the target's path in UTF-16 beside the code page's form.
TEST_F(ShellLinksWin32Test, ATargetWithChineseNamesReadsBack) {
  WriteHost("C:\\店铺\\shop.exe", "MZ");
  pf::SaveShortcut("C:\\Links\\shop.lnk", pf::ShortcutSpec{"C:\\店铺\\shop.exe", "", "", ""});
  const TReadBack r = ReadShortcut("C:\\Links\\shop.lnk");
  ASSERT_TRUE(SUCCEEDED(r.Result)) << std::hex << r.Result;
  EXPECT_EQ(r.Target, "C:\\店铺\\shop.exe");
}

// The shell's objects need COM on the calling thread: one that has none gets it for the call
// only, and one that has a multithreaded apartment keeps it.
TEST_F(ShellLinksWin32Test, ShortcutsAreSavedFromThreadsWithAndWithoutCom) {
  const pf::ShortcutSpec wanted{"C:\\App\\a.exe", "", "", ""};
  std::string bare, mta;
  HRESULT after = E_FAIL, mtaAgain = E_FAIL;
  std::thread([&] {
    try {
      pf::SaveShortcut("C:\\Links\\bare.lnk", wanted);
    } catch (const std::exception& e) {
      bare = e.what();
    }
    // Nothing of the call's apartment is left on the thread.
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(after)) CoUninitialize();
  }).join();
  std::thread([&] {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
    try {
      pf::SaveShortcut("C:\\Links\\mta.lnk", wanted);
    } catch (const std::exception& e) {
      mta = e.what();
    }
    mtaAgain = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(mtaAgain)) CoUninitialize();
    CoUninitialize();
  }).join();
  EXPECT_EQ(bare, "");
  EXPECT_EQ(after, S_OK);
  EXPECT_EQ(mta, "");
  EXPECT_EQ(mtaAgain, S_FALSE);  // still the thread's own multithreaded apartment
  EXPECT_EQ(ReadShortcut("C:\\Links\\bare.lnk").Target, "C:\\App\\a.exe");
  EXPECT_EQ(ReadShortcut("C:\\Links\\mta.lnk").Target, "C:\\App\\a.exe");
}

}  // namespace
