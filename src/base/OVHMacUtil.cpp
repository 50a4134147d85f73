#include "base/OVHMacUtil.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <memory>

#include "base/Alglibrary.h"
#include "common/OVError.h"

std::string THMacHelper::GetHMacSHA256(const std::string& aData, const std::string& aKey) {
  std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr),
                                                        EVP_MAC_free);
  if (!mac) throw ov::Error("HMAC is not available");
  std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> ctx(EVP_MAC_CTX_new(mac.get()),
                                                                EVP_MAC_CTX_free);
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                         OSSL_PARAM_construct_end()};
  // OpenSSL refuses a null key pointer even for an empty key.
  static const unsigned char kEmpty[1] = {0};
  const auto* key = aKey.empty() ? kEmpty : reinterpret_cast<const unsigned char*>(aKey.data());
  unsigned char out[EVP_MAX_MD_SIZE];
  size_t n = 0;
  if (!ctx || EVP_MAC_init(ctx.get(), key, aKey.size(), params) != 1 ||
      EVP_MAC_update(ctx.get(), reinterpret_cast<const unsigned char*>(aData.data()),
                     aData.size()) != 1 ||
      EVP_MAC_final(ctx.get(), out, &n, sizeof out) != 1) {
    throw ov::Error("HMAC failed");
  }
  return std::string(reinterpret_cast<char*>(out), n);
}

std::string THMacHelper::GetHMacSHA256Hex(const std::string& aData, const std::string& aKey) {
  return TOvAlgLib::HexEncode(GetHMacSHA256(aData, aKey));
}
