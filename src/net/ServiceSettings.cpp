#include "net/ServiceSettings.h"

#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace ov::net {

namespace {

const char* const kSection = "Services";

bool AllOf(const std::string& aText, bool (*aTest)(char)) {
  for (char c : aText) {
    if (!aTest(c)) return false;
  }
  return true;
}

std::string FolderOf(const std::string& aHostFile) {
  size_t slash = aHostFile.find_last_of("/\\");  // a host path of either kind
  return slash == std::string::npos ? std::string() : aHostFile.substr(0, slash + 1);
}

// A CA file may be a Windows path (inside the prefix), an absolute host path, or a name
// relative to the settings file that names it.
std::string ResolveCaFile(const std::string& aValue, const std::string& aHostFile) {
  if (aValue.empty()) return aValue;
  if (ov::platform::IsDrivePath(aValue)) return ov::platform::MapToHost(aValue);
  if (aValue[0] == '/') return aValue;
  return FolderOf(aHostFile) + aValue;
}

void Note(std::string& aError, const std::string& aText) {
  if (!aError.empty()) aError += "; ";
  aError += aText;
}

}  // namespace

std::string ServiceSettings::FileStoreAuthority() const {
  std::string s = FileStoreUrl;
  size_t scheme = s.find("://");
  if (scheme != std::string::npos) s = s.substr(scheme + 3);
  size_t slash = s.find('/');
  return slash == std::string::npos ? s : s.substr(0, slash);
}

std::string ServiceSettings::VersionServerUrl() const {
  return "http://" + VersionHost + ":" + std::to_string(VersionPort);
}

ServiceSettings BuiltInServiceSettings() {
  ServiceSettings s;
  s.FileStoreUrl = "http://files.ondrevo.example";
  s.VersionHost = "ver.ondrevo.example";
  s.VersionPort = 9006;
  s.PlatformUrl = "https://corvela.ondrevo.example/";
  s.SignPrefix = "OVUP";
  s.SignSuffix = "2741";
  s.InstallerKey = "Rk4wPz8NqLd2Vx7TbHs5Jm9CfYa3Ge6U";
  s.Bearer =
      "Bearer eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9.eyJpc3MiOiJvbmRyZXZvLXBsYXRmb3JtIiwic3ViIjoi"
      "b3Ytb25saW5lLXNldHVwIiwiYXVkIjoiYXBpL2VudGVycHJpc2UiLCJzY29wZSI6ImVudGVycHJpc2UuaW5zdGFs"
      "bGNvbmZpZyIsImlhdCI6MTc2NDU0NzIwMCwianRpIjoieHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4"
      "eHh4eHh4eHh4In0._k2PzzVQshSDs-ABvaHcSC6xsaIbIfyqY41FcRxNbi0";
  s.WebHostCorvela = "https://corvela.ondrevo.example/";
  s.WebHostPindor = "https://pindor.ondrevo.example/";
  s.WebHostKetrin = "https://ketrin.ondrevo.example/";
  s.WebHostDaskor = "https://www.ondrevo.example/";
  s.SoftDataPrefix = "CV";
  s.SoftDataSuffix = "2046";
  return s;
}

