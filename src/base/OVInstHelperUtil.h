#pragma once

#include <string>

// Desktop-side helpers of an installer. Only the drive choice exists so far.
class TInstHelper {
 public:
  TInstHelper() = delete;

  // `aDefPath` moved to the first existing drive (C to Z) when its own drive does not exist;
  // unchanged when it has no drive letter or no drive exists.
  static std::string GetAvailablePath(const std::string& aDefPath);
};
