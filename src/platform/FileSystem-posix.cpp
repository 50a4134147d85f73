#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace ov::platform::fs {

const int kPathNotFound = ENOENT;

namespace {

bool Fail(int code, const std::string& what) {
  SetLastError(code, what + ": " + std::strerror(code));
  return false;
}

// Every file operation passes here first, so a change it is about to make also ends what the
// thread's mapping scope remembers.
bool Injected(Op op, const std::string& host, const std::string& what) {
  if (op != Op::Open) TMapScope::Changed(host);
  if (!ShouldFail(op, host)) return false;
  SetLastError(EACCES, what + ": access denied (injected) " + host);
  return true;
}

std::string ParentOf(const std::string& host) {
  size_t i = host.rfind('/');
  if (i == std::string::npos) return ".";
  if (i == 0) return "/";
  return host.substr(0, i);
}

std::string BaseOf(const std::string& host) {
  size_t i = host.rfind('/');
  return i == std::string::npos ? host : host.substr(i + 1);
}

int64_t ToNs(const struct timespec& ts) {
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct timespec FromNs(int64_t ns) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(ns / 1000000000LL);
  ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
  if (ts.tv_nsec < 0) {
    ts.tv_nsec += 1000000000L;
    ts.tv_sec -= 1;
  }
  return ts;
}

std::string TempNameFor(const std::string& host) {
  static std::atomic<uint64_t> counter{0};
  return ParentOf(host) + "/." + BaseOf(host) + ".ovtmp." + std::to_string(::getpid()) + "." +
         std::to_string(counter.fetch_add(1));
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

void SyncDir(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

bool MkDirs(const std::string& host) {
  struct stat st {};
  if (::stat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    return Fail(ENOTDIR, "create folder " + host);
  }
  if (Injected(Op::MkDir, host, "create folder")) return false;
  std::string parent = ParentOf(host);
  if (parent != host && !MkDirs(parent)) return false;
  if (::mkdir(host.c_str(), 0755) != 0 && errno != EEXIST) {
    return Fail(errno, "create folder " + host);
  }
  return true;
}

}  // namespace

bool HostFileExists(const std::string& aHostPath) {
  struct stat st {};
  return !aHostPath.empty() && ::stat(aHostPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool HostDirectoryExists(const std::string& aHostPath) {
  struct stat st {};
  return !aHostPath.empty() && ::stat(aHostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HostPathExists(const std::string& aHostPath) {
  struct stat st {};
  return !aHostPath.empty() && ::stat(aHostPath.c_str(), &st) == 0;
}

bool HostForceDirectories(const std::string& aHostPath) {
  if (aHostPath.empty()) return Fail(ENOENT, "create folder");
  return MkDirs(aHostPath);
}

bool HostDeleteFile(const std::string& aHostPath) {
  if (Injected(Op::Delete, aHostPath, "delete")) return false;
  struct stat st {};
  if (::lstat(aHostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return Fail(EISDIR, "delete " + aHostPath);
  }
  if (::unlink(aHostPath.c_str()) != 0) return Fail(errno, "delete " + aHostPath);
  return true;
}

bool RemoveDir(const std::string& aPath) {
  std::string h = HostOf(aPath);
  if (h.empty()) return false;
  if (Injected(Op::Delete, h, "remove folder")) return false;
  if (::rmdir(h.c_str()) != 0) return Fail(errno, "remove folder " + h);
  return true;
}

bool RenameFile(const std::string& aFrom, const std::string& aTo) {
  std::string from = HostOf(aFrom);
  std::string to = HostOf(aTo);
  if (from.empty() || to.empty()) return false;
  if (Injected(Op::Rename, from, "rename") || Injected(Op::Rename, to, "rename")) return false;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return Fail(EEXIST, "rename to " + to);
  if (::rename(from.c_str(), to.c_str()) != 0) return Fail(errno, "rename " + from);
  return true;
}

bool HostReplaceFile(const std::string& aFrom, const std::string& aTo) {
  if (Injected(Op::Rename, aFrom, "rename") || Injected(Op::Rename, aTo, "rename")) return false;
  if (::rename(aFrom.c_str(), aTo.c_str()) != 0) return Fail(errno, "rename " + aFrom);
  return true;
}

namespace {

bool CopyInjected(const std::string& aFrom, const std::string& aTo) {
  return Injected(Op::Copy, aFrom, "copy") || Injected(Op::Copy, aTo, "copy") ||
         Injected(Op::Open, aFrom, "open");
}

// An ".exe" name, or a script or ELF header in the open file's first bytes.
bool LooksExecutable(int aFd, const std::string& aHostPath) {
  if (str::EndsText(".exe", aHostPath)) return true;
  unsigned char head[4] = {0, 0, 0, 0};
  const ssize_t n = ::pread(aFd, head, sizeof head, 0);
  return (n >= 2 && head[0] == '#' && head[1] == '!') ||
         (n == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F');
}

// Execute wherever reading is allowed, as a fresh executable would have it.
mode_t WithExecBits(mode_t aMode) {
  mode_t m = aMode & 07777;
  if (m & S_IRUSR) m |= S_IXUSR;
  if (m & S_IRGRP) m |= S_IXGRP;
  if (m & S_IROTH) m |= S_IXOTH;
  return m;
}

bool HostCopyFile(const std::string& from, const std::string& to, bool aFailIfExists) {
  struct stat dst {};
  if (::stat(to.c_str(), &dst) == 0) {
    if (aFailIfExists) return Fail(EEXIST, "copy to " + to);
    if (S_ISDIR(dst.st_mode)) return Fail(EISDIR, "copy to " + to);
  }
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(errno, "open " + from);
  struct stat src {};
  if (::fstat(in, &src) != 0 || S_ISDIR(src.st_mode)) {
    int e = S_ISDIR(src.st_mode) ? EISDIR : errno;
    ::close(in);
    return Fail(e, "copy " + from);
  }
  std::string tmp = TempNameFor(to);
  int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, src.st_mode & 07777);
  if (out < 0) {
    int e = errno;
    ::close(in);
    return Fail(e, "create " + tmp);
  }
  bool ok = true;
  int err = 0;
  // In the kernel where the file systems allow it (no copy through this process); the plain
  // loop takes over where they do not, or for whatever copy_file_range left.
  bool inKernel = true;
  while (inKernel) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EBADF || errno == EPERM) {
      inKernel = false;
    } else {
      ok = false;
      err = errno;
      break;
    }
  }
  static constexpr size_t kBlock = 1 << 20;
  std::vector<char> buf(inKernel || !ok ? 0 : kBlock);
  while (!inKernel && ok) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      err = errno;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out, buf.data(), static_cast<size_t>(n))) {
      ok = false;
      err = errno;
      break;
    }
  }
  const bool exec = ok && S_ISREG(src.st_mode) && LooksExecutable(in, to);
  ::close(in);
  if (ok) {
    struct timespec times[2] = {src.st_atim, src.st_mtim};
    ::fchmod(out, exec ? WithExecBits(src.st_mode) : src.st_mode & 07777);
    if (::futimens(out, times) != 0) {
      ok = false;
      err = errno;
    }
  }
  if (::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(tmp.c_str(), to.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return Fail(err, "copy " + from + " to " + to);
  }
  return true;
}

}  // namespace

bool CopyFile(const std::string& aFrom, const std::string& aTo, bool aFailIfExists) {
  std::string from = HostOf(aFrom);
  std::string to = HostOf(aTo);
  if (from.empty() || to.empty() || CopyInjected(from, to)) return false;
  return HostCopyFile(from, to, aFailIfExists);
}

bool LinkOrCopyFile(const std::string& aFrom, const std::string& aTo) {
  std::string from = HostOf(aFrom);
  std::string to = HostOf(aTo);
  if (from.empty() || to.empty() || CopyInjected(from, to)) return false;
  struct stat src {};
  struct stat dst {};
  if (::stat(from.c_str(), &src) != 0) return Fail(errno, "open " + from);
  if (!S_ISREG(src.st_mode)) return HostCopyFile(from, to, false);
  const bool exists = ::lstat(to.c_str(), &dst) == 0;
  if (exists && S_ISDIR(dst.st_mode)) return Fail(EISDIR, "copy to " + to);
  // Already the same file (a run stopped before it deleted its copies): a rename between two
  // names of one file would do nothing and leave the temporary name behind.
  const bool same = exists && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino;
  if (!same) {
    const std::string tmp = TempNameFor(to);
    // Another file system, or one without links: a copy does.
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      return HostCopyFile(from, to, false);
    }
    if (::rename(tmp.c_str(), to.c_str()) != 0) {
      const int e = errno;
      ::unlink(tmp.c_str());
      return Fail(e, "copy " + from + " to " + to);
    }
  }
  ApplyExecBits(to);
  return true;
}

int64_t FileSize(const std::string& aPath) {
  std::string h = HostOf(aPath);
  struct stat st {};
  if (h.empty() || ::stat(h.c_str(), &st) != 0) return -1;
  return S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
}

bool ReadHostFile(const std::string& aHostPath, std::string& aData) {
  if (Injected(Op::Open, aHostPath, "open")) return false;
  int fd = ::open(aHostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(errno, "open " + aHostPath);
  aData.clear();
  char buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      return Fail(e, "read " + aHostPath);
    }
    if (n == 0) break;
    aData.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteHostFileAtomic(const std::string& aHostPath, std::string_view aData, bool aSync) {
  if (Injected(Op::Create, aHostPath, "create") || Injected(Op::Write, aHostPath, "write")) {
    return false;
  }
  struct stat old {};
  mode_t mode = ::stat(aHostPath.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  std::string tmp = TempNameFor(aHostPath);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return Fail(errno, "create " + tmp);
  bool ok = WriteAll(fd, aData.data(), aData.size());
  int err = ok ? 0 : errno;
  if (ok && aSync && ::fsync(fd) != 0) {
    ok = false;
    err = errno;
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(tmp.c_str(), aHostPath.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return Fail(err, "write " + aHostPath);
  }
  if (aSync) SyncDir(ParentOf(aHostPath));
  return true;
}

bool HostGetFileTimes(const std::string& h, FileTimes& aTimes) {
  if (h.empty()) return false;
  if (Injected(Op::Open, h, "open")) return false;
  struct statx sx {};
  if (::statx(AT_FDCWD, h.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    return Fail(errno, "stat " + h);
  }
  aTimes.LastWrite =
      static_cast<int64_t>(sx.stx_mtime.tv_sec) * 1000000000LL + sx.stx_mtime.tv_nsec;
  aTimes.LastAccess =
      static_cast<int64_t>(sx.stx_atime.tv_sec) * 1000000000LL + sx.stx_atime.tv_nsec;
  aTimes.HasBirthTime = (sx.stx_mask & STATX_BTIME) != 0;
  aTimes.Creation = aTimes.HasBirthTime ? static_cast<int64_t>(sx.stx_btime.tv_sec) * 1000000000LL +
                                              sx.stx_btime.tv_nsec
                                        : aTimes.LastWrite;
  return true;
}

bool HostSetFileTimes(const std::string& h, std::optional<int64_t> /*aCreation*/,
                      std::optional<int64_t> aLastAccess, std::optional<int64_t> aLastWrite) {
  if (h.empty()) return false;
  if (Injected(Op::SetTime, h, "set file time")) return false;
  struct timespec ts[2];
  ts[0].tv_sec = 0;
  ts[0].tv_nsec = UTIME_OMIT;
  ts[1] = ts[0];
  if (aLastAccess) ts[0] = FromNs(*aLastAccess);
  if (aLastWrite) ts[1] = FromNs(*aLastWrite);
  if (::utimensat(AT_FDCWD, h.c_str(), ts, 0) != 0) return Fail(errno, "set file time " + h);
  return true;
}

bool ListDir(const std::string& aPath, std::vector<DirEntry>& aEntries) {
  std::string h = HostOf(aPath);
  if (h.empty()) return false;
  if (Injected(Op::Open, h, "open folder")) return false;
  DIR* d = ::opendir(h.c_str());
  if (!d) return Fail(errno, "open folder " + h);
  aEntries.clear();
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirEntry de;
    de.Name = e->d_name;
    struct stat st {};
    if (::stat((h + "/" + de.Name).c_str(), &st) == 0) {
      de.IsDir = S_ISDIR(st.st_mode);
      de.Size = de.IsDir ? 0 : static_cast<int64_t>(st.st_size);
      de.LastWrite = ToNs(st.st_mtim);
    }
    aEntries.push_back(std::move(de));
  }
  ::closedir(d);
  return true;
}

bool HostFileIdentity(const std::string& aHostPath, uint64_t& aVolume, uint64_t& aFile) {
  struct stat st {};
  if (aHostPath.empty() || ::stat(aHostPath.c_str(), &st) != 0)
    return Fail(errno, "stat " + aHostPath);
  aVolume = static_cast<uint64_t>(st.st_dev);
  aFile = static_cast<uint64_t>(st.st_ino);
  return true;
}

namespace {

// The path itself when it exists, else its nearest existing folder.
bool NearestExisting(const std::string& aWinPath, std::string& aHost, struct stat& aSt) {
  aHost = HostOf(aWinPath);
  if (aHost.empty()) return false;
  while (::stat(aHost.c_str(), &aSt) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return Fail(errno, "stat " + aHost);
    const std::string up = ParentOf(aHost);
    if (up == aHost) return Fail(ENOENT, "stat " + aHost);
    aHost = up;
  }
  return true;
}

}  // namespace

int64_t FreeBytes(const std::string& aPath) {
  std::string host;
  struct stat st {};
  if (!NearestExisting(aPath, host, st)) return -1;
  struct statvfs vfs {};
  if (::statvfs(host.c_str(), &vfs) != 0) {
    Fail(errno, "statvfs " + host);
    return -1;
  }
  // f_bavail leaves out the blocks kept for root, as the user's quota of the volume.
  return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

bool SameVolume(const std::string& aA, const std::string& aB, bool& aSame) {
  std::string ha, hb;
  struct stat sa {}, sb {};
  if (!NearestExisting(aA, ha, sa) || !NearestExisting(aB, hb, sb)) return false;
  aSame = sa.st_dev == sb.st_dev;
  return true;
}

void ApplyExecBits(const std::string& aHostPath) {
  const int fd = ::open(aHostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && LooksExecutable(fd, aHostPath)) {
    ::fchmod(fd, WithExecBits(st.st_mode));
  }
  ::close(fd);
}

bool File::OpenHost(const std::string& aHostPath, Mode aMode) {
  Close();
  int flags = O_CLOEXEC;
  Op op = Op::Open;
  switch (aMode) {
    case Mode::Read:
      flags |= O_RDONLY;
      break;
    case Mode::ReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::OpenOrCreate:
      flags |= O_RDWR | O_CREAT;
      op = Op::Create;
      break;
    case Mode::Append:
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      op = Op::Create;
      break;
    case Mode::Truncate:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      op = Op::Create;
      break;
  }
  if (Injected(Op::Open, aHostPath, "open")) return false;
  if (op == Op::Create && Injected(Op::Create, aHostPath, "create")) return false;
  int fd = ::open(aHostPath.c_str(), flags, 0644);
  if (fd < 0) return Fail(errno, "open " + aHostPath);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Fail(EISDIR, "open " + aHostPath);
  }
  FFd = fd;
  FHostPath = aHostPath;
  return true;
}

int64_t File::Read(void* aBuf, size_t aSize) {
  while (true) {
    ssize_t n = ::read(FFd, aBuf, aSize);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    Fail(errno, "read " + FHostPath);
    return -1;
  }
}

bool File::Write(const void* aBuf, size_t aSize) {
  if (Injected(Op::Write, FHostPath, "write")) return false;
  if (!WriteAll(FFd, static_cast<const char*>(aBuf), aSize)) {
    return Fail(errno, "write " + FHostPath);
  }
  return true;
}

bool File::Seek(int64_t aPos) {
  if (::lseek(FFd, static_cast<off_t>(aPos), SEEK_SET) < 0) return Fail(errno, "seek");
  return true;
}

bool File::SeekEnd() {
  if (::lseek(FFd, 0, SEEK_END) < 0) return Fail(errno, "seek");
  return true;
}

int64_t File::Size() {
  struct stat st {};
  if (::fstat(FFd, &st) != 0) {
    Fail(errno, "stat " + FHostPath);
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

bool File::Truncate(int64_t aSize) {
  if (::ftruncate(FFd, static_cast<off_t>(aSize)) != 0) return Fail(errno, "truncate");
  return true;
}

bool File::Sync() {
  if (::fdatasync(FFd) != 0) return Fail(errno, "sync " + FHostPath);
  return true;
}

void File::Close() {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
}

}  // namespace ov::platform::fs
