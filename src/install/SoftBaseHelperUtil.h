#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/OVSyncObj.h"

// The installer state shared by the main window and the installers.
class TSoftVar {
 public:
  TSoftVar();
  ~TSoftVar();
  TSoftVar(const TSoftVar&) = delete;
  TSoftVar& operator=(const TSoftVar&) = delete;

  TOVSyncStr& code() { return *Fcode; }
  TOVSyncStr& name() { return *Fname; }
  TOVSyncStr& path() { return *Fpath; }
  TOVSyncStringList& sliders() { return *Fsliders; }

 private:
  std::unique_ptr<TOVSyncStr> Fcode;
  std::unique_ptr<TOVSyncStr> Fname;
  std::unique_ptr<TOVSyncStr> Fpath;
  std::unique_ptr<TOVSyncStringList> Fsliders;
};

// The process-wide installer state; SoftVar() throws ov::Error when none exists.
TSoftVar& SoftVar();
bool HasSoftVar();
void CreateSoftVar();
void FreeSoftVar();

using TOnAppInstHint = std::function<void(const std::string& aHint, const std::string& aSubHint)>;
using TOnAppInstProgress = std::function<void(int32_t aPos, int32_t aMax)>;
using TOnAppFileDownProgressHint = std::function<void(const std::string& aHint)>;
// Bytes of the running download so far and its length (0 when unknown), for front ends that
// show amounts and speed; raised on the downloading thread, without a hand-over.
using TOnDownloadBytes = std::function<void(int64_t aRead, int64_t aTotal)>;

// The root of every product installer: the three events to the main window and the services
// all installers share.
class TSoftBaseHelper {
 public:
  TSoftBaseHelper() = default;
  virtual ~TSoftBaseHelper() = default;
  TSoftBaseHelper(const TSoftBaseHelper&) = delete;
  TSoftBaseHelper& operator=(const TSoftBaseHelper&) = delete;

  const TOnAppInstHint& OnAppInstHint() const { return FOnAppInstHint; }
  void SetOnAppInstHint(TOnAppInstHint aValue) { FOnAppInstHint = std::move(aValue); }
  const TOnAppInstProgress& OnAppInstProgress() const { return FOnAppInstProgress; }
  void SetOnAppInstProgress(TOnAppInstProgress aValue) { FOnAppInstProgress = std::move(aValue); }
  const TOnAppFileDownProgressHint& OnAppFileDownProgressHint() const {
    return FOnAppFileDownProgressHint;
  }
  void SetOnAppFileDownProgressHint(TOnAppFileDownProgressHint aValue) {
    FOnAppFileDownProgressHint = std::move(aValue);
  }
  // Front ends whose handlers may run on any thread (the console) take the hints on the
  // thread that raises them, without waiting for the main thread.
  void SetHintsOnCallerThread(bool aValue) { FHintsOnCallerThread = aValue; }
  const TOnDownloadBytes& OnDownloadBytes() const { return FOnDownloadBytes; }
  void SetOnDownloadBytes(TOnDownloadBytes aValue) { FOnDownloadBytes = std::move(aValue); }

  int64_t GetTickTime();
  void Log(const std::string& aLog, bool aIsLog = false);
  // One JSON post on libcurl: 1 when the answer's status is 200 to 299, else 0 with the
  // reason in aRespond. aHeads is "name=value,name=value".
  int32_t DoNetPost2(const std::string& aUrl, const std::string& aHeads, const std::string& aParam,
                     std::string& aRespond);

 protected:
  // Raised on the main thread; the caller waits until the handler has run.
  void AppInstHint(const std::string& aHint, const std::string& aSubHint);
  void AppFileDownProgressHint(const std::string& aHint);
  // True (with the stop message in aResult) once the application is quitting.
  bool IsAppInstStop(std::string& aResult);
  // Raises the progress event on the calling thread when it is assigned.
  void AppInstProgress(int32_t aPos, int32_t aMax);
  void DownloadBytes(int64_t aRead, int64_t aTotal) {
    if (FOnDownloadBytes) FOnDownloadBytes(aRead, aTotal);
  }

 private:
  TOnAppInstHint FOnAppInstHint;
  TOnAppInstProgress FOnAppInstProgress;
  TOnAppFileDownProgressHint FOnAppFileDownProgressHint;
  TOnDownloadBytes FOnDownloadBytes;
  std::atomic<bool> FHintsOnCallerThread{false};
};
