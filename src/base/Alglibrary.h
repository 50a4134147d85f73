#pragma once

#include <array>
#include <cstdint>
#include <string>

// AES helpers on OpenSSL. Texts are 8-bit strings: the caller converts a setting to the ANSI
// code page before encrypting it.
class TOvAlgLib {
 public:
  TOvAlgLib() = delete;

  // AES-128 ECB under the pass phrase cut or zero-padded to 16 bytes: the input length as a
  // 32-bit little-endian prefix, then the blocks (the last one zero-filled), in upper-case hex.
  static std::string GetAESEncrypt(const std::string& sSour, const std::string& sPass);
  // The inverse of GetAESEncrypt; throws ov::Error for text it cannot have produced.
  static std::string GetAESDecrypt(const std::string& sHex, const std::string& sPass);

  static std::string Base64Encode(const std::string& aBytes);
  // Standard alphabet with padding; line breaks and blanks are ignored. Throws ov::Error for
  // text that is no Base64.
  static std::string Base64Decode(const std::string& aText);
  static std::string HexEncode(const std::string& aBytes);  // upper case
  // Pairs of hex digits of either case; a trailing odd digit is ignored. Throws ov::Error on
  // a character that is no hex digit.
  static std::string HexDecode(const std::string& aText);
};

enum TAESKeySize { kb128 = 0, kb192 = 1, kb256 = 2 };
enum TAESMode { amECB = 0, amCBC = 1 };
enum class TAESInput { Hex, Base64 };
using TAESIV = std::array<uint8_t, 16>;

// Decrypts server data: key zero-padded or cut to the key size, PKCS #7 padding removed
// (its bytes are not checked), a UTF-8 or UTF-16 byte-order mark selects the text's encoding,
// otherwise UTF-8. The CBC vector is an argument so that concurrent callers stay apart.
// Throws ov::Error "Invalid buffer size for decryption" when the decoded length is not a
// multiple of 16, and ov::Error when the padding value exceeds the data.
std::string AESDecryptText(const std::string& aSource, const std::string& aKey,
                           TAESKeySize aKeySize, TAESMode aMode, TAESInput aInput,
                           const TAESIV& aIV = TAESIV{});
