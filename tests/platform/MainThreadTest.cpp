#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/MainThread.h"

using namespace ov::platform;
using Clock = std::chrono::steady_clock;

namespace {

class MainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThread(CreateQueueMainThread()); }
  void TearDown() override { SetMainThread(nullptr); }
  // Services hand-overs until aDone or a generous deadline.
  static void ServiceUntil(const std::atomic<bool>& aDone) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!aDone && Clock::now() < deadline) {
      WaitForHandOver(30);
      ProcessPending();
    }
  }
};

}  // namespace

TEST_F(MainThreadTest, HandOverRunsOnTheMainThreadAndBlocksTheCaller) {
  const auto mainId = std::this_thread::get_id();
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  bool ranBeforeReturn = false;
  std::thread worker([&] {
    EXPECT_FALSE(IsMainThread());
    bool ran = false;
    InvokeSync([&] {
      ranOn = std::this_thread::get_id();
      ran = true;
    });
    ranBeforeReturn = ran;
    done = true;
  });
  ServiceUntil(done);
  worker.join();
  EXPECT_TRUE(ranBeforeReturn);
  EXPECT_EQ(ranOn, mainId);
  // On the main thread itself the call runs at once.
  int n = 0;
  InvokeSync([&] { ++n; });
  EXPECT_EQ(n, 1);
}

TEST_F(MainThreadTest, ErrorsReachTheCaller) {
  std::atomic<bool> done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      InvokeSync([] { throw std::runtime_error("from main"); });
    } catch (const std::exception& e) {
      caught = e.what();
    }
    done = true;
  });
  ServiceUntil(done);
  worker.join();
  EXPECT_EQ(caught, "from main");
}

TEST_F(MainThreadTest, AWaitingMainThreadWakesWhenAHandOverArrives) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    InvokeSync([] {});
    done = true;
  });
  const auto t0 = Clock::now();
  WaitForHandOver(60000);
  // Far below the minute asked for: the hand-over ended the wait.
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(30));
  ServiceUntil(done);
  worker.join();
}

TEST_F(MainThreadTest, ClosedHandOversReleaseWaitingWorkers) {
  std::atomic<bool> done{false};
  std::atomic<bool> ran{false};
  std::thread worker([&] {
    InvokeSync([&] { ran = true; });
    done = true;
  });
  while (!done) {
    CloseHandOvers();  // the main thread has stopped servicing: the worker must not hang
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker.join();
  EXPECT_FALSE(ran);
}

TEST(Workers, JoinRunsCancelHooksFirstAndBoundsTheWait) {
  static std::atomic<bool> cancel{false};  // the hook stays registered for the process
  AddCancelHook([] { cancel = true; });
  std::atomic<bool> finished{false};
  StartWorker([&] {
    while (!cancel) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    finished = true;
  });
  EXPECT_EQ(RunningWorkers(), 1);
  EXPECT_TRUE(JoinWorkers(20000));
  EXPECT_TRUE(finished);
  EXPECT_EQ(RunningWorkers(), 0);

  std::atomic<bool> release{false};
  StartWorker([&] {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  EXPECT_FALSE(JoinWorkers(50));  // stuck: reported, not waited for endlessly
  release = true;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (RunningWorkers() > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(RunningWorkers(), 0);
}
