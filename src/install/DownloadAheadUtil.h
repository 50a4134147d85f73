#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "update/UpdateObjUtil.h"

class TSoftSaasHelper;

// One entry of the download phase: the list entry, its download copy and its extension.
struct TFetchJob {
  const TFileInfo* Entry = nullptr;
  std::string Copy;
  std::string Ext;
};

// What fetching one entry came to: the sub-lines of its hints in order and, on failure, the
// message for the user and what the server or the system said.
struct TFetchResult {
  bool Ok = true;
  std::string Result;
  std::string Reason;
  std::vector<std::string> Hints;
};

// Downloads the entries of the download phase ahead of the walk through them, each on a
// connection of its own, so a slow file does not hold back the ones behind it. The walk still
// reports every file in list order, as it reaches it. Entries that share a download copy are
// left to the walk: two downloads into one file would spoil each other.
class TDownloadAhead {
 public:
  // aParallel downloads at once; below 2 nothing is taken and the walk fetches every entry.
  TDownloadAhead(TSoftSaasHelper& aHelper, const std::vector<TFetchJob>& aJobs,
                 const std::string& aUpdateUrl, int32_t aParallel);
  // Cancels the downloads in flight and waits for the workers.
  ~TDownloadAhead();
  TDownloadAhead(const TDownloadAhead&) = delete;
  TDownloadAhead& operator=(const TDownloadAhead&) = delete;

  bool Takes(size_t aIndex) const { return aIndex < FTaken.size() && FTaken[aIndex]; }
  // Blocks until entry aIndex (one it takes) is done.
  TFetchResult Wait(size_t aIndex);

 private:
  TSoftSaasHelper& FHelper;
  const std::vector<TFetchJob>& FJobs;
  std::string FUpdateUrl;
  std::vector<bool> FTaken;
  std::vector<size_t> FQueue;  // the taken entries in list order
  std::atomic<size_t> FNext{0};
  std::atomic<bool> FCancel{false};
  std::mutex FLock;
  std::condition_variable FDone;
  std::vector<std::optional<TFetchResult>> FResults;
  std::vector<std::thread> FWorkers;

  void Work();
};
