#pragma once

#include <string>
#include <vector>

// The built-in Chinese table is empty: Chinese texts come from the callers' defaults.
class TOVLangCNHelper {
 public:
  TOVLangCNHelper() = delete;
  static std::string Code() { return "CN"; }
  static std::string Name() { return "中文"; }
  static bool Load(std::vector<std::string>& aList) {
    aList.clear();
    return true;
  }
};
