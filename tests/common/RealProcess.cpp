#include "common/RealProcess.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/TestHost.h"
#include "platform/Processes.h"

namespace stdfs = std::filesystem;

namespace ovtest {

bool PollUntil(const std::function<bool()>& aCondition, int64_t aMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aMs);
  for (;;) {
    if (aCondition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void CopyProgram(const std::string& aFrom, const std::string& aTo) {
  stdfs::create_directories(FsPath(aTo).parent_path());
  stdfs::copy_file(FsPath(aFrom), FsPath(aTo), stdfs::copy_options::overwrite_existing);
}

void TChildren::EndAll() {
  for (uint32_t pid : FPids) {
    ov::platform::TerminateProcess(pid, 0);
    int32_t code = 0;
    ov::platform::WaitForProcess(pid, code, 10000);
  }
  FPids.clear();
}

}  // namespace ovtest
