#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/MainThread.h"
#include "ui/QtMainThreadUtil.h"

using Clock = std::chrono::steady_clock;

namespace {

class QtMainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { ov::platform::SetMainThread(CreateQtMainThread()); }
  void TearDown() override { ov::platform::SetMainThread(nullptr); }
  // The module setups' wait: sleep until a hand-over arrives, then process events.
  static void ServiceUntil(const std::atomic<bool>& aDone) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!aDone && Clock::now() < deadline) {
      ov::platform::WaitForHandOver(30);
      ov::platform::ProcessPending();
    }
  }
};

}  // namespace

TEST_F(QtMainThreadTest, WorkerHandsOverAndWaitsUntilTheCallHasRun) {
  const auto mainId = std::this_thread::get_id();
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  int results[3] = {0, 0, 0};
  bool ranBeforeReturn = true;
  std::thread worker([&] {
    EXPECT_FALSE(ov::platform::IsMainThread());
    for (int i = 0; i < 3; ++i) {
      bool ran = false;
      ov::platform::InvokeSync([&, i] {
        ranOn = std::this_thread::get_id();
        results[i] = i + 1;
        ran = true;
      });
      ranBeforeReturn = ranBeforeReturn && ran;
    }
    done = true;
  });
  ServiceUntil(done);
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_TRUE(ranBeforeReturn);
  EXPECT_EQ(ranOn, mainId);
  EXPECT_EQ(results[0] + results[1] + results[2], 6);
}

TEST_F(QtMainThreadTest, OnTheMainThreadTheCallRunsAtOnce) {
  EXPECT_TRUE(ov::platform::IsMainThread());
  int n = 0;
  ov::platform::InvokeSync([&] { ++n; });
  EXPECT_EQ(n, 1);
}

TEST_F(QtMainThreadTest, ErrorsOfTheCallReachTheWorker) {
  std::atomic<bool> done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      ov::platform::InvokeSync([] { throw std::runtime_error("from the window"); });
    } catch (const std::exception& e) {
      caught = e.what();
    }
    done = true;
  });
  ServiceUntil(done);
  worker.join();
  EXPECT_EQ(caught, "from the window");
}

TEST_F(QtMainThreadTest, HandOversRunInsideAnyEventLoop) {
  // A modal box or the message loop services them without the wait loop's help.
  std::atomic<bool> done{false};
  bool ran = false;
  std::thread worker([&] {
    ov::platform::InvokeSync([&] { ran = true; });
    done = true;
  });
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_TRUE(done);
  worker.join();
  EXPECT_TRUE(ran);
}

TEST_F(QtMainThreadTest, AWaitingMainThreadWakesWhenAHandOverArrives) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ov::platform::InvokeSync([] {});
    done = true;
  });
  const auto t0 = Clock::now();
  ov::platform::WaitForHandOver(60000);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(30));
  ServiceUntil(done);
  worker.join();
  // Nothing queued: the wait takes its time.
  const auto t1 = Clock::now();
  ov::platform::WaitForHandOver(60);
  EXPECT_GE(Clock::now() - t1, std::chrono::milliseconds(50));
}

TEST_F(QtMainThreadTest, ClosingReleasesAWorkerTheMainThreadNeverServed) {
  std::atomic<bool> started{false}, done{false}, ran{false};
  std::thread worker([&] {
    started = true;
    ov::platform::InvokeSync([&] { ran = true; });
    done = true;
  });
  while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the call is posted by now
  // The program end: no events are processed any more, only the hand-overs closed.
  ov::platform::CloseHandOvers();
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!done && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(done);
  worker.join();
  // A dropped call never runs later, and later calls return at once.
  QApplication::processEvents();
  EXPECT_FALSE(ran);
  std::thread late([&] { ov::platform::InvokeSync([&] { ran = true; }); });
  late.join();
  ov::platform::ProcessPending();
  EXPECT_FALSE(ran);
}

TEST_F(QtMainThreadTest, ClosingWhileWorkersKeepHandingOverNeverHangs) {
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::thread workers[2];
  for (auto& w : workers) {
    w = std::thread([&] {
      while (!stop) {
        ov::platform::InvokeSync([&] { ++calls; });
      }
    });
  }
  const auto until = Clock::now() + std::chrono::milliseconds(100);
  while (Clock::now() < until) {
    ov::platform::WaitForHandOver(5);
    ov::platform::ProcessPending();
  }
  EXPECT_GT(calls.load(), 0);
  ov::platform::CloseHandOvers();
  const int atClose = calls.load();
  stop = true;
  for (auto& w : workers) w.join();
  QApplication::processEvents();
  EXPECT_EQ(calls.load(), atClose);
}
