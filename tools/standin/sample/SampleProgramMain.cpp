// The programs of the sample product ("OVWebClient.exe", "Caldis.exe", the services) and of the
// tests (pos.exe, svc.exe): one small program copied under each name; the copies are run.
//   (no options)         runs until TERM, the way a supervised service is stopped, or a kill
//   --exit N             exits at once with code N
//   --args-to FILE       first writes its arguments, one a line, to the Windows file FILE
//   --hold FILE          keeps the Windows file FILE open while it runs
//   --ignore-term        ignores TERM, so only a kill ends it
//   -install -silent     installs itself as a service named after its file (without the
//                        extension) with its own Windows path as ImagePath, then exits
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/OVStrUtil.h"
#include "platform/Paths.h"
#include "platform/Services.h"

namespace {

bool WriteArgs(const std::string& winFile, const std::vector<std::string>& args) {
  std::string text;
  for (const auto& a : args) text += a + "\n";
  std::string host = ov::platform::MapToHost(winFile);
  int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}

int InstallSelf() {
  const std::string self = ov::platform::ProgramFile();
  std::string name = ov::str::ExtractFileName(self);
  name = name.substr(0, name.size() - ov::str::ExtractFileExt(name).size());
  return ov::platform::InstallService(name, self) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool install = false, silent = false, ignoreTerm = false;
  int hold = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--exit" && hasValue) {
      return std::atoi(args[++i].c_str());
    } else if (a == "--args-to" && hasValue) {
      if (!WriteArgs(args[++i], args)) return 3;
    } else if (a == "--hold" && hasValue) {
      hold = ::open(ov::platform::MapToHost(args[++i]).c_str(), O_RDONLY | O_CLOEXEC);
      if (hold < 0) return 4;
    } else if (a == "--ignore-term") {
      ignoreTerm = true;
    } else if (ov::str::SameText(a, "-install")) {
      install = true;
    } else if (ov::str::SameText(a, "-silent")) {
      silent = true;
    }
  }
  if (install) return silent ? InstallSelf() : 2;

  if (ignoreTerm) {
    ::signal(SIGTERM, SIG_IGN);
    for (;;) ::pause();
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  int sig = 0;
  sigwait(&set, &sig);
  if (hold >= 0) ::close(hold);
  return 0;
}
