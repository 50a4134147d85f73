#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/FileSystem.h"
#include "platform/RealProcessFixtures.h"
#include "platform/SettingsStore.h"

namespace stdfs = std::filesystem;
namespace pf = ov::platform;
using pf::RootKey;
using pf::SettingsStore;

// The runit stand-in as such: service folders, run scripts, runsvdir and the settings store as
// the service database.
namespace {

using ovtest::ProcessEnded;

class ServicesPosixTest : public ServicesTest {
 protected:
  void TearDown() override {
    const std::string dir = stdfs::path(Prefix()).parent_path().string() + "/";
    ServicesTest::TearDown();
    // Nothing else the test ran (a runsv works in the prefix) is left either.
    EXPECT_EQ(ovtest::Leftovers(dir), "");
  }

  std::string Leftovers() const {
    return ovtest::Leftovers(stdfs::path(Prefix()).parent_path().string() + "/");
  }

  std::string ServiceDir(const std::string& aName) const { return Prefix() + "/services/" + aName; }

  // The pid runsv reports for the service's process, 0 when there is none.
  uint32_t ServicePid(const std::string& aName) const {
    std::string text = ReadHost(ServiceDir(aName) + "/supervise/pid");
    return text.empty() ? 0 : static_cast<uint32_t>(std::stoul(text));
  }
};

// ---- Installing and opening

TEST_F(ServicesPosixTest, InstallWritesTheKeyAndADownServiceFolder) {
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

TEST_F(ServicesPosixTest, OpenNeedsTheKeyAndTheFolder) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine,
                                         "SYSTEM\\CurrentControlSet\\services\\keyonly",
                                         "ImagePath", "C:\\Svc\\svc.exe"));
  EXPECT_FALSE(svc.Open("keyonly"));
  EXPECT_FALSE(svc.IsOpen());
  stdfs::create_directories(ServiceDir("dironly"));
  EXPECT_FALSE(svc.Open("dironly"));
  EXPECT_FALSE(svc.Open("../services/svc"));
}

TEST_F(ServicesPosixTest, InstallRefusesNamesNoFolderOrSectionCanHoldAndLeavesNothing) {
  Copy("C:\\Svc\\svc.exe");
  // A dot name is hidden from runsvdir; "]" ends a section of the settings store.
  for (const std::string name : {".hidden", "a]b"}) {
    EXPECT_FALSE(pf::InstallService(name, "C:\\Svc\\svc.exe")) << name;
  }
  EXPECT_FALSE(pf::InstallService("svc", "C:\\Svc\\missing.exe"));
  EXPECT_FALSE(
      SettingsStore::KeyExists(RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\services\\svc"));
  EXPECT_FALSE(stdfs::exists(ServiceDir("svc")));
}

TEST_F(ServicesPosixTest, InstallingAgainReplacesTheRunScriptAndStaysDown) {
  InstallSample("svc");
  ASSERT_TRUE(pf::InstallService("SVC", "C:\\Svc\\svc.exe --ignore-term"));
  EXPECT_NE(ReadHost(ServiceDir("svc") + "/run").find("'--ignore-term'"), std::string::npos);
  EXPECT_TRUE(HostExists(ServiceDir("svc") + "/down"));
}

// ---- States and controls

TEST_F(ServicesPosixTest, StartBeginsSupervisionAndRunsvNamesTheProcess) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  EXPECT_EQ(pf::SupervisorPid(), 0u);
  ASSERT_TRUE(svc.Start());
  EXPECT_NE(pf::SupervisorPid(), 0u);
  ASSERT_TRUE(ReachesState(svc, pf::kServiceRunning));
  EXPECT_NE(ServicePid("svc"), 0u);
  EXPECT_EQ(Status(svc).ProcessId, ServicePid("svc"));
}

TEST_F(ServicesPosixTest, WantedUpButNotRunningIsStartPending) {
  InstallSample("svc", " --exit 1");  // ends at once; runsv retries every second
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  ASSERT_TRUE(svc.Start());
  ASSERT_TRUE(ReachesState(svc, pf::kServiceStartPending));
}

// ---- Supervision

TEST_F(ServicesPosixTest, SupervisorIsFoundAgainThroughItsPidFile) {
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
  WriteHost(Prefix() + "/runsvdir.pid", std::to_string(ovtest::SelfPid()) + "\n");
  EXPECT_EQ(pf::SupervisorPid(), 0u);
  ASSERT_TRUE(pf::EnsureSupervision());
  const uint32_t second = pf::SupervisorPid();
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, ovtest::SelfPid());
}

TEST_F(ServicesPosixTest, ServiceInstalledWhileSupervisedStartsWhenPickedUp) {
  ASSERT_TRUE(pf::EnsureSupervision());
  InstallSample("late");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("late"));
  EXPECT_EQ(State(svc), pf::kServiceStopped);
  ASSERT_TRUE(svc.Start());
  EXPECT_TRUE(ReachesState(svc, pf::kServiceRunning));
}

TEST_F(ServicesPosixTest, StopSupervisionEndsEverySupervisorAndService) {
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
    EXPECT_TRUE(ProcessEnded(pid)) << pid;
  }
  EXPECT_EQ(Leftovers(), "");
  EXPECT_EQ(State(one), pf::kServiceStopped);
}

// ---- The registered services

TEST_F(ServicesPosixTest, RegisteredServicesListsTheSubKeysWithTheirImages) {
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

TEST_F(ServicesPosixTest, RegisteredServicesReportsWhatTheStoreCannotOpen) {
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
