// What the stacks of both hosts share.
#include "net/HttpStack.h"

#include "base/OVStrUtil.h"

namespace ov::net {

std::string THttpResponse::Header(const std::string& aName) const {
  for (const auto& [k, v] : Headers) {
    if (ov::str::SameText(k, aName)) return v;
  }
  return {};
}

}  // namespace ov::net
