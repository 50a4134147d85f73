#include "install/DownloadAheadUtil.h"

#include <map>

#include "base/OVLibUtil.h"
#include "base/OVStopUtil.h"
#include "common/OVTextUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "net/UpdateHTTPUtil.h"
#include "platform/Paths.h"
#include "ui/OVLangUtil.h"

namespace str = ov::str;

TDownloadAhead::TDownloadAhead(TSoftSaasHelper& aHelper, const std::vector<TFetchJob>& aJobs,
                               const std::string& aUpdateUrl, int32_t aParallel)
    : FHelper(aHelper), FJobs(aJobs), FUpdateUrl(aUpdateUrl), FTaken(aJobs.size(), false),
      FResults(aJobs.size()) {
  if (aParallel < 2 || aJobs.empty()) return;
  // A copy, or its archive variant, that two entries would write.
  std::map<std::string, int> users;
  for (const auto& j : aJobs) {
    ++users[str::UpperCase(j.Copy)];
    ++users[str::UpperCase(j.Copy + ".zip")];
  }
  for (size_t i = 0; i < aJobs.size(); ++i) {
    const std::string key = str::UpperCase(aJobs[i].Copy);
    if (users[key] == 1 && users[str::UpperCase(aJobs[i].Copy + ".zip")] == 1) {
      FTaken[i] = true;
      FQueue.push_back(i);
    }
  }
  const size_t workers = std::min(static_cast<size_t>(aParallel), FQueue.size());
  try {
    for (size_t w = 0; w < workers; ++w) FWorkers.emplace_back([this] { Work(); });
  } catch (const std::exception& e) {
    TovLib::Log(std::string("[文件下载]无法启动下载线程：") + e.what(), true);
    if (FWorkers.empty()) {
      FTaken.assign(aJobs.size(), false);
      FQueue.clear();
    }
  }
}

TDownloadAhead::~TDownloadAhead() {
  FCancel = true;
  for (auto& w : FWorkers) w.join();
}

TFetchResult TDownloadAhead::Wait(size_t aIndex) {
  std::unique_lock<std::mutex> g(FLock);
  FDone.wait(g, [&] { return FResults[aIndex].has_value(); });
  TFetchResult r = std::move(*FResults[aIndex]);
  FResults[aIndex].reset();
  return r;
}

void TDownloadAhead::Work() {
  TNetHTTP net;
  net.SetStopTest([this] { return FCancel.load() || ov::StopRequested(); });
  TSoftSaasHelper::TByteCount count;
  net.SetOnFileDownload([this, &count](ov::net::IHttpStack*, const std::string&,
                                       const std::string&, int64_t, int64_t, int64_t,
                                       int64_t aRead, int64_t, int64_t, bool&) {
    FHelper.CountDownloadBytes(count, aRead);
  });
  const ov::platform::TMapScope walk;  // the copies share a few folders
  for (;;) {
    const size_t k = FNext++;
    if (k >= FQueue.size()) return;
    const size_t i = FQueue[k];
    TFetchResult r;
    if (FCancel) {
      r.Ok = false;  // the walk has ended and never reads it
    } else {
      std::vector<std::string> hints;
      try {
        r = FHelper.FetchEntry(FJobs[i], FUpdateUrl, net,
                               [&hints](const std::string& aSub) { hints.push_back(aSub); });
        r.Hints = std::move(hints);
      } catch (const std::exception& e) {
        r.Ok = false;
        r.Result = LangT("app_dup_down", "下载") + LangT("gls_failed", "失败") + LangC("：") +
                   FJobs[i].Entry->TargetFile;
        r.Reason = e.what();
        r.Hints = std::move(hints);
        r.Hints.push_back(r.Result);
      }
    }
    {
      std::lock_guard<std::mutex> g(FLock);
      FResults[i] = std::move(r);
    }
    FDone.notify_all();
  }
}
