#include "cli/ConsoleReceiver.h"

#include <algorithm>
#include <chrono>

#include "platform/Console.h"

namespace ov::cli {

namespace {

int64_t NowMs() { return SteadyNowMs(); }

// Speed is taken over this much of the recent past.
constexpr int64_t kSpeedWindowMs = 3000;

}  // namespace

int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string FormatBytes(int64_t aBytes) {
  if (aBytes < 1024) return std::to_string(aBytes < 0 ? 0 : aBytes) + " B";
  static const char* const units[] = {"KB", "MB", "GB", "TB"};
  double v = static_cast<double>(aBytes);
  int u = -1;
  while (v >= 1024 && u < 3) {
    v /= 1024;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
  return buf;
}

std::string FormatDuration(int64_t aSeconds) {
  if (aSeconds < 0) aSeconds = 0;
  const int64_t h = aSeconds / 3600, m = aSeconds / 60 % 60, s = aSeconds % 60;
  char buf[32];
  if (h > 0) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s));
  } else {
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(m),
                  static_cast<long long>(s));
  }
  return buf;
}

void TProgressLine::Progress(int32_t aPos, int32_t aMax, int64_t aNowMs) {
  if (FStartMs < 0) FStartMs = aNowMs;
  FPos = aPos;
  FMax = aMax;
}

void TProgressLine::Bytes(int64_t aRead, int64_t aNowMs) {
  if (aRead < 0) return;
  FTotal += aRead >= FLastRead ? aRead - FLastRead : aRead;
  FLastRead = aRead;
  FSamples.emplace_back(aNowMs, FTotal);
  while (FSamples.size() > 2 && FSamples.front().first < aNowMs - kSpeedWindowMs) {
    FSamples.pop_front();
  }
}

int64_t TProgressLine::Speed(int64_t aNowMs) const {
  // Bytes over the last few seconds: from the newest sample before that span (or the oldest
  // kept) to now, so a stalled download drops to 0 instead of keeping its last speed.
  if (FSamples.empty()) return -1;
  auto base = FSamples.front();
  for (const auto& sample : FSamples) {
    if (sample.first > aNowMs - kSpeedWindowMs) break;
    base = sample;
  }
  const int64_t span = aNowMs - base.first;
  return span >= 200 ? (FTotal - base.second) * 1000 / span : -1;
}

std::string TProgressLine::Text(int64_t aNowMs) const {
  const int pct = FMax > 0 ? static_cast<int>(100LL * std::min(FPos, FMax) / FMax) : 0;
  std::string bar(30, ' ');
  for (int i = 0; i < pct * 30 / 100; ++i) bar[static_cast<size_t>(i)] = '#';
  char head[64];
  std::snprintf(head, sizeof head, "[%s] %3d%%", bar.c_str(), pct);
  std::string out = head;
  out += "  " + FormatBytes(FTotal);
  const int64_t speed = Speed(aNowMs);
  out += "  " + (speed >= 0 ? FormatBytes(speed) + "/s" : std::string("-- B/s"));
  if (FPos > 0 && FPos < FMax && FStartMs >= 0) {
    const int64_t elapsed = aNowMs - FStartMs;
    out += "  " + FormatDuration(elapsed * (FMax - FPos) / FPos / 1000) + " left";
  } else {
    out += "  --:-- left";
  }
  return out;
}

TConsoleReceiver::TConsoleReceiver(std::FILE* aOut, bool aTty) : FOut(aOut), FTty(aTty) {
  FTicker = std::thread([this] { Tick(); });
}

TConsoleReceiver::~TConsoleReceiver() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FStop = true;
  }
  FWake.notify_all();
  if (FTicker.joinable()) FTicker.join();
  std::fflush(FOut);
}

void TConsoleReceiver::ShowInstHint(const std::string& aHint, const std::string& aSubHint) {
  std::lock_guard<std::mutex> g(FLock);
  // The live line gives way and comes back below.
  if (FOpenLine) ov::platform::ClearConsoleLine(FOut);
  FOpenLine = false;
  // On a terminal a module's main line stands once above its file hints; a log or a pipe
  // keeps one line per hint, so each one reads on its own.
  if (!aHint.empty() && !(FTty && aHint == FLastHint)) std::fprintf(FOut, "%s\n", aHint.c_str());
  if (!aHint.empty()) FLastHint = aHint;
  if (!aSubHint.empty()) std::fprintf(FOut, "  %s\n", aSubHint.c_str());
  if (FTty) {
    Redraw();
    std::fflush(FOut);
  }
  // A log or a pipe gets its lines from the ticker: several thousand files make several
  // hints each, and a write per line cost more than the rest of the output.
}

void TConsoleReceiver::ShowInstProgress(int32_t aPos, int32_t aMax) {
  std::lock_guard<std::mutex> g(FLock);
  if (aMax <= 0) return;
  FLine.Progress(aPos, aMax, NowMs());
  if (!FTty && aPos != FLastPos) std::fprintf(FOut, "progress %d/%d\n", aPos, aMax);
  FLastPos = aPos;
}

// The live line shows amounts of its own; the installer's per-file text adds nothing to it.
void TConsoleReceiver::ShowFileDownProgressHint(const std::string&) {}

void TConsoleReceiver::ShowDownloadBytes(int64_t aRead, int64_t) {
  std::lock_guard<std::mutex> g(FLock);
  FLine.Bytes(aRead, NowMs());
}

void TConsoleReceiver::EndLine() {
  std::lock_guard<std::mutex> g(FLock);
  if (FTty && FLastPos >= 0) Redraw();
  if (FOpenLine) std::fputs("\n", FOut);
  FOpenLine = false;
  FLastPos = -1;
  std::fflush(FOut);
}

void TConsoleReceiver::Redraw() {
  if (FLastPos < 0) return;  // nothing to show before the first progress report
  ov::platform::ClearConsoleLine(FOut);
  std::fputs(FLine.Text(NowMs()).c_str(), FOut);
  FOpenLine = true;
}

void TConsoleReceiver::Tick() {
  std::unique_lock<std::mutex> g(FLock);
  while (!FStop) {
    FWake.wait_for(g, std::chrono::milliseconds(200));
    if (FStop) break;
    // Redrawn even without news, so speed and time left keep moving during a stall; a log
    // gets what was printed since the last tick.
    if (FTty && FLastPos >= 0) Redraw();
    std::fflush(FOut);
  }
}

}  // namespace ov::cli
