#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/OVTextUtil.h"

// Text helpers shared by every unit above the platform layer (which has the case and path
// helpers of common/OVTextUtil.h). Strings hold UTF-8.
namespace ov::str {

// Position of the first occurrence of `needle` at or after `from`, npos when absent.
size_t FindText(std::string_view haystack, std::string_view needle, bool aIgnoreCase,
                size_t from = 0);

// Removes leading and trailing characters up to and including the blank (control characters).
std::string Trim(std::string_view s);
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// Unicode code points of a UTF-8 text; invalid bytes count as one each.
size_t CodePointCount(std::string_view s);
// The text from code point `start` (0-based) on, at most `count` code points.
std::string CodePointCopy(std::string_view s, size_t start, size_t count = std::string::npos);
// Decodes UTF-8 into code points; an invalid byte becomes U+FFFD.
std::vector<char32_t> DecodeUtf8(std::string_view s);
void AppendUtf8(std::string& out, char32_t cp);

// Delimited text as a string list reads it: items separated by the delimiter or by blanks and
// control characters, a double-quoted item may hold both (a doubled quote stands for one).
std::vector<std::string> SplitDelimited(std::string_view s, char aDelimiter, char aQuote = '"');
inline std::vector<std::string> SplitCommaText(std::string_view s) {
  return SplitDelimited(s, ',');
}
// The reverse: items quoted when they hold a delimiter, blank, control character or quote.
std::string JoinCommaText(const std::vector<std::string>& items);

bool TryStrToInt64(std::string_view s, int64_t& value);
bool TryStrToInt(std::string_view s, int32_t& value);

}  // namespace ov::str
