// The programs of the sample product ("OVWebClient.exe", "Caldis.exe", the services) and of the
// tests (pos.exe, svc.exe): one small program copied under each name; the copies are run.
//   (no options)         runs until it is stopped (TERM or INT on POSIX; the stop control when
//                        Windows runs it as a service, a console Ctrl event otherwise) or ended
//   --exit N             exits at once with code N
//   --args-to FILE       first writes its arguments, one a line, to the Windows file FILE
//   --hold FILE          keeps the Windows file FILE open while it runs, on Windows without
//                        letting others write, rename or delete it
//   --ignore-term        ignores every request to stop, so only a kill ends it; as a Windows
//                        service it answers a stop with "stop pending" and keeps running
//   -install -silent     installs itself as a service named after its file (without the
//                        extension) with its own Windows path as ImagePath, then exits
#include <cstdlib>
#include <string>
#include <vector>

#include "SampleProgram.h"
#include "base/OVStrUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Services.h"

namespace {

bool WriteArgs(const std::string& winFile, const std::vector<std::string>& args) {
  std::string text;
  for (const auto& a : args) text += a + "\n";
  return ov::platform::fs::WriteFileAtomic(winFile, text, false);
}

int InstallSelf() {
  const std::string self = ov::platform::ProgramFile();
  std::string name = ov::str::ExtractFileName(self);
  name = name.substr(0, name.size() - ov::str::ExtractFileExt(name).size());
  return ov::platform::InstallService(name, self) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = ovsample::Arguments(argc, argv);
  bool install = false, silent = false, ignoreTerm = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--exit" && hasValue) {
      return std::atoi(args[++i].c_str());
    } else if (a == "--args-to" && hasValue) {
      if (!WriteArgs(args[++i], args)) return 3;
    } else if (a == "--hold" && hasValue) {
      if (!ovsample::HoldFile(args[++i])) return 4;
    } else if (a == "--ignore-term") {
      ignoreTerm = true;
    } else if (ov::str::SameText(a, "-install")) {
      install = true;
    } else if (ov::str::SameText(a, "-silent")) {
      silent = true;
    }
  }
  if (install) return silent ? InstallSelf() : 2;
  return ovsample::RunUntilStopped(ignoreTerm);
}
