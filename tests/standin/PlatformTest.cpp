#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>

#include "Platform.h"
#include "base/Alglibrary.h"
#include "base/OVHMacUtil.h"
#include "base/OVLibUtil.h"
#include "common/TestCert.h"

namespace {

using nlohmann::json;

const char* const kKey = "Rk4wPz8NqLd2Vx7TbHs5Jm9CfYa3Ge6U";
const char* const kBearer = "Bearer test.token.value";

struct TSigned {
  std::string Stamp, Nonce, Signature;
};

// Signs the way the installer does, with the installer's own helpers.
TSigned SignNow(int64_t aOffsetMs = 0, std::string aNonce = "") {
  TSigned s;
  s.Stamp = std::to_string(TovLib::GetMillTimeStamp(ov::Now()) + aOffsetMs);
  s.Nonce = aNonce.empty() ? TovLib::GetRandom(10) : aNonce;
  s.Signature = TOvAlgLib::Base64Encode(THMacHelper::GetHMacSHA256(s.Stamp + "|" + s.Nonce, kKey));
  return s;
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovplat.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    FDir = tmpl;
    ASSERT_TRUE(MakeTestCertificate(FDir, FCert, FKeyFile));
    ov::standin::TCatalogue cat;
    cat.PutEnterprise(1001, "K7Q2", json::parse(R"({"business_apiurl":"https://biz/",
        "firstreception_apiurl":"https://pos/upd/","carouselpicurls":["https://img/1.png"]})"));
    FPlatform.SetCatalogue(cat);
    ov::standin::TPlatformConfig cfg;
    cfg.CertFile = FCert;
    cfg.KeyFile = FKeyFile;
    cfg.Key = kKey;
    cfg.Bearer = kBearer;
    ASSERT_TRUE(FPlatform.Start(cfg));
    ASSERT_EQ(FPlatform.BaseUrl(), "https://127.0.0.1:" + std::to_string(FPlatform.Port()) + "/");
  }
  void TearDown() override {
    FPlatform.Stop();
    std::filesystem::remove_all(FDir);
  }

  // Posts like the installer; returns the decrypted data, or the raw answer on failure.
  std::string Ask(const TSigned& aSig, const std::string& aCorp = "1001",
                  const std::string& aCode = "K7Q2", const std::string& aBearer = kBearer) {
    httplib::SSLClient c("127.0.0.1", FPlatform.Port());
    c.set_ca_cert_path(FCert.c_str());
    c.enable_server_certificate_verification(true);
    httplib::Headers h = {{"Authorization", aBearer},
                          {"X-Timestamp", aSig.Stamp},
                          {"X-Nonce", aSig.Nonce},
                          {"X-Signature", aSig.Signature},
                          {"Accept", "*/*"}};
    const std::string body =
        "{\"data\":\"{\\\"softid\\\":" + aCorp + ",\\\"install_code\\\":\\\"" + aCode + "\\\"}\"}";
    auto r = c.Post("/api/enterprise/getinstallconfig", h, body, "application/json");
    if (!r) return "no answer";
    EXPECT_EQ(r->status, 200);
    json a = json::parse(r->body, nullptr, false);
    if (!a.is_object() || !a["data"].is_string() || !a["iv"].is_string()) return r->body;
    FIvs.push_back(a["iv"]);
    std::string iv = TOvAlgLib::Base64Decode(a["iv"]);
    TAESIV vec{};
    std::copy_n(iv.begin(), std::min<size_t>(iv.size(), 16), vec.begin());
    return AESDecryptText(a["data"], kKey, kb256, amCBC, TAESInput::Base64, vec);
  }
  // The title and status of an error report, cut as the installer cuts them, and the check
  // that failed.
  static std::string Report(const std::string& aPlain) {
    json j = json::parse(aPlain, nullptr, false);
    if (!j.is_object() || !j.contains("traceId") || !j.contains("title")) return "not a report";
    size_t s = aPlain.find("\"status\":");
    return j["title"].get<std::string>() + "[" + aPlain.substr(s + 9, aPlain.find(',', s) - s - 9) +
           "] " + j.value("detail", "");
  }

  std::string FDir, FCert, FKeyFile;
  ov::standin::TPlatform FPlatform;
  std::vector<std::string> FIvs;
};

}  // namespace

