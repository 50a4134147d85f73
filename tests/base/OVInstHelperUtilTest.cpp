#include <gtest/gtest.h>

#include <memory>

#include "base/OVInstHelperUtil.h"
#include "common/TestPrefix.h"
#include "platform/SettingsStore.h"
#include "platform/ShellLinks.h"

using TAvailablePathTest = TPrefixTest;
// The prefix as such: its C and Z drives can be taken away, which Windows' cannot.
using TAvailablePathPosixTest = TPrefixTest;

TEST_F(TAvailablePathTest, PathOnAnExistingDriveStays) {
  EXPECT_EQ(TInstHelper::GetAvailablePath(""), "");
  EXPECT_EQ(TInstHelper::GetAvailablePath("C:\\ProgramData\\OVInstCache\\"),
            "C:\\ProgramData\\OVInstCache\\");
  // The folder itself need not exist.
  EXPECT_EQ(TInstHelper::GetAvailablePath("c:\\Not\\There\\"), "c:\\Not\\There\\");
}

TEST_F(TAvailablePathTest, OnlyCMovesAMissingDriveToC) {
  RemoveDrive('z');
  EXPECT_EQ(TInstHelper::GetAvailablePath("D:\\Ondrevo\\Corvela\\"), "C:\\Ondrevo\\Corvela\\");
}

TEST_F(TAvailablePathPosixTest, FirstExistingDriveWinsWhenCIsMissing) {
  RemoveDrive('c');
  AddDrive('e');
  EXPECT_EQ(TInstHelper::GetAvailablePath("C:\\ProgramData\\OVInstCache\\"),
            "E:\\ProgramData\\OVInstCache\\");
  RemoveDrive('e');
  // z: is the last resort on this host.
  EXPECT_EQ(TInstHelper::GetAvailablePath("C:\\x\\"), "Z:\\x\\");
  RemoveDrive('z');
  EXPECT_EQ(TInstHelper::GetAvailablePath("C:\\x\\"), "C:\\x\\");
}

TEST_F(TAvailablePathTest, NonDrivePathsStayAsTheyAre) {
  EXPECT_EQ(TInstHelper::GetAvailablePath(".\\bin\\"), ".\\bin\\");
  EXPECT_EQ(TInstHelper::GetAvailablePath("\\\\server\\share\\"), "\\\\server\\share\\");
}

namespace {

class InstHelperTest : public TPrefixTest {};
// Shortcuts as the desktop entries of the POSIX host.
using InstHelperPosixTest = InstHelperTest;

class TFakePicker : public ov::platform::IFolderPicker {
 public:
  bool PickFolder(const std::string& aCaption, std::string& aFolder) override {
    Caption = aCaption;
    Started = aFolder;
    if (Answer.empty()) return false;
    aFolder = Answer;
    return true;
  }
  std::string Caption, Started, Answer;
};

}  // namespace

TEST_F(InstHelperTest, RememberedValuesLiveUnderTheOwnKey) {
  EXPECT_EQ(TInstHelper::GetRegKey(), "SOFTWARE\\ONDREVO");
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", "D:\\def"), "");  // the key is made; no value
  ASSERT_TRUE(TInstHelper::SetReg("KetrinPath", "D:\\soft"));
  EXPECT_EQ(TInstHelper::getReg("ketrinpath", "x"), "D:\\soft");
  std::string raw;
  ASSERT_TRUE(ov::platform::SettingsStore::ReadString(
      ov::platform::RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\OVOnlineSetup", "KetrinPath", raw));
  EXPECT_EQ(raw, "D:\\soft");
  ASSERT_TRUE(TInstHelper::SetReg("PathFile", "E:\\zel", "SOFTWARE\\ONDREVO\\OVZelService"));
  EXPECT_EQ(TInstHelper::getReg("PathFile", "", "SOFTWARE\\ONDREVO\\OVZelService"), "E:\\zel");
  EXPECT_EQ(TInstHelper::getReg("PathFile", ""), "");
}

TEST_F(InstHelperPosixTest, ShortcutsAreDesktopEntries) {
  WriteHost(Host("C:\\App\\shop.exe"), "x");
  TInstHelper::CreateDesktopIcon("C:\\App\\shop.exe", "Shop", "Shop front", "");
  const std::string desktop = TInstHelper::GetSysDir("Desktop");
  ASSERT_FALSE(desktop.empty());
  const std::string entry = ReadHost(Host(desktop + "\\Shop.desktop"));
  EXPECT_NE(entry.find("Type=Application\n"), std::string::npos);
  EXPECT_NE(entry.find("Name=Shop\n"), std::string::npos);
  EXPECT_NE(entry.find("Comment=Shop front\n"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"" + Host("C:\\App\\shop.exe") + "\"\n"), std::string::npos);
  EXPECT_NE(entry.find("Path=" + Host("C:\\App\\") + "\n"), std::string::npos);
  EXPECT_NE(entry.find("Icon=" + Host("C:\\App\\shop.exe") + "\n"), std::string::npos);

  // The all-users desktop comes first when it is known.
  WriteHost(Host("C:\\Users\\Public\\Desktop\\keep"), "");
  ov::platform::SettingsStore::WriteString(
      ov::platform::RootKey::LocalMachine,
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Common Desktop",
      "C:\\Users\\Public\\Desktop");
  TInstHelper::CreateDesktopIcon("http://shop.example/", "Web", "", "C:\\App\\w.ico");
  const std::string link = ReadHost(Host("C:\\Users\\Public\\Desktop\\Web.desktop"));
  EXPECT_NE(link.find("Type=Link\n"), std::string::npos);
  EXPECT_NE(link.find("URL=http://shop.example/\n"), std::string::npos);
}

TEST_F(InstHelperPosixTest, StartMenuEntriesGoBelowProgramsAndTheirGroup) {
  TInstHelper::CreateStartupIcon("C:\\App\\pos.exe", "Ketrin", "KetrinPos", "POS", "");
  TInstHelper::CreateStartupIcon("C:\\App\\pos.exe", "", "Plain", "POS", "");
  const std::string menu = TInstHelper::GetSysDir("Start Menu");
  EXPECT_TRUE(HostExists(Host(menu + "\\Programs\\Ketrin\\KetrinPos.desktop")));
  EXPECT_TRUE(HostExists(Host(menu + "\\Programs\\Plain.desktop")));
}

TEST_F(InstHelperTest, FolderDialogGoesThroughThePicker) {
  std::string folder = "C:\\old";
  EXPECT_FALSE(TInstHelper::SelectFolderDialog(nullptr, "Pick", "", folder));  // no picker
  EXPECT_EQ(folder, "C:\\old");
  auto picker = std::make_shared<TFakePicker>();
  ov::platform::SetFolderPicker(picker);
  EXPECT_FALSE(TInstHelper::SelectFolderDialog(nullptr, "Pick", "D:\\start", folder));
  EXPECT_EQ(picker->Started, "D:\\start");
  picker->Answer = "E:\\chosen";
  EXPECT_TRUE(TInstHelper::SelectFolderDialog(nullptr, "Pick", "", folder));
  EXPECT_EQ(folder, "E:\\chosen");
  EXPECT_EQ(picker->Caption, "Pick");
  ov::platform::SetFolderPicker(nullptr);
}
