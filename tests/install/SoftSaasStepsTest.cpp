#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/OVLibUtil.h"
#include "common/RealProcess.h"
#include "common/ServiceTest.h"
#include "install/SoftKetrinHelperUtil.h"
#include "platform/Processes.h"
#include "platform/Services.h"
#include "update/UpdateObjUtil.h"

namespace stdfs = std::filesystem;
namespace pf = ov::platform;

namespace {

class StepsTest : public TServiceTest {
 protected:
  static void SetUpTestSuite() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
  void TearDown() override {
    FChildren.EndAll();
    pf::StopSupervision();
    TServiceTest::TearDown();
  }
  void Copy(const std::string& aWinPath) {
    ASSERT_FALSE(Host(aWinPath).empty()) << aWinPath;
    ovtest::CopyProgram(OV_SAMPLE_PROGRAM, Host(aWinPath));
  }
  uint32_t Run(const std::string& aCommandLine) {
    uint32_t pid = 0;
    EXPECT_TRUE(pf::StartCommandLine(aCommandLine, 0, pid)) << aCommandLine;
    FChildren.Add(pid);
    // Running from its image once /proc names it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid && TovLib::ProcFile(pid).empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
  }
  void AddTarget(const std::string& aTarget) {
    auto f = std::make_unique<TFileInfo>();
    f->TargetFile = aTarget;
    auto g = SyncObj().FileListGuard();
    SyncObj().FileList.push_back(std::move(f));
  }
  TSoftKetrinHelper FHelper;
  ovtest::TChildren FChildren;
};

}  // namespace

TEST_F(StepsTest, CloseEntriesResolveAgainstTheModuleFolder) {
  SyncObj().FBeforeCloseList = {".\\bin\\pos.exe", " pos.exe ", "C:\\x\\y.exe"};
  FHelper.DoBeforeClose("C:\\app\\");
  const std::string log = LogText();
  EXPECT_NE(log.find("[升级前关闭]文件不存在：C:\\app\\bin\\pos.exe"), std::string::npos);
  EXPECT_NE(log.find("[升级前关闭]文件不存在：C:\\app\\pos.exe"), std::string::npos);
  EXPECT_NE(log.find("[升级前关闭]文件不存在：C:\\x\\y.exe"), std::string::npos);
}

TEST_F(StepsTest, RunningProgramsOfTheFileListAreClosedWithoutACloseList) {
  Copy("C:\\app\\pos.exe");
  Copy("C:\\other\\pos.exe");
  ASSERT_NE(Run("C:\\app\\pos.exe --ignore-term"), 0u);
  ASSERT_NE(Run("C:\\other\\pos.exe"), 0u);
  ASSERT_NE(TovLib::ProcFind("C:\\app\\pos.exe"), 0u);
  AddTarget(".\\pos.exe");
  AddTarget(".\\readme.txt");
  FHelper.DoBeforeClose("C:\\app\\");
  EXPECT_TRUE(ovtest::PollUntil([] { return TovLib::ProcFind("C:\\app\\pos.exe") == 0; }));
  EXPECT_NE(TovLib::ProcFind("C:\\other\\pos.exe"), 0u);  // another folder's copy stays
}

TEST_F(StepsTest, AFileHeldByItsRunningProgramIsClosedThenDeleted) {
  Copy("C:\\app\\pos.exe");
  Run("C:\\app\\pos.exe --hold C:\\app\\pos.exe");
  SyncObj().FBeforeDeleteList = {".\\pos.exe", "gone.dll"};
  FHelper.DoBeforeDelete("C:\\app\\");
  EXPECT_FALSE(HostExists(Host("C:\\app\\pos.exe")));
  EXPECT_TRUE(ovtest::PollUntil([] { return TovLib::ProcFind("C:\\app\\pos.exe") == 0; }));
  EXPECT_NE(LogText().find("[升级前删除]文件不存在：C:\\app\\gone.dll"), std::string::npos);
}

TEST_F(StepsTest, ServicesAreStoppedBeforeAndInstalledAndStartedAfter) {
  if (!pf::EnsureSupervision()) GTEST_SKIP() << "runsvdir cannot start";
  Copy("C:\\app\\svc.exe");
  SyncObj().FAfterStartList = {"svc|C:\\app\\svc.exe"};
  FHelper.DoAfterStart("C:\\app\\");
  ASSERT_TRUE(TovLib::SrvExists("svc"));  // installed itself with -install -silent
  EXPECT_NE(LogText().find("[升级后启动]服务：svc -> 成功"), std::string::npos);
  EXPECT_TRUE(ovtest::PollUntil([] { return TovLib::ProcFind("C:\\app\\svc.exe") != 0; }));

  SyncObj().FBeforeStopList = {"svc", "nosuch"};
  FHelper.DoBeforeStop("C:\\app\\");
  EXPECT_TRUE(ovtest::PollUntil([] { return TovLib::ProcFind("C:\\app\\svc.exe") == 0; }));
  EXPECT_NE(LogText().find("[升级前停止]服务：nosuch -> 服务不存在"), std::string::npos);

  // Installed already: an entry without a program only starts it.
  SyncObj().FAfterStartList = {"svc"};
  FHelper.DoAfterStart("C:\\app\\");
  EXPECT_TRUE(ovtest::PollUntil([] { return TovLib::ProcFind("C:\\app\\svc.exe") != 0; }));
}
