#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace ov::platform::fs {
class File;
}

// An on-screen view that echoes each line; nothing in the installer attaches one.
class TLogShower {
 public:
  virtual ~TLogShower() = default;
  // `aLine` is "hh:nn:ss" + " " + text.
  virtual void ShowLine(const std::string& aLine, int32_t aLogLevel) = 0;
};

// The daily log file: <dir><prefix>yymmdd.log, UTF-8 without BOM, CR LF line ends, only ever
// appended to. Every write runs under one lock, so lines never interleave.
class TLogger {
 public:
  TLogger();
  ~TLogger();
  TLogger(const TLogger&) = delete;
  TLogger& operator=(const TLogger&) = delete;

  // Levels 0..3 carry a tag, other levels 0 or more none; below 0 only the view sees it.
  // Throws ov::Error when the day's file cannot be opened or written.
  void WriteLog(const std::string& Log, int32_t LogLevel);
  // Deletes the daily files before the last `aSaveDays` days, walking back day by day until
  // three days in a row have no file.
  void CleanFile(int32_t aSaveDays, int32_t aMaxDays);

  bool Enabled() const;
  void SetEnabled(bool aValue);
  std::string LogFileDir() const;
  // Throws ov::Error "日志路径错误，日志类对象不能被创建" when the folder cannot be made.
  void SetLogFileDir(const std::string& aValue);
  std::string LogFilenamePer() const;
  void SetLogFilenamePer(const std::string& aValue);
  std::string LogFileName() const;
  TLogShower* LogShower() const;
  void SetLogShower(TLogShower* aValue);

 private:
  mutable std::recursive_mutex FCSLock;
  mutable std::recursive_mutex FCFLock;
  std::unique_ptr<ov::platform::fs::File> FFileStream;
  TLogShower* FLogShower = nullptr;
  std::string FLogName;
  std::string FLogNamePer;
  bool FLogCheckDir = false;
  bool FEnabled = false;
  std::string FLogFileDir;
};

// The process-wide logger; nullptr before CreateProcessLogger and after FreeProcessLogger.
TLogger* Logger();
// Creates it (prefix "OVUpdate", enabled) unless one exists.
void CreateProcessLogger();
void FreeProcessLogger();
