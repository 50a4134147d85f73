#include "update/UpdateTestServer.h"

#include <filesystem>
#include <fstream>

#include "base/LoggerUtil.h"
#include "base/OVLibUtil.h"
#include "update/UpdateObjUtil.h"

void TUpdateTest::SetUp() {
  TPrefixTest::SetUp();
  FRoot = std::filesystem::path(Prefix()).parent_path().string() + "/served";
  std::filesystem::create_directories(FRoot);
  ov::standin::TFileStoreConfig store;
  store.Root = FRoot;
  ASSERT_TRUE(FStore.Start(store));
  ov::standin::TVersionServerConfig ver;
  ver.Port = 0;
  ver.SignPrefix = kPrefixPiece;
  ver.SignSuffix = kSuffixPiece;
  ver.FileStoreUrl = FStore.BaseUrl();
  ASSERT_TRUE(FVersion.Start(ver));
  WriteSettings();
  CreateSyncObj();
  CreateProcessLogger();
  Logger()->SetLogFileDir("C:\\Logs\\");
}

void TUpdateTest::TearDown() {
  FreeProcessLogger();
  FreeSyncObj();
  FVersion.Stop();
  FStore.Stop();
  TPrefixTest::TearDown();
}

void TUpdateTest::WriteSettings(const std::string& aOptions, const std::string& aServices) {
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"),
            "[Options]\r\nIsDebug=1\r\n" + aOptions + "[Services]\r\nFileStoreUrl=" +
                FStore.BaseUrl() + "\r\nVersionHost=127.0.0.1\r\nVersionPort=" +
                std::to_string(FVersion.Port()) + "\r\nSignPrefix=" + kPrefixPiece +
                "\r\nSignSuffix=" + kSuffixPiece + "\r\n" + aServices);
  TovLib::SetDebugFlag(-1);
}

std::string TUpdateTest::Serve(const std::string& aPath, const std::string& aData) {
  const std::string host = FRoot + aPath;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path());
  std::ofstream(host, std::ios::binary) << aData;
  return FStore.BaseUrl() + aPath;
}

std::string TUpdateTest::LogText() const {
  if (!Logger()) return {};
  return ReadHost(Host(Logger()->LogFileDir() + Logger()->LogFileName()));
}
