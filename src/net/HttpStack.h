#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The two HTTP stacks of the download client behind one interface: "Net" (the system's: WinHTTP
// on Windows, libcurl elsewhere) and "Id" (cpp-httplib with OpenSSL). Network failures
// (connection, time-out, TLS) throw ov::Error with the stack's own text; an answer of any status
// is a result, not an error.
namespace ov::net {

using THeaders = std::vector<std::pair<std::string, std::string>>;

// Options of one request.
struct THttpOptions {
  int32_t ConnTimeoutMs = 60000;
  int32_t ReadTimeoutMs = 60000;
  std::string UserAgent;
  std::string Range;      // "a-b" or "a-" without the "bytes=" unit; empty for none
  int32_t MaxRedirects = 60;
  std::string CaFile;     // extra trust anchors for TLS; the system's are used too
  THeaders Headers;       // sent as given
  bool VerifyPeer = true;  // false accepts every server certificate (posts only)
  bool Tls12Only = false;  // posts on the "Net" stack: TLS 1.2 and nothing else
  // While it returns true the request ends within about a second, as aborted. Called on the
  // requesting thread or on a watchdog thread of the stack.
  std::function<bool()> StopTest;
};

struct THttpResponse {
  int32_t Status = 0;
  std::string StatusText;      // reason phrase of the status line
  int64_t ContentLength = -1;  // announced Content-Length, -1 when absent
  THeaders Headers;            // of the final answer (after redirects)
  int64_t BodyBytes = 0;       // body bytes delivered to the sink
  bool Aborted = false;        // the progress callback asked to stop
  bool Truncated = false;      // the body ended before its announced length

  // Value of a header (name without regard to case), empty when absent.
  std::string Header(const std::string& aName) const;
};

// Receives the body block by block; false stops the transfer with an error that names the
// calling thread's last file error (LastErrorText of the file layer).
using TBodySink = std::function<bool(const char* aData, size_t aSize)>;
// Called when the final answer's headers are in, before its body.
using THeadersEvent = std::function<void(const THttpResponse& aResponse)>;
// Called after each body block with the answer's content length (-1 when unknown) and the
// bytes of this answer so far; setting aAbort stops the transfer.
using TProgressEvent = std::function<void(int64_t aContentLength, int64_t aReadCount, bool& aAbort)>;

class IHttpStack {
 public:
  virtual ~IHttpStack() = default;
  virtual std::string Name() const = 0;

  THttpResponse Head(const std::string& aUrl, const THttpOptions& aOptions) {
    return Perform(aUrl, aOptions, true, nullptr, nullptr, nullptr);
  }
  THttpResponse Get(const std::string& aUrl, const THttpOptions& aOptions, const TBodySink& aSink,
                    const THeadersEvent& aOnHeaders, const TProgressEvent& aOnProgress) {
    return Perform(aUrl, aOptions, false, &aSink, &aOnHeaders, &aOnProgress);
  }

 protected:
  // One request; a HEAD when aHead (the callbacks are then null).
  virtual THttpResponse Perform(const std::string& aUrl, const THttpOptions& aOptions, bool aHead,
                                const TBodySink* aSink, const THeadersEvent* aOnHeaders,
                                const TProgressEvent* aOnProgress) = 0;
};

// Calls aStop from a thread of its own every aPollMs once aDue returns true, until destroyed
// (which waits for the thread): cpp-httplib's stop() is the one call that ends a request of
// another thread, also one that waits for bytes.
class TWatchdog {
 public:
  TWatchdog(std::function<bool()> aDue, std::function<void()> aStop, int aPollMs = 50);
  ~TWatchdog();
  TWatchdog(const TWatchdog&) = delete;
  TWatchdog& operator=(const TWatchdog&) = delete;
  // Ends the thread; true when it called aStop.
  bool Finish();

 private:
  std::mutex FLock;
  std::condition_variable FWake;
  bool FDone = false;
  std::atomic<bool> FFired{false};
  std::thread FThread;
};

// The "Net" stack: one libcurl handle or WinHTTP session for the stack's life, so consecutive
// requests to one host reuse the connection and cookies persist. Throws ov::Error when it cannot
// be set up.
std::unique_ptr<IHttpStack> CreateNetStack();
// The cpp-httplib stack; keeps cookies for its life as well.
std::unique_ptr<IHttpStack> CreateIdStack();

// Test seam: while set, CreateNetStack throws, so the client takes its secondary road.
void SetNetStackCreationFails(bool aFail);

// A GET through libcurl (WinINet on Windows) that stops after the headers of the final answer;
// its status code, or 0 when nothing answered. A short error answer is read to its end, so a
// session's next probe can use the same connection; a file's body is never fetched.
class TProbeSession {
 public:
  TProbeSession();
  ~TProbeSession();
  TProbeSession(const TProbeSession&) = delete;
  TProbeSession& operator=(const TProbeSession&) = delete;
  int32_t Probe(const std::string& aUrl, const std::string& aAgent, int32_t aTimeoutMs,
                const std::string& aCaFile);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// One probe on a connection of its own.
int32_t ProbeStatus(const std::string& aUrl, const std::string& aAgent, int32_t aTimeoutMs,
                    const std::string& aCaFile);

// The answer to a POST.
struct TPostResult {
  int32_t Status = 0;
  std::string StatusText;
  std::string Body;
};

// The posts give up when the whole exchange takes longer than the connection time-out plus
// the read time-out, also while bytes still trickle in.
// One POST through a fresh cpp-httplib client (redirects followed, TLS through OpenSSL with
// "reason(n)" in its failure texts). Throws ov::Error when no answer arrives.
TPostResult IdPost(const std::string& aUrl, const std::string& aBody, const THttpOptions& aOptions);
// One POST through a fresh libcurl handle (WinHTTP session on Windows). Throws ov::Error when
// no answer arrives.
TPostResult NetPost(const std::string& aUrl, const std::string& aBody,
                    const THttpOptions& aOptions);

}  // namespace ov::net
