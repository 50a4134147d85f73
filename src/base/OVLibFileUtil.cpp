// File operations of TovLib: hashes, sizes, file times, zip extraction and text files.
#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Zip.h"

namespace fs = ov::platform::fs;

namespace {

std::string Hex(const unsigned char* d, unsigned int n) {
  static const char* digits = "0123456789abcdef";
  std::string r;
  r.reserve(n * 2);
  for (unsigned int i = 0; i < n; ++i) {
    r += digits[d[i] >> 4];
    r += digits[d[i] & 15];
  }
  return r;
}

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

MdCtx NewMd5() {
  MdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
    throw ov::Error("MD5 is not available");
  }
  return ctx;
}

std::string Finish(EVP_MD_CTX* ctx) {
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_DigestFinal_ex(ctx, d, &n) != 1) throw ov::Error("MD5 failed");
  return Hex(d, n);
}

// The FAT pair keeps two-second steps between 1980 and 2107; false outside that range.
bool ToFatDateTime(ov::TDateTime aDate, ov::TDateTime& aResult) {
  ov::TDateParts p = ov::DecodeDateTime(aDate);
  if (p.Year < 1980 || p.Year > 2107) return false;
  return ov::TryEncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second / 2 * 2, 0,
                               aResult);
}

std::string ReplaceModuleDot(const std::string& aName) {
  // Every ".\" stands for the program's folder; the ".\" inside a "..\" is not one.
  const std::string dir = TovLib::GetModulePath();
  std::string r;
  for (size_t i = 0; i < aName.size(); ++i) {
    if (aName[i] == '.' && i + 1 < aName.size() && aName[i + 1] == '\\' &&
        (i == 0 || aName[i - 1] != '.')) {
      r += dir;
      ++i;
    } else {
      r += aName[i];
    }
  }
  return r;
}

// The host path of a file for the several steps of one operation on it; empty (with the
// reason set) when it cannot be mapped, which every host step then refuses.
std::string MapFile(const std::string& aPath) {
  std::string host = ov::platform::MapToHost(aPath);
  fs::CheckMapped(host, aPath);
  return host;
}

// The names of a drive path after its drive (C:\a/b\ gives a and b); false when the path has
// no drive, or a name is only dots ("." or "..") or holds a ":", as no plain Windows name does.
bool PlainNames(const std::string& aPath, char& aDrive, std::vector<std::string>& aNames) {
  if (aPath.size() < 3 || !ov::platform::IsDrivePath(aPath)) return false;
  aDrive = ov::str::LowerChar(aPath[0]);
  aNames.clear();
  std::string cur;
  auto flush = [&] {
    if (cur.empty()) return true;
    if (cur.find_first_not_of('.') == std::string::npos || cur.find(':') != std::string::npos) {
      return false;
    }
    aNames.push_back(cur);
    cur.clear();
    return true;
  };
  for (size_t i = 3; i < aPath.size(); ++i) {
    const char c = aPath[i];
    if (c == '\\' || c == '/') {
      if (!flush()) return false;
    } else {
      cur += c;
    }
  }
  return flush();
}

}  // namespace

bool TovLib::IsPathInside(const std::string& aPath, const std::string& aFolder) {
  char drive = 0;
  std::vector<std::string> names;
  if (!PlainNames(aPath, drive, names) || names.empty()) return false;
  if (aFolder.empty()) return true;
  char folderDrive = 0;
  std::vector<std::string> folder;
  if (!PlainNames(aFolder, folderDrive, folder) || folderDrive != drive ||
      names.size() <= folder.size()) {
    return false;
  }
  for (size_t i = 0; i < folder.size(); ++i) {
    if (!ov::str::SameText(names[i], folder[i])) return false;
  }
  return true;
}

std::string TovLib::GetMd5(const std::string& aSrc) {
  MdCtx ctx = NewMd5();
  EVP_DigestUpdate(ctx.get(), aSrc.data(), aSrc.size());
  return Finish(ctx.get());
}

