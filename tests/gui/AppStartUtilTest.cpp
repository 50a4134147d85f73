#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QShowEvent>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <typeinfo>

#include "app/AppStartUtil.h"
#include "base/LoggerUtil.h"
#include "base/OVDateUtil.h"
#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "common/TestPrefix.h"
#include "install/ProgramStartUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "install/SoftBrevikHelperUtil.h"
#include "install/SoftCorvelaHelperUtil.h"
#include "install/SoftDaskorHelperUtil.h"
#include "install/SoftKetrinHelperUtil.h"
#include "install/SoftPindorHelperUtil.h"
#include "install/SoftZelappHelperUtil.h"
#include "install/SoftZelcvHelperUtil.h"
#include "install/SoftZelntrHelperUtil.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "ui/BaseFormUnit.h"
#include "ui/OVLangUtil.h"
#include "ui/OVSkinUtil.h"
#include "update/UpdateObjUtil.h"

using Clock = std::chrono::steady_clock;

namespace {

const std::string kStartBanner = "----Online Install----------------------------------------------";
const std::string kEndBanner(64, '-');

template <class T>
bool Lives() {
  return ov::TProcessWide<T>::Get() != nullptr;
}

// The process-wide objects of the start alive right now, out of 12.
int LiveObjects() {
  return (HasOVSkin() ? 1 : 0) + (Logger() ? 1 : 0) + (HasLangHelper() ? 1 : 0) +
         (HasSoftVar() ? 1 : 0) + Lives<TSoftCorvelaHelper>() + Lives<TSoftPindorHelper>() +
         Lives<TSoftKetrinHelper>() + Lives<TSoftDaskorHelper>() + Lives<TSoftZelappHelper>() +
         Lives<TSoftZelntrHelper>() + Lives<TSoftZelcvHelper>() + Lives<TSoftBrevikHelper>();
}

class AppStartTest : public TPrefixTest {
 protected:
  void TearDown() override {
    ov::platform::SetMainThread(nullptr);
    ov::platform::SetMessageBox(nullptr);
    TPrefixTest::TearDown();
  }
  static void SetDebug(bool aOn) {
    TovLib::IniOptWrite("IsDebug", aOn ? "1" : "0");
    TovLib::SetDebugFlag(-1);
  }
  static std::string CacheHost() { return Host("C:\\ProgramData\\OVInstCache") + "/"; }
  static std::string LogName(int aDaysAgo) {
    return "DIZuro" + ov::FormatDateTime("yymmdd", ov::Now() - aDaysAgo) + ".log";
  }
  static std::string TodaysLog() { return ReadHost(CacheHost() + LogName(0)); }
  // Whether the last line of a CR LF text ends in aText after its time and level tag.
  static bool LastLineEndsIn(const std::string& aLog, const std::string& aText) {
    std::string t = aLog;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    const size_t nl = t.rfind('\n');
    const std::string line = nl == std::string::npos ? t : t.substr(nl + 1);
    const std::string tail = " " + aText;
    return line.size() > tail.size() &&
           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  }
};

}  // namespace

TEST_F(AppStartTest, StartMakesTheObjectsAndTheDailyLogAndTheEndFreesThem) {
  SetDebug(true);
  ov::app::StartApp();
  EXPECT_EQ(LiveObjects(), 12);
  EXPECT_EQ(OVSkin().DefSkinName(), "");
  EXPECT_EQ(LangHelper().LangCode(), "CN");
  ASSERT_NE(Logger(), nullptr);
  EXPECT_EQ(Logger()->LogFileDir(), "C:\\ProgramData\\OVInstCache\\");
  EXPECT_EQ(Logger()->LogFilenamePer(), "DIZuro");
  EXPECT_TRUE(HostExists(CacheHost()));
  // The window's message box, not the standard error line.
  const auto box = ov::platform::CurrentMessageBox();
  const auto stdErrBox = ov::platform::CreateStdErrMessageBox();
  EXPECT_NE(typeid(*box), typeid(*stdErrBox));
  const std::string started = TodaysLog();
  EXPECT_NE(started.find(kStartBanner), std::string::npos);
  EXPECT_EQ(started.find(kEndBanner + "\r\n"), std::string::npos);

  ov::app::EndApp(ov::app::StopWorkers(1000));
  EXPECT_EQ(LiveObjects(), 0);
  EXPECT_TRUE(LastLineEndsIn(TodaysLog(), kEndBanner));
  EXPECT_EQ(typeid(*ov::platform::CurrentMessageBox()), typeid(*stdErrBox));
}

