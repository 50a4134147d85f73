#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// File operations on Windows paths (mapped through Paths.h). Every function reports failure
// through its result and leaves the reason in LastErrorText() of the calling thread.
namespace ov::platform::fs {

// Operations a test may make fail for a host path (or every path below a folder given with
// a trailing separator): POSIX has no mandatory locks and tests run as root, so files that
// cannot be deleted or opened have to be simulated; the Windows build keeps the same seam.
enum class Op { Open, Create, Write, Delete, Rename, Copy, MkDir, SetTime };
void InjectFault(Op aOp, const std::string& aHostPath);
void ClearFaults();
bool ShouldFail(Op aOp, const std::string& aHostPath);

// Reason of the calling thread's last failure; its code is the host's (errno, or the Windows
// error code).
std::string LastErrorText();
int LastErrorCode();
void SetLastError(int aCode, const std::string& aText);
// The host's code for a path that names nothing (ENOENT, ERROR_PATH_NOT_FOUND).
extern const int kPathNotFound;

bool FileExists(const std::string& aPath);  // a file, not a folder
bool DirectoryExists(const std::string& aPath);
bool PathExists(const std::string& aPath);  // file or folder
bool ForceDirectories(const std::string& aPath);
bool DeleteFile(const std::string& aPath);
bool RemoveDir(const std::string& aPath);  // an empty folder
// Fails when the target exists, as a rename on Windows does; ReplaceFile overwrites.
bool RenameFile(const std::string& aFrom, const std::string& aTo);
// Renames over an existing target in one step.
bool ReplaceFile(const std::string& aFrom, const std::string& aTo);
// Copies through a temporary file in the target's folder and renames it into place, keeping
// the source's last-write time and permissions.
bool CopyFile(const std::string& aFrom, const std::string& aTo, bool aFailIfExists = false);
// As CopyFile over an existing target, for a source that is deleted once every file is in
// place: on one file system the target becomes another name of the source's file (no data
// copied, and deleting the source then frees nothing); elsewhere it is copied.
bool LinkOrCopyFile(const std::string& aFrom, const std::string& aTo);
int64_t FileSize(const std::string& aPath);  // -1 when there is no file
bool ReadFile(const std::string& aPath, std::string& aData);
// Writes a temporary file in the same folder and renames it over the old one, so a crash
// never leaves a half-written file. `aSync` flushes it to the disk before the rename.
bool WriteFileAtomic(const std::string& aPath, std::string_view aData, bool aSync = true);

// Times in nanoseconds since 1970-01-01 UTC.
struct FileTimes {
  int64_t LastWrite = 0;
  int64_t LastAccess = 0;
  int64_t Creation = 0;  // birth time where the file system keeps one, else the last write
  bool HasBirthTime = false;
};
bool GetFileTimes(const std::string& aPath, FileTimes& aTimes);
// The host cannot set a birth time; `aCreation` is accepted and ignored.
bool SetFileTimes(const std::string& aPath, std::optional<int64_t> aCreation,
                  std::optional<int64_t> aLastAccess, std::optional<int64_t> aLastWrite);

struct DirEntry {
  std::string Name;
  bool IsDir = false;
  int64_t Size = 0;
  int64_t LastWrite = 0;
};
bool ListDir(const std::string& aPath, std::vector<DirEntry>& aEntries);

// Host-path twins for a caller that maps its Windows paths once (MapPathsToHost) and then works
// on the host paths; they behave as the operations above and the same fault seam applies.
// CheckMapped: false for a path that could not be mapped (empty), with the reason set.
bool CheckMapped(const std::string& aHostPath, const std::string& aWinPath);
// The host path of a Windows path; empty, with the reason set, when it cannot be mapped.
std::string HostOf(const std::string& aWinPath);
bool HostFileExists(const std::string& aHostPath);
bool HostDirectoryExists(const std::string& aHostPath);
bool HostForceDirectories(const std::string& aHostPath);
bool HostDeleteFile(const std::string& aHostPath);
bool HostReplaceFile(const std::string& aFrom, const std::string& aTo);
bool HostPathExists(const std::string& aHostPath);
bool HostGetFileTimes(const std::string& aHostPath, FileTimes& aTimes);
bool HostSetFileTimes(const std::string& aHostPath, std::optional<int64_t> aCreation,
                      std::optional<int64_t> aLastAccess, std::optional<int64_t> aLastWrite);

// The volume and the file number that name a file whatever its path (hard links share them).
bool HostFileIdentity(const std::string& aHostPath, uint64_t& aVolume, uint64_t& aFile);

// Bytes the calling user may still write on the volume of aPath, or of its nearest existing
// folder when aPath does not exist yet (an install folder before its first run); -1 with the
// reason set when neither can be found.
int64_t FreeBytes(const std::string& aPath);
// Whether two paths (each through its nearest existing folder) lie on one volume, into
// aSame; false with the reason set when either cannot be told.
bool SameVolume(const std::string& aA, const std::string& aB, bool& aSame);

// A file installed as ".exe", or starting with "#!" or the ELF magic, gets execute bits.
void ApplyExecBits(const std::string& aHostPath);

// Host-path twins for the platform layer's own files (the settings store).
bool WriteHostFileAtomic(const std::string& aHostPath, std::string_view aData, bool aSync);
bool ReadHostFile(const std::string& aHostPath, std::string& aData);

// An open file, closed by the destructor. Other processes may read and write it meanwhile.
class File {
 public:
  enum class Mode {
    Read,         // existing file, read only
    ReadWrite,    // existing file
    OpenOrCreate, // read and write, created empty when missing
    Append,       // write only, created when missing, every write goes to the end
    Truncate,     // write only, created or emptied
  };
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const std::string& aPath, Mode aMode);
  bool OpenHost(const std::string& aHostPath, Mode aMode);
  bool IsOpen() const { return FFd >= 0; }
  // Bytes read, 0 at the end, -1 on error.
  int64_t Read(void* aBuf, size_t aSize);
  bool Write(const void* aBuf, size_t aSize);
  bool Write(std::string_view aData) { return Write(aData.data(), aData.size()); }
  bool Seek(int64_t aPos);
  bool SeekEnd();
  int64_t Size();
  bool Truncate(int64_t aSize);
  bool Sync();
  void Close();
  const std::string& HostPath() const { return FHostPath; }

 private:
  std::intptr_t FFd = -1;  // a descriptor, or a Windows handle
  std::string FHostPath;
};

}  // namespace ov::platform::fs
