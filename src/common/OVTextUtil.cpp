#include "common/OVTextUtil.h"

namespace ov::str {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerChar(c);
  return r;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperChar(c);
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(LowerChar(a[i]));
    const auto y = static_cast<unsigned char>(LowerChar(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

bool EndsText(std::string_view suffix, std::string_view s) {
  return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

std::vector<std::string> SplitLines(std::string_view s) {
  std::vector<std::string> lines;
  size_t b = 0;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '\r' || s[i] == '\n') {
      lines.emplace_back(s.substr(b, i - b));
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      b = ++i;
    } else {
      ++i;
    }
  }
  if (b < s.size()) lines.emplace_back(s.substr(b));
  return lines;
}

namespace {
bool IsSep(char c) { return c == '\\' || c == '/'; }
size_t LastSep(std::string_view p) {
  for (size_t i = p.size(); i > 0; --i) {
    if (IsSep(p[i - 1]) || p[i - 1] == ':') return i - 1;
  }
  return std::string_view::npos;
}
}  // namespace

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (r.empty() || !IsSep(r.back())) r += '\\';
  return r;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (!r.empty() && IsSep(r.back())) r.pop_back();
  return r;
}

std::string ExtractFilePath(std::string_view path) {
  size_t i = LastSep(path);
  return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileDir(std::string_view path) {
  size_t i = LastSep(path);
  if (i == std::string_view::npos) return {};
  // Keep the separator of a drive root ("C:\") so the result still names the root.
  if (i > 0 && path[i - 1] == ':' && IsSep(path[i])) return std::string(path.substr(0, i + 1));
  if (path[i] == ':') return std::string(path.substr(0, i + 1));
  return std::string(path.substr(0, i));
}

std::string ExtractFileName(std::string_view path) {
  size_t i = LastSep(path);
  return i == std::string_view::npos ? std::string(path) : std::string(path.substr(i + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::string name = ExtractFileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace ov::str
