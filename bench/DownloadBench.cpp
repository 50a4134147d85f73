// bench_download <base url> <list file> <host output folder>: downloads every path of the list
// (one per line) through TNetHTTP, as the installer does, and prints the wall time.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "net/UpdateHTTPUtil.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_download <base url> <list file> <output folder>\n");
    return 2;
  }
  const std::string base = argv[1];
  std::vector<std::string> paths;
  std::ifstream in(argv[2]);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) paths.push_back(line);
  }
  const std::string outDir = ov::platform::MapFromHost(argv[3]);
  TNetHTTP http;
  const auto t0 = std::chrono::steady_clock::now();
  int failed = 0;
  for (const auto& p : paths) {
    std::string msg;
    std::string target = outDir + "\\" + p.substr(p.rfind('/') + 1);
    if (!http.DownFile(base + p, target, msg)) {
      ++failed;
      std::fprintf(stderr, "%s: %s\n", p.c_str(), msg.c_str());
    }
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("files=%zu failed=%d seconds=%.3f\n", paths.size(), failed, secs);
  return failed ? 1 : 0;
}