bool ApplyServiceSettingsFile(const std::string& aHostFile, ServiceSettings& aSettings,
                              std::string& aError) {
  ov::platform::IniFile ini;
  if (!ini.LoadHost(aHostFile)) {
    Note(aError, "cannot read " + aHostFile);
    return false;
  }
  bool ok = true;
  auto text = [&](const char* aKey, std::string& aField) {
    if (ini.HasKey(kSection, aKey)) aField = ov::str::Trim(ini.GetValue(kSection, aKey));
  };
  auto checked = [&](const char* aKey, std::string& aField, bool (*aValid)(const std::string&),
                     const char* aShape) {
    if (!ini.HasKey(kSection, aKey)) return;
    std::string v = ov::str::Trim(ini.GetValue(kSection, aKey));
    if (aValid(v)) {
      aField = v;
    } else {
      Note(aError, std::string(aKey) + " must be " + aShape);
      ok = false;
    }
  };
  auto url = [](const std::string& v) {
    return v.rfind("http://", 0) == 0 || v.rfind("https://", 0) == 0;
  };
  checked("FileStoreUrl", aSettings.FileStoreUrl, url, "an http:// or https:// address");
  while (!aSettings.FileStoreUrl.empty() && aSettings.FileStoreUrl.back() == '/') {
    aSettings.FileStoreUrl.pop_back();
  }
  text("VersionHost", aSettings.VersionHost);
  if (ini.HasKey(kSection, "VersionPort")) {
    int32_t port = 0;
    if (ov::str::TryStrToInt(ov::str::Trim(ini.GetValue(kSection, "VersionPort")), port) &&
        port > 0 && port < 65536) {
      aSettings.VersionPort = port;
    } else {
      Note(aError, "VersionPort must be a port number");
      ok = false;
    }
  }
  checked("PlatformUrl", aSettings.PlatformUrl, url, "an http:// or https:// address");
  if (!aSettings.PlatformUrl.empty() && aSettings.PlatformUrl.back() != '/') {
    aSettings.PlatformUrl += '/';
  }
  checked(
      "SignPrefix", aSettings.SignPrefix,
      [](const std::string& v) {
        return v.size() == 4 && AllOf(v, [](char c) { return c >= 'A' && c <= 'Z'; });
      },
      "four upper-case letters");
  checked(
      "SignSuffix", aSettings.SignSuffix,
      [](const std::string& v) {
        return v.size() == 4 && AllOf(v, [](char c) { return c >= '0' && c <= '9'; });
      },
      "four digits");
  checked(
      "InstallerKey", aSettings.InstallerKey, [](const std::string& v) { return v.size() == 32; },
      "32 characters (an AES-256 key)");
  checked(
      "Bearer", aSettings.Bearer,
      [](const std::string& v) { return v.rfind("Bearer ", 0) == 0 && v.size() > 7; },
      "\"Bearer \" followed by a token");
  if (ini.HasKey(kSection, "CAFile")) {
    aSettings.CAFile = ResolveCaFile(ov::str::Trim(ini.GetValue(kSection, "CAFile")), aHostFile);
  }
  text("WebHostCorvela", aSettings.WebHostCorvela);
  text("WebHostPindor", aSettings.WebHostPindor);
  text("WebHostKetrin", aSettings.WebHostKetrin);
  text("WebHostDaskor", aSettings.WebHostDaskor);
  checked(
      "SoftDataPrefix", aSettings.SoftDataPrefix,
      [](const std::string& v) {
        return v.size() == 2 &&
               AllOf(v, [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
      },
      "two letters");
  checked(
      "SoftDataSuffix", aSettings.SoftDataSuffix,
      [](const std::string& v) {
        return v.size() == 4 && AllOf(v, [](char c) { return c >= '0' && c <= '9'; });
      },
      "four digits");
  return ok;
}

ServiceSettings CurrentServiceSettings() {
  ServiceSettings s = BuiltInServiceSettings();
  try {
    const std::string own = ov::platform::MapToHost(TovLib::ResolveIniFile(""));
    const std::string shared = ov::str::Trim(TovLib::IniOptRead("ServicesFile", ""));
    std::string err;
    if (!shared.empty()) {
      const std::string hostFile = ov::platform::MapToHost(TovLib::ResolveIniFile(shared));
      if (hostFile.empty() || !ApplyServiceSettingsFile(hostFile, s, err)) {
        TovLib::Log("服务设置文件[" + shared + "]读取有误：" + err, true);
      }
    }
    err.clear();
    if (!own.empty() && !ApplyServiceSettingsFile(own, s, err)) {
      TovLib::Log("服务设置读取有误：" + err, true);
    }
  } catch (const std::exception& e) {
    TovLib::Log(std::string("服务设置读取出错：") + e.what(), true);
  }
  return s;
}

}  // namespace ov::net
