// Paths, time, text, settings and the logging front door of TovLib. The file operations are
// in OVLibFileUtil.cpp.
#include "base/OVLibUtil.h"

#include <curl/curl.h>
#include <openssl/rand.h>
// libcurl's header brings windows.h on Windows, whose GetTempPath macro would rename ours.
#undef GetTempPath

#include <atomic>
#include <cmath>
#include <cstdio>

#include "base/LoggerUtil.h"
#include "common/OVError.h"
#include "base/OVStrUtil.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

namespace fs = ov::platform::fs;

namespace {

std::atomic<int32_t> gDebugFlag{-1};

const char* const kByteUnits[] = {"Bytes", "KB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
const char kRandomAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

// ---- Paths

std::string TovLib::GetModuleFile() {
  std::string r;
  try {
    r = ov::str::Trim(ov::platform::ProgramFile());
  } catch (const std::exception& e) {
    Log(std::string("获取当前模块文件出错：") + e.what(), true);
  }
  if (r.empty()) r = ov::platform::ProgramFile();
  return r;
}

std::string TovLib::GetModulePath() { return ov::str::ExtractFilePath(GetModuleFile()); }

std::string TovLib::GetCurrFile() { return ov::str::Trim(ov::platform::ProgramFile()); }

std::string TovLib::GetAppPath() {
  return ov::str::IncludeTrailingBackslash(ov::str::ExtractFileDir(GetCurrFile()));
}

std::string TovLib::GetTempPath(const std::string& aPath, bool aForce) {
  std::string base = ov::str::Trim(aPath);
  if (base.empty()) base = GetAppPath();
  std::string r = base + "updt_temp" + "\\";
  if (aForce) fs::ForceDirectories(r);
  return r;
}

std::string TovLib::GetLastSubDir(const std::string& aPath) {
  std::string p = ov::str::ExcludeTrailingBackslash(aPath);
  size_t i = p.rfind('\\');
  return i == std::string::npos ? p : p.substr(i + 1);
}

std::string TovLib::GetUrlFileName(const std::string& aUrl) {
  auto items = ov::str::SplitDelimited(aUrl, '/');
  return items.empty() ? std::string() : items.back();
}

std::string TovLib::GetUrlLastName(const std::string& aUrl) {
  CURLU* u = curl_url();
  if (!u) throw ov::Error("Out of memory");
  CURLUcode rc = curl_url_set(u, CURLUPART_URL, aUrl.c_str(), CURLU_NON_SUPPORT_SCHEME);
  if (rc != CURLUE_OK) {
    curl_url_cleanup(u);
    throw ov::Error(std::string("Malformed URL: ") + curl_url_strerror(rc) + " " + aUrl);
  }
  char* path = nullptr;
  rc = curl_url_get(u, CURLUPART_PATH, &path, 0);
  std::string p = (rc == CURLUE_OK && path) ? path : "";
  curl_free(path);
  curl_url_cleanup(u);
  std::string last;
  size_t b = 0;
  while (b <= p.size()) {
    size_t e = p.find('/', b);
    if (e == std::string::npos) e = p.size();
    if (e > b) last = p.substr(b, e - b);
    b = e + 1;
  }
  return last;
}

// ---- Time

int64_t TovLib::GetTickTime() {
  auto& src = ov::platform::TickSource();
  auto uptime = [&src]() {
    int64_t now = 0, boot = 0;
    src.SystemTimes(now, boot);
    return (now - boot) / 10000;
  };
  int64_t result = 0;
  const char* source = "_GetTickCount64";
  try {
    uint64_t t64 = 0;
    try {
      t64 = src.TickCount64();
    } catch (const ov::Error&) {
      t64 = 0;  // a failed ask reads as 0 and takes the 32-bit road
    }
    if (t64 > 0) return uptime();
    source = "GetTickCount";
    uint32_t t32 = src.TickCount32();
    if (t32 > 0) return static_cast<int64_t>(t32);
    source = "_GetTickCount64";
    result = uptime();
    Log("获取时间戳<=0[0切换为2]_GetTickCount64[" + std::to_string(result) + "]", true);
    return result;
  } catch (const std::exception& e1) {
    std::string first = e1.what();
    try {
      result = static_cast<int64_t>(src.TickCount32());
      if (result == 0) result = uptime();
      return result;
    } catch (const std::exception& e2) {
      Log(std::string("[GetTickTime]") + source + "出错：" + first + "，切换也出错：" + e2.what(),
          true);
    }
  }
  return result;
}

int64_t TovLib::DateTimeToMilliseconds(ov::TDateTime ADateTime) {
  int64_t days = 0, ms = 0;
  ov::DateTimeToTimeStamp(ADateTime, days, ms);
  return days * ov::kMSecsPerDay + ms;
}

int64_t TovLib::GetMillTimeStamp(ov::TDateTime aDate) {
  static const int64_t base = DateTimeToMilliseconds(ov::EncodeDateTime(1970, 1, 1, 8, 0, 0, 0));
  int64_t d = DateTimeToMilliseconds(aDate) - base;
  return d < 0 ? -d : d;
}

std::string TovLib::FMT(ov::TDateTime aDate, const std::string& aFormat) {
  return ov::FormatDateTime(aFormat, aDate);
}

void TovLib::SetDateFormat() {
  ov::TFormatSettings& fs = ov::FormatSettings();
  fs.ShortDateFormat = "yyyy-MM-dd";
  fs.LongDateFormat = "yyyy-MM-dd";
  fs.ShortTimeFormat = "HH:mm:ss";
  fs.LongTimeFormat = "HH:mm:ss";
  fs.DateSeparator = '-';
  fs.TimeSeparator = ':';
}

// ---- Text and values

std::string TovLib::GetTagStr(const std::string& aSrc, const std::string& aTag1,
                              const std::string& aTag2, bool aTagLower) {
  if (aTag1.empty() && aTag2.empty()) return {};
  size_t start = 0;
  if (!aTag1.empty()) {
    size_t i = ov::str::FindText(aSrc, aTag1, aTagLower);
    if (i == std::string::npos) return {};
    start = i + aTag1.size();
  }
  std::string rest = aSrc.substr(start);
  if (aTag2.empty()) return rest;
  size_t j = ov::str::FindText(rest, aTag2, aTagLower);
  return j == std::string::npos ? std::string() : rest.substr(0, j);
}

bool TovLib::SameCmdText(const std::string& aStr, const std::string& aCmdText) {
  for (const auto& item : ov::str::SplitCommaText(aCmdText)) {
    if (ov::str::SameText(item, aStr)) return true;
  }
  return false;
}

std::string TovLib::GetRandom(int32_t aSize) {
  std::string r;
  if (aSize <= 0) return r;
  r.reserve(static_cast<size_t>(aSize));
  unsigned char buf[64];
  while (r.size() < static_cast<size_t>(aSize)) {
    if (RAND_bytes(buf, sizeof buf) != 1) throw ov::Error("random source failed");
    for (unsigned char b : buf) {
      // 248 = 4 * 62: dropping the bytes above keeps every character equally likely.
      if (b >= 248) continue;
      r += kRandomAlphabet[b % 62];
      if (r.size() == static_cast<size_t>(aSize)) break;
    }
  }
  return r;
}

std::string TovLib::ConvertBytes(int64_t aBytes) {
  int i = 0;
  long double limit = 1024.0L;
  while (limit < static_cast<long double>(aBytes) && i < 8) {
    limit *= 1024.0L;
    ++i;
  }
  long double value = static_cast<long double>(aBytes) / std::pow(1024.0L, i);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2Lf", value);
  std::string s = buf;
  size_t dot = s.find('.');
  if (dot != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    dot = s.find('.');
    if (dot != std::string::npos) s[dot] = ov::FormatSettings().DecimalSeparator;
  }
  if (s == "-0") s = "0";
  return s + " " + kByteUnits[i];
}

// ---- Settings

std::string TovLib::ResolveIniFile(const std::string& aIniFile) {
  if (aIniFile.empty()) return GetAppPath() + "OVUpdata.ini";
  if (aIniFile.find_first_of("\\/:") == std::string::npos) return GetAppPath() + aIniFile;
  return aIniFile;
}

std::string TovLib::IniRead(const std::string& aSect, const std::string& aName,
                            const std::string& aDefValue, const std::string& aIniFile,
                            bool aIsWriteDef) {
  const std::string file = ResolveIniFile(aIniFile);
  ov::platform::IniFile ini;
  if (!ini.Load(file)) throw ov::Error(fs::LastErrorText());
  if (ini.HasKey(aSect, aName)) return ini.GetValue(aSect, aName);
  if (aIsWriteDef) IniWrite(aSect, aName, aDefValue, aIniFile);
  return aDefValue;
}

std::string TovLib::IniRead(const std::string& aSect, const std::string& aName,
                            const char* aDefValue, const std::string& aIniFile,
                            bool aIsWriteDef) {
  return IniRead(aSect, aName, std::string(aDefValue ? aDefValue : ""), aIniFile, aIsWriteDef);
}

std::string TovLib::IniRead(const std::string& aSect, const std::string& aName,
                            int64_t aDefValue, const std::string& aIniFile, bool aIsWriteDef) {
  return IniRead(aSect, aName, std::to_string(aDefValue), aIniFile, aIsWriteDef);
}

bool TovLib::IniWrite(const std::string& aSect, const std::string& aName,
                      const std::string& aValue, const std::string& aIniFile) {
  try {
    const std::string file = ResolveIniFile(aIniFile);
    ov::platform::IniFile ini;
    if (!ini.Load(file)) return false;
    if (!ini.SetValue(aSect, aName, aValue)) return false;
    return ini.Save(file);
  } catch (...) {
    return false;
  }
}

bool TovLib::IniWrite(const std::string& aSect, const std::string& aName, const char* aValue,
                      const std::string& aIniFile) {
  return IniWrite(aSect, aName, std::string(aValue ? aValue : ""), aIniFile);
}

bool TovLib::IniWrite(const std::string& aSect, const std::string& aName, int64_t aValue,
                      const std::string& aIniFile) {
  return IniWrite(aSect, aName, std::to_string(aValue), aIniFile);
}

std::string TovLib::IniOptRead(const std::string& aName, const std::string& aDefValue,
                               const std::string& aIniFile, bool aIsWriteDef) {
  return IniRead("Options", aName, aDefValue, aIniFile, aIsWriteDef);
}

bool TovLib::IniOptWrite(const std::string& aName, const std::string& aValue,
                         const std::string& aIniFile) {
  return IniWrite("Options", aName, aValue, aIniFile);
}

bool TovLib::IsDebug() {
  int64_t v = 0;
  // A value that is no number counts as "not debug".
  return ov::str::TryStrToInt64(IniOptRead("IsDebug", "0", "", false), v) && v == 1;
}

// ---- Logging front door

int32_t TovLib::DebugFlag() { return gDebugFlag.load(std::memory_order_relaxed); }

void TovLib::SetDebugFlag(int32_t aValue) {
  gDebugFlag.store(aValue, std::memory_order_relaxed);
}

void TovLib::MsgBox(const std::string& aMsg, const std::string& aTitle) {
  ov::platform::ShowMessageBox(aMsg, aTitle);
}

void TovLib::Log(const std::string& aLog, bool aIsLog) {
  try {
    if (!aIsLog) {
      int32_t flag = DebugFlag();
      if (flag < 0) {
        bool debug = false;
        try {
          debug = IsDebug();
        } catch (...) {
          debug = false;
        }
        flag = debug ? 1 : 0;
        SetDebugFlag(flag);
      }
      if (flag != 1) return;
    }
    if (TLogger* l = Logger()) l->WriteLog(aLog, 0);
  } catch (...) {
    // The line is lost; the caller carries on.
  }
}
