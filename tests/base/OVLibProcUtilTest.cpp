#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/LoggerUtil.h"
#include "base/OVDateUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStopUtil.h"
#include "base/OVStrUtil.h"
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

// Copies of the sample program run as the products' programs and services.
class OVLibProcTest : public TPrefixTest {
 protected:
  // runsv processes outlive their runsvdir for a moment; adopting them lets the test reap them.
  static void SetUpTestSuite() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

  void SetUp() override {
    TPrefixTest::SetUp();
    pf::SetServiceWaitLimitMs(0);
  }

  void TearDown() override {
    FChildren.EndAll();
    EXPECT_TRUE(pf::StopSupervision());
    ovtest::ReapAdopted();
    EXPECT_EQ(Leftovers(), "");
    pf::SetServiceWaitLimitMs(0);
    TPrefixTest::TearDown();
  }

  // Service cases need a supervisor; started and ended once here so that each case starts its
  // own after installing its services.
  void RequireSupervisor() {
    if (!pf::EnsureSupervision()) {
      GTEST_SKIP() << "runsvdir cannot start: runit's runsvdir and runsv must be on the PATH";
    }
    ASSERT_TRUE(pf::StopSupervision());
  }

  std::string Leftovers() const {
    return ovtest::Leftovers(stdfs::path(Prefix()).parent_path().string() + "/");
  }

  void Copy(const std::string& aWinPath) {
    ASSERT_FALSE(Host(aWinPath).empty()) << aWinPath;
    ovtest::CopyProgram(OV_SAMPLE_PROGRAM, Host(aWinPath));
  }

  uint32_t Run(const std::string& aWinPath, const std::string& aArgs = "") {
    uint32_t pid = 0;
    EXPECT_TRUE(pf::StartCommandLine("\"" + aWinPath + "\"" + aArgs, 0, pid)) << aWinPath;
    FChildren.Add(pid);
    return pid;
  }

  // True when the child ended through a kill.
  static bool Killed(uint32_t aPid) {
    int32_t code = 0;
    return pf::WaitForProcess(aPid, code, 10000) && code == 128 + SIGKILL;
  }
  static bool StillRunning(uint32_t aPid) {
    int32_t code = 0;
    return !pf::WaitForProcess(aPid, code, 0) && ProcState(aPid) != 'Z' && ProcState(aPid) != 0;
  }

  // A program name no other test binary running beside this one uses: closing by bare name
  // reaches every process of that name on the machine.
  static std::string UniqueName() { return "pos" + std::to_string(::getpid()) + ".exe"; }

  void InstallSample(const std::string& aName, const std::string& aArgs = "") {
    Copy("C:\\Svc\\" + aName + ".exe");
    ASSERT_TRUE(pf::InstallService(aName, "C:\\Svc\\" + aName + ".exe" + aArgs));
  }

  static int32_t State(const std::string& aName) {
    pf::ServiceHandle svc;
    pf::ServiceStatus st;
    return svc.Open(aName) && svc.QueryStatus(st) ? st.CurrentState : -1;
  }

  uint32_t ServicePid(const std::string& aName) const {
    std::string text = ReadHost(Prefix() + "/services/" + aName + "/supervise/pid");
    return text.empty() ? 0 : static_cast<uint32_t>(std::stoul(text));
  }

  ovtest::TChildren FChildren;
};

// ---- Closing and finding programs

TEST_F(OVLibProcTest, ProcCloseByBareNameEndsEveryCopy) {
  const std::string name = UniqueName();
  Copy("C:\\a\\" + name);
  Copy("C:\\b\\" + name);
  Copy("C:\\a\\other.exe");
  uint32_t a = Run("C:\\a\\" + name);
  uint32_t b = Run("C:\\b\\" + name);
  uint32_t other = Run("C:\\a\\other.exe");
  ASSERT_TRUE(a && b && other);
  EXPECT_TRUE(TovLib::ProcClose(ov::str::UpperCase(name)));
  EXPECT_TRUE(Killed(a));
  EXPECT_TRUE(Killed(b));
  EXPECT_TRUE(StillRunning(other));
}

