#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "install/InstallRunUtil.h"

namespace ov::cli {

// The live line of a terminal: bar, percent, bytes fetched, speed over the last seconds and
// the time left, estimated from the bar. Clock values are milliseconds of any steady clock.
class TProgressLine {
 public:
  void Progress(int32_t aPos, int32_t aMax, int64_t aNowMs);
  // The running download's bytes so far; a count lower than the last one starts a new file.
  void Bytes(int64_t aRead, int64_t aNowMs);
  std::string Text(int64_t aNowMs) const;
  // Bytes a second over the last seconds; -1 while too little time has passed to tell.
  int64_t Speed(int64_t aNowMs) const;
  int64_t TotalBytes() const { return FTotal; }

 private:
  int32_t FPos = 0, FMax = 0;
  int64_t FStartMs = -1;  // first progress report
  int64_t FLastRead = 0;
  int64_t FTotal = 0;
  std::deque<std::pair<int64_t, int64_t>> FSamples;  // (time, total) of the speed window
};

// Milliseconds of the steady clock, the clock the receivers' progress lines run on.
int64_t SteadyNowMs();

// "1.5 MB", "320 KB", "12 B" (units of 1024).
std::string FormatBytes(int64_t aBytes);
// "0:07", "12:30", "1:02:03".
std::string FormatDuration(int64_t aSeconds);

// Hints and sub-hints as lines. On a terminal the live line is redrawn below them every
// 200 ms; otherwise progress is printed as plain "progress N/M" lines, written out every
// 200 ms and at the end of each module.
class TConsoleReceiver : public IInstallReceiver {
 public:
  TConsoleReceiver(std::FILE* aOut, bool aTty);
  ~TConsoleReceiver() override;
  void ShowInstHint(const std::string& aHint, const std::string& aSubHint) override;
  void ShowInstProgress(int32_t aPos, int32_t aMax) override;
  void ShowFileDownProgressHint(const std::string& aHint) override;
  bool WantsFileDownProgressHint() const override { return false; }
  bool TakesHintsOnAnyThread() const override { return true; }  // every call takes FLock
  void ShowDownloadBytes(int64_t aRead, int64_t aTotal) override;
  // Ends the live line, so later output starts on a line of its own.
  void EndLine();

 private:
  void Redraw();  // FLock held
  void Tick();

  std::FILE* FOut;
  const bool FTty;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStop = false;
  bool FOpenLine = false;
  int32_t FLastPos = -1;
  std::string FLastHint;  // the main line printed last
  TProgressLine FLine;
  std::thread FTicker;
};

}  // namespace ov::cli
