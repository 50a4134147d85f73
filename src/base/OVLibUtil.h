#pragma once

#include <cstdint>
#include <string>

#include "base/OVDateUtil.h"

enum TFileDateType { ftCreationTime = 0, ftLastAccessTime = 1, ftLastWriteTime = 2 };

namespace ov::platform {
class ServiceHandle;
}

// A service's status as the service operations read it: the state (1 stopped, 2 start
// pending, 3 stop pending, 4 running, 5 continue pending, 6 pause pending, 7 paused) and the
// wait hint in milliseconds.
struct TServiceStatus {
  int32_t dwCurrentState = 0;
  int32_t dwWaitHint = 0;
};

// The installer's static toolkit: paths, hashes, file times, time stamps, random text, byte
// formatting, ini settings, zip extraction and the logging front door. Folder paths it
// returns end with a separator.
class TovLib {
 public:
  TovLib() = delete;

  // Paths
  static std::string GetModuleFile();
  static std::string GetModulePath();
  static std::string GetCurrFile();
  static std::string GetAppPath();
  static std::string GetTempPath(const std::string& aPath, bool aForce);
  static std::string GetLastSubDir(const std::string& aPath);
  static std::string GetUrlFileName(const std::string& aUrl);
  // Throws ov::Error when the URL parser rejects the text.
  static std::string GetUrlLastName(const std::string& aUrl);
  // Whether the Windows path aPath names a file by its drive through plain names only (no "."
  // or ".." step, no ":" inside a name) and, when aFolder is not empty, lies below aFolder.
  // Letter case does not count; "/" separates like "\".
  static bool IsPathInside(const std::string& aPath, const std::string& aFolder);

  // Hashes, sizes and times of files
  static std::string GetMd5(const std::string& aSrc);
  // Empty for a missing file; throws ov::Error when reading fails.
  static std::string GetFileMD5(const std::string& sFile);
  static int64_t GetFileSize(const std::string& FileName);
  static std::string GetFileTime(const std::string& FileName, TFileDateType FileDateType);
  static bool SetFileDateTime(const std::string& sFile, ov::TDateTime CrDatetime,
                              ov::TDateTime MdDatetime);
  static bool UnZipFile(const std::string& aZipFile);
  static bool SaveTxt(const std::string& aText, const std::string& aFile);

  // Time
  static int64_t GetTickTime();
  static int64_t GetMillTimeStamp(ov::TDateTime aDate);
  static int64_t DateTimeToMilliseconds(ov::TDateTime ADateTime);
  static std::string FMT(ov::TDateTime aDate, const std::string& aFormat);
  static void SetDateFormat();

  // Text and values
  static std::string GetTagStr(const std::string& aSrc, const std::string& aTag1,
                               const std::string& aTag2, bool aTagLower);
  static bool SameCmdText(const std::string& aStr, const std::string& aCmdText);
  static std::string GetRandom(int32_t aSize);
  static std::string ConvertBytes(int64_t aBytes);
  template <class T>
  static T Iif(bool b, T vTrue, T vFalse) {
    return b ? vTrue : vFalse;
  }

  // Processes and services. They never throw.
  static std::string ProcFile(uint32_t ProcessID);
  static uint32_t ProcFind(const std::string& aProcFile);
  static bool ProcClose(const std::string& aProcFile);
  static int32_t ProcWinExecWait(const std::string& aProcFile, int16_t aVisble);
  static bool SrvFindByFile(std::string& aSrvName, const std::string& aSrvFile);
  static bool SrvExists(const std::string& aSrvName);
  static bool SrvStop(const std::string& aSrvName);
  static bool SrvStart(const std::string& ServiceName);
  static bool SrvWaitPending(ov::platform::ServiceHandle& aSvc, TServiceStatus& St);
  static bool SrvWaitStatus(ov::platform::ServiceHandle& aSvc, TServiceStatus& St,
                            uint32_t WaitStatus, bool IsWait);

  // Settings. An empty file name means "OVUpdata.ini" in the program folder; a bare name is
  // taken relative to that folder. IniRead throws ov::Error when the file cannot be read.
  static std::string IniRead(const std::string& aSect, const std::string& aName,
                             const std::string& aDefValue, const std::string& aIniFile = "",
                             bool aIsWriteDef = false);
  static std::string IniRead(const std::string& aSect, const std::string& aName,
                             const char* aDefValue, const std::string& aIniFile = "",
                             bool aIsWriteDef = false);
  static std::string IniRead(const std::string& aSect, const std::string& aName,
                             int64_t aDefValue, const std::string& aIniFile = "",
                             bool aIsWriteDef = false);
  static bool IniWrite(const std::string& aSect, const std::string& aName,
                       const std::string& aValue, const std::string& aIniFile = "");
  static bool IniWrite(const std::string& aSect, const std::string& aName, const char* aValue,
                       const std::string& aIniFile = "");
  static bool IniWrite(const std::string& aSect, const std::string& aName, int64_t aValue,
                       const std::string& aIniFile = "");
  static std::string IniOptRead(const std::string& aName, const std::string& aDefValue,
                                const std::string& aIniFile = "", bool aIsWriteDef = false);
  static bool IniOptWrite(const std::string& aName, const std::string& aValue,
                          const std::string& aIniFile = "");
  static bool IsDebug();

  // Shows aMsg in the front end's modal message box with one OK button and returns when it is
  // closed. UI thread only.
  static void MsgBox(const std::string& aMsg, const std::string& aTitle);

  // Writes through the process-wide logger: always when aIsLog, else only in debug mode.
  // Never fails for its caller.
  static void Log(const std::string& aLog, bool aIsLog = false);
  // The debug flag cache: -1 unknown, 0 or 1.
  static int32_t DebugFlag();
  static void SetDebugFlag(int32_t aValue);

  // "OVUpdata.ini" resolution shared by the ini operations.
  static std::string ResolveIniFile(const std::string& aIniFile);
};
