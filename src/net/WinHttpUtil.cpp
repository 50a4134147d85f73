#include "platform/Win32Util.h"
// clang-format off
#include <winhttp.h>  // needs windows.h before it
#include <ws2tcpip.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "base/OVStrUtil.h"
#include "common/OVError.h"
#include "net/WinHttpUtil.h"
#include "platform/FileSystem.h"

namespace ov::net::win {

using ov::platform::win::ErrorText;
using ov::platform::win::Narrow;
using ov::platform::win::Widen;

void CALLBACK OnWinHttpStatus(HINTERNET, DWORD_PTR aContext, DWORD aStatus, void* aInfo,
                              DWORD aLength);

namespace {

// How often a waiting step looks at the stop test and the deadline.
constexpr DWORD kPollMs = 50;
// Fewer, larger blocks to the sink.
constexpr DWORD kBlockSize = 256 * 1024;

HCERTSTORE NewMemoryStore() {
  return CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
}

// The SSL policy's verdict on aChain for aHost, 0 when it passes; aIgnore takes the
// SECURITY_FLAG_IGNORE_* flags.
DWORD SslPolicy(PCCERT_CHAIN_CONTEXT aChain, const std::wstring& aHost, DWORD aIgnore) {
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof(ssl);
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = aIgnore;
  ssl.pwszServerName = const_cast<wchar_t*>(aHost.c_str());
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof(para);
  para.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof(status);
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, aChain, &para, &status)) {
    return GetLastError();
  }
  return status.dwError;
}

// True when aHost is an address that one of aCert's alternative names gives. The system's SSL
// policy matches names; not every system matches an address there (Wine's does not).
bool NamesAddress(PCCERT_CONTEXT aCert, const std::wstring& aHost) {
  std::wstring host = aHost;
  if (host.size() > 2 && host.front() == L'[' && host.back() == L']') {
    host = host.substr(1, host.size() - 2);
  }
  BYTE address[16] = {};
  DWORD length = 0;
  if (InetPtonW(AF_INET, host.c_str(), address) == 1) {
    length = 4;
  } else if (InetPtonW(AF_INET6, host.c_str(), address) == 1) {
    length = 16;
  } else {
    return false;
  }
  const CERT_INFO* info = aCert->pCertInfo;
  const CERT_EXTENSION* ext =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!ext ||
      !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                           ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
    found = e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && e.IPAddress.cbData == length &&
            std::memcmp(e.IPAddress.pbData, address, length) == 0;
  }
  LocalFree(names);
  return found;
}

// Host name and scheme of a URL; false when WinHTTP cannot read it.
bool CrackUrl(const std::wstring& aUrl, URL_COMPONENTS& aParts) {
  aParts = {};
  aParts.dwStructSize = sizeof(aParts);
  aParts.dwSchemeLength = aParts.dwHostNameLength = aParts.dwUrlPathLength =
      aParts.dwExtraInfoLength = static_cast<DWORD>(-1);
  return WinHttpCrackUrl(aUrl.c_str(), static_cast<DWORD>(aUrl.size()), 0, &aParts);
}

