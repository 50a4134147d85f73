#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "common/ServiceTest.h"
#include "common/TestHost.h"
#include "install/InstallRunUtil.h"
#include "install/SoftKetrinHelperUtil.h"
#include "platform/MainThread.h"
#include "update/UpdateObjUtil.h"

namespace stdfs = std::filesystem;

namespace {

class TRecorder : public IInstallReceiver {
 public:
  void ShowInstHint(const std::string& aHint, const std::string& aSubHint) override {
    std::lock_guard<std::mutex> g(Lock);
    Hints.push_back(aHint + "|" + aSubHint);
    (ov::platform::IsMainThread() ? OnMain : OffMain)++;
  }
  bool TakesHintsOnAnyThread() const override { return AnyThread; }
  void ShowInstProgress(int32_t aPos, int32_t aMax) override {
    LastPos = aPos;
    LastMax = aMax;
  }
  void ShowFileDownProgressHint(const std::string&) override { ++DownHints; }
  void ShowDownloadBytes(int64_t aRead, int64_t) override {
    if (aRead > 0) ++ByteReports;
  }
  bool WantsFileDownProgressHint() const override { return WantsDownHints; }
  std::vector<std::string> Hints;
  int32_t LastPos = 0, LastMax = 0;
  bool WantsDownHints = true;
  bool AnyThread = false;
  std::mutex Lock;
  int OnMain = 0, OffMain = 0;
  std::atomic<int> DownHints{0}, ByteReports{0};
};

class InstallRunTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    CreateSoftVar();
    CreateSoftKetrinHelper();
    SoftKetrinHelper().SetRetryPauseMs(1);
    SoftVar().path().SetV("C:\\Soft");
    const std::string src = stdfs::path(Prefix()).parent_path().string() + "/src";
    stdfs::create_directories(src + "/web");
    stdfs::create_directories(src + "/pos");
    std::ofstream(src + "/web/OVWebClient.exe") << "web";
    std::ofstream(src + "/pos/Caldis.exe") << "pos";
    PublishKetrin(src);
  }
  void TearDown() override {
    ov::platform::JoinWorkers(20000);
    FreeSoftKetrinHelper();
    FreeSoftVar();
    TServiceTest::TearDown();
  }
  int DetailQueries() {
    int n = 0;
    for (const auto& e : FVersion.RequestLog()) n += e.Path == "/FileInfo/GetDetailInfo";
    return n;
  }
};

}  // namespace

TEST_F(InstallRunTest, BothModulesInstallInOrder) {
  TInstallChoice c{"KETRIN", true, true, "C:\\Soft"};
  std::string msg;
  ASSERT_EQ(PrepareInstall(c, msg), 1) << msg;
  EXPECT_EQ(SoftKetrinHelper().WebUpdateUrl().v(),
            FStore.BaseUrl() + "/updatefiles/ketrin_webapp/");
  EXPECT_EQ(SoftKetrinHelper().PosUpdateUrl().v(), "ovupdata://vfid=55&app_nver=1.0.5");
  TRecorder r;
  ASSERT_EQ(RunInstall(c, r, msg, 1), 1) << msg;
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\OVWebClient.exe")), "web");
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Caldis\\Caldis.exe")), "pos");
  EXPECT_EQ(r.LastMax, 100);
  EXPECT_EQ(r.LastPos, 96);  // 48 per module
  ASSERT_FALSE(r.Hints.empty());
  EXPECT_EQ(r.Hints.front(), "正在安装Web, 请稍候...|");
}

TEST_F(InstallRunTest, OnlyThePosModuleAsksForTheVersion) {
  TInstallChoice c{"ketrin", false, true, "C:\\Soft"};
  std::string msg;
  ASSERT_EQ(PrepareInstall(c, msg), 1) << msg;
  EXPECT_EQ(SoftKetrinHelper().WebUpdateUrl().v(), "");
  TRecorder r;
  ASSERT_EQ(RunInstall(c, r, msg, 1), 1) << msg;
  EXPECT_EQ(r.LastMax, 50);
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web")));
}

TEST_F(InstallRunTest, DownloadTextReachesOnlyReceiversThatWantItAndBytesReachAll) {
  TInstallChoice c{"ketrin", false, true, "C:\\Soft"};
  std::string msg;
  ASSERT_EQ(PrepareInstall(c, msg), 1) << msg;
  TRecorder wants;
  ASSERT_EQ(RunInstall(c, wants, msg, 1), 1) << msg;
  EXPECT_GT(wants.DownHints, 0);
  EXPECT_GT(wants.ByteReports, 0);

  const TInstallChoice elsewhere{"ketrin", false, true, "C:\\Soft2"};
  ASSERT_EQ(PrepareInstall(elsewhere, msg), 1) << msg;
  SoftVar().path().SetV(elsewhere.Path);
  TRecorder declines;
  declines.WantsDownHints = false;
  ASSERT_EQ(RunInstall(elsewhere, declines, msg, 1), 1) << msg;
  EXPECT_EQ(declines.DownHints, 0);
  EXPECT_GT(declines.ByteReports, 0);
}

TEST_F(InstallRunTest, HintsReachTheMainThreadUnlessTheReceiverTakesThemAnywhere) {
  TInstallChoice c{"ketrin", false, true, "C:\\Soft"};
  std::string msg;
  ASSERT_EQ(PrepareInstall(c, msg), 1) << msg;
  TRecorder main;
  ASSERT_EQ(RunInstall(c, main, msg, 1), 1) << msg;
  EXPECT_GT(main.OnMain, 0);
  EXPECT_EQ(main.OffMain, 0);

  const TInstallChoice elsewhere{"ketrin", false, true, "C:\\Soft2"};
  ASSERT_EQ(PrepareInstall(elsewhere, msg), 1) << msg;
  SoftVar().path().SetV(elsewhere.Path);
  TRecorder anywhere;
  anywhere.AnyThread = true;
  ASSERT_EQ(RunInstall(elsewhere, anywhere, msg, 1), 1) << msg;
  // The pipeline's hints come from its worker.
  EXPECT_GT(anywhere.OffMain, 0);
  EXPECT_EQ(anywhere.Hints.size(), main.Hints.size());
}

