#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/RealProcessFixtures.h"

namespace pf = ov::platform;

namespace {

using ovtest::IgnoresTerm;
using ovtest::PollUntil;
using ovtest::ProcessEnded;

std::string ImageOf(const std::string& aName) {
  std::vector<pf::RegisteredService> list;
  EXPECT_TRUE(pf::RegisteredServices(list));
  for (const auto& s : list) {
    if (s.Name == aName) return s.ImagePath;
  }
  return "(not registered)";
}

// ---- Installing and opening

TEST_F(ServicesTest, OpenIgnoresCaseAndNamesTheServiceAsInstalled) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("SVC"));
  EXPECT_TRUE(svc.IsOpen());
  EXPECT_EQ(svc.Name(), "svc");
  EXPECT_EQ(State(svc), pf::kServiceStopped);
  EXPECT_EQ(Status(svc).ProcessId, 0u);

  EXPECT_FALSE(svc.Open("nosuchservice"));
  EXPECT_FALSE(svc.IsOpen());
  EXPECT_FALSE(svc.Open(""));
  EXPECT_FALSE(svc.Open("a\\svc"));
}

TEST_F(ServicesTest, InstallRefusesBadNamesAndMissingImages) {
  Copy("C:\\Svc\\svc.exe");
  FServices.Add("svc");
  for (const std::string& name : {std::string(), std::string("a/b"), std::string("a\\b"),
                                  std::string("line\nbreak"), std::string(257, 'n')}) {
    EXPECT_FALSE(pf::InstallService(name, "C:\\Svc\\svc.exe")) << name;
  }
  EXPECT_FALSE(pf::InstallService("svc", "C:\\Svc\\missing.exe"));
  EXPECT_FALSE(pf::InstallService("svc", "Q:\\svc.exe"));
  EXPECT_FALSE(pf::InstallService("svc", "C:\\Svc\\svc.exe\r\n"));
  pf::ServiceHandle svc;
  EXPECT_FALSE(svc.Open("svc"));
}

TEST_F(ServicesTest, InstallingAgainReplacesTheImage) {
  InstallSample("svc");
  EXPECT_EQ(ImageOf("svc"), "C:\\Svc\\svc.exe");
  ASSERT_TRUE(pf::InstallService("SVC", "C:\\Svc\\svc.exe --ignore-term"));
  EXPECT_EQ(ImageOf("svc"), "C:\\Svc\\svc.exe --ignore-term");
}

TEST_F(ServicesTest, RegisteredServicesListInstalledServicesWithTheirImages) {
  InstallSample("alpha");
  InstallSample("beta", " -k \"x y\"");
  std::vector<pf::RegisteredService> list;
  ASSERT_TRUE(pf::RegisteredServices(list));
  int seen = 0;
  for (const auto& s : list) {
    if (s.Name == "alpha") {
      ++seen;
      EXPECT_EQ(s.ImagePath, "C:\\Svc\\alpha.exe");
    } else if (s.Name == "beta") {
      ++seen;
      EXPECT_EQ(s.ImagePath, "C:\\Svc\\beta.exe -k \"x y\"");
    }
    if (s.Name == "alpha" || s.Name == "beta") {
      EXPECT_EQ(s.Error, "") << s.Name;
    }
  }
  EXPECT_EQ(seen, 2);
}

// ---- States and controls

TEST_F(ServicesTest, StartRunsTheImageAndStopEndsIt) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  EXPECT_FALSE(svc.Control(pf::kControlStop));  // not active
  ASSERT_TRUE(svc.Start());
  ASSERT_TRUE(ReachesState(svc, pf::kServiceRunning));
  const uint32_t pid = Status(svc).ProcessId;
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(pf::ProcessImagePath(pid), "C:\\Svc\\svc.exe");
  EXPECT_TRUE(svc.Start());  // already running

  ASSERT_TRUE(svc.Control(pf::kControlStop));
  ASSERT_TRUE(ReachesState(svc, pf::kServiceStopped));
  EXPECT_TRUE(PollUntil([&] { return ProcessEnded(pid); }));
  EXPECT_EQ(Status(svc).ProcessId, 0u);
  EXPECT_FALSE(svc.Control(pf::kControlContinue));
  EXPECT_FALSE(svc.Control(99));
}

TEST_F(ServicesTest, RunningServiceThatIgnoresStopIsStopPending) {
  InstallSample("svc", " --ignore-term");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  ASSERT_TRUE(svc.Start());
  ASSERT_TRUE(ReachesState(svc, pf::kServiceRunning));
  const uint32_t pid = Status(svc).ProcessId;
  ASSERT_TRUE(PollUntil([&] { return IgnoresTerm(pid); }));
  ASSERT_TRUE(svc.Control(pf::kControlStop));
  ASSERT_TRUE(ReachesState(svc, pf::kServiceStopPending));
  EXPECT_GT(Status(svc).WaitHint, 0);
  EXPECT_FALSE(ProcessEnded(pid));
  pf::SetServiceWaitLimitMs(500);  // the teardown kills it after this grace
}

TEST_F(ServicesTest, QueryFailsWhenTheServiceWentAway) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  ASSERT_TRUE(ovtest::TServices::Remove("svc"));
  pf::ServiceStatus st;
  EXPECT_FALSE(svc.QueryStatus(st));
  EXPECT_FALSE(svc.Start());
}

}  // namespace
