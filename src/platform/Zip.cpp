#include "platform/Zip.h"

#include <zip.h>

#include <vector>

#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#ifdef _WIN32
#include "platform/Win32Util.h"
#endif

namespace ov::platform {

namespace {

struct Entry {
  zip_uint64_t Index = 0;
  std::string RelPath;  // backslash separated, relative to the folder
  bool IsDir = false;
  time_t MTime = 0;
};

// Splits an entry name into safe components; false when it would leave the folder.
bool SafeRelPath(const std::string& name, std::string& rel, bool& isDir) {
  if (name.empty()) return false;
  std::string n = name;
  for (char& c : n) {
    if (c == '\\') c = '/';
  }
  if (n[0] == '/') return false;                   // absolute
  if (n.size() >= 2 && n[1] == ':') return false;  // drive letter
  isDir = n.back() == '/';
  rel.clear();
  size_t b = 0;
  while (b <= n.size()) {
    size_t e = n.find('/', b);
    if (e == std::string::npos) e = n.size();
    std::string part = n.substr(b, e - b);
    b = e + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find(':') != std::string::npos) return false;
    if (!rel.empty()) rel += '\\';
    rel += part;
  }
  return !rel.empty() || isDir;
}

std::string ZipErrorText(zip_t* za) {
  const char* t = zip_strerror(za);
  return t ? t : "unknown zip error";
}

// Windows' char path functions take the ANSI code page; the archive is opened by its UTF-16
// name there, so Chinese folder names work.
zip_t* OpenArchive(const std::string& host, int& err) {
#ifdef _WIN32
  zip_error_t ze;
  zip_error_init(&ze);
  const std::wstring name = win::Widen(host);
  zip_t* za = nullptr;
  if (zip_source_t* src = zip_source_win32w_create(name.c_str(), 0, -1, &ze)) {
    za = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &ze);
    if (!za) zip_source_free(src);
  }
  if (!za) err = zip_error_code_zip(&ze);
  zip_error_fini(&ze);
  return za;
#else
  return zip_open(host.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
#endif
}

}  // namespace

bool ExtractZip(const std::string& aZipFile, const std::string& aDestDir, std::string& aError) {
  std::string host = MapToHost(aZipFile);
  if (host.empty() || !fs::FileExists(aZipFile)) {
    aError = "file not found: " + aZipFile;
    return false;
  }
  if (fs::ShouldFail(fs::Op::Open, host)) {
    aError = "access denied: " + aZipFile;
    return false;
  }
  int err = 0;
  zip_t* za = OpenArchive(host, err);
  if (!za) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, err);
    aError = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    return false;
  }
  std::vector<Entry> entries;
  zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !st.name) {
      aError = ZipErrorText(za);
      zip_discard(za);
      return false;
    }
    Entry e;
    e.Index = static_cast<zip_uint64_t>(i);
    if (!SafeRelPath(st.name, e.RelPath, e.IsDir)) {
      aError = std::string("entry outside the archive's folder: ") + st.name;
      zip_discard(za);
      return false;
    }
    e.MTime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;
    entries.push_back(std::move(e));
  }
  const std::string dest = str::IncludeTrailingBackslash(aDestDir);
  bool ok = true;
  std::vector<char> buf(1 << 16);
  for (const auto& e : entries) {
    std::string target = dest + e.RelPath;
    if (e.IsDir) {
      if (!fs::ForceDirectories(target)) {
        aError = fs::LastErrorText();
        ok = false;
        break;
      }
      continue;
    }
    if (!fs::ForceDirectories(str::ExtractFileDir(target))) {
      aError = fs::LastErrorText();
      ok = false;
      break;
    }
    zip_file_t* zf = zip_fopen_index(za, e.Index, 0);
    if (!zf) {
      aError = ZipErrorText(za);
      ok = false;
      break;
    }
    // Streamed into a temporary file beside the target, so large entries need little memory
    // and a failure never leaves a half-written file under the real name.
    const std::string tmp = target + ".ovunzip";
    fs::File out;
    if (!out.Open(tmp, fs::File::Mode::Truncate)) {
      aError = fs::LastErrorText();
      zip_fclose(zf);
      ok = false;
      break;
    }
    while (true) {
      zip_int64_t n = zip_fread(zf, buf.data(), buf.size());
      if (n < 0) {
        const char* t = zip_file_strerror(zf);
        aError = t ? t : "read error";
        ok = false;
        break;
      }
      if (n == 0) break;
      if (!out.Write(buf.data(), static_cast<size_t>(n))) {
        aError = fs::LastErrorText();
        ok = false;
        break;
      }
    }
    zip_fclose(zf);
    out.Close();
    if (ok && !fs::ReplaceFile(tmp, target)) {
      aError = fs::LastErrorText();
      ok = false;
    }
    if (!ok) {
      fs::DeleteFile(tmp);
      break;
    }
    fs::ApplyExecBits(MapToHost(target));
    if (e.MTime > 0) {
      int64_t ns = static_cast<int64_t>(e.MTime) * 1000000000LL;
      fs::SetFileTimes(target, std::nullopt, ns, ns);
    }
  }
  zip_discard(za);
  return ok;
}

}  // namespace ov::platform
