// POST on the "Net" stack: a fresh libcurl handle per call.
#include <curl/curl.h>

#include <memory>

#include "common/OVError.h"
#include "base/OVStrUtil.h"
#include "net/HttpStack.h"

namespace ov::net {

namespace {

size_t OnData(char* aData, size_t aSize, size_t aCount, void* aUser) {
  static_cast<std::string*>(aUser)->append(aData, aSize * aCount);
  return aSize * aCount;
}

// Keeps the reason phrase of the last status line (the final answer after redirects).
size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aUser) {
  const std::string line(aData, aSize * aCount);
  if (line.rfind("HTTP/", 0) == 0) {
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    *static_cast<std::string*>(aUser) =
        sp2 == std::string::npos ? std::string() : ov::str::Trim(line.substr(sp2 + 1));
  }
  return aSize * aCount;
}

}  // namespace

TPostResult NetPost(const std::string& aUrl, const std::string& aBody,
                    const THttpOptions& aOptions) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::unique_ptr<CURL, void (*)(CURL*)> c(curl_easy_init(), curl_easy_cleanup);
  if (!c) throw ov::Error("curl_easy_init failed");
  curl_slist* list = nullptr;
  for (const auto& [k, v] : aOptions.Headers)
    list = curl_slist_append(list, (k + ": " + v).c_str());
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers(list, curl_slist_free_all);
  TPostResult r;
  char error[CURL_ERROR_SIZE] = {0};
  CURL* h = c.get();
  curl_easy_setopt(h, CURLOPT_URL, aUrl.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, aBody.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aBody.size()));
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(aOptions.MaxRedirects));
  if (aOptions.Tls12Only) {
    curl_easy_setopt(h, CURLOPT_SSLVERSION,
                     static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                         static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  }
  if (!aOptions.VerifyPeer) {
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(aOptions.ConnTimeoutMs));
  if (aOptions.ConnTimeoutMs > 0 && aOptions.ReadTimeoutMs > 0) {
    // A server that trickles a byte now and then never trips the read time-out below.
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(int64_t{aOptions.ConnTimeoutMs} + aOptions.ReadTimeoutMs));
  }
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(
      h, CURLOPT_LOW_SPEED_TIME,
      static_cast<long>(aOptions.ReadTimeoutMs > 1000 ? aOptions.ReadTimeoutMs / 1000 : 1));
  if (!aOptions.UserAgent.empty())
    curl_easy_setopt(h, CURLOPT_USERAGENT, aOptions.UserAgent.c_str());
  if (!aOptions.CaFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, aOptions.CaFile.c_str());
  if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &r.Body);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &r.StatusText);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) throw ov::Error(error[0] ? error : curl_easy_strerror(rc));
  long code = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
  r.Status = static_cast<int32_t>(code);
  return r;
}

}  // namespace ov::net