std::wstring QueryText(HINTERNET aRequest, DWORD aWhat) {
  DWORD size = 0;
  WinHttpQueryHeaders(aRequest, aWhat, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                      &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
  std::wstring r(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(aRequest, aWhat, WINHTTP_HEADER_NAME_BY_INDEX, r.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  r.resize(size / sizeof(wchar_t));
  return r;
}

}  // namespace

std::string WinHttpErrorText(uint32_t aCode) { return ErrorText(aCode, L"winhttp.dll"); }

TCaFile::TCaFile(const std::string& aPath) {
  std::string pem;
  if (!ov::platform::fs::ReadHostFile(aPath, pem)) {
    throw ov::Error("CA file " + aPath + ": " + ov::platform::fs::LastErrorText());
  }
  FStore = NewMemoryStore();
  if (!FStore) throw ov::Error(ErrorText(GetLastError()));
  const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  int count = 0;
  for (size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
    const size_t stop = pem.find(end, at);
    if (stop == std::string::npos) break;
    const DWORD len = static_cast<DWORD>(stop + end.size() - at);
    DWORD size = 0;
    if (CryptStringToBinaryA(pem.data() + at, len, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                             nullptr, nullptr)) {
      std::vector<BYTE> der(size);
      if (CryptStringToBinaryA(pem.data() + at, len, CRYPT_STRING_BASE64HEADER, der.data(), &size,
                               nullptr, nullptr) &&
          CertAddEncodedCertificateToStore(FStore, X509_ASN_ENCODING, der.data(), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr)) {
        ++count;
      }
    }
    at = stop;
  }
  if (count == 0) {
    CertCloseStore(FStore, 0);
    throw ov::Error("CA file " + aPath + " holds no certificate");
  }
}

TCaFile::~TCaFile() { CertCloseStore(FStore, 0); }

std::string TCaFile::Check(PCCERT_CONTEXT aCert, const std::wstring& aHost) const {
  // The chain may pass through the certificates the server sent and the file's.
  HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (!extra) return ErrorText(GetLastError());
  CertAddStoreToCollection(extra, FStore, 0, 0);
  if (aCert->hCertStore) CertAddStoreToCollection(extra, aCert->hCertStore, 0, 0);
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  const bool built =
      CertGetCertificateChain(nullptr, aCert, nullptr, extra, &para, 0, nullptr, &chain);
  const DWORD code = GetLastError();
  CertCloseStore(extra, 0);
  if (!built) return ErrorText(code);
  std::string why = CheckChain(chain, aHost);
  CertFreeCertificateChain(chain);
  return why;
}

std::string TCaFile::CheckChain(PCCERT_CHAIN_CONTEXT aChain, const std::wstring& aHost) const {
  if (aChain->cChain == 0 || aChain->rgpChain[0]->cElement == 0) {
    return ErrorText(static_cast<DWORD>(CERT_E_CHAINING));
  }
  const CERT_SIMPLE_CHAIN* simple = aChain->rgpChain[0];
  const DWORD address = NamesAddress(simple->rgpElement[0]->pCertContext, aHost)
                            ? SECURITY_FLAG_IGNORE_CERT_CN_INVALID
                            : 0;
  DWORD code = SslPolicy(aChain, aHost, address);
  if (code == static_cast<DWORD>(CERT_E_UNTRUSTEDROOT)) {
    // A root the system does not know passes when it is one of the file's; the name and the
    // dates are still checked.
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    PCCERT_CONTEXT ours =
        CertFindCertificateInStore(FStore, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr);
    if (ours) {
      CertFreeCertificateContext(ours);
      code = SslPolicy(aChain, aHost, SECURITY_FLAG_IGNORE_UNKNOWN_CA | address);
    }
  }
  return code == 0 ? std::string() : ErrorText(code);
}

TSession::TSession(bool aTls12Only) {
  // No agent here: each request names its own.
  FSession = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (!FSession) throw ov::Error(WinHttpErrorText(GetLastError()));
  // https to http as well, as libcurl follows redirects.
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
  WinHttpSetOption(FSession, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  if ((aTls12Only && !WinHttpSetOption(FSession, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                                       sizeof(protocols))) ||
      WinHttpSetStatusCallback(FSession, &OnWinHttpStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    const DWORD code = GetLastError();
    WinHttpCloseHandle(FSession);
    throw ov::Error(WinHttpErrorText(code));
  }
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
  if (WinHttpGetIEProxyConfigForCurrentUser(&ie)) {
    FAutoDetect = ie.fAutoDetect;
    for (auto [from, to] : {std::pair{ie.lpszAutoConfigUrl, &FScript},
                            {ie.lpszProxy, &FProxy},
                            {ie.lpszProxyBypass, &FBypass}}) {
      if (from) *to = from;
      GlobalFree(from);
    }
  }
}

TSession::~TSession() {
  if (FResolver) WinHttpCloseHandle(FResolver);
  WinHttpCloseHandle(FSession);
}

void TSession::ApplyProxy(void* aRequest, const std::wstring& aUrl) {
  WINHTTP_PROXY_INFO info{};
  if (FAutoDetect || !FScript.empty()) {
    if (!FResolver) {
      FResolver = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    }
    WINHTTP_AUTOPROXY_OPTIONS autoProxy{};
    autoProxy.dwFlags = FScript.empty() ? 0 : WINHTTP_AUTOPROXY_CONFIG_URL;
    if (FAutoDetect) {
      autoProxy.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
      autoProxy.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    autoProxy.lpszAutoConfigUrl = FScript.empty() ? nullptr : FScript.c_str();
    autoProxy.fAutoLogonIfChallenged = TRUE;
    if (FResolver && WinHttpGetProxyForUrl(FResolver, aUrl.c_str(), &autoProxy, &info)) {
      WinHttpSetOption(aRequest, WINHTTP_OPTION_PROXY, &info, sizeof(info));
      GlobalFree(info.lpszProxy);
      GlobalFree(info.lpszProxyBypass);
      return;
    }
    // A network without a script answers the same next time; its search takes seconds.
    FAutoDetect = false;
    FScript.clear();
  }
  if (!FProxy.empty()) {
    info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info.lpszProxy = FProxy.data();
    info.lpszProxyBypass = FBypass.empty() ? nullptr : FBypass.data();
    WinHttpSetOption(aRequest, WINHTTP_OPTION_PROXY, &info, sizeof(info));
  }
}

// What the status callback hands to the requesting thread. WinHTTP may still read into the
// buffer or write from the body after that thread gave up on a cancelled request, so the
// request handle owns a reference until its closing notification.
struct TCallState {
  HANDLE Done = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // a step completed or failed
  std::atomic<DWORD> Error{0};
  std::atomic<DWORD> Bytes{0};
  std::atomic<DWORD> SecureFlags{0};
  std::mutex Lock;
  std::wstring Url;  // of the current hop
  std::vector<char> Buffer;
  std::string Body;
  ~TCallState() { CloseHandle(Done); }
};

void CALLBACK OnWinHttpStatus(HINTERNET, DWORD_PTR aContext, DWORD aStatus, void* aInfo,
                              DWORD aLength) {
  auto* holder = reinterpret_cast<std::shared_ptr<TCallState>*>(aContext);
  if (!holder) return;
  TCallState& s = **holder;
  switch (aStatus) {
    case WINHTTP_CALLBACK_STATUS_REDIRECT: {
      std::lock_guard<std::mutex> g(s.Lock);
      s.Url.assign(static_cast<const wchar_t*>(aInfo));
      break;
    }
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      s.SecureFlags = *static_cast<DWORD*>(aInfo);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      s.Error = static_cast<WINHTTP_ASYNC_RESULT*>(aInfo)->dwError;
      SetEvent(s.Done);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      s.Bytes = aLength;
      SetEvent(s.Done);
      break;
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      s.Bytes = *static_cast<DWORD*>(aInfo);
      SetEvent(s.Done);
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      SetEvent(s.Done);
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      delete holder;
      break;
    default:
      break;
  }
}

TRequest::TRequest(TSession& aSession, const wchar_t* aVerb, const std::string& aUrl,
                   const THttpOptions& aOptions, TClock::time_point aDeadline)
    : FOptions(aOptions), FDeadline(aDeadline), FState(std::make_shared<TCallState>()) {
  const std::wstring url = Widen(aUrl);
  FState->Url = url;
  URL_COMPONENTS parts;
  if (!CrackUrl(url, parts)) Fail(GetLastError());
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  try {
    FConnect = WinHttpConnect(aSession.Handle(), host.c_str(), parts.nPort, 0);
    if (!FConnect) Fail(GetLastError());
    FRequest = WinHttpOpenRequest(FConnect, aVerb, path.empty() ? L"/" : path.c_str(), nullptr,
                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                  parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!FRequest) Fail(GetLastError());
    auto* holder = new std::shared_ptr<TCallState>(FState);
    FContext = reinterpret_cast<uintptr_t>(holder);
    if (!WinHttpSetOption(FRequest, WINHTTP_OPTION_CONTEXT_VALUE, &FContext, sizeof(FContext))) {
      const DWORD code = GetLastError();
      delete holder;
      FContext = 0;
      Fail(code);
    }
    const int conn = FOptions.ConnTimeoutMs, read = FOptions.ReadTimeoutMs;
    DWORD wait = static_cast<DWORD>(read);
    if (!WinHttpSetTimeouts(FRequest, conn, conn, read, read) ||
        !WinHttpSetOption(FRequest, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof(wait))) {
      Fail(GetLastError());
    }
    if (FOptions.MaxRedirects > 0) {
      DWORD hops = static_cast<DWORD>(FOptions.MaxRedirects);
      WinHttpSetOption(FRequest, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &hops, sizeof(hops));
    } else {
      DWORD off = WINHTTP_DISABLE_REDIRECTS;
      WinHttpSetOption(FRequest, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof(off));
    }
    // A private CA's server passes the handshake and is checked, its name included, before
    // anything that matters; also after a redirect from http.
    if (!FOptions.VerifyPeer || !FOptions.CaFile.empty()) {
      DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
      if (!FOptions.VerifyPeer) {
        flags |= SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
      }
      WinHttpSetOption(FRequest, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
    std::wstring headers;
    if (!FOptions.UserAgent.empty())
      headers += L"User-Agent: " + Widen(FOptions.UserAgent) + L"\r\n";
    if (!FOptions.Range.empty() && std::wcscmp(aVerb, L"HEAD") != 0) {
      headers += L"Range: bytes=" + Widen(FOptions.Range) + L"\r\n";
    }
    for (const auto& [k, v] : FOptions.Headers) headers += Widen(k + ": " + v) + L"\r\n";
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(FRequest, headers.c_str(), static_cast<DWORD>(headers.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
      Fail(GetLastError());
    }
    aSession.ApplyProxy(FRequest, url);
  } catch (...) {
    Close();
    throw;
  }
}

TRequest::~TRequest() { Close(); }

void TRequest::Close() {
  if (FRequest) WinHttpCloseHandle(FRequest);
  if (FConnect) WinHttpCloseHandle(FConnect);
  FRequest = FConnect = nullptr;
}

void TRequest::Cancel() {
  // Closing is the one way to end a pending step; the step's notification may still come.
  if (FRequest) WinHttpCloseHandle(FRequest);
  FRequest = nullptr;
}

void TRequest::Fail(uint32_t aCode) const {
  std::string text = WinHttpErrorText(aCode);
  const DWORD flags = FState->SecureFlags;
  if (aCode == ERROR_WINHTTP_SECURE_FAILURE && flags) {
    // The certificate's fault, in the system's words.
    static const std::pair<DWORD, HRESULT> kReasons[] = {
        {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, CERT_E_UNTRUSTEDROOT},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, CERT_E_CN_NO_MATCH},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, CERT_E_EXPIRED},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, CRYPT_E_REVOKED},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, CERT_E_WRONG_USAGE}};
    for (const auto& [flag, reason] : kReasons) {
      if (flags & flag) text += ": " + ErrorText(static_cast<DWORD>(reason));
    }
  }
  throw ov::Error(text);
}

bool TRequest::StopNow() {
  if (!FOptions.StopTest || !FOptions.StopTest()) return false;
  Cancel();
  return true;
}

uint32_t TRequest::Wait() {
  while (WaitForSingleObject(FState->Done, kPollMs) != WAIT_OBJECT_0) {
    if (StopNow()) return ERROR_WINHTTP_OPERATION_CANCELLED;
    if (TClock::now() >= FDeadline) {
      Cancel();
      return ERROR_WINHTTP_TIMEOUT;
    }
  }
  return FState->Error.exchange(0);
}

bool TRequest::Finish() {
  const uint32_t e = Wait();
  if (e == ERROR_WINHTTP_OPERATION_CANCELLED) return false;
  if (e) Fail(e);
  return true;
}

bool TRequest::Send(const std::string& aBody) {
  // Nothing goes out once the stop test says so.
  if (StopNow()) return false;
  FState->Body = aBody;
  if (!WinHttpSendRequest(FRequest, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                          static_cast<DWORD>(aBody.size()), FContext)) {
    Fail(GetLastError());
  }
  if (!Finish()) return false;
  CheckServer();
  const std::string& body = FState->Body;
  for (size_t sent = 0; sent < body.size(); sent += FState->Bytes) {
    if (!WinHttpWriteData(FRequest, body.data() + sent, static_cast<DWORD>(body.size() - sent),
                          nullptr)) {
      Fail(GetLastError());
    }
    if (!Finish()) return false;
    if (FState->Bytes == 0) Fail(ERROR_WINHTTP_CONNECTION_ERROR);
  }
  return true;
}

bool TRequest::Receive() {
  if (StopNow()) return false;
  if (!WinHttpReceiveResponse(FRequest, nullptr)) Fail(GetLastError());
  if (!Finish()) return false;
  CheckServer();
  return true;
}

void TRequest::CheckServer() {
  if (!FOptions.VerifyPeer || FOptions.CaFile.empty()) return;
  // The server of the current hop: a redirect may have led elsewhere.
  std::wstring url;
  {
    std::lock_guard<std::mutex> g(FState->Lock);
    url = FState->Url;
  }
  URL_COMPONENTS parts;
  if (!CrackUrl(url, parts)) Fail(GetLastError());
  if (parts.nScheme != INTERNET_SCHEME_HTTPS) return;
  DWORD size = 0;
  PCCERT_CONTEXT cert = nullptr;
  size = sizeof(cert);
  if (!WinHttpQueryOption(FRequest, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size)) {
    Fail(GetLastError());
  }
  std::string why;
  try {
    if (!FCaFile) FCaFile = std::make_unique<TCaFile>(FOptions.CaFile);
    why = FCaFile->Check(cert, std::wstring(parts.lpszHostName, parts.dwHostNameLength));
  } catch (...) {
    CertFreeCertificateContext(cert);
    throw;
  }
  CertFreeCertificateContext(cert);
  if (!why.empty()) {
    Cancel();
    throw ov::Error("Server certificate not trusted: " + why);
  }
}

int32_t TRequest::Status() const {
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(FRequest, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  return static_cast<int32_t>(status);
}

std::string TRequest::StatusText() const {
  return Narrow(QueryText(FRequest, WINHTTP_QUERY_STATUS_TEXT));
}

THeaders TRequest::Headers() const {
  const std::string raw = Narrow(QueryText(FRequest, WINHTTP_QUERY_RAW_HEADERS_CRLF));
  THeaders r;
  // The first line is the status line.
  for (size_t at = raw.find("\r\n"); at != std::string::npos && at + 2 < raw.size();) {
    const size_t next = raw.find("\r\n", at + 2);
    const std::string line = raw.substr(at + 2, next == std::string::npos ? next : next - at - 2);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      r.emplace_back(ov::str::Trim(line.substr(0, colon)), ov::str::Trim(line.substr(colon + 1)));
    }
    at = next;
  }
  return r;
}

TRequest::TRead TRequest::WaitForBody() {
  const uint32_t e = Wait();
  if (e == ERROR_WINHTTP_OPERATION_CANCELLED) return TRead::Stopped;
  // The server closed or reset the connection inside the body.
  if (e == ERROR_WINHTTP_CONNECTION_ERROR) return TRead::Cut;
  if (e) Fail(e);
  return TRead::Data;
}

TRequest::TRead TRequest::Read(std::string_view& aBlock) {
  aBlock = {};
  if (StopNow()) return TRead::Stopped;
  // What has arrived is asked for first, so each block goes on as soon as it is in.
  if (!WinHttpQueryDataAvailable(FRequest, nullptr)) Fail(GetLastError());
  if (const TRead r = WaitForBody(); r != TRead::Data) return r;
  if (FState->Bytes == 0) return TRead::End;
  std::vector<char>& buffer = FState->Buffer;
  buffer.resize(kBlockSize);
  if (!WinHttpReadData(FRequest, buffer.data(), std::min<DWORD>(FState->Bytes, kBlockSize),
                       nullptr)) {
    Fail(GetLastError());
  }
  if (const TRead r = WaitForBody(); r != TRead::Data) return r;
  aBlock = std::string_view(buffer.data(), FState->Bytes);
  return aBlock.empty() ? TRead::End : TRead::Data;
}

}  // namespace ov::net::win
