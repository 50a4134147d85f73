#pragma once

#include <string>

// HMAC over SHA-256 (RFC 2104) on OpenSSL. Byte arrays are held in std::string.
class THMacHelper {
 public:
  THMacHelper() = delete;

  // The 32 raw bytes of the MAC of `aData` under `aKey`.
  static std::string GetHMacSHA256(const std::string& aData, const std::string& aKey);
  static std::string GetHMacSHA256Hex(const std::string& aData, const std::string& aKey);
};
