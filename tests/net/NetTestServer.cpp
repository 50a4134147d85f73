#include "net/NetTestServer.h"

#include "common/TestCert.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

void TNetTest::SetUp() {
  TPrefixTest::SetUp();
  FRoot = std::filesystem::path(Prefix()).parent_path().string() + "/served";
  std::filesystem::create_directories(FRoot);
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = FRoot;
  ASSERT_TRUE(FStore.Start(cfg));
}

void TNetTest::TearDown() {
  FStore.Stop();
  TPrefixTest::TearDown();
}

std::string TNetTest::Serve(const std::string& aPath, const std::string& aData) {
  WriteHost(FRoot + aPath, aData);
  return FStore.BaseUrl() + aPath;
}

std::string TNetTest::Pattern(size_t aSize, unsigned aSeed) {
  std::string s(aSize, '\0');
  unsigned x = aSeed * 2654435761u + 1;
  for (size_t i = 0; i < aSize; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}

void TNetTest::MakeCertificate(std::string& aCert, std::string& aKey) {
  ASSERT_TRUE(MakeTestCertificate(std::filesystem::path(Prefix()).parent_path().string(), aCert,
                                  aKey));
}

TTrickleServer::TTrickleServer(int aBytes, int aIntervalMs) {
  FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(FListen, 4) != 0 ||
      ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ADD_FAILURE() << "trickle server cannot listen";
    return;
  }
  FPort = ntohs(a.sin_port);
  FThread = std::thread([this, aBytes, aIntervalMs] { Serve(aBytes, aIntervalMs); });
}

TTrickleServer::~TTrickleServer() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  if (FListen >= 0) ::close(FListen);
}

void TTrickleServer::Serve(int aBytes, int aIntervalMs) {
  while (!FStop) {
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int c = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    char buf[4096];
    (void)::recv(c, buf, sizeof buf, 0);  // the request; its content does not matter
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
        "Content-Length: " +
        std::to_string(aBytes) + "\r\n\r\n";
    bool open = ::send(c, head.data(), head.size(), MSG_NOSIGNAL) > 0;
    for (int i = 0; open && i < aBytes && !FStop; ++i) {
      for (int t = 0; t < aIntervalMs && !FStop; t += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      open = ::send(c, " ", 1, MSG_NOSIGNAL) == 1;
    }
    ::close(c);
    if (open) return;  // served whole: nothing more to do
  }
}
