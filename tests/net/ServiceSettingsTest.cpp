#include <algorithm>

#include "common/TestPrefix.h"
#include "net/ServiceSettings.h"

namespace {

class ServiceSettingsTest : public TPrefixTest {};

}  // namespace

TEST(ServiceSettingsBuiltIn, CredentialHasTheFixedShape) {
  auto s = ov::net::BuiltInServiceSettings();
  EXPECT_EQ(s.Bearer.size(), 323u);
  ASSERT_EQ(s.Bearer.rfind("Bearer ", 0), 0u);
  const std::string token = s.Bearer.substr(7);
  EXPECT_EQ(std::count(token.begin(), token.end(), '.'), 2);
  EXPECT_EQ(
      token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_."),
      std::string::npos);
  EXPECT_EQ(s.InstallerKey.size(), 32u);
  EXPECT_EQ(s.VersionPort, 9006);
}

TEST_F(ServiceSettingsTest, SharedFileThenOwnSectionOverride) {
  WriteHost(Host("C:\\OVTest\\services.ini"),
            "[Services]\r\nFileStoreUrl=http://127.0.0.1:8080/\r\nVersionHost=127.0.0.1\r\n"
            "VersionPort=19006\r\nPlatformUrl=https://127.0.0.1:9443\r\nSignPrefix=QWER\r\n"
            "SignSuffix=0042\r\nCAFile=ca.pem\r\nWebHostKetrin=http://127.0.0.1:8081/\r\n");
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"),
            "[Options]\r\nServicesFile=services.ini\r\n[Services]\r\nSignSuffix=1111\r\n");
  auto s = ov::net::CurrentServiceSettings();
  EXPECT_EQ(s.FileStoreUrl, "http://127.0.0.1:8080");
  EXPECT_EQ(s.FileStoreAuthority(), "127.0.0.1:8080");
  EXPECT_EQ(s.VersionServerUrl(), "http://127.0.0.1:19006");
  EXPECT_EQ(s.PlatformUrl, "https://127.0.0.1:9443/");
  EXPECT_EQ(s.SignPrefix, "QWER");
  EXPECT_EQ(s.SignSuffix, "1111");
  EXPECT_EQ(s.CAFile, Host("C:\\OVTest\\ca.pem"));
  EXPECT_EQ(s.WebHostKetrin, "http://127.0.0.1:8081/");
  EXPECT_EQ(s.InstallerKey, ov::net::BuiltInServiceSettings().InstallerKey);
}

TEST_F(ServiceSettingsTest, ValuesOfTheWrongShapeKeepTheirDefaults) {
  const std::string file = Host("C:\\OVTest\\bad.ini");
  WriteHost(file,
            "[Services]\r\nSignPrefix=abcd\r\nSignSuffix=12345\r\nVersionPort=70000\r\n"
            "InstallerKey=short\r\nBearer=Token x\r\nFileStoreUrl=ftp://x\r\n"
            "VersionHost=10.0.0.1\r\nSoftDataPrefix=C1\r\nSoftDataSuffix=20x6\r\n");
  auto s = ov::net::BuiltInServiceSettings();
  const auto defaults = s;
  std::string err;
  EXPECT_FALSE(ov::net::ApplyServiceSettingsFile(file, s, err));
  for (const char* key :
       {"SignPrefix", "SignSuffix", "VersionPort", "InstallerKey", "Bearer", "FileStoreUrl",
        "SoftDataPrefix", "SoftDataSuffix"}) {
    EXPECT_NE(err.find(key), std::string::npos) << key;
  }
  EXPECT_EQ(s.SignPrefix, defaults.SignPrefix);
  EXPECT_EQ(s.SignSuffix, defaults.SignSuffix);
  EXPECT_EQ(s.VersionPort, defaults.VersionPort);
  EXPECT_EQ(s.InstallerKey, defaults.InstallerKey);
  EXPECT_EQ(s.Bearer, defaults.Bearer);
  EXPECT_EQ(s.FileStoreUrl, defaults.FileStoreUrl);
  EXPECT_EQ(s.SoftDataPrefix, defaults.SoftDataPrefix);
  EXPECT_EQ(s.VersionHost, "10.0.0.1");  // the good values are still taken
}

TEST_F(ServiceSettingsTest, MissingSharedFileIsLoggedAndDefaultsStay) {
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"), "[Options]\r\nServicesFile=C:\\nowhere\\x.ini\r\n");
  auto s = ov::net::CurrentServiceSettings();
  EXPECT_EQ(s.VersionHost, ov::net::BuiltInServiceSettings().VersionHost);
}
