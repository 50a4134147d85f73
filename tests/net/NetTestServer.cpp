#include "net/NetTestServer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "common/TestCert.h"

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
  ASSERT_TRUE(
      MakeTestCertificate(std::filesystem::path(Prefix()).parent_path().string(), aCert, aKey));
}

TTrickleServer::TTrickleServer(int aBytes, int aIntervalMs) {
  if (!FServer.Create("", "")) {
    ADD_FAILURE() << "trickle server cannot be made";
    return;
  }
  auto answer = [this, aBytes, aIntervalMs](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(static_cast<size_t>(aBytes), "application/json",
                             [this, aIntervalMs](size_t, size_t, httplib::DataSink& sink) {
                               for (int t = 0; t < aIntervalMs && !FStop; t += 10) {
                                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
                               }
                               return !FStop && sink.write(" ", 1);
                             });
  };
  FServer.Server().Get(".*", answer);
  FServer.Server().Post(".*", answer);
  FPort = FServer.Run(0);
  if (FPort <= 0) ADD_FAILURE() << "trickle server cannot listen";
}

TTrickleServer::~TTrickleServer() {
  FStop = true;
  FServer.Stop();
}
