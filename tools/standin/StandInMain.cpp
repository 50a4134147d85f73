// ovstandin: the stand-in of the maker's remote services on 127.0.0.1.
//   ovstandin --root DIR [--port N] [--cert F --key F] [--faults F] [--ready-file F]
// Prints "file_store_port=<n>" once it listens (and writes it to the ready file); stops on
// SIGINT or SIGTERM.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "FileStore.h"

namespace {
std::atomic<bool> gStop{false};
void OnSignal(int) { gStop = true; }
}  // namespace

int main(int argc, char** argv) {
  ov::standin::TFileStoreConfig cfg;
  std::string faults, ready;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i], v = argv[i + 1];
    if (k == "--root") cfg.Root = v;
    else if (k == "--port") cfg.Port = std::stoi(v);
    else if (k == "--cert") cfg.CertFile = v;
    else if (k == "--key") cfg.KeyFile = v;
    else if (k == "--faults") faults = v;
    else if (k == "--ready-file") ready = v;
    else {
      std::fprintf(stderr, "unknown option %s\n", k.c_str());
      return 2;
    }
  }
  if (cfg.Root.empty()) {
    std::fprintf(stderr, "usage: ovstandin --root DIR [--port N] [--cert F --key F] "
                         "[--faults F] [--ready-file F]\n");
    return 2;
  }
  ov::standin::TFileStore store;
  if (!faults.empty()) {
    std::ifstream in(faults);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string err;
    if (!store.LoadFaults(ss.str(), err)) {
      std::fprintf(stderr, "bad faults file %s: %s\n", faults.c_str(), err.c_str());
      return 2;
    }
  }
  if (!store.Start(cfg)) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", cfg.Port);
    return 1;
  }
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  std::printf("file_store_port=%d\n", store.Port());
  std::fflush(stdout);
  if (!ready.empty()) std::ofstream(ready) << "file_store_port=" << store.Port() << "\n";
  while (!gStop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  store.Stop();
  return 0;
}
