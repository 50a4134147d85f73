#include "base/OVInstHelperUtil.h"

#include <gtest/gtest.h>

#include "common/TestPrefix.h"

using TAvailablePathTest = TPrefixTest;

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

TEST_F(TAvailablePathTest, FirstExistingDriveWinsWhenCIsMissing) {
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
