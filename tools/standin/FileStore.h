#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ServerThread.h"

// The stand-in of the maker's file store: serves a folder over HTTP (or HTTPS with a
// certificate) on 127.0.0.1 with exact range answers, validators (ETag, Last-Modified, If-Range),
// optional redirects, injectable faults and a request log. Files are streamed, never read
// whole.
namespace ov::standin {

// A fault for the requests whose path matches Pattern ("*" matches any text).
struct TFault {
  std::string Pattern = "*";
  int64_t CloseAfterBytes = -1;  // close the connection after this many body bytes
  bool DropAcceptRanges = false;
  bool DropContentLength = false;  // chunked answer without Content-Length
  int32_t ForceStatus = 0;         // answer this status instead of the file
  int32_t LatencyMs = 0;           // wait before answering
  int64_t BandwidthBytesPerSec = 0;
  int64_t CorruptAt = -1;  // file offset whose byte is flipped in every answer
  int32_t Times = -1;      // number of matching requests it applies to; -1 for all
  // Percent of the matching requests it applies to, drawn from the store's seeded generator
  // (Times counts only those it applied to).
  int32_t Chance = 100;
  // Close the connection after a number of body bytes drawn below the answer's length
  // (overrides CloseAfterBytes).
  bool CutAtRandom = false;
  std::string Method = {};  // "GET", "HEAD", ...: only requests of this method; empty for any
};

struct TRequestLogEntry {
  std::string Method;
  std::string Path;
  std::string Range;  // the Range header as sent
  int32_t Status = 0;
  std::string Cookie;  // the Cookie header as sent
  int32_t RemotePort = 0;  // tells the client's connections apart
};

struct TFileStoreConfig {
  std::string Root;  // host folder that is served
  int32_t Port = 0;  // 0 = ephemeral
  std::string CertFile, KeyFile;  // both set: HTTPS
  std::map<std::string, std::string> Redirects;  // path -> Location (answered with 302)
  std::map<std::string, std::string> SetCookies;  // path -> Set-Cookie value of its answers
};

class TFileStore {
 public:
  TFileStore();
  ~TFileStore();
  TFileStore(const TFileStore&) = delete;
  TFileStore& operator=(const TFileStore&) = delete;

  // Binds 127.0.0.1 and serves on a thread of its own; false when binding fails.
  bool Start(const TFileStoreConfig& aConfig);
  void Stop();
  int32_t Port() const { return FPort; }
  std::string BaseUrl() const;

  void AddFault(const TFault& aFault);
  void ClearFaults();
  // Faults as JSON: {"seed":7,"faults":[{"pattern":"/a/*","close_after":300,...}]}; false
  // when the text is no such document. The seed makes random faults repeatable.
  bool LoadFaults(const std::string& aJson, std::string& aError);
  std::vector<TRequestLogEntry> RequestLog() const;
  void ClearLog();

 private:
  bool TakeFault(const std::string& aMethod, const std::string& aPath, TFault& aFault);
  int64_t RandomBelow(int64_t aLimit);
  void Log(const TRequestLogEntry& aEntry);

  TFileStoreConfig FConfig;
  TServerThread FServer;
  int32_t FPort = 0;
  mutable std::mutex FLock;
  std::vector<TFault> FFaults;
  std::mt19937 FRandom{1};
  std::vector<TRequestLogEntry> FLog;
};

// "*" matches any text, everything else itself.
bool MatchPattern(const std::string& aPattern, const std::string& aText);

}  // namespace ov::standin
