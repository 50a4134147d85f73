#pragma once

#include "platform/Win32Util.h"
// clang-format off
#include <wincrypt.h>  // needs windows.h before it
// clang-format on

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/HttpStack.h"

// What the WinHTTP stack, its post and the WinINet existence test share: the trust check of a
// private CA file and one asynchronous WinHTTP request that its thread can end at any time.
// winhttp.h and wininet.h cannot meet in one unit, so WinHTTP's handles are plain pointers here.
namespace ov::net::win {

// The certificates of a CA file (PEM), trusted for a server besides the system's own anchors.
class TCaFile {
 public:
  // Throws ov::Error when the file cannot be read or holds no certificate.
  explicit TCaFile(const std::string& aPath);
  ~TCaFile();
  TCaFile(const TCaFile&) = delete;
  TCaFile& operator=(const TCaFile&) = delete;
  // Empty when aCert (with the certificates its server sent) is valid for aHost and trusted by
  // the system or through a chain whose root is one of the file's; else the reason.
  std::string Check(PCCERT_CONTEXT aCert, const std::wstring& aHost) const;
  // The same for a chain the system has built already (WinINet hands out that one).
  std::string CheckChain(PCCERT_CHAIN_CONTEXT aChain, const std::wstring& aHost) const;

 private:
  HCERTSTORE FStore = nullptr;
};

// An asynchronous WinHTTP session (cookies and connections live as long as it does).
class TSession {
 public:
  // Throws ov::Error when WinHTTP cannot be opened.
  explicit TSession(bool aTls12Only = false);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  void* Handle() const { return FSession; }
  // Sets the proxy the current user's settings give for aUrl on aRequest.
  void ApplyProxy(void* aRequest, const std::wstring& aUrl);

 private:
  void* FSession = nullptr;
  void* FResolver = nullptr;  // synchronous, for proxy scripts
  std::wstring FProxy, FBypass, FScript;
  bool FAutoDetect = false;
};

// The system's text for a WinHTTP failure code.
std::string WinHttpErrorText(uint32_t aCode);

struct TCallState;

// One request of a session. Each step waits in short polls: the options' stop test ends the
// request within about a second (the step then returns false, and the request is done), and a
// deadline, when given, ends it with the system's time-out text. Failures throw ov::Error.
class TRequest {
 public:
  using TClock = std::chrono::steady_clock;
  TRequest(TSession& aSession, const wchar_t* aVerb, const std::string& aUrl,
           const THttpOptions& aOptions, TClock::time_point aDeadline = TClock::time_point::max());
  ~TRequest();
  TRequest(const TRequest&) = delete;
  TRequest& operator=(const TRequest&) = delete;

  // Sends the request, and aBody once the server's certificate passed the CA file's check.
  bool Send(const std::string& aBody = {});
  // Waits for the final answer's headers (redirects are followed) and checks its server.
  bool Receive();
  int32_t Status() const;
  std::string StatusText() const;
  THeaders Headers() const;

  enum class TRead { Data, End, Cut, Stopped };
  // The next block of the body into aBlock; Cut when the connection ended inside the body.
  TRead Read(std::string_view& aBlock);

 private:
  // 0 when the step completed, ERROR_WINHTTP_OPERATION_CANCELLED when the stop test ended it,
  // else the failure's code.
  uint32_t Wait();
  // The same, false when stopped, throwing the failure.
  bool Finish();
  TRead WaitForBody();
  bool StopNow();
  void Cancel();
  void Close();
  void CheckServer();
  [[noreturn]] void Fail(uint32_t aCode) const;

  const THttpOptions& FOptions;
  TClock::time_point FDeadline;
  std::shared_ptr<TCallState> FState;
  uintptr_t FContext = 0;
  std::unique_ptr<TCaFile> FCaFile;
  void* FConnect = nullptr;
  void* FRequest = nullptr;
};

}  // namespace ov::net::win