TEST_F(AppStartTest, TheWindowsHandOversGoThroughQtsEventLoop) {
  ov::app::StartApp();
  std::atomic<bool> done{false};
  bool ran = false;
  std::thread worker([&] {
    ov::platform::InvokeSync([&] { ran = true; });
    done = true;
  });
  // Only Qt's events are processed here: the queue of the unattended front end would starve.
  QElapsedTimer t;
  t.start();
  while (!done && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 10);
  ov::app::EndApp(ov::app::StopWorkers(1000));
  worker.join();
  EXPECT_TRUE(ran);
}

TEST_F(AppStartTest, WithoutDebugModeNeitherBannerIsLogged) {
  SetDebug(false);
  ov::app::StartApp();
  TovLib::Log("always", true);
  ov::app::EndApp(ov::app::StopWorkers(1000));
  const std::string log = TodaysLog();
  EXPECT_NE(log.find("always"), std::string::npos);
  EXPECT_EQ(log.find(kStartBanner), std::string::npos);
  EXPECT_EQ(log.find(kEndBanner), std::string::npos);
}

TEST_F(AppStartTest, StartRemovesLogsOlderThanAWeek) {
  for (int d : {1, 6, 7, 8, 9}) WriteHost(CacheHost() + LogName(d), "old\r\n");
  ov::app::StartApp();
  ov::app::EndApp(ov::app::StopWorkers(1000));
  EXPECT_TRUE(HostExists(CacheHost() + LogName(1)));
  EXPECT_TRUE(HostExists(CacheHost() + LogName(6)));
  EXPECT_FALSE(HostExists(CacheHost() + LogName(7)));
  EXPECT_FALSE(HostExists(CacheHost() + LogName(8)));
  EXPECT_FALSE(HostExists(CacheHost() + LogName(9)));
}

TEST_F(AppStartTest, ACacheFolderThatCannotBeMadeEndsTheStartWithNothingLeft) {
  SetDebug(true);
  // A file where the folder should be.
  WriteHost(Host("C:\\ProgramData\\OVInstCache"), "in the way");
  try {
    ov::app::StartApp();
    FAIL() << "the start went on";
  } catch (const ov::Error& e) {
    EXPECT_STREQ(e.what(), "日志路径错误，日志类对象不能被创建");
  }
  EXPECT_EQ(LiveObjects(), 0);
  // No end banner, not even in the folder the logger falls back to (where the lines that the
  // objects log before the log has its folder go).
  const std::string fallback = ReadHost(Host("C:\\OVTest\\log") + "/OVUpdate" +
                                        ov::FormatDateTime("yymmdd", ov::Now()) + ".log");
  EXPECT_NE(fallback, "");
  EXPECT_EQ(fallback.find(kEndBanner), std::string::npos);
  // The run as a whole reports it and shows no window.
  bool made = false;
  EXPECT_EQ(ov::app::RunApp([&]() -> std::unique_ptr<QWidget> {
              made = true;
              return std::make_unique<QWidget>();
            }),
            1);
  EXPECT_FALSE(made);
  EXPECT_EQ(LiveObjects(), 0);
}

