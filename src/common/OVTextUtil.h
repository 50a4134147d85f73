#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text helpers every layer needs, the platform layer included. Strings hold UTF-8;
// "without regard to case" folds ASCII letters only.
namespace ov::str {

char LowerChar(char c);
char UpperChar(char c);
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// Orders texts without regard to case; texts equal that way are ordered by their bytes.
int CompareText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);

// Splits at CR LF, CR or LF; a final line break does not start another line.
std::vector<std::string> SplitLines(std::string_view s);

// Windows-style path text (backslash separated).
std::string IncludeTrailingBackslash(std::string_view path);
std::string ExcludeTrailingBackslash(std::string_view path);
std::string ExtractFilePath(std::string_view path);  // up to and including the last separator
std::string ExtractFileDir(std::string_view path);   // as above, without the separator
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);  // with the dot, empty when none

}  // namespace ov::str
