#include "base/OVStrUtil.h"

#include <charconv>

namespace ov::str {

size_t FindText(std::string_view haystack, std::string_view needle, bool aIgnoreCase,
                size_t from) {
  if (!aIgnoreCase) return haystack.find(needle, from);
  if (needle.size() > haystack.size()) return std::string::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    if (SameText(haystack.substr(i, needle.size()), needle)) return i;
  }
  return std::string::npos;
}

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string r;
  size_t pos = 0;
  while (true) {
    size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    r.append(s.substr(pos, hit - pos));
    r.append(to);
    pos = hit + from.size();
  }
  r.append(s.substr(pos));
  return r;
}

namespace {

// Length of the UTF-8 sequence starting at s[i], 1 for an invalid lead or truncated sequence.
size_t SeqLen(std::string_view s, size_t i, char32_t* cp) {
  auto b = static_cast<unsigned char>(s[i]);
  size_t n = 0;
  char32_t v = 0;
  if (b < 0x80) {
    if (cp) *cp = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    n = 2;
    v = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3;
    v = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4;
    v = b & 0x07;
  } else {
    if (cp) *cp = 0xFFFD;
    return 1;
  }
  if (i + n > s.size()) {
    if (cp) *cp = 0xFFFD;
    return 1;
  }
  for (size_t k = 1; k < n; ++k) {
    auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) {
      if (cp) *cp = 0xFFFD;
      return 1;
    }
    v = (v << 6) | (c & 0x3F);
  }
  if (cp) *cp = v;
  return n;
}

}  // namespace

size_t CodePointCount(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += SeqLen(s, i, nullptr)) ++n;
  return n;
}

std::string CodePointCopy(std::string_view s, size_t start, size_t count) {
  size_t i = 0;
  size_t cp = 0;
  while (i < s.size() && cp < start) {
    i += SeqLen(s, i, nullptr);
    ++cp;
  }
  size_t b = i;
  size_t taken = 0;
  while (i < s.size() && taken < count) {
    i += SeqLen(s, i, nullptr);
    ++taken;
  }
  return std::string(s.substr(b, i - b));
}

std::vector<char32_t> DecodeUtf8(std::string_view s) {
  std::vector<char32_t> r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    i += SeqLen(s, i, &cp);
    r.push_back(cp);
  }
  return r;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {
bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; }
}  // namespace

std::vector<std::string> SplitDelimited(std::string_view s, char aDelimiter, char aQuote) {
  std::vector<std::string> items;
  size_t p = 0;
  const size_t n = s.size();
  while (p < n && IsBlank(s[p])) ++p;
  while (p < n) {
    std::string item;
    if (s[p] == aQuote) {
      ++p;
      while (p < n) {
        if (s[p] == aQuote) {
          if (p + 1 < n && s[p + 1] == aQuote) {
            item += aQuote;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += s[p++];
      }
    } else {
      size_t b = p;
      while (p < n && static_cast<unsigned char>(s[p]) > ' ' && s[p] != aDelimiter) ++p;
      item.assign(s.substr(b, p - b));
    }
    items.push_back(std::move(item));
    while (p < n && IsBlank(s[p])) ++p;
    if (p < n && s[p] == aDelimiter) {
      if (p + 1 == n) items.emplace_back();
      do {
        ++p;
      } while (p < n && IsBlank(s[p]));
    }
  }
  return items;
}

std::string JoinCommaText(const std::vector<std::string>& items) {
  std::string r;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) r += ',';
    const std::string& it = items[i];
    bool quote = it.empty() && items.size() == 1;
    for (char c : it) {
      if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
    }
    if (quote) {
      r += '"';
      r += ReplaceAll(it, "\"", "\"\"");
      r += '"';
    } else {
      r += it;
    }
  }
  return r;
}

bool TryStrToInt64(std::string_view s, int64_t& value) {
  std::string t = Trim(s);
  std::string_view v = t;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty()) return false;
  int64_t out = 0;
  auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
  if (ec != std::errc() || ptr != v.data() + v.size()) return false;
  value = out;
  return true;
}

bool TryStrToInt(std::string_view s, int32_t& value) {
  int64_t v = 0;
  if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace ov::str
