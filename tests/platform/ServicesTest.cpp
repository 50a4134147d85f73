#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/RealProcess.h"
#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/Processes.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

namespace stdfs = std::filesystem;
namespace pf = ov::platform;
using pf::RootKey;
using pf::SettingsStore;

namespace {

using ovtest::IgnoresTerm;
using ovtest::PollUntil;
using ovtest::ProcState;

class ServicesTest : public TPrefixTest {
 protected:
  // runsv processes outlive their runsvdir for a moment; adopting them lets the test reap them
  // instead of leaving zombies to an init that may not collect them.
  static void SetUpTestSuite() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

  void SetUp() override {
    TPrefixTest::SetUp();
    pf::SetServiceWaitLimitMs(0);
    if (!pf::EnsureSupervision()) {
      GTEST_SKIP() << "runsvdir cannot start: runit's runsvdir and runsv must be on the PATH";
    }
    ASSERT_TRUE(pf::StopSupervision());
  }

  void TearDown() override {
    EXPECT_TRUE(pf::StopSupervision());
    ovtest::ReapAdopted();
    EXPECT_EQ(Leftovers(), "");
    pf::SetServiceWaitLimitMs(0);
    TPrefixTest::TearDown();
  }

  // Live processes whose image or working folder lies in this test's folder.
  std::string Leftovers() const {
    return ovtest::Leftovers(stdfs::path(Prefix()).parent_path().string() + "/");
  }

  void Copy(const std::string& aWinPath) {
    ASSERT_FALSE(Host(aWinPath).empty()) << aWinPath;
    ovtest::CopyProgram(OV_SAMPLE_PROGRAM, Host(aWinPath));
  }

  // The sample program as service `aName`, run from C:\Svc\<name>.exe with `aArgs`.
  void InstallSample(const std::string& aName, const std::string& aArgs = "") {
    Copy("C:\\Svc\\" + aName + ".exe");
    ASSERT_TRUE(pf::InstallService(aName, "C:\\Svc\\" + aName + ".exe" + aArgs));
  }

  std::string ServiceDir(const std::string& aName) const { return Prefix() + "/services/" + aName; }

  // The pid runsv reports for the service's process, 0 when there is none.
  uint32_t ServicePid(const std::string& aName) const {
    std::string text = ReadHost(ServiceDir(aName) + "/supervise/pid");
    return text.empty() ? 0 : static_cast<uint32_t>(std::stoul(text));
  }

  static int32_t State(const pf::ServiceHandle& aSvc) {
    pf::ServiceStatus st;
    return aSvc.QueryStatus(st) ? st.CurrentState : -1;
  }

