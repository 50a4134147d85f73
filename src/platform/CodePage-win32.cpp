#include <cstdlib>
#include <mutex>
#include <string>

#include "common/OVTextUtil.h"
#include "platform/CodePage.h"
#include "platform/Win32Util.h"

// The system's ANSI code page (GetACP) and the conversions of the W/A boundary. Character set
// names are the ones the other host's iconv knows, so the core and its tests name them alike.
namespace ov::platform {

namespace {

std::mutex gCpLock;
std::string gOverride;

constexpr UINT kUtf16Le = 1200;
constexpr UINT kUtf16Be = 1201;

// 0 when the name is not known.
UINT CodePageOf(const std::string& aName) {
  const std::string u = str::UpperCase(aName);
  if (u.empty() || u == "UTF-8" || u == "UTF8" || u == "ASCII" || u == "US-ASCII" ||
      u == "ANSI_X3.4-1968") {
    return CP_UTF8;
  }
  if (u == "GB18030") return 54936;
  if (u == "GBK" || u == "GB2312" || u == "EUC-CN") return 936;
  if (u == "BIG5") return 950;
  if (u == "SHIFT_JIS" || u == "SJIS") return 932;
  if (u == "EUC-KR") return 949;
  if (u == "UTF-16LE") return kUtf16Le;
  if (u == "UTF-16BE") return kUtf16Be;
  for (const char* pre : {"ISO-8859-", "ISO8859-"}) {
    if (str::StartsText(pre, u)) {
      const int n = std::atoi(u.c_str() + std::char_traits<char>::length(pre));
      return n >= 1 && n <= 16 ? static_cast<UINT>(28590 + n) : 0;
    }
  }
  for (const char* pre : {"WINDOWS-", "CP"}) {
    if (str::StartsText(pre, u)) {
      const int n = std::atoi(u.c_str() + std::char_traits<char>::length(pre));
      return n > 0 && IsValidCodePage(static_cast<UINT>(n)) ? static_cast<UINT>(n) : 0;
    }
  }
  return 0;
}

// UTF-16 bytes to UTF-8; false on an odd length or a lone surrogate.
bool FromUtf16(std::string_view aBytes, bool aBigEndian, std::string& aOut) {
  if (aBytes.size() % 2 != 0) return false;
  std::wstring w;
  w.reserve(aBytes.size() / 2);
  for (size_t i = 0; i < aBytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(aBytes[i]);
    const auto b = static_cast<unsigned char>(aBytes[i + 1]);
    w.push_back(static_cast<wchar_t>(aBigEndian ? (a << 8) | b : (b << 8) | a));
  }
  for (size_t i = 0; i < w.size(); ++i) {
    if (w[i] >= 0xD800 && w[i] <= 0xDBFF) {
      if (i + 1 >= w.size() || w[i + 1] < 0xDC00 || w[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (w[i] >= 0xDC00 && w[i] <= 0xDFFF) {
      return false;
    }
  }
  aOut = win::Narrow(w);
  return true;
}

// aStrict: fail on an undecodable sequence instead of putting in the replacement character.
bool ToUtf8(std::string_view aText, UINT aCp, bool aStrict, std::string& aOut) {
  if (aText.empty()) {
    aOut.clear();
    return true;
  }
  const DWORD flags = aStrict ? MB_ERR_INVALID_CHARS : 0;
  const int n =
      MultiByteToWideChar(aCp, flags, aText.data(), static_cast<int>(aText.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(aCp, flags, aText.data(), static_cast<int>(aText.size()), w.data(), n);
  aOut = win::Narrow(w);
  return true;
}

}  // namespace

std::string AnsiCodeset() {
  {
    std::lock_guard<std::mutex> g(gCpLock);
    if (!gOverride.empty()) return gOverride;
  }
  const UINT cp = GetACP();
  return cp == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(cp);
}

void SetAnsiCodesetOverride(const std::string& aCodeset) {
  std::lock_guard<std::mutex> g(gCpLock);
  gOverride = aCodeset;
}

std::string Utf8ToAnsi(std::string_view aText) {
  const UINT cp = CodePageOf(AnsiCodeset());
  if (cp == CP_UTF8 || cp == 0 || aText.empty()) return std::string(aText);
  const std::wstring w = win::Widen(aText);
  // Code pages that hold every character refuse a default character.
  const bool whole = cp == 54936;
  BOOL used = FALSE;
  const int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    whole ? nullptr : "?", whole ? nullptr : &used);
  if (n <= 0) return std::string(aText);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), out.data(), n,
                      whole ? nullptr : "?", whole ? nullptr : &used);
  return out;
}

std::string AnsiToUtf8(std::string_view aText) {
  const UINT cp = CodePageOf(AnsiCodeset());
  if (cp == CP_UTF8 || cp == 0) return std::string(aText);
  std::string out;
  if (!ToUtf8(aText, cp, false, out)) return std::string(aText);
  return out;
}

bool ConvertToUtf8(std::string_view aText, const std::string& aFromCodeset, std::string& aOut) {
  const UINT cp = CodePageOf(aFromCodeset);
  if (cp == kUtf16Le || cp == kUtf16Be) return FromUtf16(aText, cp == kUtf16Be, aOut);
  if (cp == 0) return false;
  return ToUtf8(aText, cp, true, aOut);
}

}  // namespace ov::platform
