#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/OVTextUtil.h"
#include "platform/SettingsStore.h"

namespace ov::platform {

namespace {

std::mutex gPathLock;
std::set<std::string> gPreparedPrefixes;
std::string gProgramOverride;
// The program's own Windows path, worked out once per prefix: the settings beside the program
// are read often, and each mapping from a host path resolves every drive link.
std::string gProgramFile;

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

// The names of folders where names were looked up without regard to case, so that a name that
// does not exist yet costs no scan of a big folder. Exact, not a guess: a folder's names are
// listed after an inotify watch is on it, and every change queued since is applied before each
// answer. The kernel queues a change to a folder before the changing call returns, so the
// names held are never fewer than the folder's; every name given out is checked with fstatat
// first. A deleted name is dropped at once; a name renamed away is dropped only once fstatat
// no longer finds it (a rename that swaps two names reports one of them renamed away while it
// is still there), checked in batches. Lost events (queue overflow) forget all.
// Only local file systems whose every change passes the kernel's notification (no network or
// user-space file systems) are held; any other folder is scanned. No folder is kept open, so
// none of them keeps its file system from being unmounted.
std::atomic<bool> gForkedChild{false};

class FolderIndex {
 public:
  // True when the index can answer for the folder aDir (a stat of it in aDirSt): aFound is
  // then the folder's one name equal to aName without regard to case, or empty for none.
  // False when the caller must scan (another kind of file system, two or more such names
  // whose order only a scan tells, or the index is unavailable).
  bool Find(const std::string& aDir, const struct stat& aDirSt, const std::string& aName,
            std::string& aFound) {
    std::lock_guard<std::mutex> g(FLock);
    if (gForkedChild.load(std::memory_order_relaxed)) return false;  // the queue is the parent's
    if (FFd < 0 && !Open()) return false;
    if (!Drain()) return false;
    const TInode inode{aDirSt.st_dev, aDirSt.st_ino};
    auto at = FByInode.find(inode);
    if (at == FByInode.end() && !Watch(aDir, inode, at)) return false;
    const int wd = at->second;
    Folder& f = FByWd.at(wd);
    f.LastUse = ++FUseCount;
    auto it = f.ByLower.find(str::LowerCase(aName));
    std::vector<std::string> found;
    if (it != f.ByLower.end()) {
      const int dir = OpenFolder(aDir, inode);
      if (dir < 0) {
        Drop(wd);
        return false;
      }
      for (const auto& n : std::vector<std::string>(it->second)) {
        if (StillThere(f, dir, n)) found.push_back(n);
      }
      ::close(dir);
    }
    if (found.size() > 1) return false;
    aFound = found.empty() ? std::string() : found.front();
    return true;
  }

 private:
  using TInode = std::pair<dev_t, ino_t>;
  struct Folder {
    std::string Path;  // where it was listed; it is used only while it still leads there
    TInode Inode;
    std::unordered_map<std::string, std::vector<std::string>> ByLower;
    std::vector<std::string> RenamedAway;  // held until checked
    uint64_t LastUse = 0;
  };
  static constexpr size_t kMaxFolders = 32;
  static constexpr size_t kCheckBatch = 256;
  static constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                       IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

  static bool Local(int aFd) {
    struct statfs sf{};
    if (::fstatfs(aFd, &sf) != 0) return false;
    switch (static_cast<unsigned long>(sf.f_type)) {
      case EXT4_SUPER_MAGIC:  // ext2, ext3 and ext4 share it
      case XFS_SUPER_MAGIC:
      case TMPFS_MAGIC:
        return true;
      default:
        return false;
    }
  }

