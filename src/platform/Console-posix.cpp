#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "platform/Console.h"

namespace ov::platform {

bool PrepareConsole(std::FILE* aFile) { return ::isatty(::fileno(aFile)) == 1; }

void ClearConsoleLine(std::FILE* aFile) { std::fputs("\r\033[K", aFile); }

// The signals are blocked in every thread (threads started later inherit the mask) and taken
// by sigtimedwait, so no handler runs inside the installer's locks.
struct TStopRequests::TImpl {
  sigset_t Stops;
  std::atomic<bool> Done{false};
  std::thread Watcher;
};

TStopRequests::TStopRequests(std::function<void()> aOnStop) : FImpl(std::make_unique<TImpl>()) {
  sigemptyset(&FImpl->Stops);
  sigaddset(&FImpl->Stops, SIGINT);
  sigaddset(&FImpl->Stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &FImpl->Stops, nullptr);
  FImpl->Watcher = std::thread([impl = FImpl.get(), onStop = std::move(aOnStop)] {
    const timespec tick{0, 100 * 1000 * 1000};
    while (!impl->Done) {
      if (sigtimedwait(&impl->Stops, nullptr, &tick) > 0) onStop();
    }
  });
}

TStopRequests::~TStopRequests() {
  FImpl->Done = true;
  FImpl->Watcher.join();
}

}  // namespace ov::platform