std::string TovLib::GetFileMD5(const std::string& sFile) {
  const std::string host = MapFile(sFile);
  if (!fs::HostFileExists(host)) return {};
  fs::File f;
  if (!f.OpenHost(host, fs::File::Mode::Read)) throw ov::Error(fs::LastErrorText());
  MdCtx ctx = NewMd5();
  // Fixed-size blocks keep the memory bounded whatever the file's size. The block is left
  // uninitialised: zeroing it cost more than hashing a small file.
  static constexpr size_t kBlock = 256 * 1024;
  const auto buf = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  while (true) {
    int64_t n = f.Read(buf.get(), kBlock);
    if (n < 0) throw ov::Error(fs::LastErrorText());
    if (n == 0) break;
    EVP_DigestUpdate(ctx.get(), buf.get(), static_cast<size_t>(n));
  }
  return Finish(ctx.get());
}

int64_t TovLib::GetFileSize(const std::string& FileName) {
  int64_t n = fs::FileSize(FileName);
  return n < 0 ? 0 : n;
}

std::string TovLib::GetFileTime(const std::string& FileName, TFileDateType FileDateType) {
  const std::string path = ReplaceModuleDot(FileName);
  const std::string host = MapFile(path);
  if (!fs::HostPathExists(host)) {
    Log("获取文件时间，文件不存在：" + path, false);
    return {};
  }
  std::string result;
  fs::File f;
  if (!f.OpenHost(host, fs::File::Mode::Read) && !fs::HostDirectoryExists(host)) {
    Log("获取文件时间打开文件失败：INVALID_HANDLE_VALUE >" + path, true);
    return {};
  }
  try {
    fs::FileTimes t;
    if (!fs::HostGetFileTimes(host, t)) throw ov::Error(fs::LastErrorText());
    int64_t ns = FileDateType == ftCreationTime     ? t.Creation
                 : FileDateType == ftLastAccessTime ? t.LastAccess
                                                    : t.LastWrite;
    int64_t ms = ns >= 0 ? ns / 1000000 : -((-ns + 999999) / 1000000);
    ov::TDateTime local = ov::UnixMsToLocal(ms);
    ov::TDateTime fat = 0;
    if (!ToFatDateTime(local, fat)) throw ov::Error("Invalid file date");
    result = ov::DateTimeToStr(fat);
  } catch (const std::exception& e) {
    Log(std::string("获取文件时间出错：") + e.what() + " >" + path, true);
  }
  return result;
}

bool TovLib::SetFileDateTime(const std::string& sFile, ov::TDateTime CrDatetime,
                             ov::TDateTime MdDatetime) {
  try {
    ov::TDateTime cr = 0, md = 0;
    bool crOk = ToFatDateTime(CrDatetime, cr);
    bool mdOk = ToFatDateTime(MdDatetime, md);
    const std::string host = MapFile(sFile);
    fs::File f;
    if (host.empty() || !f.OpenHost(host, fs::File::Mode::ReadWrite)) {
      throw ov::Error(fs::LastErrorText());
    }
    int64_t crMs = 0, mdMs = 0;
    if (!crOk || !mdOk || !ov::LocalToUnixMs(cr, crMs) || !ov::LocalToUnixMs(md, mdMs)) {
      Log("[设置文件时间]时间转换失败", true);
      return false;
    }
    f.Close();
    const int64_t mdNs = mdMs * 1000000;
    bool ok = fs::HostSetFileTimes(host, crMs * 1000000, mdNs, mdNs);
    Log(std::string("[设置文件时间]SetFileTime") + (ok ? "成功" : "失败") + "：" + sFile, !ok);
    return ok;
  } catch (const std::exception& e) {
    Log(std::string("[设置文件时间]出错：") + e.what() + " >" + sFile, true);
    return false;
  }
}

bool TovLib::UnZipFile(const std::string& aZipFile) {
  if (!fs::FileExists(aZipFile)) return false;
  std::string err;
  if (!ov::platform::ExtractZip(aZipFile, ov::str::ExtractFilePath(aZipFile), err)) {
    Log("解压文件[" + aZipFile + "]出错：" + err, false);
    return false;
  }
  return true;
}

bool TovLib::SaveTxt(const std::string& aText, const std::string& aFile) {
  try {
    const std::string dir = ov::str::ExtractFileDir(aFile);
    if (!dir.empty() && !fs::DirectoryExists(dir) && !fs::ForceDirectories(dir)) return false;
    std::string out;
    for (const auto& line : ov::str::SplitLines(aText)) {
      out += line;
      out += "\r\n";
    }
    return fs::WriteFileAtomic(aFile, ov::platform::Utf8ToAnsi(out));
  } catch (...) {
    return false;
  }
}
