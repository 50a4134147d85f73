#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "SampleProgram.h"
#include "platform/Paths.h"

namespace ovsample {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool HoldFile(const std::string& aWinFile) {
  // Left open on purpose: it closes when the program ends.
  return ::open(ov::platform::MapToHost(aWinFile).c_str(), O_RDONLY | O_CLOEXEC) >= 0;
}

// A supervisor stops its service with TERM; a terminal adds INT.
int RunUntilStopped(bool aIgnoreStop) {
  if (aIgnoreStop) {
    ::signal(SIGTERM, SIG_IGN);
    for (;;) ::pause();
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  int sig = 0;
  sigwait(&set, &sig);
  return 0;
}

}  // namespace ovsample
