// The "Id" stack on cpp-httplib with OpenSSL.
#include <curl/curl.h>
#include <httplib.h>
#include <openssl/err.h>

#include <map>
#include <mutex>

#include "common/OVError.h"
#include "base/OVStrUtil.h"
#include "net/HttpStack.h"
#include "platform/FileSystem.h"

namespace ov::net {

TWatchdog::TWatchdog(std::function<bool()> aDue, std::function<void()> aStop, int aPollMs) {
  FThread = std::thread([this, due = std::move(aDue), stop = std::move(aStop), aPollMs] {
    std::unique_lock<std::mutex> g(FLock);
    while (!FDone) {
      if (FWake.wait_for(g, std::chrono::milliseconds(aPollMs), [this] { return FDone; })) break;
      g.unlock();
      // Again at every poll while due: a stop() that lands while no request is in flight
      // (during the connect, between two hops) cuts nothing.
      if (due()) {
        FFired = true;
        stop();
      }
      g.lock();
    }
  });
}

bool TWatchdog::Finish() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FDone = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
  return FFired;
}

TWatchdog::~TWatchdog() { Finish(); }

namespace {

struct TUrl {
  std::string Scheme, Host, Path;  // Path holds the query too
  int Port = 0;
};

// Splits a URL with libcurl's parser; a relative reference resolves against aBase.
TUrl ParseUrl(const std::string& aUrl, const std::string& aBase = "") {
  CURLU* u = curl_url();
  if (!u) throw ov::Error("Out of memory");
  unsigned flags = CURLU_URLENCODE;
  CURLUcode rc = CURLUE_OK;
  if (!aBase.empty()) rc = curl_url_set(u, CURLUPART_URL, aBase.c_str(), flags);
  if (rc == CURLUE_OK) rc = curl_url_set(u, CURLUPART_URL, aUrl.c_str(), flags);
  if (rc != CURLUE_OK) {
    curl_url_cleanup(u);
    throw ov::Error(std::string("URL error: ") + curl_url_strerror(rc) + " " + aUrl);
  }
  auto part = [u](CURLUPart p, unsigned f = 0) {
    char* s = nullptr;
    std::string r;
    if (curl_url_get(u, p, &s, f) == CURLUE_OK && s) r = s;
    curl_free(s);
    return r;
  };
  TUrl r;
  r.Scheme = ov::str::LowerCase(part(CURLUPART_SCHEME));
  r.Host = part(CURLUPART_HOST);
  std::string port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
  r.Port = std::atoi(port.c_str());
  r.Path = part(CURLUPART_PATH);
  std::string q = part(CURLUPART_QUERY);
  if (!q.empty()) r.Path += "?" + q;
  curl_url_cleanup(u);
  if (r.Scheme != "http" && r.Scheme != "https") {
    throw ov::Error("Unsupported protocol: " + aUrl);
  }
  return r;
}

std::string ErrorText(httplib::Error e, httplib::ClientImpl& cli) {
  std::string text = httplib::to_string(e);
  if (e == httplib::Error::SSLConnection || e == httplib::Error::SSLServerVerification ||
      e == httplib::Error::SSLLoadingCerts) {
    unsigned long code = ERR_get_error();
    unsigned long last = code;
    while (last != 0) {
      code = last;
      last = ERR_get_error();
    }
    int reason = code ? ERR_GET_REASON(code) : 0;
    text += " reason(" + std::to_string(reason) + ")";
    if (auto* ssl = dynamic_cast<httplib::SSLClient*>(&cli)) {
      long verify = ssl->get_openssl_verify_result();
      if (verify) text += " verify(" + std::to_string(verify) + ")";
    }
  }
  return text;
}

class TIdStack : public IHttpStack {
 public:
  std::string Name() const override { return "Id"; }

 private:
  httplib::ClientImpl& ClientFor(const TUrl& u, const THttpOptions& o) {
    const std::string key = u.Scheme + "://" + u.Host + ":" + std::to_string(u.Port);
    auto it = FClients.find(key);
    if (it == FClients.end()) {
      std::unique_ptr<httplib::ClientImpl> c;
      if (u.Scheme == "https") {
        auto ssl = std::make_unique<httplib::SSLClient>(u.Host, u.Port);
        ssl->enable_server_certificate_verification(true);
        if (!o.CaFile.empty()) {
          ssl->set_ca_cert_path(o.CaFile.c_str());
        } else {
          // The system's trust store, as libcurl uses it.
          SSL_CTX_set_default_verify_paths(ssl->ssl_context());
        }
        c = std::move(ssl);
      } else {
        c = std::make_unique<httplib::ClientImpl>(u.Host, u.Port);
      }
      c->set_keep_alive(true);
      c->set_tcp_nodelay(true);
      c->set_follow_location(false);  // followed here, up to the options' limit
      c->set_url_encode(false);        // the parser has encoded the path already
      it = FClients.emplace(key, std::move(c)).first;
    }
    httplib::ClientImpl& c = *it->second;
    c.set_connection_timeout(std::chrono::milliseconds(o.ConnTimeoutMs));
    c.set_read_timeout(std::chrono::milliseconds(o.ReadTimeoutMs));
    c.set_write_timeout(std::chrono::milliseconds(o.ReadTimeoutMs));
    return c;
  }

