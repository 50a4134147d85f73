#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "common/RealProcess.h"
#include "e2e/OvInstHost.h"
#include "platform/Services.h"

namespace ovtest {

TProgramRun::~TProgramRun() {
  if (FHandle && !FEnded) {
    Kill();
    Wait(10000);
  }
}

bool TProgramRun::Start(const std::vector<std::string>& aArgs, const std::string& aOutFile,
                        const std::string& aErrFile) {
  std::vector<std::string> args = aArgs;
  std::fflush(nullptr);  // the child must not write this process's buffered output again
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    if (!freopen(aOutFile.c_str(), "w", stdout) || !freopen(aErrFile.c_str(), "w", stderr)) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  FHandle = pid;
  FEnded = false;
  return pid > 0;
}

int TProgramRun::Wait(int64_t aMs) {
  if (!FEnded) {
    int status = 0;
    const pid_t pid = static_cast<pid_t>(FHandle);
    if (!PollUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, aMs)) return -1;
    FEnded = true;
    FExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return FExit;
}

bool TProgramRun::Kill() { return !FEnded && kill(static_cast<pid_t>(FHandle), SIGKILL) == 0; }

bool TProgramRun::Interrupt() {
  return !FEnded && kill(static_cast<pid_t>(FHandle), SIGINT) == 0;
}

void BeginInstalls() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

void EndInstalls() {
  ov::platform::StopSupervision();
  ReapAdopted();
}

}  // namespace ovtest
