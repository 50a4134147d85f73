// The "Net" stack on WinHTTP, and the existence test on WinINet.
#include "platform/Win32Util.h"
// clang-format off
#include <wininet.h>  // needs windows.h before it
// clang-format on

#include <atomic>

#include "base/OVStrUtil.h"
#include "common/OVError.h"
#include "net/HttpStack.h"
#include "net/WinHttpUtil.h"
#include "platform/FileSystem.h"

namespace ov::net {

using ov::platform::win::Widen;

namespace {

std::atomic<bool> gNetCreationFails{false};

// Error answers up to this size are read to their end instead of cutting the connection.
constexpr DWORD kProbeDrainLimit = 64 * 1024;

// One WinHTTP session for the stack's life: its cookies persist and its connections serve the
// next request to the same server.
class TNetStack : public IHttpStack {
 public:
  std::string Name() const override { return "Net"; }

 private:
  THttpResponse Perform(const std::string& aUrl, const THttpOptions& o, bool aHead,
                        const TBodySink* aSink, const THeadersEvent* aOnHeaders,
                        const TProgressEvent* aOnProgress) override {
    THttpResponse r;
    win::TRequest request(FSession, aHead ? L"HEAD" : L"GET", aUrl, o);
    if (!request.Send() || !request.Receive()) {
      r.Aborted = true;
      return r;
    }
    r.Status = request.Status();
    r.StatusText = request.StatusText();
    r.Headers = request.Headers();
    int64_t len = -1;
    r.ContentLength =
        ov::str::TryStrToInt64(r.Header("Content-Length"), len) && len >= 0 ? len : -1;
    if (aHead) return r;
    if (aOnHeaders && *aOnHeaders) (*aOnHeaders)(r);
    for (;;) {
      std::string_view block;
      const auto got = request.Read(block);
      if (got == win::TRequest::TRead::Stopped) {
        r.Aborted = true;
        return r;
      }
      if (got != win::TRequest::TRead::Data) break;
      if (aSink && *aSink && !(*aSink)(block.data(), block.size())) {
        throw ov::Error("写入下载文件失败: " + ov::platform::fs::LastErrorText());
      }
      r.BodyBytes += static_cast<int64_t>(block.size());
      if (aOnProgress && *aOnProgress) {
        bool abort = false;
        (*aOnProgress)(r.ContentLength, r.BodyBytes, abort);
        if (abort) {
          r.Aborted = true;
          return r;
        }
      }
    }
    // A body cut short is no error of the stack: the caller sees the bytes it got and resumes.
    r.Truncated = r.ContentLength >= 0 && r.BodyBytes < r.ContentLength;
    return r;
  }

  win::TSession FSession;
};

// WinINet's handles, closed on every way out.
struct TInetHandle {
  HINTERNET Handle = nullptr;
  ~TInetHandle() {
    if (Handle) InternetCloseHandle(Handle);
  }
};

bool QueryNumber(HINTERNET aRequest, DWORD aWhat, DWORD& aValue) {
  DWORD size = sizeof(aValue);
  return HttpQueryInfoW(aRequest, aWhat | HTTP_QUERY_FLAG_NUMBER, &aValue, &size, nullptr);
}

// The server of the final hop passes the CA file's check (the system built its chain already).
bool TrustedThroughCaFile(HINTERNET aRequest, const win::TCaFile& aCaFile) {
  wchar_t url[INTERNET_MAX_URL_LENGTH] = {};
  DWORD size = sizeof(url);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = 1;
  if (!InternetQueryOptionW(aRequest, INTERNET_OPTION_URL, url, &size) ||
      !InternetCrackUrlW(url, 0, 0, &parts)) {
    return false;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTPS) return true;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  size = sizeof(chain);
  if (!InternetQueryOptionW(aRequest, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &chain, &size) ||
      !chain) {
    return false;
  }
  const bool ok =
      aCaFile.CheckChain(chain, std::wstring(parts.lpszHostName, parts.dwHostNameLength)).empty();
  CertFreeCertificateChain(chain);
  return ok;
}

}  // namespace

void SetNetStackCreationFails(bool aFail) { gNetCreationFails = aFail; }

std::unique_ptr<IHttpStack> CreateNetStack() {
  if (gNetCreationFails) throw ov::Error("NetHTTP creation disabled for a test");
  return std::make_unique<TNetStack>();
}

// A session keeps the agent it was opened with; another agent gets a new one.
struct TProbeSession::TImpl {
  TInetHandle Session;
  std::string Agent, CaPath;
  std::unique_ptr<win::TCaFile> CaFile;
};

TProbeSession::TProbeSession() : FImpl(std::make_unique<TImpl>()) {}
TProbeSession::~TProbeSession() = default;

int32_t TProbeSession::Probe(const std::string& aUrl, const std::string& aAgent, int32_t aTimeoutMs,
                             const std::string& aCaFile) {
  TImpl& h = *FImpl;
  if (h.Session.Handle && h.Agent != aAgent) {
    InternetCloseHandle(h.Session.Handle);
    h.Session.Handle = nullptr;
  }
  if (!h.Session.Handle) {
    h.Session.Handle =
        InternetOpenW(Widen(aAgent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    h.Agent = aAgent;
  }
  if (!h.Session.Handle) return 0;
  DWORD timeout = static_cast<DWORD>(aTimeoutMs);
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    InternetSetOptionW(h.Session.Handle, option, &timeout, sizeof(timeout));
  }
  const std::wstring url = Widen(aUrl);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return 0;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  TInetHandle connect{InternetConnectW(h.Session.Handle, host.c_str(), parts.nPort, nullptr,
                                       nullptr, INTERNET_SERVICE_HTTP, 0, 0)};
  if (!connect.Handle) return 0;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  TInetHandle request{HttpOpenRequestW(connect.Handle, L"GET", path.empty() ? L"/" : path.c_str(),
                                       nullptr, nullptr, nullptr, flags, 0)};
  if (!request.Handle) return 0;
  if (!aCaFile.empty()) {
    // A private CA's server passes the handshake; its chain, name included, is checked before
    // the answer counts.
    try {
      if (!h.CaFile || h.CaPath != aCaFile) h.CaFile = std::make_unique<win::TCaFile>(aCaFile);
      h.CaPath = aCaFile;
    } catch (const ov::Error&) {
      return 0;
    }
    DWORD security = 0, size = sizeof(security);
    InternetQueryOptionW(request.Handle, INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
    security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    InternetSetOptionW(request.Handle, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
  }
  DWORD status = 0, length = 0;
  if (!HttpSendRequestW(request.Handle, nullptr, 0, nullptr, 0) ||
      (h.CaFile && !aCaFile.empty() && !TrustedThroughCaFile(request.Handle, *h.CaFile)) ||
      !QueryNumber(request.Handle, HTTP_QUERY_STATUS_CODE, status)) {
    return 0;
  }
  // A file's body is never fetched; a short error answer is read to its end, so the session's
  // next probe can use the same connection.
  if (status >= 400 && QueryNumber(request.Handle, HTTP_QUERY_CONTENT_LENGTH, length) &&
      length <= kProbeDrainLimit) {
    char buffer[4096];
    DWORD got = 0;
    while (InternetReadFile(request.Handle, buffer, sizeof(buffer), &got) && got > 0) {
    }
  }
  return static_cast<int32_t>(status);
}

int32_t ProbeStatus(const std::string& aUrl, const std::string& aAgent, int32_t aTimeoutMs,
                    const std::string& aCaFile) {
  TProbeSession once;
  return once.Probe(aUrl, aAgent, aTimeoutMs, aCaFile);
}

}  // namespace ov::net