TEST_F(OVLibProcTest, ProcCloseByPathLeavesAnotherFolderAlone) {
  Copy("C:\\a\\pos.exe");
  Copy("C:\\b\\pos.exe");
  uint32_t a = Run("C:\\a\\pos.exe");
  uint32_t b = Run("C:\\b\\pos.exe");
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(TovLib::ProcClose("c:\\A\\POS.EXE"));
  EXPECT_TRUE(Killed(a));
  EXPECT_TRUE(StillRunning(b));
  EXPECT_EQ(TovLib::ProcFind("C:\\b\\pos.exe"), b);
}

TEST_F(OVLibProcTest, ProcCloseOfAPathNobodyRunsIsTrue) {
  Copy("C:\\a\\pos.exe");
  uint32_t a = Run("C:\\a\\pos.exe");
  ASSERT_NE(a, 0u);
  EXPECT_TRUE(TovLib::ProcClose("C:\\nobody\\pos.exe"));
  EXPECT_TRUE(TovLib::ProcClose(UniqueName()));
  EXPECT_TRUE(StillRunning(a));
}

TEST_F(OVLibProcTest, ProcFindNeedsTheFullPath) {
  Copy("C:\\a\\pos.exe");
  uint32_t a = Run("C:\\a\\pos.exe");
  ASSERT_NE(a, 0u);
  EXPECT_EQ(TovLib::ProcFind("pos.exe"), 0u);
  EXPECT_EQ(TovLib::ProcFind("C:\\a\\pos.exe"), a);
  EXPECT_EQ(TovLib::ProcFind("c:\\A\\Pos.Exe"), a);
  EXPECT_EQ(TovLib::ProcFind("C:\\b\\pos.exe"), 0u);
  EXPECT_EQ(TovLib::ProcFind(""), 0u);
  ASSERT_TRUE(TovLib::ProcClose("C:\\a\\pos.exe"));
  ASSERT_TRUE(Killed(a));
  EXPECT_EQ(TovLib::ProcFind("C:\\a\\pos.exe"), 0u);
}

TEST_F(OVLibProcTest, ProcFileGivesTheWindowsPathOfTheImage) {
  Copy("C:\\Prog Files\\pos.exe");
  uint32_t a = Run("C:\\Prog Files\\pos.exe");
  ASSERT_NE(a, 0u);
  EXPECT_EQ(TovLib::ProcFile(a), "C:\\Prog Files\\pos.exe");
  EXPECT_EQ(TovLib::ProcFile(0), "");
}

TEST_F(OVLibProcTest, ProcCloseFindsAProgramWhoseFileWasReplaced) {
  Copy("C:\\a\\pos.exe");
  Copy("C:\\a\\pos.new");
  uint32_t a = Run("C:\\a\\pos.exe");
  ASSERT_NE(a, 0u);
  stdfs::rename(Host("C:\\a\\pos.new"), Host("C:\\a\\pos.exe"));
  EXPECT_EQ(TovLib::ProcFind("C:\\a\\pos.exe"), a);
  EXPECT_TRUE(TovLib::ProcClose("C:\\a\\pos.exe"));
  EXPECT_TRUE(Killed(a));
}

// ---- Running a command line to its end

TEST_F(OVLibProcTest, ProcWinExecWaitOfAMissingProgramIsMinusOne) {
  EXPECT_EQ(TovLib::ProcWinExecWait("C:\\nowhere\\setup.exe -install -silent", 0), -1);
  EXPECT_EQ(TovLib::ProcWinExecWait("", 0), -1);
}

TEST_F(OVLibProcTest, ProcWinExecWaitIgnoresTheExitCode) {
  Copy("C:\\a\\pos.exe");
  EXPECT_EQ(TovLib::ProcWinExecWait("C:\\a\\pos.exe --exit 5", 0), 1);
  EXPECT_EQ(TovLib::ProcWinExecWait("C:\\a\\pos.exe --exit 0", 1), 1);
}

