#pragma once

#include <string>
#include <vector>

// The built-in English table.
class TOVLangENHelper {
 public:
  TOVLangENHelper() = delete;
  static std::string Code() { return "EN"; }
  static std::string Name() { return "English"; }
  // Empties aList, then appends the 135 built-in "key=text" lines.
  static bool Load(std::vector<std::string>& aList);
};
