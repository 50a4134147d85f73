#include <gtest/gtest.h>

#include "base/OVDateUtil.h"
#include "common/ServiceTest.h"
#include "install/SoftCorvelaHelperUtil.h"

using nlohmann::json;

namespace {

class SoftCorvelaTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    PutEnterprise(json::parse(R"({"business_apiurl":"https://biz/","vip_apiurl":"https://vip/",
        "business_weburl":"https://web/","reception_apiurl":"https://rec/",
        "firstreception_apiurl":"https://pos/upd/","receptiondownloadurl":"https://dl/",
        "webbackenddownloadurl":"https://webupd/","carouselpicurls":["https://img/1.png",
        "https://img/2.jpg"]})"));
  }
  void PutEnterprise(const json& aData, const std::string& aCode = "K7Q2") {
    FCatalogue.PutEnterprise(1001, aCode, aData);
    FPlatform.SetCatalogue(FCatalogue);
  }
  ov::standin::TCatalogue FCatalogue;
};

}  // namespace

TEST_F(SoftCorvelaTest, FillsTheParametersFromTheEncryptedAnswer) {
  TSoftCorvelaHelper c;
  std::string result;
  ASSERT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), 1) << result;
  EXPECT_EQ(c.Param().softid, 1001);
  EXPECT_EQ(c.Param().firstreception_apiurl, "https://pos/upd/");
  EXPECT_EQ(c.Param().webbackenddownloadurl, "https://webupd/");
  EXPECT_EQ(c.Param().receptiondownloadurl, "https://dl/");
  EXPECT_EQ(c.Param().carouselpicurls,
            (std::vector<std::string>{"https://img/1.png", "https://img/2.jpg"}));
  auto log = FPlatform.RequestLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Body, R"({"data":"{\"softid\":1001,\"install_code\":\"K7Q2\"}"})");
  EXPECT_EQ(log[0].Signature.size(), 44u);
  EXPECT_EQ(log[0].Signature.back(), '=');
  EXPECT_EQ(log[0].Nonce.size(), 10u);
}

TEST_F(SoftCorvelaTest, RefusedCodesLeaveTheParametersAlone) {
  TSoftCorvelaHelper c;
  std::string result;
  ASSERT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), 1);
  EXPECT_EQ(c.GetInstConfig("", "", "1001", "WRONG", result), -1);
  EXPECT_EQ(result, "invalid code[0]");
  EXPECT_EQ(c.Param().firstreception_apiurl, "https://pos/upd/");
  // A quote in the code breaks the inner JSON; it is sent as typed and refused.
  EXPECT_EQ(c.GetInstConfig("", "", "1001", "a\"b", result), -1);
  EXPECT_EQ(result, "invalid request[0]");
  EXPECT_EQ(FPlatform.RequestLog().back().Body,
            R"({"data":"{\"softid\":1001,\"install_code\":\"a"b\"}"})");
}

TEST_F(SoftCorvelaTest, AnEmptyCarouselEmptiesTheSlides) {
  TSoftCorvelaHelper c;
  std::string result;
  ASSERT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), 1);
  PutEnterprise(
      json{{"firstreception_apiurl", "https://pos2/"}, {"carouselpicurls", json::array()}});
  ASSERT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), 1) << result;
  EXPECT_TRUE(c.Param().carouselpicurls.empty());
  EXPECT_EQ(c.Param().firstreception_apiurl, "https://pos2/");
}

TEST_F(SoftCorvelaTest, RequestsInOneMillisecondCarryDifferentNonces) {
  auto clock = std::make_shared<ov::TFixedClock>(ov::Now());
  ov::SetClock(clock);
  TSoftCorvelaHelper c;
  std::string result;
  ASSERT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), 1) << result;
  ASSERT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), 1) << result;  // not a replay
  auto log = FPlatform.RequestLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Timestamp, log[1].Timestamp);
  EXPECT_NE(log[0].Nonce, log[1].Nonce);
  EXPECT_NE(log[0].Signature, log[1].Signature);
  ov::SetClock(nullptr);
}

TEST_F(SoftCorvelaTest, AWrongCredentialShowsTheReport) {
  WriteSettings("", "Bearer=Bearer not.the.one\r\n");
  TSoftCorvelaHelper c;
  std::string result;
  EXPECT_EQ(c.GetInstConfig("", "", "1001", "K7Q2", result), -1);
  EXPECT_EQ(result, "Unauthorized[401]");
  EXPECT_EQ(FPlatform.RequestLog().back().Outcome, "Unknown credential");
}
