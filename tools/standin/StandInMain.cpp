// ovstandin: the stand-in of the maker's remote services on 127.0.0.1.
//   ovstandin --root DIR [--port N] [--store-https] [--cert F --key F] [--faults F]
//             [--settings F] [--catalogue F] [--version-port N|off] [--platform-port N|off]
//             [--ready-file F]
// The file store serves DIR (HTTPS with --store-https). The version server (default port 9006)
// and the enterprise platform (HTTPS; needs --cert and --key; default an ephemeral port)
// answer from the catalogue that ovpublish writes, with the signing pieces, key and credential
// of the services settings file. Once listening it prints one "<service>_port=<n>" line per
// service (also into the ready file); it stops on SIGINT or SIGTERM.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "FileStore.h"
#include "Platform.h"
#include "VersionServer.h"
#include "net/ServiceSettings.h"

namespace {

std::atomic<bool> gStop{false};
void OnSignal(int) { gStop = true; }

const char* const kUsage =
    "usage: ovstandin --root DIR [--port N] [--store-https] [--cert F --key F] [--faults F]\n"
    "                 [--settings F] [--catalogue F] [--version-port N|off]\n"
    "                 [--platform-port N|off] [--ready-file F]\n";

// A port number, 0 for an ephemeral port, or -1 for "off".
bool ParsePort(const std::string& aText, int& aPort) {
  if (aText == "off") {
    aPort = -1;
    return true;
  }
  if (aText.empty() || aText.size() > 5 ||
      aText.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  aPort = std::stoi(aText);
  return aPort < 65536;
}

}  // namespace

int main(int argc, char** argv) {
  ov::standin::TFileStoreConfig store_cfg;
  std::string faults, ready, settings_file, catalogue, cert, key;
  bool store_https = false;
  int version_port = 9006, platform_port = 0;
  for (int i = 1; i < argc; ++i) {
    std::string k = argv[i];
    if (k == "--store-https") {
      store_https = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "option %s needs a value\n%s", k.c_str(), kUsage);
      return 2;
    }
    std::string v = argv[++i];
    bool ok = true;
    if (k == "--root")
      store_cfg.Root = v;
    else if (k == "--port")
      ok = ParsePort(v, store_cfg.Port) && store_cfg.Port >= 0;
    else if (k == "--cert")
      cert = v;
    else if (k == "--key")
      key = v;
    else if (k == "--faults")
      faults = v;
    else if (k == "--settings")
      settings_file = v;
    else if (k == "--catalogue")
      catalogue = v;
    else if (k == "--version-port")
      ok = ParsePort(v, version_port);
    else if (k == "--platform-port")
      ok = ParsePort(v, platform_port);
    else if (k == "--ready-file")
      ready = v;
    else {
      std::fprintf(stderr, "unknown option %s\n%s", k.c_str(), kUsage);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "bad port for %s: %s\n", k.c_str(), v.c_str());
      return 2;
    }
  }
  if (store_cfg.Root.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  ov::net::ServiceSettings settings = ov::net::BuiltInServiceSettings();
  if (!settings_file.empty()) {
    std::string err;
    std::ifstream probe(settings_file);
    if (!probe || !ov::net::ApplyServiceSettingsFile(settings_file, settings, err)) {
      std::fprintf(stderr, "bad settings file %s: %s\n", settings_file.c_str(),
                   probe ? err.c_str() : "cannot be read");
      return 2;
    }
  }
  if (store_https) {
    store_cfg.CertFile = cert;
    store_cfg.KeyFile = key;
  }

  ov::standin::TFileStore store;
  if (!faults.empty()) {
    std::ifstream in(faults);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string err;
    if (!in || !store.LoadFaults(ss.str(), err)) {
      std::fprintf(stderr, "bad faults file %s: %s\n", faults.c_str(),
                   in ? err.c_str() : "cannot be read");
      return 2;
    }
  }
  if (!store.Start(store_cfg)) {
    std::fprintf(stderr, "cannot serve %s on 127.0.0.1:%d\n", store_cfg.Root.c_str(),
                 store_cfg.Port);
    return 1;
  }
  std::string lines = "file_store_port=" + std::to_string(store.Port()) + "\n";

  ov::standin::TVersionServer version;
  if (version_port >= 0) {
    ov::standin::TVersionServerConfig cfg;
    cfg.Port = version_port;
    cfg.CatalogueFile = catalogue;
    cfg.SignPrefix = settings.SignPrefix;
    cfg.SignSuffix = settings.SignSuffix;
    cfg.FileStoreUrl = store.BaseUrl();
    if (!version.Start(cfg)) {
      std::fprintf(stderr, "cannot listen on 127.0.0.1:%d for the version server\n", version_port);
      return 1;
    }
    lines += "version_server_port=" + std::to_string(version.Port()) + "\n";
  }

  ov::standin::TPlatform platform;
  if (platform_port >= 0 && !cert.empty() && !key.empty()) {
    ov::standin::TPlatformConfig cfg;
    cfg.Port = platform_port;
    cfg.CertFile = cert;
    cfg.KeyFile = key;
    cfg.CatalogueFile = catalogue;
    cfg.Key = settings.InstallerKey;
    cfg.Bearer = settings.Bearer;
    if (!platform.Start(cfg)) {
      std::fprintf(stderr, "cannot serve the platform on 127.0.0.1:%d with %s\n", platform_port,
                   cert.c_str());
      return 1;
    }
    lines += "platform_port=" + std::to_string(platform.Port()) + "\n";
  }

  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  std::fputs(lines.c_str(), stdout);
  std::fflush(stdout);
  if (!ready.empty()) {
    // Renamed into place so a watcher never reads half of it.
    const std::string tmp = ready + ".tmp";
    std::ofstream(tmp) << lines;
    std::rename(tmp.c_str(), ready.c_str());
  }
  while (!gStop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  platform.Stop();
  version.Stop();
  store.Stop();
  return 0;
}
