#include "base/Alglibrary.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/OVError.h"
#include "base/OVStrUtil.h"
#include "platform/CodePage.h"

namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

const EVP_CIPHER* Cipher(TAESKeySize aSize, TAESMode aMode) {
  if (aMode == amCBC) {
    return aSize == kb128 ? EVP_aes_128_cbc() : aSize == kb192 ? EVP_aes_192_cbc()
                                                               : EVP_aes_256_cbc();
  }
  return aSize == kb128 ? EVP_aes_128_ecb() : aSize == kb192 ? EVP_aes_192_ecb()
                                                             : EVP_aes_256_ecb();
}

size_t KeyBytes(TAESKeySize aSize) { return aSize == kb128 ? 16 : aSize == kb192 ? 24 : 32; }

// Runs the cipher over whole blocks without padding of its own.
std::string Run(const EVP_CIPHER* aCipher, const std::string& aKey, const uint8_t* aIV,
                const std::string& aData, bool aEncrypt) {
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex(ctx.get(), aCipher, nullptr,
                                reinterpret_cast<const unsigned char*>(aKey.data()), aIV,
                                aEncrypt ? 1 : 0) != 1) {
    throw ov::Error("AES is not available");
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  std::string out(aData.size() + 16, '\0');
  int n1 = 0, n2 = 0;
  if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n1,
                       reinterpret_cast<const unsigned char*>(aData.data()),
                       static_cast<int>(aData.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + n1, &n2) !=
          1) {
    throw ov::Error("AES failed");
  }
  out.resize(static_cast<size_t>(n1 + n2));
  return out;
}

std::string KeyOf(const std::string& aKey, size_t aSize) {
  std::string key(aSize, '\0');
  key.replace(0, std::min(aKey.size(), aSize), aKey.substr(0, aSize));
  return key;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string BytesToText(const std::string& aBytes) {
  auto starts = [&](const char* bom, size_t n) { return aBytes.compare(0, n, bom, n) == 0; };
  std::string text;
  if (aBytes.size() >= 3 && starts("\xEF\xBB\xBF", 3)) {
    text = aBytes.substr(3);
  } else if (aBytes.size() >= 2 && (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))) {
    const char* cs = aBytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
    if (!ov::platform::ConvertToUtf8(aBytes.substr(2), cs, text)) {
      throw ov::Error("Invalid UTF-16 text");
    }
    return text;
  } else {
    text = aBytes;
  }
  // Invalid UTF-8 becomes U+FFFD, so later parsers always get well-formed text.
  std::string clean;
  for (char32_t cp : ov::str::DecodeUtf8(text)) ov::str::AppendUtf8(clean, cp);
  return clean;
}

}  // namespace

std::string TOvAlgLib::HexEncode(const std::string& aBytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string r;
  r.reserve(aBytes.size() * 2);
  for (unsigned char b : aBytes) {
    r += digits[b >> 4];
    r += digits[b & 15];
  }
  return r;
}

std::string TOvAlgLib::HexDecode(const std::string& aText) {
  std::string r;
  r.reserve(aText.size() / 2);
  for (size_t i = 0; i + 1 < aText.size(); i += 2) {
    int hi = HexValue(aText[i]);
    int lo = HexValue(aText[i + 1]);
    if (hi < 0 || lo < 0) throw ov::Error("Invalid hexadecimal text");
    r += static_cast<char>(hi * 16 + lo);
  }
  return r;
}

std::string TOvAlgLib::Base64Encode(const std::string& aBytes) {
  std::string out(4 * ((aBytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(aBytes.data()),
                          static_cast<int>(aBytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string TOvAlgLib::Base64Decode(const std::string& aText) {
  std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)> ctx(EVP_ENCODE_CTX_new(),
                                                                      EVP_ENCODE_CTX_free);
  if (!ctx) throw ov::Error("Base64 is not available");
  // The decoder skips line breaks itself; other blanks are taken out first.
  std::string in;
  in.reserve(aText.size());
  for (char c : aText) {
    if (c != ' ' && c != '\t') in += c;
  }
  std::string out(in.size() / 4 * 3 + 3, '\0');
  int n1 = 0, n2 = 0;
  EVP_DecodeInit(ctx.get());
  if (EVP_DecodeUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n1,
                       reinterpret_cast<const unsigned char*>(in.data()),
                       static_cast<int>(in.size())) < 0 ||
      EVP_DecodeFinal(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + n1, &n2) != 1) {
    throw ov::Error("Invalid Base64 text");
  }
  out.resize(static_cast<size_t>(n1 + n2));
  return out;
}

std::string TOvAlgLib::GetAESEncrypt(const std::string& sSour, const std::string& sPass) {
  const std::string key = KeyOf(sPass, 16);
  const auto n = static_cast<uint32_t>(sSour.size());
  std::string buf;
  for (int i = 0; i < 4; ++i) buf += static_cast<char>((n >> (8 * i)) & 0xFF);
  std::string data = sSour;
  if (data.size() % 16) data.append(16 - data.size() % 16, '\0');
  buf += Run(EVP_aes_128_ecb(), key, nullptr, data, true);
  return HexEncode(buf);
}

std::string TOvAlgLib::GetAESDecrypt(const std::string& sHex, const std::string& sPass) {
  const std::string buf = HexDecode(sHex);
  if (buf.size() < 4 || (buf.size() - 4) % 16 != 0) {
    throw ov::Error("Invalid buffer size for decryption");
  }
  uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<unsigned char>(buf[i])) << (8 * i);
  std::string plain = Run(EVP_aes_128_ecb(), KeyOf(sPass, 16), nullptr, buf.substr(4), false);
  if (n > plain.size()) throw ov::Error("Invalid length for decryption");
  plain.resize(n);
  return plain;
}

std::string AESDecryptText(const std::string& aSource, const std::string& aKey,
                           TAESKeySize aKeySize, TAESMode aMode, TAESInput aInput,
                           const TAESIV& aIV) {
  const std::string data =
      aInput == TAESInput::Hex ? TOvAlgLib::HexDecode(aSource) : TOvAlgLib::Base64Decode(aSource);
  if (data.size() % 16 != 0) throw ov::Error("Invalid buffer size for decryption");
  if (data.empty()) return {};
  std::string plain = Run(Cipher(aKeySize, aMode), KeyOf(aKey, KeyBytes(aKeySize)),
                          aMode == amCBC ? aIV.data() : nullptr, data, false);
  const auto pad = static_cast<size_t>(static_cast<unsigned char>(plain.back()));
  if (pad > plain.size()) throw ov::Error("Invalid padding size for decryption");
  plain.resize(plain.size() - pad);
  return BytesToText(plain);
}
