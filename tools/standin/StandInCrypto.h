#pragma once

#include <string>

// The stand-in's own crypto, written against OpenSSL directly rather than the installer's
// helpers, so that the tests compare two independent implementations of each algorithm.
namespace ov::standin::crypto {

std::string Md5Hex(const std::string& aData);  // 32 lower-case digits
std::string Base64Encode(const std::string& aData);
// False for text that is not standard Base64.
bool Base64Decode(const std::string& aText, std::string& aData);
std::string HmacSha256Base64(const std::string& aKey, const std::string& aData);
// AES-256-CBC with PKCS #7 fill under a 32-byte key and a fresh random vector; both results in
// Base64. False when the key is not 32 bytes or OpenSSL fails.
bool AesCbcEncrypt(const std::string& aKey, const std::string& aPlain, std::string& aCipherB64,
                   std::string& aIvB64);
bool AesCbcDecrypt(const std::string& aKey, const std::string& aCipherB64,
                   const std::string& aIvB64, std::string& aPlain);
std::string RandomHex(size_t aBytes);

}  // namespace ov::standin::crypto
