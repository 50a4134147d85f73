#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/TestHost.h"

// Gives each test its own prefix (OV_PREFIX), XDG folders inside it, the program's folder at
// C:\OVTest\ and the start-up date formats; everything is undone afterwards. On Windows, where
// there is no prefix, the test's registry values and its folders on C:\ are removed instead.
class TPrefixTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Host path of the prefix folder.
  const std::string& Prefix() const { return FPrefix; }
  // Host path of a Windows path (through the prefix's drives).
  static std::string Host(const std::string& aWinPath);
  static void WriteHost(const std::string& aHostPath, const std::string& aData);
  static std::string ReadHost(const std::string& aHostPath);
  static bool HostExists(const std::string& aHostPath);
  // Files in a host folder whose name marks them as temporaries of an atomic write.
  static int Temporaries(const std::string& aHostDir);
  // Links drive `aLetter` to a new folder inside the prefix; returns that folder.
  std::string AddDrive(char aLetter);
  void RemoveDrive(char aLetter);

 private:
  std::string FPrefix;
  ovtest::THostIsolation FIsolation;
  std::string FDrives;  // letters of the drives the test added
};
