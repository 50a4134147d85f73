#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/AcHTTPClientUtil.h"

using TOnFileDownload = std::function<void(
    ov::net::IHttpStack* Sender, const std::string& AUrl, const std::string& AFile,
    int64_t AStart, int64_t AEnd, int64_t AContentLength, int64_t AReadCount, int64_t ATimeStart,
    int64_t ATime, bool& Abort)>;

// The object the installer downloads through: names the running download in its progress
// event, applies its time-outs before each download and turns the outcome into a flag and a
// message. Never throws from DownFile.
class TNetHTTP {
 public:
  TNetHTTP();
  ~TNetHTTP();
  TNetHTTP(const TNetHTTP&) = delete;
  TNetHTTP& operator=(const TNetHTTP&) = delete;

  // True with "文件下载成功"; false with an empty message when the transfer ended short; false
  // with the error's text otherwise.
  bool DownFile(const std::string& aUrl, const std::string& aFile, std::string& aErro);
  bool NetFileExists(const std::string& aUri);
  // A small file's content into aText, nothing written: true, or false with the error's text
  // (empty when stopped).
  bool GetText(const std::string& aUrl, std::string& aText, std::string& aErro);

  const TOnFileDownload& OnFileDownload() const { return FOnFileDownload; }
  void SetOnFileDownload(TOnFileDownload aValue) { FOnFileDownload = std::move(aValue); }
  int32_t ConnTimeout() const { return FConnTimeout; }
  void SetConnTimeout(int32_t aValue) { FConnTimeout = aValue; }
  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t aValue) { FReadTimeout = aValue; }
  // See TAcHTTPClient::SetStopTest: a stopped download returns false with an empty message.
  void SetStopTest(std::function<bool()> aTest) { FAcHTTP->SetStopTest(std::move(aTest)); }
  TAcHTTPClient& AcHTTP() { return *FAcHTTP; }

 private:
  std::string FUrl;
  std::string FFile;
  int32_t FConnTimeout = 60000;
  int32_t FReadTimeout = 3600000;
  std::unique_ptr<TAcHTTPClient> FAcHTTP;
  TOnFileDownload FOnFileDownload;
};
