#pragma once

#include <stdexcept>
#include <string>

namespace ov {

// Stands for "an error is raised": carries the message text that callers log or show.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& aMessage) : std::runtime_error(aMessage) {}
};

}  // namespace ov