TEST_F(OVLibProcTest, ProcWinExecWaitPassesQuotedArgumentsAndWaits) {
  Copy("C:\\My App\\pos.exe");
  ASSERT_EQ(TovLib::ProcWinExecWait(
                "\"C:\\My App\\pos.exe\" --args-to \"C:\\out args.txt\" \"x y\" z --exit 0", 0),
            1);
  // Written by the program before it ended, so complete once the call returns.
  EXPECT_EQ(ReadHost(Host("C:\\out args.txt")), "--args-to\nC:\\out args.txt\nx y\nz\n--exit\n0\n");
}

TEST_F(OVLibProcTest, ProcWinExecWaitCutsTheCommandLineAt512Characters) {
  Copy("C:\\a\\pos.exe");
  const std::string head = "C:\\a\\pos.exe --args-to C:\\args.txt --exit 0 ";
  const std::string line = head + std::string(512 - head.size(), 'x') + "yyyy";
  ASSERT_EQ(TovLib::ProcWinExecWait(line, 0), 1);
  EXPECT_EQ(ReadHost(Host("C:\\args.txt")),
            "--args-to\nC:\\args.txt\n--exit\n0\n" + std::string(512 - head.size(), 'x') + "\n");
}

// ---- Services

TEST_F(OVLibProcTest, SrvExistsForAnInstalledServiceOnly) {
  EXPECT_FALSE(TovLib::SrvExists("svc"));
  InstallSample("svc");
  EXPECT_TRUE(TovLib::SrvExists("svc"));
  EXPECT_TRUE(TovLib::SrvExists("SVC"));
  EXPECT_FALSE(TovLib::SrvExists("svc2"));
  EXPECT_FALSE(TovLib::SrvExists(""));
}

TEST_F(OVLibProcTest, SrvStopOfAStoppedServiceSendsNothing) {
  RequireSupervisor();
  InstallSample("svc");
  EXPECT_TRUE(TovLib::SrvStop("svc"));
  // Nothing was sent, so nothing had to be supervised.
  EXPECT_EQ(pf::SupervisorPid(), 0u);
  EXPECT_EQ(State("svc"), pf::kServiceStopped);
}

TEST_F(OVLibProcTest, SrvStartOfAStoppedServiceReachesRunning) {
  RequireSupervisor();
  InstallSample("svc");
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  EXPECT_EQ(State("svc"), pf::kServiceRunning);
  const uint32_t pid = TovLib::ProcFind("C:\\Svc\\svc.exe");
  EXPECT_NE(pid, 0u);
  EXPECT_EQ(pid, ServicePid("svc"));
  // Running already: nothing is sent and the same process goes on.
  EXPECT_TRUE(TovLib::SrvStart("svc"));
  EXPECT_EQ(ServicePid("svc"), pid);
}

TEST_F(OVLibProcTest, SrvStartContinuesAPausedService) {
  RequireSupervisor();
  InstallSample("svc");
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  const uint32_t pid = ServicePid("svc");
  {
    pf::ServiceHandle svc;
    ASSERT_TRUE(svc.Open("svc"));
    ASSERT_TRUE(svc.Control(pf::kControlPause));
  }
  ASSERT_TRUE(PollUntil([&] { return State("svc") == pf::kServicePaused; }));
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  EXPECT_EQ(State("svc"), pf::kServiceRunning);
  EXPECT_EQ(ServicePid("svc"), pid);
  EXPECT_TRUE(PollUntil([&] { return ProcState(pid) == 'S' || ProcState(pid) == 'R'; }));
}

TEST_F(OVLibProcTest, SrvStopOfARunningServiceReachesStopped) {
  RequireSupervisor();
  InstallSample("svc");
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  const uint32_t pid = ServicePid("svc");
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(TovLib::SrvStop("svc"));
  EXPECT_EQ(State("svc"), pf::kServiceStopped);
  EXPECT_TRUE(PollUntil([] { return TovLib::ProcFind("C:\\Svc\\svc.exe") == 0; }));
}

