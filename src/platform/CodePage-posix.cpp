#include "platform/CodePage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <mutex>

#include "common/OVTextUtil.h"

namespace ov::platform {

namespace {

std::mutex gCpLock;
std::string gOverride;

bool IsUtf8(const std::string& cs) {
  std::string u = str::UpperCase(cs);
  return u == "UTF-8" || u == "UTF8" || u == "ANSI_X3.4-1968" || u == "ASCII" ||
         u == "US-ASCII" || u.empty();
}

// Converts with iconv; on an unconvertible input sequence appends `aBad` and skips one
// input character (`aSkipUtf8`: a UTF-8 code point, else one byte).
bool Convert(std::string_view in, const std::string& from, const std::string& to,
             const std::string& aBad, bool aSkipUtf8, std::string& out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buf[4096];
  bool ok = true;
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (errno == EILSEQ || errno == EINVAL) {
      if (aBad.empty()) {
        ok = false;
        break;
      }
      out += aBad;
      size_t skip = 1;
      if (aSkipUtf8) {
        auto b = static_cast<unsigned char>(*src);
        skip = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (skip > left) skip = left;
      }
      src += skip;
      left -= skip;
      continue;
    }
    ok = false;
    break;
  }
  if (ok) {
    char* dst = buf;
    size_t room = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

std::string AnsiCodeset() {
  {
    std::lock_guard<std::mutex> g(gCpLock);
    if (!gOverride.empty()) return gOverride;
  }
  const char* cs = nl_langinfo(CODESET);
  std::string s = cs ? cs : "";
  return IsUtf8(s) ? "UTF-8" : s;
}

void SetAnsiCodesetOverride(const std::string& aCodeset) {
  std::lock_guard<std::mutex> g(gCpLock);
  gOverride = aCodeset;
}

std::string Utf8ToAnsi(std::string_view aText) {
  std::string cs = AnsiCodeset();
  if (IsUtf8(cs)) return std::string(aText);
  std::string out;
  if (!Convert(aText, "UTF-8", cs, "?", true, out)) return std::string(aText);
  return out;
}

std::string AnsiToUtf8(std::string_view aText) {
  std::string cs = AnsiCodeset();
  if (IsUtf8(cs)) return std::string(aText);
  std::string out;
  if (!Convert(aText, cs, "UTF-8", "\xEF\xBF\xBD", false, out)) return std::string(aText);
  return out;
}

bool ConvertToUtf8(std::string_view aText, const std::string& aFromCodeset, std::string& aOut) {
  return Convert(aText, aFromCodeset, "UTF-8", "", false, aOut);
}

}  // namespace ov::platform
