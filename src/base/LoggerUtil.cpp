#include "base/LoggerUtil.h"

#include "base/OVDateUtil.h"
#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "platform/FileSystem.h"

namespace fs = ov::platform::fs;

namespace {

const char* const kLevelTags[] = {"[消息] ", "[提示] ", "[警告] ", "[错误] "};

std::string DefaultLogDir() { return TovLib::GetAppPath() + "log\\"; }

}  // namespace

TLogger::TLogger() : FLogFileDir(DefaultLogDir()) {}

TLogger::~TLogger() {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  FFileStream.reset();
}

bool TLogger::Enabled() const {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  return FEnabled;
}

void TLogger::SetEnabled(bool aValue) {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  FEnabled = aValue;
}

std::string TLogger::LogFileDir() const {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  return FLogFileDir;
}

void TLogger::SetLogFileDir(const std::string& aValue) {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  FLogFileDir = aValue;
  if (fs::DirectoryExists(aValue) || fs::ForceDirectories(aValue)) {
    FLogCheckDir = true;
    return;
  }
  throw ov::Error("日志路径错误，日志类对象不能被创建");
}

std::string TLogger::LogFilenamePer() const {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  return FLogNamePer;
}

void TLogger::SetLogFilenamePer(const std::string& aValue) {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  FLogNamePer = aValue;
}

std::string TLogger::LogFileName() const {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  return FLogName;
}

TLogShower* TLogger::LogShower() const {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  return FLogShower;
}

void TLogger::SetLogShower(TLogShower* aValue) {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  FLogShower = aValue;
}

void TLogger::WriteLog(const std::string& Log, int32_t LogLevel) {
  std::lock_guard<std::recursive_mutex> g(FCSLock);
  if (!FEnabled) return;
  if (!FLogCheckDir && !fs::DirectoryExists(FLogFileDir)) {
    if (!fs::ForceDirectories(FLogFileDir)) {
      FLogFileDir = DefaultLogDir();
      fs::ForceDirectories(FLogFileDir);
    }
  }
  const ov::TDateTime now = ov::Now();
  if (FLogShower) {
    FLogShower->ShowLine(ov::FormatDateTime("hh:nn:ss", now) + " " + Log, LogLevel);
  }
  if (LogLevel < 0) return;

  const std::string name = FLogNamePer + ov::FormatDateTime("yymmdd", now) + ".log";
  if (name != FLogName || !FFileStream) {
    // After a failed open the stream stays empty, so the next write of the day tries again.
    FLogName = name;
    const std::string path = FLogFileDir + name;
    if (!fs::FileExists(path)) fs::ForceDirectories(FLogFileDir);
    auto stream = std::make_unique<fs::File>();
    FFileStream.reset();
    if (!stream->Open(path, fs::File::Mode::Append)) {
      throw ov::Error("Cannot open file \"" + path + "\". " + fs::LastErrorText());
    }
    FFileStream = std::move(stream);
  }
  std::string line;
  if (!Log.empty()) {
    line = ov::FormatDateTime("hh:nn:ss.zzz", now) + " ";
    if (LogLevel >= 0 && LogLevel <= 3) line += kLevelTags[LogLevel];
    line += Log;
  }
  line += "\r\n";
  if (!FFileStream->Write(line)) {
    throw ov::Error("Stream write error: " + fs::LastErrorText());
  }
}

void TLogger::CleanFile(int32_t aSaveDays, int32_t /*aMaxDays*/) {
  try {
    ov::TDateTime day = ov::Now() - aSaveDays;
    int32_t misses = 0;
    // The walk has no day cap: a capped walk would stop in the middle of a run of old files,
    // and the next start, finding three missing days first, would never reach the rest.
    while (true) {
      const std::string longName =
          FLogFileDir + FLogNamePer + ov::FormatDateTime("yyyymmdd", day) + ".log";
      const std::string shortName =
          FLogFileDir + FLogNamePer + ov::FormatDateTime("yymmdd", day) + ".log";
      const bool hasLong = fs::FileExists(longName);
      const bool hasShort = fs::FileExists(shortName);
      if (!hasLong && !hasShort) {
        if (++misses >= 3) break;
      } else {
        if (hasLong) fs::DeleteFile(longName);
        if (hasShort) fs::DeleteFile(shortName);
        misses = 0;
      }
      day -= 1;
      if (day < -693593) break;  // before 1 January of year 1
    }
  } catch (...) {
  }
}

TLogger* Logger() { return ov::TProcessWide<TLogger>::Get(); }

void CreateProcessLogger() {
  if (TLogger* l = ov::TProcessWide<TLogger>::Create()) {
    l->SetLogFilenamePer("OVUpdate");
    l->SetEnabled(true);
  }
}

void FreeProcessLogger() { ov::TProcessWide<TLogger>::Free(); }
