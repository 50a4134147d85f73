#include "base/Alglibrary.h"

#include <gtest/gtest.h>

#include "common/OVError.h"
#include "base/OVHMacUtil.h"

namespace {
std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s += static_cast<char>(b);
  return s;
}
std::string Seq(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>(i);
  return s;
}
std::string Fips197Plain() {
  return TOvAlgLib::HexDecode("00112233445566778899aabbccddeeff");
}
std::string ExpectError(const std::function<void()>& f) {
  try {
    f();
  } catch (const ov::Error& e) {
    return e.what();
  }
  return "<no error>";
}
}  // namespace

TEST(Alglibrary, EncryptMatchesFips197WithTheLengthPrefix) {
  EXPECT_EQ(TOvAlgLib::GetAESEncrypt(Fips197Plain(), Seq(16)),
            "10000000" "69C4E0D86A7B0430D8CDB78070B4C55A");
}

TEST(Alglibrary, EncryptLayoutAndKeyRule) {
  EXPECT_EQ(TOvAlgLib::GetAESEncrypt("", "k"), "00000000");
  const std::string r16 = TOvAlgLib::GetAESEncrypt(std::string(16, 'a'), "pass");
  const std::string r17 = TOvAlgLib::GetAESEncrypt(std::string(17, 'a'), "pass");
  EXPECT_EQ(r16.size(), 8u + 32u);
  EXPECT_EQ(r17.size(), 8u + 64u);
  EXPECT_EQ(r17.substr(0, 8), "11000000");
  EXPECT_EQ(TOvAlgLib::GetAESEncrypt("12345", "p").substr(0, 8), "05000000");
  for (char c : r17) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << c;
  // No random part; equal plain blocks give equal cipher blocks.
  EXPECT_EQ(TOvAlgLib::GetAESEncrypt("same text", "pass"),
            TOvAlgLib::GetAESEncrypt("same text", "pass"));
  const std::string two = TOvAlgLib::GetAESEncrypt(std::string(32, 'z'), "pass");
  EXPECT_EQ(two.substr(8, 32), two.substr(40, 32));
  // A pass phrase is cut at 16 bytes; a shorter one is padded with zeros.
  EXPECT_EQ(TOvAlgLib::GetAESEncrypt("x", "0123456789abcdefWXYZ"),
            TOvAlgLib::GetAESEncrypt("x", "0123456789abcdef"));
  EXPECT_EQ(TOvAlgLib::GetAESEncrypt("0123456789abcdef", ""),
            "10000000" "14F5FE746966F292651C2288BBFF4609");
}

TEST(Alglibrary, EncryptRoundTrips) {
  for (const std::string& s :
       {std::string(), std::string("a"), std::string(15, 'q'), std::string(16, 'r'),
        std::string("中文设置\x00\x01", 14), std::string(1000, '\xff')}) {
    EXPECT_EQ(TOvAlgLib::GetAESDecrypt(TOvAlgLib::GetAESEncrypt(s, "secret"), "secret"), s);
  }
  EXPECT_NE(TOvAlgLib::GetAESDecrypt(TOvAlgLib::GetAESEncrypt("abc", "one"), "two"), "abc");
  EXPECT_THROW(TOvAlgLib::GetAESDecrypt("0500", "k"), ov::Error);
  EXPECT_THROW(TOvAlgLib::GetAESDecrypt("FF000000" + std::string(32, '0'), "k"), ov::Error);
}

TEST(Alglibrary, DecryptTextEcbAllKeySizes) {
  const std::string plain = Fips197Plain();
  // FIPS-197 C.1-C.3 ciphertexts decrypt to a block whose last byte (0xff) exceeds it.
  for (auto [size, key, cipher] :
       {std::tuple{kb128, Seq(16), "69c4e0d86a7b0430d8cdb78070b4c55a"},
        std::tuple{kb192, Seq(24), "dda97ca4864cdfe06eaf70a0ec0d7191"},
        std::tuple{kb256, Seq(32), "8ea2b7ca516745bfeafc49904b496089"}}) {
    EXPECT_NE(ExpectError([&] { AESDecryptText(cipher, key, size, amECB, TAESInput::Hex); })
                  .find("padding"),
              std::string::npos);
  }
  // Short key padded with zeros to 24 bytes; PKCS #7 padding removed.
  EXPECT_EQ(AESDecryptText("CC7BE92C0B532FDADF8C1B949FC2A82F", "short", kb192, amECB,
                           TAESInput::Hex),
            "ecb192 text");
  EXPECT_EQ(AESDecryptText("", "k", kb128, amECB, TAESInput::Hex), "");
}

