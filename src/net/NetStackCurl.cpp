// The "Net" stack on libcurl.
#include <curl/curl.h>

#include <atomic>
#include <mutex>

#include "common/OVError.h"
#include "base/OVStrUtil.h"
#include "net/HttpStack.h"
#include "platform/FileSystem.h"

namespace ov::net {

namespace {

std::atomic<bool> gNetCreationFails{false};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Collects the status line and headers; a new status line (after a redirect or a 100) starts
// the answer afresh.
struct THeaderState {
  THttpResponse* Response = nullptr;
  const THeadersEvent* OnHeaders = nullptr;
  bool Announced = false;
};

size_t OnHeaderLine(char* aData, size_t aSize, size_t aCount, void* aUser) {
  auto* st = static_cast<THeaderState*>(aUser);
  const size_t n = aSize * aCount;
  std::string line = ov::str::Trim(std::string_view(aData, n));
  THttpResponse& r = *st->Response;
  if (line.rfind("HTTP/", 0) == 0) {
    r.Headers.clear();
    r.StatusText.clear();
    size_t sp = line.find(' ');
    if (sp != std::string::npos) {
      size_t sp2 = line.find(' ', sp + 1);
      if (sp2 != std::string::npos) r.StatusText = line.substr(sp2 + 1);
    }
  } else if (!line.empty()) {
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      r.Headers.emplace_back(ov::str::Trim(line.substr(0, colon)),
                             ov::str::Trim(line.substr(colon + 1)));
    }
  }
  return n;
}

struct TBodyState {
  CURL* Curl = nullptr;
  THeaderState* Head = nullptr;
  const TBodySink* Sink = nullptr;
  const TProgressEvent* OnProgress = nullptr;
  THttpResponse* Response = nullptr;
  const std::function<bool()>* StopTest = nullptr;
  bool SinkFailed = false;
  std::string SinkError;  // the file layer's reason, taken where the sink failed
};

void FillStatus(CURL* c, THttpResponse& r) {
  long code = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
  r.Status = static_cast<int32_t>(code);
  std::string cl = r.Header("Content-Length");
  int64_t len = -1;
  r.ContentLength = ov::str::TryStrToInt64(cl, len) && len >= 0 ? len : -1;
}

size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aUser) {
  auto* st = static_cast<TBodyState*>(aUser);
  const size_t n = aSize * aCount;
  THttpResponse& r = *st->Response;
  if (!st->Head->Announced) {
    st->Head->Announced = true;
    FillStatus(st->Curl, r);
    if (st->Head->OnHeaders && *st->Head->OnHeaders) (*st->Head->OnHeaders)(r);
  }
  if (st->Sink && *st->Sink && !(*st->Sink)(aData, n)) {
    st->SinkFailed = true;
    st->SinkError = ov::platform::fs::LastErrorText();
    return 0;
  }
  r.BodyBytes += static_cast<int64_t>(n);
  if (st->OnProgress && *st->OnProgress) {
    bool abort = false;
    (*st->OnProgress)(r.ContentLength, r.BodyBytes, abort);
    if (abort) {
      r.Aborted = true;
      return 0;
    }
  }
  return n;
}

// libcurl calls this at least about once a second, also while no byte arrives.
int OnXferInfo(void* aUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* st = static_cast<TBodyState*>(aUser);
  if (!(*st->StopTest)()) return 0;
  st->Response->Aborted = true;
  return 1;
}

void SetCommon(CURL* c, const std::string& aUrl, const THttpOptions& o, curl_slist* headers) {
  curl_easy_setopt(c, CURLOPT_URL, aUrl.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 256L * 1024L);  // fewer, larger blocks to the sink
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(o.MaxRedirects));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.ConnTimeoutMs));
  // A read time-out: give up when less than one byte a second arrives for that long.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                   static_cast<long>(o.ReadTimeoutMs > 1000 ? o.ReadTimeoutMs / 1000 : 1));
  if (!o.UserAgent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, o.UserAgent.c_str());
  if (!o.CaFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, o.CaFile.c_str());
  if (headers) curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
}

