#include "common/ServiceTest.h"

#include <filesystem>
#include <fstream>

#include "Publish.h"
#include "sample/PublishSample.h"
#include "base/LoggerUtil.h"
#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "net/ServiceSettings.h"
#include "platform/MainThread.h"
#include "update/UpdateObjUtil.h"

void TServiceTest::SetUp() {
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
  const std::string cert = OV_TEST_CERT, key = OV_TEST_KEY;  // made at build time
  const auto defaults = ov::net::BuiltInServiceSettings();
  ov::standin::TPlatformConfig plat;
  plat.CertFile = cert;
  plat.KeyFile = key;
  plat.Key = defaults.InstallerKey;
  plat.Bearer = defaults.Bearer;
  ASSERT_TRUE(FPlatform.Start(plat));
  WriteSettings();
  ov::platform::SetMainThread(ov::platform::CreateQueueMainThread());
  CreateSyncObj();
  CreateProcessLogger();
  Logger()->SetLogFileDir("C:\\Logs\\");
}

void TServiceTest::TearDown() {
  FreeProcessLogger();
  FreeSyncObj();
  ov::platform::SetMainThread(nullptr);
  FPlatform.Stop();
  FVersion.Stop();
  FStore.Stop();
  TPrefixTest::TearDown();
}

void TServiceTest::WriteSettings(const std::string& aOptions, const std::string& aServices) {
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"),
            "[Options]\r\nIsDebug=1\r\n" + aOptions +
                "[Services]\r\nFileStoreUrl=" + FStore.BaseUrl() +
                "\r\nVersionHost=127.0.0.1\r\nVersionPort=" + std::to_string(FVersion.Port()) +
                "\r\nSignPrefix=" + kPrefixPiece + "\r\nSignSuffix=" + kSuffixPiece +
                "\r\nPlatformUrl=" + FPlatform.BaseUrl() + "\r\n" + aServices);
  TovLib::SetDebugFlag(-1);
}

std::string TServiceTest::Serve(const std::string& aPath, const std::string& aData) {
  const std::string host = FRoot + aPath;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path());
  std::ofstream(host, std::ios::binary) << aData;
  return FStore.BaseUrl() + aPath;
}

std::string TServiceTest::InstallDesktop() {
  const std::string common = TInstHelper::GetSysDir("Common Desktop");
  return common.empty() ? TInstHelper::GetSysDir("Desktop") : common;
}

std::string TServiceTest::LogText() const {
  if (!Logger()) return {};
  return ReadHost(Host(Logger()->LogFileDir() + Logger()->LogFileName()));
}

void TServiceTest::PublishKetrin(const std::string& aSource, bool aZip) {
  std::string err;
  ov::standin::TFolderPublish web;
  web.Source = aSource + "/web";
  web.StoreRoot = FRoot;
  web.Folder = "updatefiles/ketrin_webapp";
  web.ModuleCode = "Web";
  web.Zip = aZip;
  if (aZip) web.Note = {{"FileCheckZip", "1"}};
  ASSERT_TRUE(ov::standin::PublishFolder(web, err)) << err;
  ov::standin::TVersionPublish pos;
  pos.Source = aSource + "/pos";
  pos.StoreRoot = FRoot;
  pos.Folder = "versions/61063/1.0.5";
  pos.Catalogue = aSource + "/../catalogue.json";
  pos.ItemId = "80001888";
  pos.PosType = "61063";
  pos.VerNo = "1.0.5";
  pos.VerFileId = 55;
  ASSERT_TRUE(ov::standin::PublishVersion(pos, err)) << err;
  ov::standin::TCatalogue cat;
  ASSERT_TRUE(cat.Load(pos.Catalogue, err)) << err;
  FVersion.SetCatalogue(cat);
}

void TServiceTest::PublishSample(const std::string& aKetrinDir, const std::string& aZelcvDir,
                                 bool aAllProducts) {
  ov::standin::TSamplePublish job;
  job.Sample = OV_SAMPLE_DIR;
  job.StoreRoot = FRoot;
  job.Catalogue = CatalogueFile();
  job.KetrinDir = aKetrinDir;
  job.ZelcvDir = aZelcvDir;
  job.AllProducts = aAllProducts;
  job.StoreUrl = FStore.BaseUrl();
  std::string err;
  ASSERT_TRUE(ov::standin::PublishSample(job, err)) << err;
  ov::standin::TCatalogue cat;
  ASSERT_TRUE(cat.Load(job.Catalogue, err)) << err;
  FVersion.SetCatalogue(cat);
  FPlatform.SetCatalogue(cat);
}
