// bench_filemd5 <host file>: hashes the file with TovLib::GetFileMD5 and prints the digest,
// the seconds taken and the growth of the peak resident memory during the call.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "base/OVLibUtil.h"
#include "platform/Paths.h"

namespace {
long PeakRssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_filemd5 <file>\n");
    return 2;
  }
  const std::string win = ov::platform::MapFromHost(argv[1]);
  const long before = PeakRssKb();
  const auto t0 = std::chrono::steady_clock::now();
  const std::string md5 = TovLib::GetFileMD5(win);
  const auto t1 = std::chrono::steady_clock::now();
  const long after = PeakRssKb();
  std::printf("md5=%s seconds=%.3f peak_rss_growth_kib=%ld\n", md5.c_str(),
              std::chrono::duration<double>(t1 - t0).count(), after - before);
  return md5.empty() ? 1 : 0;
}