  // The folder at aPath, opened only to look into it, when aPath still leads to aInode.
  static int OpenFolder(const std::string& aPath, const TInode& aInode) {
    const int fd = ::open(aPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || TInode{st.st_dev, st.st_ino} != aInode) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  bool Open() {
    // A forked child must leave the queue alone; noticed by a fork handler rather than a
    // getpid call per lookup.
    static const bool once = [] {
      return ::pthread_atfork(nullptr, nullptr, [] { gForkedChild = true; }) == 0;
    }();
    if (!once) return false;
    FFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return FFd >= 0;
  }

  void Forget() {
    FByWd.clear();
    FByInode.clear();
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }

  void Drop(int aWd) {
    auto it = FByWd.find(aWd);
    if (it == FByWd.end()) return;
    ::inotify_rm_watch(FFd, aWd);
    FByInode.erase(it->second.Inode);
    FByWd.erase(it);
  }

  static void Add(Folder& f, const std::string& aName) {
    auto& names = f.ByLower[str::LowerCase(aName)];
    for (const auto& n : names) {
      if (n == aName) return;
    }
    names.push_back(aName);
  }

  static void Remove(Folder& f, const std::string& aName) {
    auto it = f.ByLower.find(str::LowerCase(aName));
    if (it == f.ByLower.end()) return;
    auto& names = it->second;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == aName) {
        names.erase(names.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    if (names.empty()) f.ByLower.erase(it);
  }

  // Keeps aName while the folder (open as aDir) still has it; drops it otherwise.
  static bool StillThere(Folder& f, int aDir, const std::string& aName) {
    struct stat st{};
    if (::fstatat(aDir, aName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return true;
    Remove(f, aName);
    return false;
  }

  // Checks the names renamed away; false when the folder cannot be checked any more.
  static bool CheckRenamedAway(Folder& f) {
    const int dir = OpenFolder(f.Path, f.Inode);  // its path may lead elsewhere by now
    if (dir < 0) return false;
    for (const auto& n : f.RenamedAway) StillThere(f, dir, n);
    f.RenamedAway.clear();
    ::close(dir);
    return true;
  }

  // Applies the queued changes; false (everything forgotten) when some were lost.
  bool Drain() {
    alignas(inotify_event) char buf[65536];
    while (true) {
      const ssize_t n = ::read(FFd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return true;
      if (n <= 0) {
        Forget();
        return false;
      }
      for (ssize_t i = 0; i < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + i);
        i += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        if (ev->mask & IN_Q_OVERFLOW) {
          Forget();
          return false;
        }
        auto it = FByWd.find(ev->wd);
        if (it == FByWd.end()) continue;  // a watch already dropped
        Folder& f = it->second;
        if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
          Drop(ev->wd);
          continue;
        }
        if (ev->len == 0) continue;
        const std::string name(ev->name);
        if (ev->mask & (IN_CREATE | IN_MOVED_TO)) {
          Add(f, name);
        } else if (ev->mask & IN_DELETE) {
          Remove(f, name);
        } else if (ev->mask & IN_MOVED_FROM) {
          f.RenamedAway.push_back(name);
          if (f.RenamedAway.size() >= kCheckBatch && !CheckRenamedAway(f)) Drop(ev->wd);
        }
      }
    }
  }

  // Watches the folder, then lists it; false when it cannot be held.
  bool Watch(const std::string& aDir, const TInode& aInode,
             std::map<TInode, int>::iterator& aAt) {
    const int dir = ::open(aDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    struct stat st{};
    if (::fstat(dir, &st) != 0 || TInode{st.st_dev, st.st_ino} != aInode || !Local(dir)) {
      ::close(dir);
      return false;
    }
    if (FByWd.size() >= kMaxFolders) {
      int oldest = FByWd.begin()->first;
      for (const auto& [wd, f] : FByWd) {
        if (f.LastUse < FByWd.at(oldest).LastUse) oldest = wd;
      }
      Drop(oldest);
    }
    // Through the open folder, so the watch and the listing are on the same folder.
    const std::string self = "/proc/self/fd/" + std::to_string(dir);
    const int wd = ::inotify_add_watch(FFd, self.c_str(), kChanges | IN_MASK_CREATE);
    DIR* d = wd >= 0 ? ::fdopendir(dir) : nullptr;
    if (!d) {
      if (wd >= 0) ::inotify_rm_watch(FFd, wd);
      ::close(dir);
      return false;
    }
    if (FByWd.count(wd) != 0) {  // a number still in use cannot be trusted
      ::closedir(d);
      Forget();
      return false;
    }
    Folder& f = FByWd[wd];
    f.Path = aDir;
    f.Inode = aInode;
    while (dirent* e = ::readdir(d)) {
      if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..") {
        Add(f, e->d_name);
      }
    }
    ::closedir(d);
    FByInode[aInode] = wd;
    // Changes made while the listing ran.
    if (!Drain()) return false;
    aAt = FByInode.find(aInode);
    return aAt != FByInode.end();
  }

  std::mutex FLock;
  int FFd = -1;
  uint64_t FUseCount = 0;
  std::unordered_map<int, Folder> FByWd;
  std::map<TInode, int> FByInode;
};

FolderIndex& Folders() {
  static FolderIndex* index = new FolderIndex;  // lives to the end, for lookups at exit
  return *index;
}

std::string DriveFolder(char aLetter, bool aCheckFolder);

// The folder's one name equal to aName without regard to case, from the index or a scan;
// empty when none.
std::string FindInFolder(const std::string& aDir, const struct stat& aDirSt,
                         const std::string& aName) {
  std::string found;
  if (Folders().Find(aDir, aDirSt, aName, found)) return found;
  return FindCaseInsensitive(aDir, aName);
}

// Maps Windows paths for one call. Whatever it learns (a drive's folder, a folder's names)
// serves only the paths of that call, so nothing it answers outlives the moment it looked.
class PathMapper {
 public:
  // aSeveral: the call maps several paths, and what one of them learns (leading components,
  // a folder that had to be scanned) serves the others.
  explicit PathMapper(bool aSeveral) : FSeveral(aSeveral) {}

  std::string Map(const std::string& aWinPath) {
    if (aWinPath.empty() || aWinPath.find('\0') != std::string::npos) return {};
    std::string p = aWinPath;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    std::string base;
    std::string rest;
    int drive = -1;
    if (p.size() >= 2 && p[1] == ':' && str::LowerChar(p[0]) >= 'a' &&
        str::LowerChar(p[0]) <= 'z') {
      drive = str::LowerChar(p[0]) - 'a';
      base = Drive(drive);
      if (base.empty()) return {};
      rest = p.substr(2);
    } else if (p[0] == '\\') {
      return {};  // UNC names and paths relative to the current drive's root
    } else {
      base = CanonicalOrLexical(CurrentDir());
      rest = p;
    }
    auto parts = Normalise(SplitComponents(rest, '\\'));
    // The leading components this path shares with the previous one of the call were
    // resolved already (a file, its ".parts" and their folder share all but the last).
    size_t i = 0;
    if (FSeveral && base == FLastBase) {
      while (i < parts.size() && i < FLastSteps.size() && FLastSteps[i].Part == parts[i]) ++i;
    }
    FLastSteps.resize(i);
    FLastBase = base;
    std::string host = i > 0 ? FLastSteps[i - 1].Host : base;
    bool probing = i > 0 ? FLastSteps[i - 1].Probing : true;
    // Where the rest exists as written, every component of it does, and the walk would take
    // each as written: one lstat answers. Where only its folder does, only the last name is
    // looked up. Either also shows the drive's folder is there.
    bool lastMissing = false;
    struct stat dirSt{};
    if (probing && i < parts.size()) {
      std::string whole = host;
      for (size_t k = i; k < parts.size(); ++k) whole = JoinHost(whole, parts[k]);
      size_t known = i;
      if (Exists(whole)) {
        known = parts.size();
      } else {
        std::string dir = host;
        for (size_t k = i; k + 1 < parts.size(); ++k) dir = JoinHost(dir, parts[k]);
        if (::stat(dir.c_str(), &dirSt) == 0 && S_ISDIR(dirSt.st_mode)) {
          known = parts.size() - 1;
          lastMissing = true;
        }
      }
      if (drive >= 0 && (known == parts.size() || lastMissing)) FDriveSeen[drive] = true;
      for (; i < known; ++i) {
        host = JoinHost(host, parts[i]);
        if (FSeveral) FLastSteps.push_back({parts[i], host, true});
      }
    }
    if (drive >= 0 && !FDriveSeen[drive]) {
      if (!IsDir(base)) return {};  // the drive's folder has gone
      FDriveSeen[drive] = true;
    }
    for (; i < parts.size(); ++i) {
      const std::string& part = parts[i];
      std::string exact = JoinHost(host, part);
      if (probing && (lastMissing || !Exists(exact))) {
        struct stat st{};
        const bool dir =
            lastMissing || (::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        std::string other = dir ? Find(host, lastMissing ? dirSt : st, part) : std::string();
        if (!other.empty()) {
          exact = JoinHost(host, other);
        } else {
          probing = false;  // below a missing component nothing exists either
        }
      }
      lastMissing = false;
      host = exact;
      if (FSeveral) FLastSteps.push_back({part, host, probing});
    }
    return host;
  }

 private:
  // The drive's folder as its link last resolved; Map checks the folder is still there.
  std::string Drive(int aIndex) {
    if (!FDriveKnown[aIndex]) {
      FDrives[aIndex] = DriveFolder(static_cast<char>('a' + aIndex), false);
      FDriveKnown[aIndex] = true;
    }
    return FDrives[aIndex];
  }

  // First name of the folder equal to aName without regard to case; empty when none.
  std::string Find(const std::string& aDir, const struct stat& aDirSt, const std::string& aName) {
    if (!FSeveral) return FindInFolder(aDir, aDirSt, aName);
    std::string found;
    if (Folders().Find(aDir, aDirSt, aName, found)) return found;
    auto it = FListings.find(aDir);
    if (it == FListings.end()) it = FListings.emplace(aDir, ListNames(aDir)).first;
    for (const auto& n : it->second) {
      if (str::SameText(n, aName)) return n;
    }
    return {};
  }

  struct Step {
    std::string Part;  // as written
    std::string Host;  // host path up to and with it
    bool Probing;      // it and all before it exist, so the next one is looked up
  };

  bool FSeveral;
  std::string FLastBase;
  std::vector<Step> FLastSteps;
  bool FDriveKnown[26] = {};
  bool FDriveSeen[26] = {};  // its folder was found there during this call
  std::string FDrives[26];
  std::map<std::string, std::vector<std::string>> FListings;
};

}  // namespace

std::string XdgDataHome() { return EnvOr("XDG_DATA_HOME", HomeDir() + "/.local/share"); }

std::string ShellFolder(const std::string& /*aName*/) { return {}; }

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
  // Asked on every path mapping: the default is only worked out when the variable is unset.
  const char* v = std::getenv("OV_PREFIX");
  std::string p = (v && *v) ? std::string(v) : XdgDataHome() + "/ondrevo";
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

void ResetPrefixCache() {
  std::lock_guard<std::mutex> g(gPathLock);
  gPreparedPrefixes.clear();
  gProgramFile.clear();
}

namespace {

// The prefix folder, made ready the first time it is used.
std::string PreparedPrefix() {
  std::string prefix = PrefixDir();
  {
    std::lock_guard<std::mutex> g(gPathLock);
    if (!gPreparedPrefixes.insert(prefix).second) return prefix;
  }
  const std::string dos = prefix + "/dosdevices";
  if (IsDir(dos)) return prefix;
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
  return prefix;
}

}  // namespace

void EnsurePrefix() { PreparedPrefix(); }

namespace {

// A drive's resolved folder, kept while its link is the same link: every path mapping asks, and
// resolving the whole chain costs a readlink per component. Relinking a drive makes a new link
// (another inode or change time), which is noticed by one lstat.
struct TDriveCache {
  std::string Link;
  dev_t Dev = 0;
  ino_t Ino = 0;
  struct timespec Ctime{};
  std::string Target;
};
std::mutex gDriveLock;
TDriveCache gDrives[26];

bool SameLink(const TDriveCache& aC, const std::string& aLink, const struct stat& aSt) {
  return aC.Link == aLink && aC.Dev == aSt.st_dev && aC.Ino == aSt.st_ino &&
         aC.Ctime.tv_sec == aSt.st_ctim.tv_sec && aC.Ctime.tv_nsec == aSt.st_ctim.tv_nsec;
}

// The drive's folder; aCheckFolder: also that it is still there (else a caller checks).
std::string DriveFolder(char aLetter, bool aCheckFolder) {
  char l = str::LowerChar(aLetter);
  if (l < 'a' || l > 'z') return {};
  std::string link = PreparedPrefix() + "/dosdevices/" + l + ":";
  struct stat lst{};
  if (::lstat(link.c_str(), &lst) != 0) return {};
  TDriveCache& c = gDrives[l - 'a'];
  {
    std::lock_guard<std::mutex> g(gDriveLock);
    // The folder itself may have gone; that is checked every time, here or by the caller.
    if (SameLink(c, link, lst)) {
      return !aCheckFolder || IsDir(c.Target) ? c.Target : std::string();
    }
  }
  char buf[PATH_MAX];
  if (!::realpath(link.c_str(), buf)) return {};
  if (!IsDir(buf)) return {};
  std::lock_guard<std::mutex> g(gDriveLock);
  c.Link = link;
  c.Dev = lst.st_dev;
  c.Ino = lst.st_ino;
  c.Ctime = lst.st_ctim;
  c.Target = buf;
  return buf;
}

}  // namespace

std::string DriveTarget(char aLetter) { return DriveFolder(aLetter, true); }

bool DriveExists(char aLetter) { return !DriveTarget(aLetter).empty(); }

namespace {

struct TMapMemo {
  int Depth = 0;
  std::vector<std::pair<std::string, std::string>> Answers;  // Windows path, host path
  // Folders found during the scope: a name in one of them is looked up there alone, without
  // walking the drive and the folders above it again.
  struct TFolder {
    std::string Win;
    std::string Host;
    struct stat St;
    bool Missing;  // not there: nothing below it is either, so names are taken as written
  };
  std::vector<TFolder> Folders;
};
thread_local TMapMemo tMapMemo;
constexpr size_t kMemoSize = 4;
constexpr size_t kFolderMemoSize = 4;

// Whether a name added or removed at aHostPath can change how aFolder is reached: aHostPath is
// aFolder or a folder above it, compared without regard to case as the lookups compare names.
bool Reaches(const std::string& aHostPath, const std::string& aFolder) {
  const size_t n = aHostPath.size();
  if (aFolder.size() < n || (aFolder.size() > n && aFolder[n] != '/')) return false;
  return str::SameText(aFolder.substr(0, n), aHostPath);
}

// aWinPath through a folder the scope has found, when it names one entry in one.
bool MapInFolder(TMapMemo& aMemo, const std::string& aWinPath, std::string& aHost) {
  const size_t cut = aWinPath.find_last_of("\\/");
  if (cut == std::string::npos || cut + 1 >= aWinPath.size()) return false;
  const std::string name = aWinPath.substr(cut + 1);
  if (name == "." || name == ".." || name.find('\0') != std::string::npos) return false;
  const std::string_view dir(aWinPath.data(), cut);
  for (const auto& f : aMemo.Folders) {
    if (f.Win == aWinPath) {
      aHost = f.Host;
      return true;
    }
    if (f.Win != dir) continue;
    aHost = JoinHost(f.Host, name);
    if (f.Missing || Exists(aHost)) return true;
    const std::string other = FindInFolder(f.Host, f.St, name);
    if (!other.empty()) aHost = JoinHost(f.Host, other);
    return true;
  }
  return false;
}

// Keeps the folder of a path just mapped, when it is there.
void KeepFolder(TMapMemo& aMemo, const std::string& aWinPath, const std::string& aHost) {
  const size_t cut = aWinPath.find_last_of("\\/");
  const size_t hostCut = aHost.rfind('/');
  if (cut == std::string::npos || hostCut == std::string::npos || hostCut == 0) return;
  const std::string name = aWinPath.substr(cut + 1);
  if (name.empty() || name == "." || name == "..") return;
  TMapMemo::TFolder f{aWinPath.substr(0, cut), aHost.substr(0, hostCut), {}, false};
  if (::stat(f.Host.c_str(), &f.St) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return;
    f.Missing = true;
  } else if (!S_ISDIR(f.St.st_mode)) {
    return;
  }
  if (aMemo.Folders.size() >= kFolderMemoSize) aMemo.Folders.erase(aMemo.Folders.begin());
  aMemo.Folders.push_back(std::move(f));
}

}  // namespace

TMapScope::TMapScope() { ++tMapMemo.Depth; }

TMapScope::~TMapScope() {
  if (--tMapMemo.Depth == 0) {
    tMapMemo.Answers.clear();
    tMapMemo.Folders.clear();
  }
}

void TMapScope::Changed(const std::string& aHostPath) {
  TMapMemo& m = tMapMemo;
  m.Answers.clear();
  std::erase_if(m.Folders, [&](const TMapMemo::TFolder& f) { return Reaches(aHostPath, f.Host); });
}

std::string MapToHost(const std::string& aWinPath) {
  TMapMemo& m = tMapMemo;
  if (m.Depth == 0) return PathMapper(false).Map(aWinPath);
  for (const auto& [win, host] : m.Answers) {
    if (win == aWinPath) return host;
  }
  std::string host;
  if (!MapInFolder(m, aWinPath, host)) {
    host = PathMapper(false).Map(aWinPath);
    if (!host.empty()) KeepFolder(m, aWinPath, host);
  }
  if (m.Answers.size() >= kMemoSize) m.Answers.erase(m.Answers.begin());
  m.Answers.emplace_back(aWinPath, host);
  return host;
}

std::vector<std::string> MapPathsToHost(const std::vector<std::string>& aWinPaths) {
  if (tMapMemo.Depth > 0) {
    std::vector<std::string> hosts;
    hosts.reserve(aWinPaths.size());
    for (const auto& p : aWinPaths) hosts.push_back(MapToHost(p));
    return hosts;
  }
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
  {
    std::lock_guard<std::mutex> g(gPathLock);
    if (!gProgramFile.empty()) return gProgramFile;
  }
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  std::string win = MapFromHost(buf);
  std::lock_guard<std::mutex> g(gPathLock);
  gProgramFile = win;
  return win;
}

}  // namespace ov::platform