TEST(Alglibrary, DecryptTextCbcWithAServerStyleVector) {
  TAESIV iv{};
  const std::string ivText = "server-iv-16byte";
  std::copy(ivText.begin(), ivText.end(), iv.begin());
  const std::string key = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(AESDecryptText("yHoQXIgcunG278GFGQwO/90LIS+ugi5UbrH3z6n8S24=", key, kb256, amCBC,
                           TAESInput::Base64, iv),
            "{\"resp_code\":1,\"data\":\"中文\"}");
  // Line breaks inside Base64 are ignored; a UTF-8 mark is skipped.
  EXPECT_EQ(AESDecryptText("RrB/Jp1IZERB\r\nN3VqunsGIA==", key, kb256, amCBC, TAESInput::Base64,
                           iv),
            "BOM text");
  // The wrong vector garbles the first block only, so the text differs.
  EXPECT_NE(AESDecryptText("yHoQXIgcunG278GFGQwO/90LIS+ugi5UbrH3z6n8S24=", key, kb256, amCBC,
                           TAESInput::Base64),
            "{\"resp_code\":1,\"data\":\"中文\"}");
}

TEST(Alglibrary, DecryptTextFailures) {
  EXPECT_EQ(ExpectError([] {
              AESDecryptText(TOvAlgLib::Base64Encode(std::string(20, 'x')), "k", kb256, amCBC,
                             TAESInput::Base64);
            }),
            "Invalid buffer size for decryption");
  EXPECT_EQ(ExpectError([] { AESDecryptText("0011", "k", kb128, amECB, TAESInput::Hex); }),
            "Invalid buffer size for decryption");
  EXPECT_THROW(AESDecryptText("zz", "k", kb128, amECB, TAESInput::Hex), ov::Error);
  EXPECT_THROW(AESDecryptText("not base64 !!!", "k", kb128, amECB, TAESInput::Base64), ov::Error);
}

TEST(Alglibrary, DecryptTextHonoursUtf16Marks) {
  // "\xff\xfe" + "AB" in UTF-16 LE, encrypted with AES-128 ECB and PKCS #7 padding.
  EXPECT_EQ(AESDecryptText("8e7628917bd5732b97326a4a841bfa56", "key16bytes123456", kb128, amECB,
                           TAESInput::Hex),
            "AB");
}

TEST(Alglibrary, Base64MatchesRfc4648) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (auto [plain, coded] : cases) {
    EXPECT_EQ(TOvAlgLib::Base64Encode(plain), coded);
    EXPECT_EQ(TOvAlgLib::Base64Decode(coded), plain);
  }
  EXPECT_EQ(TOvAlgLib::Base64Decode("Zm9v\nYmFy\r\n"), "foobar");
  EXPECT_EQ(TOvAlgLib::Base64Decode(TOvAlgLib::Base64Encode(Seq(256))), Seq(256));
  EXPECT_THROW(TOvAlgLib::Base64Decode("Zm9v*"), ov::Error);
}

TEST(OVHMac, MatchesRfc4231) {
  EXPECT_EQ(THMacHelper::GetHMacSHA256Hex("Hi There", std::string(20, '\x0b')),
            "B0344C61D8DB38535CA8AFCEAF0BF12B881DC200C9833DA726E9376C2E32CFF7");
  EXPECT_EQ(THMacHelper::GetHMacSHA256Hex("what do ya want for nothing?", "Jefe"),
            "5BDCC146BF60754E6A042426089575C75A003F089D2739839DEC58B964EC3843");
  EXPECT_EQ(THMacHelper::GetHMacSHA256Hex(std::string(50, '\xdd'), std::string(20, '\xaa')),
            "773EA91E36800E46854DB8EBD09181A72959098B3EF8C122D9635514CED565FE");
  // A key longer than the 64-byte block is hashed first.
  EXPECT_EQ(THMacHelper::GetHMacSHA256Hex("Test Using Larger Than Block-Size Key - Hash Key First",
                                          std::string(131, '\xaa')),
            "60E431591EE0B67F0D8A26AACBF5B77F8E0BC6213728C5140546040F0EE37F54");
  EXPECT_EQ(THMacHelper::GetHMacSHA256("data", "").size(), 32u);
  EXPECT_EQ(Bytes({0x41}), "A");
}