TEST_F(InstallRunTest, AFailedWebModuleSkipsThePosModule) {
  TInstallChoice c{"ketrin", true, true, "C:\\Soft"};
  std::string msg;
  ASSERT_EQ(PrepareInstall(c, msg), 1) << msg;
  SoftKetrinHelper().WebUpdateUrl().SetV(FStore.BaseUrl() + "/updatefiles/missing/");
  TRecorder r;
  EXPECT_EQ(RunInstall(c, r, msg, 1), -1);
  EXPECT_EQ(msg, "请求服务器失败 404: Not Found");
  EXPECT_EQ(DetailQueries(), 0);
}

TEST_F(InstallRunTest, AFailedConfigurationIsReported) {
  FVersion.Stop();
  TInstallChoice c{"ketrin", false, true, "C:\\Soft"};
  std::string msg;
  EXPECT_EQ(PrepareInstall(c, msg), -1);
  EXPECT_EQ(msg.rfind("版本数据请求失败", 0), 0u);
  EXPECT_EQ(ProductInstaller("nosuch"), nullptr);
  EXPECT_TRUE(IsSingleModuleProduct("ZELCV"));
  EXPECT_FALSE(IsSingleModuleProduct("ketrin"));
}

namespace {

// Raises from its hints or stops the run from its progress, as a faulty front end or a user's
// quit at the last moment would.
class TTroubleMaker : public TRecorder {
 public:
  void ShowInstHint(const std::string& aHint, const std::string& aSubHint) override {
    if (Returned) ++LateCalls;
    TRecorder::ShowInstHint(aHint, aSubHint);
    if (ThrowOn.size() > 0 && aHint.find(ThrowOn) != std::string::npos) {
      throw std::runtime_error("hint failed");
    }
  }
  void ShowInstProgress(int32_t aPos, int32_t aMax) override {
    if (Returned) ++LateCalls;
    TRecorder::ShowInstProgress(aPos, aMax);
    if (StopAt > 0 && aPos >= StopAt && !SyncObj().IsAppExit()) {
      SyncObj().SetIsAppExit(true);
      // Still busy here when the caller notices the stop.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }
  std::string ThrowOn;
  int32_t StopAt = 0;
  std::atomic<bool> Returned{false};
  std::atomic<int> LateCalls{0};
};

}  // namespace

TEST_F(InstallRunTest, AnErrorInTheWorkerFailsTheModuleAndAStopIsFinal) {
  TInstallChoice c{"ketrin", true, false, "C:\\Soft"};
  std::string msg;
  ASSERT_EQ(PrepareInstall(c, msg), 1) << msg;
  // A worker that dies without a code would leave the setup waiting; the guard turns such a
  // hang into a stop, which the first check then tells apart.
  std::atomic<bool> over{false};
  std::thread guard([&] {
    for (int i = 0; i < 100 && !over; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!over) SyncObj().SetIsAppExit(true);
  });
  TTroubleMaker thrower;
  thrower.AnyThread = true;
  thrower.ThrowOn = "正在获取服务器文件";
  EXPECT_EQ(RunInstall(c, thrower, msg, 1), -1);
  over = true;
  guard.join();
  EXPECT_EQ(msg, "Web安装失败：hint failed");
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));

  // Stopped once every file is in: the module is not set up after the stop.
  SyncObj().SetIsAppExit(false);
  TTroubleMaker stopper;
  stopper.StopAt = 48;
  stopper.AnyThread = true;
  EXPECT_EQ(RunInstall(c, stopper, msg, 1), -1);
  stopper.Returned = true;
  EXPECT_EQ(msg, "终止安装");
  // The worker may go on after the stop, but the receiver may be gone once the run returned.
  ASSERT_TRUE(ov::platform::JoinWorkers(20000));
  EXPECT_EQ(stopper.LateCalls, 0);
  EXPECT_TRUE(HostExists(Host("C:\\Soft\\Web\\OVWebClient.exe")));
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\OVWebClient.ini")));
  for (const char* desktop : {"Common Desktop", "Desktop"}) {
    const std::string links = ovtest::ShortcutTargets(TInstHelper::GetSysDir(desktop));
    EXPECT_EQ(links.find(Host("C:\\Soft\\Web\\OVWebClient.exe")), std::string::npos) << links;
  }
}

TEST_F(InstallRunTest, AServiceProductsFolderIsItsServicesThenItsOwnThenTheDefault) {
  const std::string fallback = RememberedPath("zelcv");
  EXPECT_EQ(fallback, TInstHelper::GetAvailablePath("D:\\Ondrevo软件\\Corvela商品智能下发服务\\"));
  ASSERT_TRUE(TInstHelper::SetReg("ZelcvPath", "E:\\Own\\"));
  EXPECT_EQ(RememberedPath("ZELCV"), "E:\\Own\\");
  ASSERT_TRUE(TInstHelper::SetReg("PathFile", "F:\\Svc\\", "SOFTWARE\\ONDREVO\\CVZelService"));
  EXPECT_EQ(RememberedPath("zelcv"), "F:\\Svc\\");
  // Another service product has a key of its own.
  EXPECT_EQ(RememberedPath("zelapp"),
            TInstHelper::GetAvailablePath("D:\\Ondrevo软件\\Pellavo商品智能下发服务\\"));
}