TEST_F(OVLibProcTest, SrvStopGivesUpOnAServiceThatIgnoresIt) {
  RequireSupervisor();
  InstallSample("svc", " --ignore-term");
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  ASSERT_TRUE(PollUntil([&] { return IgnoresTerm(ServicePid("svc")); }));
  pf::SetServiceWaitLimitMs(500);
  EXPECT_FALSE(TovLib::SrvStop("svc"));
  EXPECT_EQ(State("svc"), pf::kServiceStopPending);
}

namespace {
std::atomic<bool> gStopAsked{false};
bool StopAsked() { return gStopAsked.load(); }
}  // namespace

TEST_F(OVLibProcTest, AStopEndsAServiceWaitLongBeforeItsLimit) {
  RequireSupervisor();
  InstallSample("svc", " --ignore-term");
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  ASSERT_TRUE(PollUntil([&] { return IgnoresTerm(ServicePid("svc")); }));
  pf::SetServiceWaitLimitMs(60000);
  gStopAsked = false;
  ov::SetStopTest(&StopAsked);
  std::thread quit([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gStopAsked = true;
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(TovLib::SrvStop("svc"));
  quit.join();
  ov::SetStopTest(nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
}

TEST_F(OVLibProcTest, SrvStartGivesUpOnAServiceThatCannotStart) {
  RequireSupervisor();
  InstallSample("svc");
  // runsv cannot run the script, so the service stays wanted up but down, retried each second.
  stdfs::permissions(Prefix() + "/services/svc/run", stdfs::perms::owner_read);
  pf::SetServiceWaitLimitMs(500);
  EXPECT_FALSE(TovLib::SrvStart("svc"));
  EXPECT_EQ(State("svc"), pf::kServiceStartPending);
}

TEST_F(OVLibProcTest, ServiceOperationsOnAnUnknownServiceFail) {
  EXPECT_FALSE(TovLib::SrvStop("nosuch"));
  EXPECT_FALSE(TovLib::SrvStart("nosuch"));
  InstallSample("svc");
  pf::fs::InjectFault(pf::fs::Op::Open, SettingsStore::StoreFile(RootKey::LocalMachine));
  EXPECT_FALSE(TovLib::SrvExists("svc"));
  EXPECT_FALSE(TovLib::SrvStart("svc"));
}

TEST_F(OVLibProcTest, SrvWaitStatusWithoutWaitingFailsAndAtTheStateSucceeds) {
  InstallSample("svc");
  pf::ServiceHandle svc;
  ASSERT_TRUE(svc.Open("svc"));
  TServiceStatus st;
  ASSERT_TRUE(TovLib::SrvWaitPending(svc, st));
  EXPECT_EQ(st.dwCurrentState, pf::kServiceStopped);
  EXPECT_TRUE(TovLib::SrvWaitStatus(svc, st, pf::kServiceStopped, true));
  EXPECT_FALSE(TovLib::SrvWaitStatus(svc, st, pf::kServiceRunning, false));
  // A state the service never reaches ends at the limit.
  pf::SetServiceWaitLimitMs(300);
  EXPECT_FALSE(TovLib::SrvWaitStatus(svc, st, pf::kServiceRunning, true));
  EXPECT_EQ(st.dwCurrentState, pf::kServiceStopped);
}

// ---- Finding a service by its program

class SrvFindTest : public OVLibProcTest {
 protected:
  void Register(const std::string& aName, const std::string& aImage) {
    ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine,
                                           "SYSTEM\\CurrentControlSet\\services\\" + aName,
                                           "ImagePath", aImage));
  }
};

TEST_F(SrvFindTest, BareNameMatchesTheFileInAnyFolder) {
  Register("first", "C:\\x\\other.exe");
  Register("svc", "C:\\app\\svc.exe");
  std::string name = "in";
  ASSERT_TRUE(TovLib::SrvFindByFile(name, "SVC.exe"));
  EXPECT_EQ(name, "svc");
}

TEST_F(SrvFindTest, FullPathNeedsTheRegisteredPathExactly) {
  Register("svc", "C:\\app\\svc.exe");
  Register("quoted", "\"C:\\app\\q.exe\"");
  Register("witharg", "C:\\app\\w.exe -service");
  std::string name = "in";
  EXPECT_TRUE(TovLib::SrvFindByFile(name, "c:\\APP\\svc.exe"));
  EXPECT_EQ(name, "svc");
  name = "in";
  EXPECT_FALSE(TovLib::SrvFindByFile(name, "C:\\other\\svc.exe"));
  EXPECT_FALSE(TovLib::SrvFindByFile(name, "C:\\app\\q.exe"));
  EXPECT_FALSE(TovLib::SrvFindByFile(name, "q.exe"));
  EXPECT_FALSE(TovLib::SrvFindByFile(name, "C:\\app\\w.exe"));
  EXPECT_TRUE(TovLib::SrvFindByFile(name, "C:\\app\\w.exe -service"));
  EXPECT_EQ(name, "witharg");
  name = "in";
  EXPECT_FALSE(TovLib::SrvFindByFile(name, "none.exe"));
  EXPECT_EQ(name, "in");
}

TEST_F(SrvFindTest, FailsWhenTheStoreCannotBeOpened) {
  Register("svc", "C:\\app\\svc.exe");
  pf::fs::InjectFault(pf::fs::Op::Open, SettingsStore::StoreFile(RootKey::LocalMachine));
  std::string name = "in";
  EXPECT_FALSE(TovLib::SrvFindByFile(name, "svc.exe"));
  EXPECT_EQ(name, "in");
}

TEST_F(SrvFindTest, AnUnreadableServiceIsLoggedAndSkipped) {
  ov::SetClock(std::make_shared<ov::TFixedClock>(ov::EncodeDateTime(2026, 3, 10, 8, 30)));
  CreateProcessLogger();
  Logger()->SetLogFilenamePer("T");
  Logger()->SetLogFileDir("C:\\Logs\\");
  TovLib::SetDebugFlag(1);
  WriteHost(SettingsStore::StoreFile(RootKey::LocalMachine),
            "[SYSTEM\\CurrentControlSet\\services\\odd/name]\r\nImagePath=C:\\app\\svc.exe\r\n"
            "[SYSTEM\\CurrentControlSet\\services\\svc]\r\nImagePath=C:\\app\\svc.exe\r\n");
  std::string name = "in";
  ASSERT_TRUE(TovLib::SrvFindByFile(name, "svc.exe"));
  EXPECT_EQ(name, "svc");
  const std::string log = ReadHost(Host("C:\\Logs\\T260310.log"));
  EXPECT_EQ(log.rfind("08:30:00.000 [消息] 查询服务“in[\\odd/name]”出错：", 0), 0u) << log;
  EXPECT_EQ(log.find("\r\n"), log.size() - 2);  // one line
}

// ---- A program that installs itself as a service

TEST_F(OVLibProcTest, InstallSilentInstallsTheServiceNamedAfterTheProgram) {
  RequireSupervisor();
  Copy("C:\\app\\svc.exe");
  ASSERT_FALSE(TovLib::SrvExists("svc"));
  ASSERT_EQ(TovLib::ProcWinExecWait("C:\\app\\svc.exe -install -silent", 0), 1);
  EXPECT_TRUE(TovLib::SrvExists("svc"));
  std::string image;
  ASSERT_TRUE(SettingsStore::ReadString(
      RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\services\\svc", "ImagePath", image));
  EXPECT_EQ(image, "C:\\app\\svc.exe");
  std::string name;
  EXPECT_TRUE(TovLib::SrvFindByFile(name, "C:\\app\\svc.exe"));
  EXPECT_EQ(name, "svc");
  EXPECT_EQ(State("svc"), pf::kServiceStopped);  // installed down
  ASSERT_TRUE(TovLib::SrvStart("svc"));
  EXPECT_EQ(TovLib::ProcFind("C:\\app\\svc.exe"), ServicePid("svc"));
}

}  // namespace