namespace {

// Stands in for the main window: it owns the update state and starts an install worker that
// hands hints over until the exit flag stops it; it closes itself soon after it is shown.
class TFakeMainForm : public QWidget {
 public:
  explicit TFakeMainForm(bool aCloseAtShow) : FCloseAtShow(aCloseAtShow) {
    CreateSyncObj();
    resize(720, 520);
  }
  ~TFakeMainForm() override {
    WorkersAtDestroy = ov::platform::RunningWorkers();
    FreeSyncObj();
  }
  static inline int WorkersAtDestroy = -1;
  static inline std::atomic<int> Hints{0};
  static inline std::atomic<bool> WorkerSawExit{false};

 protected:
  void showEvent(QShowEvent* aEvent) override {
    QWidget::showEvent(aEvent);
    if (FCloseAtShow) {
      close();
      return;
    }
    ov::platform::StartWorker([] {
      while (!SyncObj().IsAppExit()) {
        ov::platform::InvokeSync([] { ++Hints; });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a last file finishing
      WorkerSawExit = HasSyncObj() && SyncObj().IsAppExit();
    });
    // Closed once a few hints were shown, as the close image would be during a download.
    FShown.start();
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] {
      if (Hints >= 3 || FShown.elapsed() > 5000) close();
    });
    poll->start(10);
  }

 private:
  bool FCloseAtShow;
  QElapsedTimer FShown;
};

}  // namespace

TEST_F(AppStartTest, ClosingTheWindowStopsAndJoinsAWorkerBeforeAnythingGoes) {
  SetDebug(true);
  TFakeMainForm::WorkersAtDestroy = -1;
  TFakeMainForm::Hints = 0;
  TFakeMainForm::WorkerSawExit = false;
  QWidget* shown = nullptr;
  QTimer guard;  // a hang fails instead
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, qApp, &QApplication::quit);
  guard.start(20000);
  const int code = ov::app::RunApp([&]() -> std::unique_ptr<QWidget> {
    EXPECT_EQ(LiveObjects(), 12);  // before any window
    auto f = std::make_unique<TFakeMainForm>(false);
    shown = f.get();
    return f;
  });
  EXPECT_EQ(code, 0);
  EXPECT_NE(shown, nullptr);
  EXPECT_GE(TFakeMainForm::Hints.load(), 3);
  EXPECT_TRUE(TFakeMainForm::WorkerSawExit);
  EXPECT_EQ(TFakeMainForm::WorkersAtDestroy, 0);
  EXPECT_EQ(ov::platform::RunningWorkers(), 0);
  EXPECT_EQ(LiveObjects(), 0);
  EXPECT_FALSE(HasSyncObj());
  EXPECT_TRUE(LastLineEndsIn(TodaysLog(), kEndBanner));
}

TEST_F(AppStartTest, AWindowThatClosesWhileFirstShownEndsTheRun) {
  QElapsedTimer t;
  t.start();
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, qApp, &QApplication::quit);
  guard.start(10000);
  EXPECT_EQ(ov::app::RunApp([] { return std::make_unique<TFakeMainForm>(true); }), 0);
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(AppStartTest, AWorkerThatIgnoresTheExitFlagNeitherHangsTheEndNorLosesItsObjects) {
  SetDebug(true);
  ov::app::StartApp();
  CreateSyncObj();
  std::atomic<bool> release{false}, objectsThere{false};
  ov::platform::StartWorker([&] {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // After the end: it must neither block nor find its objects gone.
    ov::platform::InvokeSync([] {});
    objectsThere = HasSoftVar() && Logger() != nullptr;
  });
  const auto t0 = Clock::now();
  const bool ended = ov::app::StopWorkers(100);
  EXPECT_FALSE(ended);
  EXPECT_TRUE(SyncObj().IsAppExit());
  ov::app::EndApp(ended);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
  EXPECT_EQ(LiveObjects(), 12);
  EXPECT_TRUE(LastLineEndsIn(TodaysLog(), kEndBanner));
  release = true;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (ov::platform::RunningWorkers() > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(ov::platform::RunningWorkers(), 0);
  EXPECT_TRUE(objectsThere);
  // What the process's end would take.
  FreeSyncObj();
  ov::EndProgram();
  FreeOVSkin();
}