TEST_F(PlatformTest, AnswersTheInstallParametersEncryptedUnderTheSharedKey) {
  json p = json::parse(Ask(SignNow()), nullptr, false);
  ASSERT_TRUE(p.is_object());
  EXPECT_EQ(p["resp_code"], 1);
  EXPECT_EQ(p["data"]["softid"], 1001);
  EXPECT_EQ(p["data"]["firstreception_apiurl"], "https://pos/upd/");
  EXPECT_EQ(p["data"]["carouselpicurls"][0], "https://img/1.png");
  json again = json::parse(Ask(SignNow()), nullptr, false);
  EXPECT_EQ(again["resp_code"], 1);
  ASSERT_EQ(FIvs.size(), 2u);
  EXPECT_NE(FIvs[0], FIvs[1]);  // a fresh vector per answer
  EXPECT_EQ(TOvAlgLib::Base64Decode(FIvs[0]).size(), 16u);
  auto log = FPlatform.RequestLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Outcome, "ok");
  EXPECT_EQ(log[0].Authorization, kBearer);
}

TEST_F(PlatformTest, UnknownEnterpriseOrCodeGetsCodeZero) {
  for (auto [corp, code] : {std::pair{"1001", "WRONG"}, std::pair{"9999", "K7Q2"}}) {
    json p = json::parse(Ask(SignNow(), corp, code), nullptr, false);
    EXPECT_EQ(p["resp_code"], 0) << corp;
    EXPECT_EQ(p["resp_msg"], "invalid code");
    EXPECT_FALSE(p.contains("data"));
  }
  // A code with a double quote makes the inner text invalid JSON; it is refused, not a crash.
  json p = json::parse(Ask(SignNow(), "1001", "a\\\"b"), nullptr, false);
  EXPECT_EQ(p["resp_code"], 0);
}

TEST_F(PlatformTest, RefusesBadCredentialsWithAnEncryptedReport) {
  EXPECT_EQ(Report(Ask(SignNow(), "1001", "K7Q2", "Bearer other")),
            "Unauthorized[401] Unknown credential");
  TSigned bad = SignNow();
  bad.Signature =
      TOvAlgLib::Base64Encode(THMacHelper::GetHMacSHA256(bad.Stamp + "|" + bad.Nonce, "other"));
  EXPECT_EQ(Report(Ask(bad)), "Unauthorized[401] Invalid signature");
  EXPECT_EQ(Report(Ask(SignNow(0, "short"))), "Unauthorized[401] Invalid nonce");
  EXPECT_EQ(Report(Ask(SignNow(0, "abc-def-gh"))), "Unauthorized[401] Invalid nonce");
  TSigned noStamp = SignNow();
  noStamp.Stamp = "12a";
  EXPECT_EQ(Report(Ask(noStamp)), "Unauthorized[401] Invalid timestamp");
}

TEST_F(PlatformTest, TimeStampMustBeWithinFiveMinutes) {
  EXPECT_EQ(Report(Ask(SignNow(-6 * 60 * 1000))), "Unauthorized[401] Request expired");
  EXPECT_EQ(Report(Ask(SignNow(+6 * 60 * 1000))), "Unauthorized[401] Request expired");
  EXPECT_EQ(json::parse(Ask(SignNow(-4 * 60 * 1000)))["resp_code"], 1);
}

TEST_F(PlatformTest, ReplayedNonceIsRefused) {
  TSigned s = SignNow();
  EXPECT_EQ(json::parse(Ask(s))["resp_code"], 1);
  EXPECT_EQ(Report(Ask(s)), "Unauthorized[401] Nonce replayed");
  EXPECT_EQ(json::parse(Ask(SignNow()))["resp_code"], 1);
}

TEST_F(PlatformTest, InstallerTimeStampAgreesInEveryTimeZone) {
  const char* old = getenv("TZ");
  const std::string saved = old ? old : "";
  for (const char* tz : {"UTC0", "CST-8", "EST5EDT", "NPT-5:45"}) {
    setenv("TZ", tz, 1);
    tzset();
    const int64_t mine = TovLib::GetMillTimeStamp(ov::Now());
    EXPECT_LT(std::llabs(ov::standin::TPlatform::InstallerTimeStamp() - mine), 2000) << tz;
    EXPECT_EQ(json::parse(Ask(SignNow()))["resp_code"], 1) << tz;
  }
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(PlatformTest, RawAnswerOverridesEverything) {
  FPlatform.SetRawAnswer(503, "{\"resp_code\":9,\"resp_msg\":\"busy\"}");
  httplib::SSLClient c("127.0.0.1", FPlatform.Port());
  c.set_ca_cert_path(FCert.c_str());
  auto r = c.Post("/api/enterprise/getinstallconfig", "{}", "application/json");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 503);
  EXPECT_EQ(r->body, "{\"resp_code\":9,\"resp_msg\":\"busy\"}");
}
