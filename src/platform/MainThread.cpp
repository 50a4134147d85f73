#include "platform/MainThread.h"

#include "common/OVError.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <string>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace ov::platform {

namespace {

class TQueueMainThread : public IMainThread {
 public:
  bool IsMainThread() override { return std::this_thread::get_id() == FMain; }

  void InvokeSync(const std::function<void()>& aFn) override {
    if (IsMainThread()) {
      aFn();
      return;
    }
    auto task = std::make_shared<TTask>();
    task->Fn = aFn;
    std::unique_lock<std::mutex> g(FLock);
    if (FClosed) return;
    FQueue.push_back(task);
    FWake.notify_all();
    FDone.wait(g, [&] { return task->Done || FClosed; });
    if (task->Failed) throw ov::Error(task->Error);
  }

  void ProcessPending() override {
    for (;;) {
      std::shared_ptr<TTask> task;
      {
        std::lock_guard<std::mutex> g(FLock);
        if (FQueue.empty()) return;
        task = FQueue.front();
        FQueue.pop_front();
      }
      // Only the text crosses threads: an exception object shared between two threads is
      // beyond what the thread checker can follow.
      try {
        task->Fn();
      } catch (const std::exception& e) {
        task->Failed = true;
        task->Error = e.what();
      } catch (...) {
        task->Failed = true;
        task->Error = "unknown error";
      }
      std::lock_guard<std::mutex> g(FLock);
      task->Done = true;
      FDone.notify_all();
    }
  }

  void WaitForHandOver(int32_t aMs) override {
    std::unique_lock<std::mutex> g(FLock);
    FWake.wait_for(g, std::chrono::milliseconds(aMs < 0 ? 0 : aMs),
                   [&] { return !FQueue.empty() || FClosed; });
  }

  void Close() override {
    std::lock_guard<std::mutex> g(FLock);
    FClosed = true;
    FQueue.clear();
    FDone.notify_all();
    FWake.notify_all();
  }

 private:
  struct TTask {
    std::function<void()> Fn;
    bool Done = false;
    bool Failed = false;
    std::string Error;
  };
  std::thread::id FMain = std::this_thread::get_id();
  std::mutex FLock;
  std::condition_variable FWake, FDone;
  std::deque<std::shared_ptr<TTask>> FQueue;
  bool FClosed = false;
};

std::mutex gImplLock;
std::shared_ptr<IMainThread> gImpl;

std::shared_ptr<IMainThread> Impl() {
  std::lock_guard<std::mutex> g(gImplLock);
  if (!gImpl) gImpl = CreateQueueMainThread();
  return gImpl;
}

struct TWorker {
  std::thread Thread;
  bool Done = false;
};

std::mutex gWorkerLock;
std::condition_variable gWorkerDone;
std::list<TWorker> gWorkers;
std::vector<std::function<void()>> gCancelHooks;

// Joins the threads that have ended; the caller holds gWorkerLock.
void ReapLocked() {
  for (auto it = gWorkers.begin(); it != gWorkers.end();) {
    if (it->Done) {
      if (it->Thread.joinable()) it->Thread.join();
      it = gWorkers.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

std::shared_ptr<IMainThread> CreateQueueMainThread() {
  return std::make_shared<TQueueMainThread>();
}

void SetMainThread(std::shared_ptr<IMainThread> aImpl) {
  std::lock_guard<std::mutex> g(gImplLock);
  gImpl = aImpl ? std::move(aImpl) : CreateQueueMainThread();
}

bool IsMainThread() { return Impl()->IsMainThread(); }
void InvokeSync(const std::function<void()>& aFn) { Impl()->InvokeSync(aFn); }
void ProcessPending() { Impl()->ProcessPending(); }
void WaitForHandOver(int32_t aMs) { Impl()->WaitForHandOver(aMs); }

void CloseHandOvers() { Impl()->Close(); }

void StartWorker(std::function<void()> aFn) {
  std::lock_guard<std::mutex> g(gWorkerLock);
  ReapLocked();
  gWorkers.emplace_back();
  TWorker* w = &gWorkers.back();
  w->Thread = std::thread([w, fn = std::move(aFn)] {
    try {
      fn();
    } catch (...) {
      // A worker's error has nowhere to go; the worker reports through its own results.
    }
    std::lock_guard<std::mutex> lg(gWorkerLock);
    w->Done = true;
    gWorkerDone.notify_all();
  });
}

void AddCancelHook(std::function<void()> aHook) {
  std::lock_guard<std::mutex> g(gWorkerLock);
  gCancelHooks.push_back(std::move(aHook));
}

bool JoinWorkers(int32_t aTimeoutMs) {
  std::vector<std::function<void()>> hooks;
  {
    std::lock_guard<std::mutex> g(gWorkerLock);
    hooks = gCancelHooks;
  }
  for (auto& h : hooks) {
    try {
      h();
    } catch (...) {
    }
  }
  std::unique_lock<std::mutex> g(gWorkerLock);
  gWorkerDone.wait_for(g, std::chrono::milliseconds(aTimeoutMs < 0 ? 0 : aTimeoutMs), [] {
    for (const auto& w : gWorkers) {
      if (!w.Done) return false;
    }
    return true;
  });
  ReapLocked();
  if (gWorkers.empty()) return true;
  // The rest may still run; they are detached only so that their handles can be released.
  for (auto& w : gWorkers) {
    if (w.Thread.joinable()) w.Thread.detach();
  }
  return false;
}

int32_t RunningWorkers() {
  std::lock_guard<std::mutex> g(gWorkerLock);
  int32_t n = 0;
  for (const auto& w : gWorkers) n += w.Done ? 0 : 1;
  return n;
}

}  // namespace ov::platform
