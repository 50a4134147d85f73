#include "ui/QtMainThreadUtil.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/OVError.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long closing waits for callers whose calls it has dropped to leave; they leave at once
// unless a call is running on the main thread at that moment.
constexpr auto kCloseWait = std::chrono::seconds(5);

class TQtMainThread final : public ov::platform::IMainThread {
 public:
  TQtMainThread() : FContext(std::make_unique<QObject>()) {}

  ~TQtMainThread() override {
    Close();
    // The receiver lives on the main thread; from anywhere else the main thread deletes it.
    if (IsMainThread())
      FContext.reset();
    else
      FContext.release()->deleteLater();
  }

  bool IsMainThread() override { return std::this_thread::get_id() == FMain; }

  void InvokeSync(const std::function<void()>& aFn) override {
    if (IsMainThread()) {
      aFn();
      return;
    }
    auto task = std::make_shared<TTask>();
    task->Fn = aFn;
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FClosed) return;
      ++FInFlight;
      ++FQueued;
      FWake.notify_all();
    }
    // Returns when the main thread has run the call, or when the call's event was deleted
    // unrun (closing removes it).
    QMetaObject::invokeMethod(
        FContext.get(), [this, task] { Run(*task); }, Qt::BlockingQueuedConnection);
    bool failed = false;
    std::string error;
    {
      std::lock_guard<std::mutex> g(FLock);
      if (!task->Taken) {
        task->Taken = true;
        --FQueued;
      }
      --FInFlight;
      failed = task->Failed;
      error = task->Error;
      FIdle.notify_all();
    }
    if (failed) throw ov::Error(error);
  }

  void ProcessPending() override { QCoreApplication::processEvents(); }

  void WaitForHandOver(int32_t aMs) override {
    std::unique_lock<std::mutex> g(FLock);
    FWake.wait_for(g, std::chrono::milliseconds(aMs < 0 ? 0 : aMs),
                   [&] { return FQueued > 0 || FClosed; });
  }

  void Close() override {
    std::unique_lock<std::mutex> g(FLock);
    FClosed = true;
    FWake.notify_all();
    const auto deadline = Clock::now() + kCloseWait;
    // A caller that passed the closed test just before may post its event only now, so the
    // removal repeats until every caller has left.
    while (FInFlight > 0 && Clock::now() < deadline) {
      g.unlock();
      QCoreApplication::removePostedEvents(FContext.get(), QEvent::MetaCall);
      g.lock();
      FIdle.wait_for(g, std::chrono::milliseconds(1), [&] { return FInFlight == 0; });
    }
  }

 private:
  // What crosses between the threads is read and written under FLock only: Qt's own wait is
  // invisible to the thread checker.
  struct TTask {
    std::function<void()> Fn;
    bool Taken = false;  // run, dropped, or given up by its caller
    bool Failed = false;
    std::string Error;
  };

  void Run(TTask& aTask) {
    {
      std::lock_guard<std::mutex> g(FLock);
      if (aTask.Taken) return;
      aTask.Taken = true;
      --FQueued;
      if (FClosed) return;
    }
    bool failed = false;
    std::string error;
    try {
      aTask.Fn();
    } catch (const std::exception& e) {
      failed = true;
      error = e.what();
    } catch (...) {
      failed = true;
      error = "unknown error";
    }
    std::lock_guard<std::mutex> g(FLock);
    aTask.Failed = failed;
    aTask.Error = error;
  }

  const std::thread::id FMain = std::this_thread::get_id();
  std::unique_ptr<QObject> FContext;
  std::mutex FLock;
  std::condition_variable FWake, FIdle;
  int FQueued = 0;    // posted and not yet taken
  int FInFlight = 0;  // callers inside a blocking call
  bool FClosed = false;
};

}  // namespace

std::shared_ptr<ov::platform::IMainThread> CreateQtMainThread() {
  return std::make_shared<TQtMainThread>();
}
