#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// The main thread and the worker threads of the process. The core reaches the main thread only
// through these calls; the window installs its own implementation (Qt's event loop), the
// unattended front end and the tests use the built-in queue.
namespace ov::platform {

class IMainThread {
 public:
  virtual ~IMainThread() = default;
  virtual bool IsMainThread() = 0;
  // Runs aFn on the main thread and returns when it has run; an error it raises comes back to
  // the caller as an ov::Error with its text.
  virtual void InvokeSync(const std::function<void()>& aFn) = 0;
  // Runs the queued hand-overs (and, in the window, pending window events).
  virtual void ProcessPending() = 0;
  // Sleeps up to aMs, or less when a hand-over is queued meanwhile.
  virtual void WaitForHandOver(int32_t aMs) = 0;
  // Drops pending and later hand-overs and releases the workers waiting on them.
  virtual void Close() = 0;
};

// The built-in queue; its main thread is the thread that created it.
std::shared_ptr<IMainThread> CreateQueueMainThread();
// Replaces the process's implementation (null: a queue for the calling thread).
void SetMainThread(std::shared_ptr<IMainThread> aImpl);

bool IsMainThread();
void InvokeSync(const std::function<void()>& aFn);
void ProcessPending();
void WaitForHandOver(int32_t aMs);
// Ends the hand-overs at program end: pending and later ones are dropped instead of run, so a
// worker that still hints never blocks on a main thread that has stopped servicing it.
void CloseHandOvers();

// Worker threads owned by the process: started here, never detached by their starters.
void StartWorker(std::function<void()> aFn);
// Called first when the workers are joined at program end (the exit flag, download cancels).
void AddCancelHook(std::function<void()> aHook);
// Runs the cancel hooks, then waits up to aTimeoutMs in all for the workers; true when every
// worker ended. Workers still running then are left to the process's end.
bool JoinWorkers(int32_t aTimeoutMs);
// Workers started and not yet ended.
int32_t RunningWorkers();

}  // namespace ov::platform
