#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Helpers of the tests that run real processes (copies of the sample program, runit).
namespace ovtest {

// Polls aCondition every 20 ms until it holds or aMs have passed.
bool PollUntil(const std::function<bool()>& aCondition, int64_t aMs = 15000);
// The state letter of /proc/<pid>/stat ('Z' for a zombie), 0 when there is no such process.
char ProcState(uint32_t aPid);
// True once the process ignores TERM (the sample program sets that up first thing; a TERM sent
// before would still end it).
bool IgnoresTerm(uint32_t aPid);
// Reaps the children this process adopted as a subreaper, waiting briefly for stragglers.
void ReapAdopted();
// Live processes whose image or working folder lies below the host folder aRoot ("pid pid ").
std::string Leftovers(const std::string& aRoot);
// Copies the file aFrom to the host path aTo, making its folder.
void CopyProgram(const std::string& aFrom, const std::string& aTo);

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
