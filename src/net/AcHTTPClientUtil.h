#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpStack.h"

// Progress of a download: bytes of the whole file so far are AStartPosition + AReadCount out of
// AEndPosition; elapsed milliseconds are ACurrTime - ATimeStart.
using TAcHTTPProgress = std::function<void(
    ov::net::IHttpStack* Sender, int64_t AStartPosition, int64_t AEndPosition,
    int64_t AContentLength, int64_t AReadCount, int64_t ATimeStart, int64_t ACurrTime,
    bool& Abort)>;

// Downloads one URL to one file through "<target>.parts", resuming an earlier partial file.
// A partial of a file of 64 KiB or more has a record "<target>.parts.info" of the version it
// was cut from (its validator and length); only a partial whose record names the version the
// server has now is continued, any other is fetched again from the start.
// The primary stack (libcurl) is used; the secondary (cpp-httplib) only when the primary could
// not be created.
class TAcHTTPClient {
 public:
  TAcHTTPClient();
  ~TAcHTTPClient();
  TAcHTTPClient(const TAcHTTPClient&) = delete;
  TAcHTTPClient& operator=(const TAcHTTPClient&) = delete;

  // True when a GET of the address answers 200 or 302 ("http://" is added when no scheme).
  bool NetFileExists(const std::string& aUri);
  // True when the complete file is in place; false when the transfer ended short, was
  // aborted or stopped (the ".parts" file stays for a later call). Throws ov::Error on the
  // failures of the download algorithm and on network errors.
  bool Download(const std::string& aSrcUrl, const std::string& ADestFileName);
  // A small answer (a descriptor, a version signal) into aText instead of a file: false when
  // stopped. Throws ov::Error on network errors, an answer other than 2xx, a body cut short or
  // one past kGetTextMax.
  bool GetText(const std::string& aUrl, std::string& aText);
  static constexpr size_t kGetTextMax = 64u << 20;

  const TAcHTTPProgress& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TAcHTTPProgress aValue) { FOnProgress = std::move(aValue); }
  bool CancelDownload() const { return FCancelDownload.load(); }
  void SetCancelDownload(bool aValue) { FCancelDownload = aValue; }
  // While the test returns true, Download returns false without a request and a transfer in
  // flight ends within about a second, also one that waits for bytes. It is called on the
  // downloading thread and on a watchdog thread of the secondary stack, so it must be cheap
  // and safe to call from any thread.
  void SetStopTest(std::function<bool()> aTest) { FStopTest = std::move(aTest); }
  int32_t ConnTimeout() const { return FOptions.ConnTimeoutMs; }
  void SetConnTimeout(int32_t aValue) { FOptions.ConnTimeoutMs = aValue; }
  int32_t ReadTimeout() const { return FOptions.ReadTimeoutMs; }
  void SetReadTimeout(int32_t aValue) { FOptions.ReadTimeoutMs = aValue; }
  // Extra trust anchors for TLS (a private server's CA).
  const std::string& CaFile() const { return FOptions.CaFile; }
  void SetCaFile(const std::string& aValue) { FOptions.CaFile = aValue; }

  ov::net::IHttpStack* NtHTTP() const { return FNtHTTP.get(); }
  ov::net::IHttpStack* IdHTTP() const { return FIdHTTP.get(); }
  int64_t StartPosition() const { return FStartPosition; }
  int64_t EndPosition() const { return FEndPosition; }
  int64_t ContentLength() const { return FContentLength; }

 private:
  bool Stopped() const { return FStopTest && FStopTest(); }

  TAcHTTPProgress FOnProgress;
  std::unique_ptr<ov::net::IHttpStack> FNtHTTP;
  std::unique_ptr<ov::net::IHttpStack> FIdHTTP;
  uint32_t FTimeStart = 0;
  std::atomic<bool> FCancelDownload{false};
  int64_t FStartPosition = -1;
  int64_t FEndPosition = -1;
  int64_t FContentLength = -1;
  ov::net::THttpOptions FOptions;
  std::function<bool()> FStopTest;
  // Existence probes of this client share a connection while it lives.
  std::unique_ptr<ov::net::TProbeSession> FProbes;
};
