#include "net/NetTestServer.h"

#include "common/TestCert.h"

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
