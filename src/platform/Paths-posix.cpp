#include "platform/Paths.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "base/OVStrUtil.h"
#include "platform/SettingsStore.h"

namespace ov::platform {

namespace {

std::mutex gPathLock;
std::set<std::string> gPreparedPrefixes;
std::string gProgramOverride;

std::string EnvOr(const char* name, const std::string& def) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : def;
}

std::string HomeDir() { return EnvOr("HOME", "/root"); }

bool IsDir(const std::string& p) {
  struct stat st{};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p) {
  struct stat st{};
  return ::lstat(p.c_str(), &st) == 0;
}

std::vector<std::string> SplitComponents(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// Resolves "." and ".." without leaving the root.
std::vector<std::string> Normalise(const std::vector<std::string>& parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) {
    if (p == ".") continue;
    if (p == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(p);
  }
  return out;
}

std::string FindCaseInsensitive(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (str::SameText(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

// Every name of a folder in the order the folder lists them.
std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
  ::closedir(d);
  return names;
}

std::string JoinHost(const std::string& base, const std::string& name) {
  if (!base.empty() && base.back() == '/') return base + name;
  return base + "/" + name;
}

std::string CurrentDir() {
  char buf[PATH_MAX];
  if (::getcwd(buf, sizeof buf)) return buf;
  return "/";
}

std::string CanonicalOrLexical(const std::string& hostPath) {
  std::string abs = hostPath.empty() || hostPath[0] != '/' ? JoinHost(CurrentDir(), hostPath)
                                                           : hostPath;
  auto parts = Normalise(SplitComponents(abs, '/'));
  // Resolve symlinks of the longest existing leading part, keep the rest as written.
  std::string existing = "/";
  size_t i = 0;
  for (; i < parts.size(); ++i) {
    std::string next = JoinHost(existing, parts[i]);
    if (!Exists(next)) break;
    existing = next;
  }
  char buf[PATH_MAX];
  std::string r = ::realpath(existing.c_str(), buf) ? std::string(buf) : existing;
  for (; i < parts.size(); ++i) r = JoinHost(r, parts[i]);
  return r;
}

void SeedShellFolders() {
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::string value;
  if (!SettingsStore::ReadString(RootKey::CurrentUser, key, "Desktop", value)) {
    std::string win = MapFromHost(XdgDesktopDir());
    if (!win.empty()) SettingsStore::WriteString(RootKey::CurrentUser, key, "Desktop", win);
  }
  if (!SettingsStore::ReadString(RootKey::CurrentUser, key, "Start Menu", value)) {
    std::string win = MapFromHost(XdgDataHome() + "/applications");
    if (!win.empty()) SettingsStore::WriteString(RootKey::CurrentUser, key, "Start Menu", win);
  }
}

// Maps Windows paths for one call. Whatever it learns (a drive's folder, a folder's names)
// serves only the paths of that call, so nothing it answers outlives the moment it looked.
class PathMapper {
 public:
  // aShareListings: a folder listed for one name is kept for the other names of the call,
  // so names that do not exist yet (each a full scan) cost one scan together.
  explicit PathMapper(bool aShareListings) : FShareListings(aShareListings) {}

  std::string Map(const std::string& aWinPath) {
    if (aWinPath.empty() || aWinPath.find('\0') != std::string::npos) return {};
    std::string p = aWinPath;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    std::string base;
    std::string rest;
    if (p.size() >= 2 && p[1] == ':' && str::LowerChar(p[0]) >= 'a' &&
        str::LowerChar(p[0]) <= 'z') {
      base = Drive(p[0]);
      if (base.empty()) return {};
      rest = p.substr(2);
    } else if (p[0] == '\\') {
      return {};  // UNC names and paths relative to the current drive's root
    } else {
      base = CanonicalOrLexical(CurrentDir());
      rest = p;
    }
    auto parts = Normalise(SplitComponents(rest, '\\'));
    std::string host = base;
    bool probing = true;
    for (const auto& part : parts) {
      std::string exact = JoinHost(host, part);
      if (probing && !Exists(exact)) {
        std::string other = IsDir(host) ? Find(host, part) : std::string();
        if (!other.empty()) {
          host = JoinHost(host, other);
          continue;
        }
        probing = false;  // below a missing component nothing exists either
      }
      host = exact;
    }
    return host;
  }

 private:
  std::string Drive(char aLetter) {
    const int i = str::LowerChar(aLetter) - 'a';
    if (!FDriveKnown[i]) {
      FDrives[i] = DriveTarget(aLetter);
      FDriveKnown[i] = true;
    }
    return FDrives[i];
  }

  // First name of the folder equal to aName without regard to case; empty when none.
  std::string Find(const std::string& aDir, const std::string& aName) {
    if (!FShareListings) return FindCaseInsensitive(aDir, aName);
    auto it = FListings.find(aDir);
    if (it == FListings.end()) it = FListings.emplace(aDir, ListNames(aDir)).first;
    for (const auto& n : it->second) {
      if (str::SameText(n, aName)) return n;
    }
    return {};
  }

  bool FShareListings;
  bool FDriveKnown[26] = {};
  std::string FDrives[26];
  std::map<std::string, std::vector<std::string>> FListings;
};

}  // namespace

std::string XdgDataHome() { return EnvOr("XDG_DATA_HOME", HomeDir() + "/.local/share"); }

std::string XdgDesktopDir() {
  std::string env = EnvOr("XDG_DESKTOP_DIR", "");
  if (!env.empty()) return env;
  std::ifstream in(EnvOr("XDG_CONFIG_HOME", HomeDir() + "/.config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string tag = "XDG_DESKTOP_DIR=";
    if (line.rfind(tag, 0) != 0) continue;
    std::string v = line.substr(tag.size());
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.rfind("$HOME", 0) == 0) v = HomeDir() + v.substr(5);
    if (!v.empty() && v[0] == '/') return v;
  }
  return HomeDir() + "/Desktop";
}

std::string PrefixDir() {
  std::string p = EnvOr("OV_PREFIX", XdgDataHome() + "/ondrevo");
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

void ResetPrefixCache() {
  std::lock_guard<std::mutex> g(gPathLock);
  gPreparedPrefixes.clear();
}

void EnsurePrefix() {
  const std::string prefix = PrefixDir();
  {
    std::lock_guard<std::mutex> g(gPathLock);
    if (!gPreparedPrefixes.insert(prefix).second) return;
  }
  const std::string dos = prefix + "/dosdevices";
  if (IsDir(dos)) return;
  // Each step tolerates a second process doing the same first start at the same time.
  std::string cur;
  for (const auto& part : SplitComponents(prefix, '/')) {
    cur += "/" + part;
    ::mkdir(cur.c_str(), 0755);
  }
  ::mkdir((prefix + "/drive_c").c_str(), 0755);
  ::mkdir(dos.c_str(), 0755);
  [[maybe_unused]] int r1 = ::symlink("../drive_c", (dos + "/c:").c_str());
  [[maybe_unused]] int r2 = ::symlink("/", (dos + "/z:").c_str());
  SeedShellFolders();
}

std::string DriveTarget(char aLetter) {
  char l = str::LowerChar(aLetter);
  if (l < 'a' || l > 'z') return {};
  EnsurePrefix();
  std::string link = PrefixDir() + "/dosdevices/" + l + ":";
  char buf[PATH_MAX];
  if (!::realpath(link.c_str(), buf)) return {};
  if (!IsDir(buf)) return {};
  return buf;
}

bool DriveExists(char aLetter) { return !DriveTarget(aLetter).empty(); }

bool IsDrivePath(const std::string& aWinPath) {
  if (aWinPath.size() < 2 || aWinPath[1] != ':') return false;
  char l = str::LowerChar(aWinPath[0]);
  if (l < 'a' || l > 'z') return false;
  return aWinPath.size() == 2 || aWinPath[2] == '\\' || aWinPath[2] == '/';
}

std::string MapToHost(const std::string& aWinPath) { return PathMapper(false).Map(aWinPath); }

std::vector<std::string> MapPathsToHost(const std::vector<std::string>& aWinPaths) {
  PathMapper mapper(aWinPaths.size() > 1);
  std::vector<std::string> hosts;
  hosts.reserve(aWinPaths.size());
  for (const auto& p : aWinPaths) hosts.push_back(mapper.Map(p));
  return hosts;
}

std::string MapFromHost(const std::string& aHostPath) {
  if (aHostPath.empty() || aHostPath.find('\0') != std::string::npos) return {};
  const std::string host = CanonicalOrLexical(aHostPath);
  char bestLetter = 0;
  size_t bestLen = 0;
  for (char l = 'a'; l <= 'z'; ++l) {
    std::string t = DriveTarget(l);
    if (t.empty()) continue;
    bool match = false;
    if (t == "/") {
      match = true;
    } else if (host == t) {
      match = true;
    } else if (host.size() > t.size() && host.compare(0, t.size(), t) == 0 &&
               host[t.size()] == '/') {
      match = true;
    }
    size_t len = t == "/" ? 0 : t.size();
    if (match && (bestLetter == 0 || len > bestLen)) {
      bestLetter = l;
      bestLen = len;
    }
  }
  if (!bestLetter) return {};
  std::string rest = host.substr(bestLen);
  std::string win(1, str::UpperChar(bestLetter));
  win += ":\\";
  for (const auto& part : SplitComponents(rest, '/')) {
    if (win.back() != '\\') win += '\\';
    win += part;
  }
  return win;
}

void SetProgramFileOverride(const std::string& aWinPath) {
  std::lock_guard<std::mutex> g(gPathLock);
  gProgramOverride = aWinPath;
}

std::string ProgramFile() {
  {
    std::lock_guard<std::mutex> g(gPathLock);
    if (!gProgramOverride.empty()) return gProgramOverride;
  }
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  return MapFromHost(buf);
}

}  // namespace ov::platform
