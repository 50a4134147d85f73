#pragma once

#include <cstdint>
#include <string>

// Where the maker's services live and the secrets shared with them. Both the installer and the
// stand-in services read them from section "Services" of one ini file, so one file configures
// both sides:
//   FileStoreUrl=http://127.0.0.1:8080      VersionHost=127.0.0.1   VersionPort=9006
//   PlatformUrl=https://127.0.0.1:9443/     SignPrefix=ABCD         SignSuffix=1234
//   InstallerKey=<32 characters>            Bearer=Bearer <token>   CAFile=ca.pem
//   WebHostCorvela= WebHostPindor= WebHostKetrin= WebHostDaskor=
//   SoftDataPrefix=OV SoftDataSuffix=2046
// The installer takes the built-in values, then the file named by "ServicesFile" in section
// "Options" of "OVUpdata.ini", then section "Services" of "OVUpdata.ini" itself.
namespace ov::net {

struct ServiceSettings {
  std::string FileStoreUrl;  // scheme and authority, no trailing "/"
  std::string VersionHost;
  int32_t VersionPort = 9006;
  std::string PlatformUrl;  // enterprise platform, ends with "/"
  std::string SignPrefix;   // four upper-case letters
  std::string SignSuffix;   // four digits
  std::string InstallerKey;
  std::string Bearer;
  std::string CAFile;  // host path of extra trust anchors; empty for the system's only
  std::string WebHostCorvela, WebHostPindor, WebHostKetrin, WebHostDaskor;
  std::string SoftDataPrefix;  // two letters and four digits around the signed text of the
  std::string SoftDataSuffix;  // point-of-sale front-end's "soft.data"

  // Host name and port of the file store, as they appear in its addresses.
  std::string FileStoreAuthority() const;
  // "http://" + host + ":" + port, no trailing "/".
  std::string VersionServerUrl() const;
};

ServiceSettings BuiltInServiceSettings();

// Applies section "Services" of a host file over aSettings. A key with a value of the wrong
// shape is left as it was and named in aError; false when the file cannot be read or a value
// was refused. A missing file changes nothing and is no error.
bool ApplyServiceSettingsFile(const std::string& aHostFile, ServiceSettings& aSettings,
                              std::string& aError);

// The installer's view: built-in values, the shared file, then "OVUpdata.ini". Problems are
// logged and the values read so far kept.
ServiceSettings CurrentServiceSettings();

}  // namespace ov::net