curl_slist* MakeHeaders(const THeaders& aHeaders) {
  curl_slist* list = nullptr;
  for (const auto& [k, v] : aHeaders) list = curl_slist_append(list, (k + ": " + v).c_str());
  return list;
}

class TNetStack : public IHttpStack {
 public:
  TNetStack() {
    GlobalInit();
    FCurl = curl_easy_init();
    if (!FCurl) throw ov::Error("curl_easy_init failed");
  }
  ~TNetStack() override { curl_easy_cleanup(FCurl); }

  std::string Name() const override { return "Net"; }

 private:
  THttpResponse Perform(const std::string& aUrl, const THttpOptions& o, bool aHead,
                        const TBodySink* aSink, const THeadersEvent* aOnHeaders,
                        const TProgressEvent* aOnProgress) override {
    // No curl_easy_reset between requests: it leaks the pending cookie-file entry. Every option
    // that differs between requests is set each time instead.
    if (!FCookiesOn) {
      // Starts the in-memory cookie store once; it lives with the handle, across resets.
      curl_easy_setopt(FCurl, CURLOPT_COOKIEFILE, "");
      FCookiesOn = true;
    }
    THttpResponse r;
    THeaderState hs{&r, aOnHeaders, false};
    TBodyState bs{FCurl, &hs, aSink, aOnProgress, &r, &o.StopTest, false, {}};
    curl_slist* headers = MakeHeaders(o.Headers);
    SetCommon(FCurl, aUrl, o, headers);
    curl_easy_setopt(FCurl, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(FCurl, CURLOPT_HEADERDATA, &hs);
    curl_easy_setopt(FCurl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(FCurl, CURLOPT_USERAGENT, o.UserAgent.empty() ? nullptr : o.UserAgent.c_str());
    curl_easy_setopt(FCurl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(FCurl, CURLOPT_WRITEDATA, &bs);
    curl_easy_setopt(FCurl, CURLOPT_RANGE, aHead || o.Range.empty() ? nullptr : o.Range.c_str());
    const bool stoppable = static_cast<bool>(o.StopTest);
    curl_easy_setopt(FCurl, CURLOPT_NOPROGRESS, stoppable ? 0L : 1L);
    curl_easy_setopt(FCurl, CURLOPT_XFERINFOFUNCTION, stoppable ? OnXferInfo : nullptr);
    curl_easy_setopt(FCurl, CURLOPT_XFERINFODATA, &bs);
    if (aHead) {
      curl_easy_setopt(FCurl, CURLOPT_NOBODY, 1L);
    } else {
      curl_easy_setopt(FCurl, CURLOPT_HTTPGET, 1L);
    }
    char err[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(FCurl, CURLOPT_ERRORBUFFER, err);
    CURLcode rc = curl_easy_perform(FCurl);
    curl_slist_free_all(headers);
    if (!hs.Announced) {
      FillStatus(FCurl, r);
      if (!aHead && rc == CURLE_OK && aOnHeaders && *aOnHeaders) (*aOnHeaders)(r);
    }
    if (rc == CURLE_OK) return r;
    if (r.Aborted) return r;
    // A body cut short after the answer began is no error of the stack: the caller sees the
    // bytes it got and resumes later.
    if (rc == CURLE_PARTIAL_FILE && r.Status > 0) {
      r.Truncated = true;
      return r;
    }
    if (bs.SinkFailed) throw ov::Error("写入下载文件失败: " + bs.SinkError);
    throw ov::Error(err[0] ? std::string(err) : std::string(curl_easy_strerror(rc)));
  }

  CURL* FCurl = nullptr;
  bool FCookiesOn = false;
};

struct TProbeState {
  long Status = 0;
  bool Done = false;
  CURL* Curl = nullptr;
  int64_t Length = -1;  // Content-Length of the answer being read, -1 when none
  bool Drain = false;   // a small error body is read so the connection can serve the next probe
};

// Error answers up to this size are read to their end instead of cutting the connection.
constexpr int64_t kProbeDrainLimit = 64 * 1024;

size_t OnProbeHeader(char* aData, size_t aSize, size_t aCount, void* aUser) {
  auto* st = static_cast<TProbeState*>(aUser);
  const size_t n = aSize * aCount;
  std::string line = ov::str::Trim(std::string_view(aData, n));
  if (line.rfind("HTTP/", 0) == 0) {
    size_t sp = line.find(' ');
    st->Status = sp == std::string::npos ? 0 : std::strtol(line.c_str() + sp + 1, nullptr, 10);
    st->Length = -1;
  } else if (ov::str::StartsText("content-length:", line)) {
    st->Length = std::strtoll(line.c_str() + 15, nullptr, 10);
  } else if (line.empty()) {
    char* location = nullptr;
    curl_easy_getinfo(st->Curl, CURLINFO_REDIRECT_URL, &location);
    // The end of the final answer's headers: a file's body is never fetched.
    if (st->Status != 100 && !(st->Status >= 300 && st->Status < 400 && location)) {
      st->Done = true;
      if (st->Status >= 400 && st->Length >= 0 && st->Length <= kProbeDrainLimit) {
        st->Drain = true;
        return n;
      }
      return 0;
    }
  }
  return n;
}

size_t DiscardBody(char*, size_t aSize, size_t aCount, void* aUser) {
  return static_cast<TProbeState*>(aUser)->Drain ? aSize * aCount : 0;
}

}  // namespace

void SetNetStackCreationFails(bool aFail) { gNetCreationFails = aFail; }

std::unique_ptr<IHttpStack> CreateNetStack() {
  if (gNetCreationFails) throw ov::Error("NetHTTP creation disabled for a test");
  return std::make_unique<TNetStack>();
}

// A handle keeps the options it was given; another agent or CA file gets a new handle.
struct TProbeSession::TImpl {
  CURL* Curl = nullptr;
  std::string Agent, CaFile;
  ~TImpl() {
    if (Curl) curl_easy_cleanup(Curl);
  }
};

TProbeSession::TProbeSession() : FImpl(std::make_unique<TImpl>()) {}
TProbeSession::~TProbeSession() = default;

int32_t TProbeSession::Probe(const std::string& aUrl, const std::string& aAgent,
                             int32_t aTimeoutMs, const std::string& aCaFile) {
  GlobalInit();
  TImpl& h = *FImpl;
  if (h.Curl && (h.Agent != aAgent || h.CaFile != aCaFile)) {
    curl_easy_cleanup(h.Curl);
    h.Curl = nullptr;
  }
  if (!h.Curl) {
    h.Curl = curl_easy_init();
    h.Agent = aAgent;
    h.CaFile = aCaFile;
  }
  CURL* c = h.Curl;
  if (!c) return 0;
  THttpOptions o;
  o.ConnTimeoutMs = aTimeoutMs;
  o.ReadTimeoutMs = aTimeoutMs;
  o.UserAgent = aAgent;
  o.CaFile = aCaFile;
  curl_slist* headers = MakeHeaders({{"Cache-Control", "no-cache"}, {"Pragma", "no-cache"}});
  SetCommon(c, aUrl, o, headers);
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  TProbeState st;
  st.Curl = c;
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnProbeHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &st);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, DiscardBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &st);
  CURLcode rc = curl_easy_perform(c);
  // The handle outlives this call; the list it points to does not.
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  if (rc != CURLE_OK && !st.Done) return 0;
  return static_cast<int32_t>(st.Status);
}

int32_t ProbeStatus(const std::string& aUrl, const std::string& aAgent, int32_t aTimeoutMs,
                    const std::string& aCaFile) {
  TProbeSession once;
  return once.Probe(aUrl, aAgent, aTimeoutMs, aCaFile);
}

}  // namespace ov::net
