// Test helper: ovstore_writer <name> <count> writes <name>=1..count into the machine store
// under SOFTWARE\OVTest and prints each value once its write has completed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/SettingsStore.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string name = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  for (long i = 1; count <= 0 || i <= count; ++i) {
    if (!ov::platform::SettingsStore::WriteString(ov::platform::RootKey::LocalMachine,
                                                  "SOFTWARE\\OVTest", name, std::to_string(i))) {
      return 1;
    }
    std::printf("%ld\n", i);
    std::fflush(stdout);
  }
  return 0;
}
