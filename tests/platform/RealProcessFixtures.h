#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/RealProcess.h"
#include "common/TestPrefix.h"
#include "platform/Processes.h"
#include "platform/Services.h"

// Fixtures of the suites that run copies of the sample program, on both hosts.

class ProcessesTest : public TPrefixTest {
 protected:
  void TearDown() override {
    FChildren.EndAll();
    TPrefixTest::TearDown();
  }

  // A copy of the sample program at a Windows path.
  void Copy(const std::string& aWinPath) {
    ASSERT_FALSE(Host(aWinPath).empty()) << aWinPath;
    ovtest::CopyProgram(OV_SAMPLE_PROGRAM, Host(aWinPath));
  }

  uint32_t Run(const std::string& aCommandLine) {
    uint32_t pid = 0;
    EXPECT_TRUE(ov::platform::StartCommandLine(aCommandLine, 0, pid)) << aCommandLine;
    FChildren.Add(pid);
    return pid;
  }

  // Exit code of a child run to its end (-1 when it did not end in time).
  int32_t RunToEnd(const std::string& aCommandLine) {
    uint32_t pid = Run(aCommandLine);
    int32_t code = -1;
    if (!pid || !ov::platform::WaitForProcess(pid, code, 10000)) return -1;
    return code;
  }

  ovtest::TChildren FChildren;
};

// Services run from copies of the sample program in C:\Svc; whatever a test installed is gone
// after it.
class ServicesTest : public ProcessesTest {
 protected:
  void SetUp() override {
    ProcessesTest::SetUp();
    ov::platform::SetServiceWaitLimitMs(0);
    std::string whyNot;
    if (!FServices.Begin(whyNot)) GTEST_SKIP() << whyNot;
  }

  void TearDown() override {
    EXPECT_TRUE(FServices.EndAll());
    EXPECT_EQ(ovtest::Leftovers(Host("C:\\Svc")), "");
    ov::platform::SetServiceWaitLimitMs(0);
    ProcessesTest::TearDown();
  }

  // The sample program as service `aName`, run from C:\Svc\<name>.exe with `aArgs`.
  void InstallSample(const std::string& aName, const std::string& aArgs = "") {
    Copy("C:\\Svc\\" + aName + ".exe");
    FServices.Add(aName);
    ASSERT_TRUE(ov::platform::InstallService(aName, "C:\\Svc\\" + aName + ".exe" + aArgs));
  }

  static ov::platform::ServiceStatus Status(const ov::platform::ServiceHandle& aSvc) {
    ov::platform::ServiceStatus st;
    if (!aSvc.QueryStatus(st)) st.CurrentState = -1;
    return st;
  }
  static int32_t State(const ov::platform::ServiceHandle& aSvc) {
    return Status(aSvc).CurrentState;
  }
  static bool ReachesState(const ov::platform::ServiceHandle& aSvc, int32_t aState) {
    return ovtest::PollUntil([&] { return State(aSvc) == aState; });
  }

  ovtest::TServices FServices;
};
