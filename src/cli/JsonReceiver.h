#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ConsoleReceiver.h"
#include "install/InstallRunUtil.h"

namespace ov::cli {

// ovinst --json: one JSON object a line for scripts, and nothing else on its stream:
//   {"event":"module","state":"start","name":"Web"}
//   {"event":"hint","hint":"...","sub":"..."}
//   {"event":"progress","pos":12,"max":100,"bytes":81920,"speed":40960}
//   {"event":"module","state":"end","name":"Web","result":1,"message":""}
//   {"event":"result","exit":0,"message":"..."}
// "speed" is bytes a second over the last seconds, null until it can be told.
// ovinst --check --json prints one object and nothing else:
//   {"event":"check","exit":0,"message":"","modules":[{"name":"Web","path":"...",
//    "tmp_path":"...","current_version":null,"new_version":"1.0.5","files":3,"bytes":12345,
//    "one_volume":true,"path_need":..,"path_free":..,"tmp_need":..,"tmp_free":..,
//    "ok":true,"message":""}]}
// Versions and free space are null where they cannot be told.
class TJsonReceiver : public IInstallReceiver {
 public:
  explicit TJsonReceiver(std::FILE* aOut) : FOut(aOut) {}
  void ShowInstHint(const std::string& aHint, const std::string& aSubHint) override;
  void ShowInstProgress(int32_t aPos, int32_t aMax) override;
  void ShowFileDownProgressHint(const std::string&) override {}
  bool WantsFileDownProgressHint() const override { return false; }
  bool TakesHintsOnAnyThread() const override { return true; }  // every call takes FLock
  void ShowDownloadBytes(int64_t aRead, int64_t aTotal) override;
  void ShowModuleStart(const std::string& aName) override;
  void ShowModuleEnd(const std::string& aName, int32_t aResult,
                     const std::string& aMessage) override;
  // The last line of a run; later calls print nothing.
  void ShowResult(int aExitCode, const std::string& aMessage);
  // The whole answer of a check, as the last line.
  void ShowCheck(int aExitCode, const std::string& aMessage,
                 const std::vector<TModuleCheck>& aModules);

 private:
  void Emit(const std::string& aLine);  // FLock held

  std::FILE* FOut;
  std::mutex FLock;
  int32_t FLastPos = -1;
  bool FClosed = false;
  TProgressLine FLine;
};

}  // namespace ov::cli
