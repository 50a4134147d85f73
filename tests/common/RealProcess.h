#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Helpers of the tests that run real processes (copies of the sample program, services).
// RealProcess.cpp holds what both hosts share, RealProcess-<host>.cpp the rest.
namespace ovtest {

// Polls aCondition every 20 ms until it holds or aMs have passed.
bool PollUntil(const std::function<bool()>& aCondition, int64_t aMs = 15000);
// The state letter of /proc/<pid>/stat ('Z' for a zombie), 0 when there is no such process.
// POSIX only.
char ProcState(uint32_t aPid);
// True once the process ignores a stop (the sample program sets that up first thing on POSIX;
// a TERM sent before would still end it). A Windows service of the sample program reports
// running only after that, so there it is true.
bool IgnoresTerm(uint32_t aPid);
// Reaps the children this process adopted as a subreaper, waiting briefly for stragglers.
// Nothing to do on Windows.
void ReapAdopted();
// Live processes whose image (or, on POSIX, working folder) lies below the host folder aRoot
// ("pid pid ").
std::string Leftovers(const std::string& aRoot);
// Copies the file aFrom to the host path aTo, making its folder.
void CopyProgram(const std::string& aFrom, const std::string& aTo);

// This process's id, and whether a process has ended (a zombie counts as ended).
uint32_t SelfPid();
bool ProcessEnded(uint32_t aPid);
// The exit code WaitForProcess reports for a process ended by TerminateProcess(pid, aGiven):
// the code given on Windows, 128 + SIGKILL on POSIX, where a killed process has none.
int32_t TerminatedExitCode(uint32_t aGiven);

// Services a test installs. Windows keeps them in the service control manager beyond the test,
// so there each is stopped (its process ended when it ignores the stop) and deleted at the
// end; on POSIX they go with the test's prefix once the supervision of the prefix has ended.
class TServices {
 public:
  // Gets the host's services ready (POSIX: runit can supervise the prefix); false with the
  // reason when they cannot be used.
  bool Begin(std::string& aWhyNot);
  void Add(const std::string& aName) { FNames.push_back(aName); }
  // True when every service of the test and its process is gone.
  bool EndAll();
  // Takes one service away behind the back of a handle that has it open: deleted from the
  // manager, or its service folder removed.
  static bool Remove(const std::string& aName);
  // Removes every service an install registered, on Windows all but the system's own (its
  // program under C:\Windows); on POSIX nothing, as their supervision ends with the prefix's.
  static void RemoveInstalled();

 private:
  std::vector<std::string> FNames;
};

// Children a test started: killed and reaped at its end.
class TChildren {
 public:
  void Add(uint32_t aPid) {
    if (aPid) FPids.push_back(aPid);
  }
  void EndAll();

 private:
  std::vector<uint32_t> FPids;
};

}  // namespace ovtest
