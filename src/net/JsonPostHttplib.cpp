// POST on the "Id" stack: a fresh cpp-httplib client per call.
#include <httplib.h>
#include <openssl/err.h>

#include <chrono>
#include <memory>

#include "common/OVError.h"
#include "base/OVStrUtil.h"
#include "net/HttpStack.h"

namespace ov::net {

namespace {

// "Connection failed reason(n)": the OpenSSL reason code of the deepest queued error, which
// callers look for to tell TLS failures apart.
std::string FailureText(httplib::Error aError, httplib::Client& aClient) {
  std::string text = httplib::to_string(aError);
  if (aError == httplib::Error::SSLConnection || aError == httplib::Error::SSLServerVerification ||
      aError == httplib::Error::SSLLoadingCerts) {
    unsigned long code = ERR_get_error();
    for (unsigned long next = code; next != 0; next = ERR_get_error()) code = next;
    text += " reason(" + std::to_string(code ? ERR_GET_REASON(code) : 0) + ")";
    long verify = aClient.get_openssl_verify_result();
    if (verify) text += " verify(" + std::to_string(verify) + ")";
  }
  return text;
}

}  // namespace

TPostResult IdPost(const std::string& aUrl, const std::string& aBody,
                   const THttpOptions& aOptions) {
  const size_t scheme = aUrl.find("://");
  if (scheme == std::string::npos) throw ov::Error("URL error: " + aUrl);
  const std::string lower = ov::str::LowerCase(aUrl.substr(0, scheme));
  if (lower != "http" && lower != "https") throw ov::Error("Unsupported protocol: " + aUrl);
  const size_t path = aUrl.find('/', scheme + 3);
  const std::string origin = path == std::string::npos ? aUrl : aUrl.substr(0, path);
  const std::string target = path == std::string::npos ? "/" : aUrl.substr(path);
  httplib::Client cli(origin);
  if (!cli.is_valid()) throw ov::Error("URL error: " + aUrl);
  cli.set_follow_location(true);
  cli.set_connection_timeout(std::chrono::milliseconds(aOptions.ConnTimeoutMs));
  cli.set_read_timeout(std::chrono::milliseconds(aOptions.ReadTimeoutMs));
  if (!aOptions.CaFile.empty()) cli.set_ca_cert_path(aOptions.CaFile.c_str());
  cli.enable_server_certificate_verification(true);
  httplib::Headers headers;
  std::string contentType = "application/json";
  for (const auto& [k, v] : aOptions.Headers) {
    if (ov::str::SameText(k, "Content-Type")) {
      contentType = v;
    } else {
      headers.emplace(k, v);
    }
  }
  if (!aOptions.UserAgent.empty()) headers.emplace("User-Agent", aOptions.UserAgent);
  ERR_clear_error();
  // The client's read time-out counts from the last byte; a server that trickles one now and
  // then is cut at the deadline instead.
  std::unique_ptr<TWatchdog> deadline;
  int64_t allowedMs = 0;
  if (aOptions.ConnTimeoutMs > 0 && aOptions.ReadTimeoutMs > 0) {
    allowedMs = int64_t{aOptions.ConnTimeoutMs} + aOptions.ReadTimeoutMs;
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(allowedMs);
    deadline = std::make_unique<TWatchdog>(
        [due] { return std::chrono::steady_clock::now() >= due; }, [&cli] { cli.stop(); });
  }
  auto res = cli.Post(target.c_str(), headers, aBody, contentType.c_str());
  const bool late = deadline && deadline->Finish();
  if (!res && late) {
    throw ov::Error("Operation timed out after " + std::to_string(allowedMs) + " milliseconds");
  }
  if (!res) throw ov::Error(FailureText(res.error(), cli));
  return {res->status, res->reason, res->body};
}

}  // namespace ov::net
