#include "StandInCrypto.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <memory>
#include <vector>

namespace ov::standin::crypto {

namespace {

struct CipherCtx {
  EVP_CIPHER_CTX* P = EVP_CIPHER_CTX_new();
  ~CipherCtx() { EVP_CIPHER_CTX_free(P); }
};

std::string Hex(const unsigned char* aData, size_t aLen) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(aLen * 2);
  for (size_t i = 0; i < aLen; ++i) {
    out += digits[aData[i] >> 4];
    out += digits[aData[i] & 15];
  }
  return out;
}

}  // namespace

std::string Md5Hex(const std::string& aData) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(aData.data(), aData.size(), md, &len, EVP_md5(), nullptr);
  return Hex(md, len);
}

std::string Base64Encode(const std::string& aData) {
  std::string out(4 * ((aData.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(aData.data()),
                          static_cast<int>(aData.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

bool Base64Decode(const std::string& aText, std::string& aData) {
  if (aText.size() % 4 != 0) return false;
  for (char c : aText) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '/' || c == '=';
    if (!ok) return false;
  }
  std::string out(aText.size() / 4 * 3 + 1, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(aText.data()),
                          static_cast<int>(aText.size()));
  if (n < 0) return false;
  size_t len = static_cast<size_t>(n);
  // EVP_DecodeBlock counts the fill characters as zero bytes.
  for (size_t i = aText.size(); i > 0 && aText[i - 1] == '='; --i) --len;
  out.resize(len);
  aData = out;
  return true;
}

std::string HmacSha256Base64(const std::string& aKey, const std::string& aData) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  HMAC(EVP_sha256(), aKey.data(), static_cast<int>(aKey.size()),
       reinterpret_cast<const unsigned char*>(aData.data()), aData.size(), md, &len);
  return Base64Encode(std::string(reinterpret_cast<char*>(md), len));
}

bool AesCbcEncrypt(const std::string& aKey, const std::string& aPlain, std::string& aCipherB64,
                   std::string& aIvB64) {
  if (aKey.size() != 32) return false;
  unsigned char iv[16];
  if (RAND_bytes(iv, sizeof iv) != 1) return false;
  CipherCtx ctx;
  if (!ctx.P || EVP_EncryptInit_ex(ctx.P, EVP_aes_256_cbc(), nullptr,
                                   reinterpret_cast<const unsigned char*>(aKey.data()), iv) != 1) {
    return false;
  }
  std::vector<unsigned char> out(aPlain.size() + 32);
  int n1 = 0, n2 = 0;
  if (EVP_EncryptUpdate(ctx.P, out.data(), &n1,
                        reinterpret_cast<const unsigned char*>(aPlain.data()),
                        static_cast<int>(aPlain.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.P, out.data() + n1, &n2) != 1) {
    return false;
  }
  aCipherB64 = Base64Encode(std::string(reinterpret_cast<char*>(out.data()), n1 + n2));
  aIvB64 = Base64Encode(std::string(reinterpret_cast<char*>(iv), sizeof iv));
  return true;
}

bool AesCbcDecrypt(const std::string& aKey, const std::string& aCipherB64,
                   const std::string& aIvB64, std::string& aPlain) {
  std::string cipher, iv;
  if (aKey.size() != 32 || !Base64Decode(aCipherB64, cipher) || !Base64Decode(aIvB64, iv) ||
      iv.size() != 16) {
    return false;
  }
  CipherCtx ctx;
  if (!ctx.P || EVP_DecryptInit_ex(ctx.P, EVP_aes_256_cbc(), nullptr,
                                   reinterpret_cast<const unsigned char*>(aKey.data()),
                                   reinterpret_cast<const unsigned char*>(iv.data())) != 1) {
    return false;
  }
  std::vector<unsigned char> out(cipher.size() + 32);
  int n1 = 0, n2 = 0;
  if (EVP_DecryptUpdate(ctx.P, out.data(), &n1,
                        reinterpret_cast<const unsigned char*>(cipher.data()),
                        static_cast<int>(cipher.size())) != 1 ||
      EVP_DecryptFinal_ex(ctx.P, out.data() + n1, &n2) != 1) {
    return false;
  }
  aPlain.assign(reinterpret_cast<char*>(out.data()), n1 + n2);
  return true;
}

std::string RandomHex(size_t aBytes) {
  std::vector<unsigned char> b(aBytes);
  if (RAND_bytes(b.data(), static_cast<int>(b.size())) != 1) return std::string(aBytes * 2, '0');
  return Hex(b.data(), b.size());
}

}  // namespace ov::standin::crypto
