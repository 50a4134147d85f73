#include "base/JSONHelperUtil.h"

#include <cstdio>

#include "base/OVStrUtil.h"

namespace ov::json_detail {

namespace {
void AppendU(std::string& out, unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04X", v & 0xFFFF);
  out += buf;
}
}  // namespace

void AppendQuoted(std::string& aOut, std::string_view aText, bool aIsAnsi) {
  aOut += '"';
  for (char32_t cp : ov::str::DecodeUtf8(aText)) {
    switch (cp) {
      case '\b': aOut += "\\b"; continue;
      case '\t': aOut += "\\t"; continue;
      case '\n': aOut += "\\n"; continue;
      case '\f': aOut += "\\f"; continue;
      case '\r': aOut += "\\r"; continue;
      case '"': aOut += "\\\""; continue;
      case '\\': aOut += "\\\\"; continue;
      case '/': aOut += "\\/"; continue;
      default: break;
    }
    if (cp < 0x20 || cp >= 0x80) {
      if (aIsAnsi) {
        ov::str::AppendUtf8(aOut, cp);
      } else if (cp > 0xFFFF) {
        // JSON's \u escape holds one UTF-16 unit: a character beyond the BMP is a surrogate pair.
        char32_t v = cp - 0x10000;
        AppendU(aOut, 0xD800 + (v >> 10));
        AppendU(aOut, 0xDC00 + (v & 0x3FF));
      } else {
        AppendU(aOut, cp);
      }
      continue;
    }
    aOut += static_cast<char>(cp);
  }
  aOut += '"';
}

void MarshallingError() { throw ov::Error("Marshalling error"); }

nlohmann::json Parse(std::string_view aText) {
  const std::string text = ov::str::Trim(aText);
  if (text.empty()) return nullptr;
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    throw ov::Error(e.what());
  }
}

}  // namespace ov::json_detail

std::string TJSONHelper::FieldJsonName(std::string_view aFieldName) {
  std::string n(aFieldName);
  if (!n.empty() && (n[0] == 'F' || n[0] == 'f')) n.erase(0, 1);
  if (!n.empty()) n[0] = ov::str::LowerChar(n[0]);
  return n;
}

std::string TJSONHelper::QuoteStr(std::string_view aText, bool aIsAnsi) {
  std::string out;
  ov::json_detail::AppendQuoted(out, aText, aIsAnsi);
  return out;
}
