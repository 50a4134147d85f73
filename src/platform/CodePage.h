#pragma once

#include <string>
#include <string_view>

// "The system's ANSI code page" is the locale's character set.
namespace ov::platform {

// The character set used for ANSI text: the override if set, else nl_langinfo(CODESET).
// The plain C/POSIX locale (ASCII) counts as UTF-8: it names no preference, and ASCII would
// turn every Chinese character into "?".
std::string AnsiCodeset();
// Tests choose a character set ("GB18030"); empty restores the locale's.
void SetAnsiCodesetOverride(const std::string& aCodeset);

// UTF-8 to the ANSI code page; characters it cannot hold become "?", as in
// Windows' conversion.
std::string Utf8ToAnsi(std::string_view aText);
// ANSI code page to UTF-8; undecodable bytes become U+FFFD.
std::string AnsiToUtf8(std::string_view aText);
// Any iconv character set to UTF-8 (used for UTF-16 files); false when it cannot decode.
bool ConvertToUtf8(std::string_view aText, const std::string& aFromCodeset, std::string& aOut);

}  // namespace ov::platform