  static bool ReachesState(const pf::ServiceHandle& aSvc, int32_t aState) {
    return PollUntil([&] { return State(aSvc) == aState; });
  }
};

// ---- Installing and opening

TEST_F(ServicesTest, InstallWritesTheKeyAndADownServiceFolder) {
  InstallSample("svc", " -service");
  std::string image;
  ASSERT_TRUE(SettingsStore::ReadString(
      RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\services\\svc", "ImagePath", image));
  EXPECT_EQ(image, "C:\\Svc\\svc.exe -service");
  EXPECT_TRUE(HostExists(ServiceDir("svc") + "/down"));
  struct stat st {};
  ASSERT_EQ(::stat((ServiceDir("svc") + "/run").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  const std::string run = ReadHost(ServiceDir("svc") + "/run");
  EXPECT_NE(run.find("exec '" + Host("C:\\Svc\\svc.exe") + "' '-service'"), std::string::npos)
      << run;
  // Nothing half-made is left for runsvdir to pick up.
  for (const auto& e : stdfs::directory_iterator(Prefix() + "/services")) {
    EXPECT_EQ(e.path().filename().string(), "svc");
  }
}

TEST_F(ServicesTest, OpenNeedsTheKeyAndTheFolderAndIgnoresCase) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("SVC"));
  EXPECT_EQ(svc.Name(), "svc");
  EXPECT_EQ(State(svc), pf::kServiceStopped);

  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine,
                                         "SYSTEM\\CurrentControlSet\\services\\keyonly",
                                         "ImagePath", "C:\\Svc\\svc.exe"));
  EXPECT_FALSE(svc.Open("keyonly"));
  EXPECT_FALSE(svc.IsOpen());
  stdfs::create_directories(ServiceDir("dironly"));
  EXPECT_FALSE(svc.Open("dironly"));
  EXPECT_FALSE(svc.Open(""));
  EXPECT_FALSE(svc.Open("../services/svc"));
}

TEST_F(ServicesTest, InstallRefusesBadNamesAndUnmappableImages) {
  Copy("C:\\Svc\\svc.exe");
  for (const std::string name : {"", "a/b", "a\\b", ".hidden", "a]b", "line\nbreak"}) {
    EXPECT_FALSE(pf::InstallService(name, "C:\\Svc\\svc.exe")) << name;
  }
  EXPECT_FALSE(pf::InstallService("svc", "C:\\Svc\\missing.exe"));
  EXPECT_FALSE(pf::InstallService("svc", "Q:\\svc.exe"));
  EXPECT_FALSE(pf::InstallService("svc", "C:\\Svc\\svc.exe\r\n"));
  EXPECT_FALSE(
      SettingsStore::KeyExists(RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\services\\svc"));
  EXPECT_FALSE(stdfs::exists(ServiceDir("svc")));
}

TEST_F(ServicesTest, InstallingAgainReplacesTheImage) {
  InstallSample("svc");
  ASSERT_TRUE(pf::InstallService("SVC", "C:\\Svc\\svc.exe --ignore-term"));
  std::string image;
  SettingsStore::ReadString(RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\services\\svc",
                            "ImagePath", image);
  EXPECT_EQ(image, "C:\\Svc\\svc.exe --ignore-term");
  EXPECT_NE(ReadHost(ServiceDir("svc") + "/run").find("'--ignore-term'"), std::string::npos);
  EXPECT_TRUE(HostExists(ServiceDir("svc") + "/down"));
}

// ---- States and controls

TEST_F(ServicesTest, StartRunsTheImageAndStopEndsIt) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  EXPECT_FALSE(svc.Control(pf::kControlStop));  // not active
  ASSERT_TRUE(svc.Start());
  EXPECT_NE(pf::SupervisorPid(), 0u);
  ASSERT_TRUE(ReachesState(svc, pf::kServiceRunning));
  const uint32_t pid = ServicePid("svc");
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(pf::ProcessImagePath(pid), "C:\\Svc\\svc.exe");

  ASSERT_TRUE(svc.Control(pf::kControlStop));
  ASSERT_TRUE(ReachesState(svc, pf::kServiceStopped));
  EXPECT_TRUE(
      PollUntil([&] { return ::kill(static_cast<pid_t>(pid), 0) != 0 || ProcState(pid) == 'Z'; }));
  EXPECT_FALSE(svc.Control(pf::kControlContinue));
  EXPECT_FALSE(svc.Control(99));
}

TEST_F(ServicesTest, RunningServiceThatIgnoresStopIsStopPending) {
  InstallSample("svc", " --ignore-term");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  ASSERT_TRUE(svc.Start());
  ASSERT_TRUE(ReachesState(svc, pf::kServiceRunning));
  ASSERT_TRUE(PollUntil([&] { return IgnoresTerm(ServicePid("svc")); }));
  ASSERT_TRUE(svc.Control(pf::kControlStop));
  ASSERT_TRUE(ReachesState(svc, pf::kServiceStopPending));
  pf::ServiceStatus st;
  ASSERT_TRUE(svc.QueryStatus(st));
  EXPECT_GT(st.WaitHint, 0);
  pf::SetServiceWaitLimitMs(500);  // the teardown kills it after this grace
}

TEST_F(ServicesTest, WantedUpButNotRunningIsStartPending) {
  InstallSample("svc", " --exit 1");  // ends at once; runsv retries every second
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  ASSERT_TRUE(svc.Start());
  ASSERT_TRUE(ReachesState(svc, pf::kServiceStartPending));
}

TEST_F(ServicesTest, QueryFailsWhenTheServiceFolderWentAway) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  stdfs::remove_all(ServiceDir("svc"));
  pf::ServiceStatus st;
  EXPECT_FALSE(svc.QueryStatus(st));
  EXPECT_FALSE(svc.Start());
}

// ---- Supervision

TEST_F(ServicesTest, SupervisorIsFoundAgainThroughItsPidFile) {
  EXPECT_EQ(pf::SupervisorPid(), 0u);
  ASSERT_TRUE(pf::EnsureSupervision());
  const uint32_t first = pf::SupervisorPid();
  ASSERT_NE(first, 0u);
  EXPECT_EQ(ReadHost(Prefix() + "/runsvdir.pid"), std::to_string(first) + "\n");
  ASSERT_TRUE(pf::EnsureSupervision());
  EXPECT_EQ(pf::SupervisorPid(), first);
  ASSERT_TRUE(pf::StopSupervision());
  EXPECT_EQ(pf::SupervisorPid(), 0u);

  // A stale pid file naming another process is not taken for a supervisor.
  WriteHost(Prefix() + "/runsvdir.pid", std::to_string(::getpid()) + "\n");
  EXPECT_EQ(pf::SupervisorPid(), 0u);
  ASSERT_TRUE(pf::EnsureSupervision());
  const uint32_t second = pf::SupervisorPid();
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, static_cast<uint32_t>(::getpid()));
}

