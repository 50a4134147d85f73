#include "cli/JsonReceiver.h"

#include <nlohmann/json.hpp>

#include "install/SoftSaasHelperUtil.h"

namespace ov::cli {

namespace {

// Texts are UTF-8; one that is not still makes a valid line.
std::string Dump(const nlohmann::json& aLine) {
  return aLine.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json TextOrNull(const std::string& aText) {
  return aText.empty() ? nlohmann::json() : nlohmann::json(aText);
}

nlohmann::json BytesOrNull(int64_t aBytes) {
  return aBytes < 0 ? nlohmann::json() : nlohmann::json(aBytes);
}

}  // namespace

void TJsonReceiver::Emit(const std::string& aLine) {
  if (FClosed) return;  // nothing follows the result line
  std::fprintf(FOut, "%s\n", aLine.c_str());
  std::fflush(FOut);
}

void TJsonReceiver::ShowInstHint(const std::string& aHint, const std::string& aSubHint) {
  std::lock_guard<std::mutex> g(FLock);
  Emit(Dump({{"event", "hint"}, {"hint", aHint}, {"sub", aSubHint}}));
}

void TJsonReceiver::ShowInstProgress(int32_t aPos, int32_t aMax) {
  std::lock_guard<std::mutex> g(FLock);
  if (aMax <= 0 || aPos == FLastPos) return;
  FLastPos = aPos;
  const int64_t now = SteadyNowMs();
  FLine.Progress(aPos, aMax, now);
  const int64_t speed = FLine.Speed(now);
  Emit(Dump({{"event", "progress"},
             {"pos", aPos},
             {"max", aMax},
             {"bytes", FLine.TotalBytes()},
             {"speed", speed >= 0 ? nlohmann::json(speed) : nlohmann::json()}}));
}

void TJsonReceiver::ShowDownloadBytes(int64_t aRead, int64_t) {
  std::lock_guard<std::mutex> g(FLock);
  FLine.Bytes(aRead, SteadyNowMs());
}

void TJsonReceiver::ShowModuleStart(const std::string& aName) {
  std::lock_guard<std::mutex> g(FLock);
  Emit(Dump({{"event", "module"}, {"state", "start"}, {"name", aName}}));
}

void TJsonReceiver::ShowModuleEnd(const std::string& aName, int32_t aResult,
                                  const std::string& aMessage) {
  std::lock_guard<std::mutex> g(FLock);
  Emit(Dump({{"event", "module"},
             {"state", "end"},
             {"name", aName},
             {"result", aResult},
             {"message", aMessage}}));
}

void TJsonReceiver::ShowResult(int aExitCode, const std::string& aMessage) {
  std::lock_guard<std::mutex> g(FLock);
  Emit(Dump({{"event", "result"}, {"exit", aExitCode}, {"message", aMessage}}));
  FClosed = true;
}

void TJsonReceiver::ShowCheck(int aExitCode, const std::string& aMessage,
                              const std::vector<TModuleCheck>& aModules) {
  nlohmann::json modules = nlohmann::json::array();
  for (const auto& m : aModules) {
    modules.push_back({{"name", m.Name},
                       {"path", m.Path},
                       {"tmp_path", m.TmpPath},
                       {"current_version", TextOrNull(m.CurVer)},
                       {"new_version", TextOrNull(m.NewVer)},
                       {"files", m.Space.FetchCount},
                       {"bytes", m.Space.FetchBytes},
                       {"one_volume", m.Space.OneVolume},
                       {"path_need", m.Space.OneVolume ? m.Space.TmpNeed : m.Space.PathNeed},
                       {"path_free", BytesOrNull(m.Space.PathFree)},
                       {"tmp_need", m.Space.TmpNeed},
                       {"tmp_free", BytesOrNull(m.Space.TmpFree)},
                       {"ok", m.Result == 1},
                       {"message", m.Message}});
  }
  std::lock_guard<std::mutex> g(FLock);
  Emit(Dump({{"event", "check"},
             {"exit", aExitCode},
             {"message", aMessage},
             {"modules", std::move(modules)}}));
  FClosed = true;
}

}  // namespace ov::cli
