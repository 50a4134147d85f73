#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The stand-in's names are UTF-8. std::filesystem reads a narrow string in the ANSI code page
// on Windows, so paths go through char8_t both ways.
namespace ov::standin {

inline std::filesystem::path U8Path(std::string_view aUtf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(aUtf8.data()), aUtf8.size()));
}

inline std::string U8(const std::filesystem::path& aPath) {
  const std::u8string s = aPath.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace ov::standin