TEST_F(ServicesTest, ServiceInstalledWhileSupervisedStartsWhenPickedUp) {
  ASSERT_TRUE(pf::EnsureSupervision());
  InstallSample("late");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("late"));
  EXPECT_EQ(State(svc), pf::kServiceStopped);
  ASSERT_TRUE(svc.Start());
  EXPECT_TRUE(ReachesState(svc, pf::kServiceRunning));
}

TEST_F(ServicesTest, StopSupervisionEndsEverySupervisorAndService) {
  InstallSample("one");
  InstallSample("two");
  InstallSample("idle");
  pf::ServiceHandle one, two;
  ASSERT_TRUE(one.Open("one"));
  ASSERT_TRUE(two.Open("two"));
  ASSERT_TRUE(one.Start());
  ASSERT_TRUE(two.Start());
  ASSERT_TRUE(ReachesState(one, pf::kServiceRunning));
  ASSERT_TRUE(ReachesState(two, pf::kServiceRunning));
  const uint32_t p1 = ServicePid("one"), p2 = ServicePid("two");

  ASSERT_TRUE(pf::StopSupervision());
  EXPECT_EQ(pf::SupervisorPid(), 0u);
  ovtest::ReapAdopted();
  for (uint32_t pid : {p1, p2}) {
    EXPECT_TRUE(::kill(static_cast<pid_t>(pid), 0) != 0 || ProcState(pid) == 'Z') << pid;
  }
  EXPECT_EQ(Leftovers(), "");
  EXPECT_EQ(State(one), pf::kServiceStopped);
}

// ---- The registered services

TEST_F(ServicesTest, RegisteredServicesListsTheSubKeysWithTheirImages) {
  const std::string key = "SYSTEM\\CurrentControlSet\\services\\";
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, key + "beta", "ImagePath",
                                         "\"C:\\b\\b.exe\" -k"));
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, key + "alpha", "ImagePath",
                                         "C:\\a\\a.exe"));
  ASSERT_TRUE(SettingsStore::CreateKey(RootKey::LocalMachine, key + "noimage"));
  ASSERT_TRUE(
      SettingsStore::WriteString(RootKey::LocalMachine, key + "alpha\\Parameters", "X", "1"));
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine,
                                         "SYSTEM\\CurrentControlSet\\servicesX\\other", "ImagePath",
                                         "C:\\o.exe"));
  std::vector<pf::RegisteredService> list;
  ASSERT_TRUE(pf::RegisteredServices(list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Name, "beta");
  EXPECT_EQ(list[0].ImagePath, "\"C:\\b\\b.exe\" -k");
  EXPECT_EQ(list[1].Name, "alpha");
  EXPECT_EQ(list[1].ImagePath, "C:\\a\\a.exe");
  EXPECT_EQ(list[2].Name, "noimage");
  EXPECT_EQ(list[2].ImagePath, "");
  for (const auto& s : list) EXPECT_EQ(s.Error, "") << s.Name;
}

TEST_F(ServicesTest, RegisteredServicesReportsWhatTheStoreCannotOpen) {
  // The store addresses keys with "/" as a separator, so a sub-key spelt with one is listed
  // but cannot be read.
  WriteHost(SettingsStore::StoreFile(RootKey::LocalMachine),
            "[SYSTEM\\CurrentControlSet\\services\\odd/name]\r\nImagePath=C:\\x.exe\r\n"
            "[SYSTEM\\CurrentControlSet\\services\\fine]\r\nImagePath=C:\\y.exe\r\n");
  std::vector<pf::RegisteredService> list;
  ASSERT_TRUE(pf::RegisteredServices(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Name, "odd/name");
  EXPECT_NE(list[0].Error, "");
  EXPECT_EQ(list[1].ImagePath, "C:\\y.exe");
  EXPECT_EQ(list[1].Error, "");

  pf::fs::InjectFault(pf::fs::Op::Open, SettingsStore::StoreFile(RootKey::LocalMachine));
  EXPECT_FALSE(pf::RegisteredServices(list));
  EXPECT_TRUE(list.empty());
}

}  // namespace
