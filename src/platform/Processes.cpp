#include "platform/Processes.h"

#include <cstdlib>

#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

// Command lines read as Windows reads them, on every host.
namespace ov::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsRegularFile(const std::string& hostPath) { return fs::HostFileExists(hostPath); }

#ifdef _WIN32
constexpr char kPathListSep = ';';
constexpr char kDirSep = '\\';
#else
constexpr char kPathListSep = ':';
constexpr char kDirSep = '/';
#endif

// The host file for a program name: as written, else with ".exe" appended (as the process
// loader does for a name without an extension).
std::string ExistingProgram(const std::string& hostPath, bool tryExe) {
  if (IsRegularFile(hostPath)) return hostPath;
  if (tryExe && IsRegularFile(hostPath + ".exe")) return hostPath + ".exe";
  return {};
}

std::string ResolveProgram(const std::string& winName) {
  if (winName.empty()) return {};
  const bool tryExe = str::ExtractFileExt(winName).empty();
  if (winName.find_first_of("\\/:") != std::string::npos) {
    return ExistingProgram(MapToHost(winName), tryExe);
  }
  // A bare name: the program's own folder, the working folder, then the PATH.
  std::string own = str::ExtractFilePath(ProgramFile());
  if (!own.empty()) {
    std::string r = ExistingProgram(MapToHost(own + winName), tryExe);
    if (!r.empty()) return r;
  }
  std::string r = ExistingProgram(MapToHost(winName), tryExe);
  if (!r.empty()) return r;
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(kPathListSep, start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      r = ExistingProgram(dir + kDirSep + winName, tryExe);
      if (!r.empty()) return r;
    }
    start = end + 1;
  }
  return {};
}

// The program token: quotes group, nothing is escaped, an unquoted blank ends it.
size_t ParseProgram(const std::string& s, size_t i, std::string& out) {
  bool quoted = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && IsBlank(c)) break;
    out += c;
  }
  return i;
}

std::vector<std::string> ParseArguments(const std::string& s, size_t i) {
  std::vector<std::string> args;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < s.size()) {
      char c = s[i];
      if (c == '\\') {
        size_t n = 0;
        while (i < s.size() && s[i] == '\\') {
          ++n;
          ++i;
        }
        if (i < s.size() && s[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even run leaves the quote to the next round, where it toggles quoting.
        } else {
          arg.append(n, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (!quoted && IsBlank(c)) break;
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& aCommandLine) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < aCommandLine.size() && IsBlank(aCommandLine[i])) ++i;
  if (i >= aCommandLine.size()) return out;
  std::string program;
  i = ParseProgram(aCommandLine, i, program);
  out.push_back(std::move(program));
  for (auto& a : ParseArguments(aCommandLine, i)) out.push_back(std::move(a));
  return out;
}

bool ResolveCommandLine(const std::string& aCommandLine, std::string& aHostProgram,
                        std::vector<std::string>& aArgs) {
  aHostProgram.clear();
  aArgs.clear();
  const std::string& line = aCommandLine;
  if (line.find('\0') != std::string::npos) return false;
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size()) return false;

  std::string hostProgram;
  size_t argsFrom = 0;
  size_t firstEnd = i;
  while (firstEnd < line.size() && !IsBlank(line[firstEnd])) ++firstEnd;
  if (line.substr(i, firstEnd - i).find('"') != std::string::npos) {
    std::string program;
    argsFrom = ParseProgram(line, i, program);
    hostProgram = ResolveProgram(program);
  } else {
    // An unquoted path with blanks is tried at each blank, shortest first, as the process
    // loader does ("C:\Program Files\a.exe" tries "C:\Program" before the whole name).
    size_t end = i;
    for (;;) {
      while (end < line.size() && !IsBlank(line[end])) ++end;
      hostProgram = ResolveProgram(line.substr(i, end - i));
      argsFrom = end;
      if (!hostProgram.empty() || end >= line.size()) break;
      while (end < line.size() && IsBlank(line[end])) ++end;
    }
  }
  if (hostProgram.empty()) return false;
  aHostProgram = std::move(hostProgram);
  aArgs = ParseArguments(line, argsFrom);
  return true;
}

}  // namespace ov::platform
