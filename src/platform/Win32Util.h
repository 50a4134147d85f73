#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// windows.h names the A/W pairs by macros that would rename the file layer's own functions;
// the twins call the W functions by their full names.
#undef CopyFile
#undef DeleteFile
#undef ReplaceFile
#undef MoveFile

// What every Windows twin of the host layer shares: the UTF-8/UTF-16 conversion at the system
// call and one way to turn a Windows error code into the layer's failure text. Only the
// -win32.cpp files include it.
namespace ov::platform::win {

std::wstring Widen(std::string_view aUtf8);
std::string Narrow(std::wstring_view aWide);

// UTF-16 form of a path for the W file functions: made absolute, and given the "\\?\" prefix
// (or "\\?\UNC\") so that paths past MAX_PATH work; "/" becomes "\".
std::wstring LongPath(const std::string& aPath);

// The calling thread's GetLastError() and the system's text for a code (without the trailing
// line break), in UTF-8. aModule names a loaded library whose own codes have their texts there
// and not in the system's table (L"winhttp.dll", L"wininet.dll": 12000-12999).
uint32_t LastErrorCode();
std::string ErrorText(uint32_t aCode, const wchar_t* aModule = nullptr);

}  // namespace ov::platform::win
