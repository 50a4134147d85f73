#include "net/UpdateHTTPUtil.h"

#include "base/OVLibUtil.h"
#include "base/OVStopUtil.h"
#include "net/ServiceSettings.h"

TNetHTTP::TNetHTTP() : FAcHTTP(std::make_unique<TAcHTTPClient>()) {
  // A private server's CA (the demo's and the tests' stand-in) comes from the service settings.
  FAcHTTP->SetCaFile(ov::net::CurrentServiceSettings().CAFile);
  // A quitting run ends the download in flight instead of waiting for it.
  FAcHTTP->SetStopTest(&ov::StopRequested);
  FAcHTTP->SetOnProgress([this](ov::net::IHttpStack* Sender, int64_t AStartPosition,
                                int64_t AEndPosition, int64_t AContentLength, int64_t AReadCount,
                                int64_t ATimeStart, int64_t ACurrTime, bool& Abort) {
    if (FOnFileDownload) {
      FOnFileDownload(Sender, FUrl, FFile, AStartPosition, AEndPosition, AContentLength,
                      AReadCount, ATimeStart, ACurrTime, Abort);
    }
  });
}

TNetHTTP::~TNetHTTP() = default;

bool TNetHTTP::DownFile(const std::string& aUrl, const std::string& aFile, std::string& aErro) {
  FUrl = aUrl;
  FFile = aFile;
  FAcHTTP->SetConnTimeout(FConnTimeout);
  FAcHTTP->SetReadTimeout(FReadTimeout);
  aErro.clear();
  try {
    if (FAcHTTP->Download(FUrl, FFile)) {
      aErro = "文件下载成功";
      return true;
    }
    return false;
  } catch (const std::exception& e) {
    aErro = e.what();
    return false;
  }
}

bool TNetHTTP::GetText(const std::string& aUrl, std::string& aText, std::string& aErro) {
  FAcHTTP->SetConnTimeout(FConnTimeout);
  FAcHTTP->SetReadTimeout(FReadTimeout);
  aErro.clear();
  try {
    return FAcHTTP->GetText(aUrl, aText);
  } catch (const std::exception& e) {
    aErro = e.what();
    return false;
  }
}

bool TNetHTTP::NetFileExists(const std::string& aUri) { return FAcHTTP->NetFileExists(aUri); }
