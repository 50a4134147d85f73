#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the whole-install tests need of their host besides the platform layer: running the
// installer program as a child, and cleaning up the services its installs leave running.
namespace ovtest {

// One run of a program, standard output and error into files.
class TProgramRun {
 public:
  TProgramRun() = default;
  ~TProgramRun();  // a run still going is killed
  TProgramRun(const TProgramRun&) = delete;
  TProgramRun& operator=(const TProgramRun&) = delete;

  // aArgs[0] is the program's host path. False when it cannot be started.
  bool Start(const std::vector<std::string>& aArgs, const std::string& aOutFile,
             const std::string& aErrFile);
  // Its exit code once it ended within aMs; -1 while it runs, or when it was killed.
  int Wait(int64_t aMs);
  // Ends it at once.
  bool Kill();
  // What Ctrl-C does to it.
  bool Interrupt();

 private:
  static constexpr int kKilled = -2;
  intptr_t FHandle = 0;  // the child's pid on POSIX, its process handle on Windows
  bool FEnded = false;
  int FExit = -1;
};

// Before a test's installs. On POSIX this process adopts the services they start, so it can
// reap them; on Windows the test reads the machine's registry, where its children write.
void BeginInstalls();
// After them: stops and removes the services they registered and what they wrote to the
// machine's settings.
void EndInstalls();

}  // namespace ovtest
