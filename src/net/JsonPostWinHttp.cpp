// POST on the "Net" stack: a fresh WinHTTP session per call.
#include "platform/Win32Util.h"
// clang-format off
#include <winhttp.h>  // needs windows.h before it
// clang-format on

#include "common/OVError.h"
#include "net/HttpStack.h"
#include "net/WinHttpUtil.h"

namespace ov::net {

TPostResult NetPost(const std::string& aUrl, const std::string& aBody,
                    const THttpOptions& aOptions) {
  using TRequest = win::TRequest;
  auto deadline = TRequest::TClock::time_point::max();
  if (aOptions.ConnTimeoutMs > 0 && aOptions.ReadTimeoutMs > 0) {
    // A server that trickles a byte now and then never trips the read time-out.
    deadline = TRequest::TClock::now() +
               std::chrono::milliseconds(int64_t{aOptions.ConnTimeoutMs} + aOptions.ReadTimeoutMs);
  }
  win::TSession session(aOptions.Tls12Only);
  TRequest request(session, L"POST", aUrl, aOptions, deadline);
  TPostResult r;
  const auto cancelled = [] {
    return ov::Error(win::WinHttpErrorText(ERROR_WINHTTP_OPERATION_CANCELLED));
  };
  if (!request.Send(aBody) || !request.Receive()) throw cancelled();
  r.Status = request.Status();
  r.StatusText = request.StatusText();
  for (std::string_view block;;) {
    const auto got = request.Read(block);
    if (got == TRequest::TRead::Stopped) throw cancelled();
    if (got == TRequest::TRead::Cut) {
      throw ov::Error(win::WinHttpErrorText(ERROR_WINHTTP_CONNECTION_ERROR));
    }
    if (got == TRequest::TRead::End) break;
    r.Body.append(block);
  }
  return r;
}

}  // namespace ov::net