  httplib::Headers RequestHeaders(const TUrl& u, const THttpOptions& o) {
    httplib::Headers h;
    if (!o.UserAgent.empty()) h.emplace("User-Agent", o.UserAgent);
    if (!o.Range.empty()) h.emplace("Range", "bytes=" + o.Range);
    for (const auto& [k, v] : o.Headers) h.emplace(k, v);
    auto jar = FCookies.find(u.Host);
    if (jar != FCookies.end() && !jar->second.empty()) {
      std::string cookie;
      for (const auto& [name, value] : jar->second) {
        if (!cookie.empty()) cookie += "; ";
        cookie += name + "=" + value;
      }
      h.emplace("Cookie", cookie);
    }
    return h;
  }

  void KeepCookies(const TUrl& u, const httplib::Response& res) {
    auto range = res.headers.equal_range("Set-Cookie");
    for (auto it = range.first; it != range.second; ++it) {
      std::string pair = it->second.substr(0, it->second.find(';'));
      size_t eq = pair.find('=');
      if (eq == std::string::npos) continue;
      FCookies[u.Host][ov::str::Trim(pair.substr(0, eq))] = ov::str::Trim(pair.substr(eq + 1));
    }
  }

  static void Fill(const httplib::Response& res, THttpResponse& r) {
    r.Status = res.status;
    r.StatusText = res.reason;
    r.Headers.clear();
    for (const auto& [k, v] : res.headers) r.Headers.emplace_back(k, v);
    int64_t len = -1;
    r.ContentLength =
        ov::str::TryStrToInt64(r.Header("Content-Length"), len) && len >= 0 ? len : -1;
  }

  THttpResponse Perform(const std::string& aUrl, const THttpOptions& o, bool aHead,
                        const TBodySink* aSink, const THeadersEvent* aOnHeaders,
                        const TProgressEvent* aOnProgress) override {
    std::string url = aUrl;
    TUrl u = ParseUrl(url);
    for (int hop = 0;; ++hop) {
      httplib::ClientImpl& cli = ClientFor(u, o);
      httplib::Headers headers = RequestHeaders(u, o);
      THttpResponse r;
      bool redirect = false;
      bool sinkFailed = false;
      std::string sinkError;
      std::unique_ptr<TWatchdog> watchdog;
      if (o.StopTest) watchdog = std::make_unique<TWatchdog>(o.StopTest, [&cli] { cli.stop(); });
      ERR_clear_error();
      httplib::Result res{nullptr, httplib::Error::Unknown};
      if (aHead) {
        res = cli.Head(u.Path.c_str(), headers);
      } else {
        res = cli.Get(
            u.Path.c_str(), headers,
            [&](const httplib::Response& head) {
              Fill(head, r);
              KeepCookies(u, head);
              redirect = head.status >= 300 && head.status < 400 && head.has_header("Location") &&
                         head.status != 304;
              if (!redirect && aOnHeaders && *aOnHeaders) (*aOnHeaders)(r);
              return true;
            },
            [&](const char* data, size_t n) {
              if (redirect) return true;  // a redirect's own body is dropped
              if (aSink && *aSink && !(*aSink)(data, n)) {
                sinkFailed = true;
                sinkError = ov::platform::fs::LastErrorText();
                return false;
              }
              r.BodyBytes += static_cast<int64_t>(n);
              if (aOnProgress && *aOnProgress) {
                bool abort = false;
                (*aOnProgress)(r.ContentLength, r.BodyBytes, abort);
                if (abort) {
                  r.Aborted = true;
                  return false;
                }
              }
              return true;
            });
      }
      if (watchdog && watchdog->Finish()) {
        r.Aborted = true;
        return r;
      }
      if (!res) {
        if (r.Aborted) return r;
        if (sinkFailed) throw ov::Error("写入下载文件失败: " + sinkError);
        // The answer began and its body was cut short: the bytes so far count.
        if (r.Status > 0 && res.error() == httplib::Error::Read && !redirect) {
          r.Truncated = true;
          return r;
        }
        throw ov::Error(ErrorText(res.error(), cli));
      }
      if (aHead) {
        Fill(*res, r);
        KeepCookies(u, *res);
        redirect = r.Status >= 300 && r.Status < 400 && res->has_header("Location") &&
                   r.Status != 304;
      } else if (r.Status == 0) {
        Fill(*res, r);
      }
      if (!redirect) {
        if (!aHead && r.ContentLength >= 0 && r.BodyBytes < r.ContentLength) r.Truncated = true;
        return r;
      }
      if (hop >= o.MaxRedirects) throw ov::Error("Maximum (" + std::to_string(o.MaxRedirects) +
                                                 ") redirects followed");
      std::string base = u.Scheme + "://" + u.Host + ":" + std::to_string(u.Port) + u.Path;
      u = ParseUrl(r.Header("Location"), base);
    }
  }

  std::map<std::string, std::unique_ptr<httplib::ClientImpl>> FClients;
  std::map<std::string, std::map<std::string, std::string>> FCookies;
};

}  // namespace

std::unique_ptr<IHttpStack> CreateIdStack() { return std::make_unique<TIdStack>(); }

}  // namespace ov::net
