#include <atomic>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Win32Util.h"

// The file layer on the W functions of the Windows API. Paths are the system's own (Paths.h
// gives them back as they are); every call goes through win::LongPath, so long paths and
// Chinese names work, and every failure carries the system's text for its error code.
namespace ov::platform::fs {

const int kPathNotFound = ERROR_PATH_NOT_FOUND;

namespace {

bool Fail(DWORD code, const std::string& what) {
  SetLastError(static_cast<int>(code), what + ": " + win::ErrorText(code));
  return false;
}

bool FailLast(const std::string& what) { return Fail(GetLastError(), what); }

bool Injected(Op op, const std::string& host, const std::string& what) {
  if (!ShouldFail(op, host)) return false;
  SetLastError(ERROR_ACCESS_DENIED, what + ": access denied (injected) " + host);
  return true;
}

size_t LastSep(const std::string& p) { return p.find_last_of("\\/"); }

std::string ParentOf(const std::string& host) {
  size_t i = LastSep(host);
  return i == std::string::npos ? std::string(".") : host.substr(0, i);
}

std::string BaseOf(const std::string& host) {
  size_t i = LastSep(host);
  return i == std::string::npos ? host : host.substr(i + 1);
}

// FILETIME counts 100 ns from 1601-01-01; the layer's times count ns from 1970-01-01.
constexpr int64_t kEpochDiff = 116444736000000000LL;

int64_t ToNs(const FILETIME& ft) {
  const int64_t t = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - kEpochDiff) * 100;
}

FILETIME FromNs(int64_t ns) {
  // Floor division, so a time before 1970 keeps its sub-tick part in the right direction.
  int64_t q = ns / 100;
  if (ns % 100 < 0) --q;
  const auto t = static_cast<uint64_t>(q + kEpochDiff);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

bool Attributes(const std::string& host, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !host.empty() &&
         GetFileAttributesExW(win::LongPath(host).c_str(), GetFileExInfoStandard, &data) != 0;
}

bool IsDirAttr(const WIN32_FILE_ATTRIBUTE_DATA& d) {
  return (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string TempNameFor(const std::string& host) {
  static std::atomic<uint64_t> counter{0};
  return ParentOf(host) + "\\." + BaseOf(host) + ".ovtmp." + std::to_string(GetCurrentProcessId()) +
         "." + std::to_string(counter.fetch_add(1));
}

bool WriteAll(HANDLE h, const char* p, size_t n) {
  while (n > 0) {
    const DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD w = 0;
    if (!::WriteFile(h, p, chunk, &w, nullptr)) return false;
    p += w;
    n -= w;
  }
  return true;
}

// Renames over an existing target and returns only once the rename is on the disk.
bool MoveReplace(const std::string& from, const std::string& to) {
  return MoveFileExW(win::LongPath(from).c_str(), win::LongPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool IsDriveRoot(const std::string& p) {
  return p.empty() || (p.size() == 2 && p[1] == ':') || p == "\\" || p == "\\\\";
}

bool MkDirs(std::string host) {
  while (host.size() > 3 && (host.back() == '\\' || host.back() == '/')) host.pop_back();
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (Attributes(host, d)) {
    if (IsDirAttr(d)) return true;
    return Fail(ERROR_DIRECTORY, "create folder " + host);
  }
  if (Injected(Op::MkDir, host, "create folder")) return false;
  const size_t sep = LastSep(host);
  if (sep != std::string::npos) {
    const std::string parent = host.substr(0, sep);
    if (!IsDriveRoot(parent) && !MkDirs(parent)) return false;
  }
  if (!CreateDirectoryW(win::LongPath(host).c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return FailLast("create folder " + host);
  }
  return true;
}

HANDLE OpenForRead(const std::string& host) {
  return CreateFileW(win::LongPath(host).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool HostFileExists(const std::string& aHostPath) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  return Attributes(aHostPath, d) && !IsDirAttr(d);
}

bool HostDirectoryExists(const std::string& aHostPath) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  return Attributes(aHostPath, d) && IsDirAttr(d);
}

bool HostPathExists(const std::string& aHostPath) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  return Attributes(aHostPath, d);
}

bool HostForceDirectories(const std::string& aHostPath) {
  if (aHostPath.empty()) return Fail(ERROR_PATH_NOT_FOUND, "create folder");
  return MkDirs(aHostPath);
}

bool HostDeleteFile(const std::string& aHostPath) {
  if (Injected(Op::Delete, aHostPath, "delete")) return false;
  if (HostDirectoryExists(aHostPath)) return Fail(ERROR_ACCESS_DENIED, "delete " + aHostPath);
  if (!DeleteFileW(win::LongPath(aHostPath).c_str())) return FailLast("delete " + aHostPath);
  return true;
}

bool RemoveDir(const std::string& aPath) {
  std::string h = HostOf(aPath);
  if (h.empty()) return false;
  if (Injected(Op::Delete, h, "remove folder")) return false;
  if (!RemoveDirectoryW(win::LongPath(h).c_str())) return FailLast("remove folder " + h);
  return true;
}

bool RenameFile(const std::string& aFrom, const std::string& aTo) {
  std::string from = HostOf(aFrom);
  std::string to = HostOf(aTo);
  if (from.empty() || to.empty()) return false;
  if (Injected(Op::Rename, from, "rename") || Injected(Op::Rename, to, "rename")) return false;
  if (!MoveFileExW(win::LongPath(from).c_str(), win::LongPath(to).c_str(), 0)) {
    return FailLast("rename " + from);
  }
  return true;
}

bool HostReplaceFile(const std::string& aFrom, const std::string& aTo) {
  if (Injected(Op::Rename, aFrom, "rename") || Injected(Op::Rename, aTo, "rename")) return false;
  if (!MoveReplace(aFrom, aTo)) return FailLast("rename " + aFrom);
  return true;
}

namespace {

bool CopyInjected(const std::string& aFrom, const std::string& aTo) {
  return Injected(Op::Copy, aFrom, "copy") || Injected(Op::Copy, aTo, "copy") ||
         Injected(Op::Open, aFrom, "open");
}

// The system's copy keeps the last-write time and the attributes; it writes a temporary name
// that then replaces the target, so a failed copy leaves the old target whole.
bool HostCopyFile(const std::string& from, const std::string& to, bool aFailIfExists) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (Attributes(to, d)) {
    if (aFailIfExists) return Fail(ERROR_FILE_EXISTS, "copy to " + to);
    if (IsDirAttr(d)) return Fail(ERROR_ACCESS_DENIED, "copy to " + to);
  }
  if (!Attributes(from, d)) return FailLast("open " + from);
  if (IsDirAttr(d)) return Fail(ERROR_ACCESS_DENIED, "copy " + from);
  const std::string tmp = TempNameFor(to);
  if (!CopyFileW(win::LongPath(from).c_str(), win::LongPath(tmp).c_str(), TRUE)) {
    const DWORD e = GetLastError();
    DeleteFileW(win::LongPath(tmp).c_str());
    return Fail(e, "copy " + from + " to " + to);
  }
  if (!MoveReplace(tmp, to)) {
    const DWORD e = GetLastError();
    SetFileAttributesW(win::LongPath(tmp).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(win::LongPath(tmp).c_str());
    return Fail(e, "copy " + from + " to " + to);
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
  WIN32_FILE_ATTRIBUTE_DATA src;
  WIN32_FILE_ATTRIBUTE_DATA dst;
  if (!Attributes(from, src)) return FailLast("open " + from);
  if (IsDirAttr(src)) return HostCopyFile(from, to, false);
  const bool exists = Attributes(to, dst);
  if (exists && IsDirAttr(dst)) return Fail(ERROR_ACCESS_DENIED, "copy to " + to);
  // Already the same file (a run stopped before it deleted its copies): nothing to do.
  uint64_t va = 0, fa = 0, vb = 0, fb = 0;
  if (exists && HostFileIdentity(from, va, fa) && HostFileIdentity(to, vb, fb) && va == vb &&
      fa == fb) {
    return true;
  }
  const std::string tmp = TempNameFor(to);
  // Another volume, or a file system without links: a copy does.
  if (!CreateHardLinkW(win::LongPath(tmp).c_str(), win::LongPath(from).c_str(), nullptr)) {
    return HostCopyFile(from, to, false);
  }
  if (!MoveReplace(tmp, to)) {
    const DWORD e = GetLastError();
    DeleteFileW(win::LongPath(tmp).c_str());
    return Fail(e, "copy " + from + " to " + to);
  }
  return true;
}

int64_t FileSize(const std::string& aPath) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!Attributes(HostOf(aPath), d)) return -1;
  if (IsDirAttr(d)) return 0;
  return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

bool ReadHostFile(const std::string& aHostPath, std::string& aData) {
  if (Injected(Op::Open, aHostPath, "open")) return false;
  HANDLE h = OpenForRead(aHostPath);
  if (h == INVALID_HANDLE_VALUE) return FailLast("open " + aHostPath);
  aData.clear();
  char buf[65536];
  while (true) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      const DWORD e = GetLastError();
      CloseHandle(h);
      return Fail(e, "read " + aHostPath);
    }
    if (n == 0) break;
    aData.append(buf, n);
  }
  CloseHandle(h);
  return true;
}

bool WriteHostFileAtomic(const std::string& aHostPath, std::string_view aData, bool aSync) {
  if (Injected(Op::Create, aHostPath, "create") || Injected(Op::Write, aHostPath, "write")) {
    return false;
  }
  const std::string tmp = TempNameFor(aHostPath);
  HANDLE h = CreateFileW(win::LongPath(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailLast("create " + tmp);
  bool ok = WriteAll(h, aData.data(), aData.size());
  if (ok && aSync) ok = FlushFileBuffers(h) != 0;
  DWORD err = ok ? 0 : GetLastError();
  CloseHandle(h);
  if (ok && !MoveReplace(tmp, aHostPath)) {
    ok = false;
    err = GetLastError();
  }
  if (!ok) {
    DeleteFileW(win::LongPath(tmp).c_str());
    return Fail(err, "write " + aHostPath);
  }
  return true;
}

bool HostGetFileTimes(const std::string& h, FileTimes& aTimes) {
  if (h.empty()) return false;
  if (Injected(Op::Open, h, "open")) return false;
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!Attributes(h, d)) return FailLast("stat " + h);
  aTimes.LastWrite = ToNs(d.ftLastWriteTime);
  aTimes.LastAccess = ToNs(d.ftLastAccessTime);
  aTimes.Creation = ToNs(d.ftCreationTime);
  aTimes.HasBirthTime = true;
  return true;
}

bool HostSetFileTimes(const std::string& h, std::optional<int64_t> aCreation,
                      std::optional<int64_t> aLastAccess, std::optional<int64_t> aLastWrite) {
  if (h.empty()) return false;
  if (Injected(Op::SetTime, h, "set file time")) return false;
  HANDLE f = CreateFileW(win::LongPath(h).c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (f == INVALID_HANDLE_VALUE) return FailLast("set file time " + h);
  FILETIME c{};
  FILETIME a{};
  FILETIME w{};
  if (aCreation) c = FromNs(*aCreation);
  if (aLastAccess) a = FromNs(*aLastAccess);
  if (aLastWrite) w = FromNs(*aLastWrite);
  const bool ok = SetFileTime(f, aCreation ? &c : nullptr, aLastAccess ? &a : nullptr,
                              aLastWrite ? &w : nullptr) != 0;
  const DWORD e = GetLastError();
  CloseHandle(f);
  return ok || Fail(e, "set file time " + h);
}

bool ListDir(const std::string& aPath, std::vector<DirEntry>& aEntries) {
  std::string h = HostOf(aPath);
  if (h.empty()) return false;
  if (Injected(Op::Open, h, "open folder")) return false;
  if (!HostDirectoryExists(h)) {
    return Fail(HostPathExists(h) ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND, "open folder " + h);
  }
  std::string pattern = h;
  if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileExW(win::LongPath(pattern).c_str(), FindExInfoBasic, &fd,
                              FindExSearchNameMatch, nullptr, 0);
  aEntries.clear();
  if (f == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // an empty drive root
    return FailLast("open folder " + h);
  }
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    DirEntry de;
    de.Name = win::Narrow(name);
    de.IsDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    de.Size = de.IsDir ? 0 : (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    de.LastWrite = ToNs(fd.ftLastWriteTime);
    aEntries.push_back(std::move(de));
  } while (FindNextFileW(f, &fd));
  FindClose(f);
  return true;
}

bool HostFileIdentity(const std::string& aHostPath, uint64_t& aVolume, uint64_t& aFile) {
  HANDLE h = CreateFileW(win::LongPath(aHostPath).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailLast("open " + aHostPath);
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  const DWORD e = GetLastError();
  CloseHandle(h);
  if (!ok) return Fail(e, "open " + aHostPath);
  aVolume = info.dwVolumeSerialNumber;
  aFile = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

namespace {

// The path itself when it exists, else its nearest existing folder; a folder path ends with
// "\", as the volume functions want it.
bool NearestExisting(const std::string& aWinPath, std::string& aHost) {
  std::string h = HostOf(aWinPath);
  if (h.empty()) return false;
  while (!h.empty() && (h.back() == '\\' || h.back() == '/')) h.pop_back();
  for (;;) {
    // "C:" alone would name the drive's current folder.
    const std::string probe = h.size() == 2 && h[1] == ':' ? h + "\\" : h;
    const DWORD attr = GetFileAttributesW(win::LongPath(probe).c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) {
      if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) aHost = ParentOf(h) + "\\";
      else aHost = probe.back() == '\\' ? probe : probe + "\\";
      return true;
    }
    const DWORD e = GetLastError();
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND && e != ERROR_INVALID_NAME) {
      return Fail(e, "open " + h);
    }
    const size_t i = LastSep(h);
    if (i == std::string::npos) return Fail(e, "open " + h);
    h.resize(i);
  }
}

bool VolumeOf(const std::string& aWinPath, std::wstring& aVolume) {
  std::string host;
  if (!NearestExisting(aWinPath, host)) return false;
  std::wstring buf(MAX_PATH + 1, L'\0');
  const std::wstring path = win::LongPath(host);
  if (!GetVolumePathNameW(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()))) {
    return FailLast("volume of " + host);
  }
  buf.resize(wcslen(buf.c_str()));
  aVolume = buf;
  return true;
}

}  // namespace

int64_t FreeBytes(const std::string& aPath) {
  std::string host;
  if (!NearestExisting(aPath, host)) return -1;
  ULARGE_INTEGER avail{};
  // The caller's share: disk quotas count, as they do for the files the install writes.
  if (!GetDiskFreeSpaceExW(win::LongPath(host).c_str(), &avail, nullptr, nullptr)) {
    FailLast("free space of " + host);
    return -1;
  }
  return static_cast<int64_t>(avail.QuadPart);
}

bool SameVolume(const std::string& aA, const std::string& aB, bool& aSame) {
  std::wstring va, vb;
  if (!VolumeOf(aA, va) || !VolumeOf(aB, vb)) return false;
  aSame = CompareStringOrdinal(va.c_str(), -1, vb.c_str(), -1, TRUE) == CSTR_EQUAL;
  return true;
}

// Windows runs a file by its name, not by a permission bit.
void ApplyExecBits(const std::string& /*aHostPath*/) {}

bool File::OpenHost(const std::string& aHostPath, Mode aMode) {
  Close();
  DWORD access = 0;
  DWORD disposition = OPEN_EXISTING;
  bool creates = false;
  switch (aMode) {
    case Mode::Read:
      access = GENERIC_READ;
      break;
    case Mode::ReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    case Mode::OpenOrCreate:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = OPEN_ALWAYS;
      creates = true;
      break;
    case Mode::Append:
      // Append data without write data: every write goes to the end, also when another
      // process writes the file meanwhile.
      access = FILE_APPEND_DATA | SYNCHRONIZE;
      disposition = OPEN_ALWAYS;
      creates = true;
      break;
    case Mode::Truncate:
      access = GENERIC_WRITE;
      disposition = OPEN_ALWAYS;
      creates = true;
      break;
  }
  if (Injected(Op::Open, aHostPath, "open")) return false;
  if (creates && Injected(Op::Create, aHostPath, "create")) return false;
  if (HostDirectoryExists(aHostPath)) return Fail(ERROR_ACCESS_DENIED, "open " + aHostPath);
  HANDLE h = CreateFileW(win::LongPath(aHostPath).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailLast("open " + aHostPath);
  // Emptied here rather than by CREATE_ALWAYS, which fails on a hidden or system file.
  if (aMode == Mode::Truncate && !SetEndOfFile(h)) {
    const DWORD e = GetLastError();
    CloseHandle(h);
    return Fail(e, "open " + aHostPath);
  }
  FFd = reinterpret_cast<std::intptr_t>(h);
  FHostPath = aHostPath;
  return true;
}

namespace {
HANDLE Handle(std::intptr_t aFd) { return reinterpret_cast<HANDLE>(aFd); }
}  // namespace

int64_t File::Read(void* aBuf, size_t aSize) {
  const DWORD want = aSize > (1u << 30) ? (1u << 30) : static_cast<DWORD>(aSize);
  DWORD n = 0;
  if (!::ReadFile(Handle(FFd), aBuf, want, &n, nullptr)) {
    FailLast("read " + FHostPath);
    return -1;
  }
  return n;
}

bool File::Write(const void* aBuf, size_t aSize) {
  if (Injected(Op::Write, FHostPath, "write")) return false;
  if (!WriteAll(Handle(FFd), static_cast<const char*>(aBuf), aSize)) {
    return FailLast("write " + FHostPath);
  }
  return true;
}

bool File::Seek(int64_t aPos) {
  LARGE_INTEGER p;
  p.QuadPart = aPos;
  if (!SetFilePointerEx(Handle(FFd), p, nullptr, FILE_BEGIN)) return FailLast("seek");
  return true;
}

bool File::SeekEnd() {
  LARGE_INTEGER p;
  p.QuadPart = 0;
  if (!SetFilePointerEx(Handle(FFd), p, nullptr, FILE_END)) return FailLast("seek");
  return true;
}

int64_t File::Size() {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(Handle(FFd), &s)) {
    FailLast("stat " + FHostPath);
    return -1;
  }
  return s.QuadPart;
}

bool File::Truncate(int64_t aSize) {
  // The file position stays where it was, as with ftruncate.
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER pos;
  LARGE_INTEGER to;
  to.QuadPart = aSize;
  if (!SetFilePointerEx(Handle(FFd), zero, &pos, FILE_CURRENT) ||
      !SetFilePointerEx(Handle(FFd), to, nullptr, FILE_BEGIN) || !SetEndOfFile(Handle(FFd))) {
    return FailLast("truncate");
  }
  SetFilePointerEx(Handle(FFd), pos, nullptr, FILE_BEGIN);
  return true;
}

bool File::Sync() {
  if (!FlushFileBuffers(Handle(FFd))) return FailLast("sync " + FHostPath);
  return true;
}

void File::Close() {
  if (FFd >= 0) {
    CloseHandle(Handle(FFd));
    FFd = -1;
  }
}

}  // namespace ov::platform::fs
