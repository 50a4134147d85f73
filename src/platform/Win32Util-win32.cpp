#include <windows.h>

#include "platform/Win32Util.h"

namespace ov::platform::win {

std::wstring Widen(std::string_view aUtf8) {
  if (aUtf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, aUtf8.data(), static_cast<int>(aUtf8.size()), nullptr, 0);
  std::wstring r(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, aUtf8.data(), static_cast<int>(aUtf8.size()), r.data(), n);
  return r;
}

std::string Narrow(std::wstring_view aWide) {
  if (aWide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, aWide.data(), static_cast<int>(aWide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string r(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, aWide.data(), static_cast<int>(aWide.size()), r.data(), n,
                      nullptr, nullptr);
  return r;
}

std::wstring LongPath(const std::string& aPath) {
  std::wstring w = Widen(aPath);
  for (auto& c : w) {
    if (c == L'/') c = L'\\';
  }
  if (w.rfind(L"\\\\?\\", 0) == 0) return w;
  const DWORD need = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (need > 0) {
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(w.c_str(), need, full.data(), nullptr);
    if (got > 0 && got < need) {
      full.resize(got);
      w = std::move(full);
    }
  }
  if (w.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + w.substr(2);
  if (w.size() >= 2 && w[1] == L':') return L"\\\\?\\" + w;
  return w;
}

uint32_t LastErrorCode() { return GetLastError(); }

std::string ErrorText(uint32_t aCode, const wchar_t* aModule) {
  HMODULE module = aModule ? GetModuleHandleW(aModule) : nullptr;
  wchar_t* buf = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS |
                                     (module ? FORMAT_MESSAGE_FROM_HMODULE : 0),
                                 module, aCode, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::string text;
  if (n > 0 && buf) text = Narrow(std::wstring_view(buf, n));
  if (buf) LocalFree(buf);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(aCode);
  return text;
}

}  // namespace ov::platform::win
