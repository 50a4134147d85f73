#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/OVLibUtil.h"
#include "common/ServiceTest.h"
#include "install/SoftKetrinHelperUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "platform/FileSystem.h"
#include "update/UpdateObjUtil.h"

using nlohmann::json;

namespace {

class SoftSaasTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    ov::standin::TCatalogue cat;
    cat.PutVersion(json{{"item_id", "80001888"},
                        {"pos_type", "61063"},
                        {"up_ver_no", "1.0.5"},
                        {"up_file_id", 123}},
                   json::array(), json::array());
    FVersion.SetCatalogue(cat);
  }
  int Requests(const std::string& aPath, const std::string& aMethod) {
    int n = 0;
    for (const auto& e : FStore.RequestLog()) n += e.Path == aPath && e.Method == aMethod;
    return n;
  }
};

}  // namespace

TEST_F(SoftSaasTest, ProductConstructorsSetTheirSlideFolderAndHosts) {
  TSoftKetrinHelper k;
  EXPECT_EQ(k.ImgSliderUrl().v(), FStore.BaseUrl() + "/updatefiles/ketrin_sdimgs/");
  EXPECT_EQ(k.ProgressMax().v(), 100);
  EXPECT_EQ(k.Key(), "Rk4wPz8NqLd2Vx7TbHs5Jm9CfYa3Ge6U");
  std::string host;
  k.GetApiHost(host);
  EXPECT_EQ(host.back(), '/');
}

TEST_F(SoftSaasTest, InstallAddressFromTheVersionServer) {
  TSoftKetrinHelper k;
  std::string result;
  ASSERT_EQ(k.GetInstConfig("", "61063", "", "", result), 1) << result;
  EXPECT_EQ(k.PosUpdateUrl().v(), "ovupdata://vfid=123&app_nver=1.0.5");
  EXPECT_NE(FVersion.RequestLog().back().Body.find("\"item_id\":\"80001888\""), std::string::npos);

  EXPECT_EQ(k.GetInstConfig("80001888", "99999", "", "", result), -1);
  EXPECT_EQ(result, "平台未配置该版本[appid:80001888,modid:99999]");
  FVersion.Stop();
  EXPECT_EQ(k.GetInstConfig("80001888", "61063", "", "", result), -1);
  EXPECT_EQ(result.rfind("版本数据请求失败\r\n", 0), 0u);
}

TEST_F(SoftSaasTest, DownloadRetriesExceptForNotFound) {
  TSoftKetrinHelper k;
  k.SetRetryPauseMs(1);
  std::string err;
  EXPECT_FALSE(k.DownFileRetry(FStore.BaseUrl() + "/none.bin", "C:\\d\\none.bin", err));
  EXPECT_NE(err.find("404: Not Found"), std::string::npos);
  EXPECT_EQ(Requests("/none.bin", "HEAD"), 1);

  const std::string url = Serve("/busy.bin", "0123456789");
  FStore.AddFault({.Pattern = "/busy.bin", .ForceStatus = 503, .Times = 2});
  EXPECT_TRUE(k.DownFileRetry(url, "C:\\d\\busy.bin", err)) << err;
  EXPECT_EQ(ReadHost(Host("C:\\d\\busy.bin")), "0123456789");
  FStore.AddFault({.Pattern = "/busy.bin", .ForceStatus = 503});
  EXPECT_FALSE(k.DownFileRetry(url, "C:\\d\\busy2.bin", err));
  EXPECT_EQ(Requests("/busy.bin", "HEAD"), 6);  // three attempts each time
  EXPECT_NE(LogText().find("[文件下载]失败，再次重下："), std::string::npos);
}

TEST_F(SoftSaasTest, AQuitEndsTheRetriesAndTheirPause) {
  TSoftKetrinHelper k;
  k.SetRetryPauseMs(10000);
  const std::string url = Serve("/busy.bin", "0123456789");
  FStore.AddFault({.Pattern = "/busy.bin", .ForceStatus = 503});
  std::thread quit([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    SyncObj().SetIsAppExit(true);
  });
  const auto t0 = std::chrono::steady_clock::now();
  std::string err;
  EXPECT_FALSE(k.DownFileRetry(url, "C:\\d\\busy.bin", err));
  quit.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ(Requests("/busy.bin", "HEAD"), 1);
}

TEST_F(SoftSaasTest, FileChecksAndRemoval) {
  TSoftKetrinHelper k;
  WriteHost(Host("C:\\d\\a.txt"), "hello");
  EXPECT_TRUE(k.CheckFileMD5("5D41402ABC4B2A76B9719D911017C592", "C:\\d\\a.txt"));
  EXPECT_FALSE(k.CheckFileMD5("00000000000000000000000000000000", "C:\\d\\a.txt"));
  EXPECT_TRUE(k.CheckFileMD5("", "C:\\d\\missing.txt"));
  // A file whose MD5 cannot be computed, gone or unreadable, is not the one expected.
  EXPECT_FALSE(k.CheckFileMD5("00000000000000000000000000000000", "C:\\d\\missing.txt"));
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Open, Host("C:\\d\\a.txt"));
  EXPECT_FALSE(k.CheckFileMD5("5d41402abc4b2a76b9719d911017c592", "C:\\d\\a.txt"));
  ov::platform::fs::ClearFaults();

  ov::platform::fs::InjectFault(ov::platform::fs::Op::Delete, Host("C:\\d\\a.txt"));
  EXPECT_TRUE(k.DelFile("C:\\d\\a.txt"));  // cannot be removed: moved aside
  EXPECT_FALSE(HostExists(Host("C:\\d\\a.txt")));
  EXPECT_EQ(ReadHost(Host("C:\\d\\a.txt.del")), "hello");
  EXPECT_TRUE(k.DelFile("C:\\d\\never.txt"));
}

TEST_F(SoftSaasTest, FileTimesFromServerTexts) {
  TSoftKetrinHelper k;
  WriteHost(Host("C:\\d\\t.txt"), "x");
  EXPECT_FALSE(k.UpdateFileTime("C:\\d\\t.txt", "2020-01-01 00:00:00", ""));
  ASSERT_TRUE(k.UpdateFileTime("C:\\d\\t.txt", "", "2024-05-06 10:20:30"));
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\t.txt", ftLastWriteTime), "2024-05-06 10:20:30");
  ASSERT_TRUE(k.UpdateFileTime("C:\\d\\t.txt", "not a time", "2024-05-06 10:20:30"));
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\t.txt", ftLastWriteTime), "2024-05-06 10:20:30");
}

TEST_F(SoftSaasTest, DownloadProgressBecomesAShortText) {
  TSoftKetrinHelper k;
  std::vector<std::string> texts;
  k.SetOnAppFileDownProgressHint([&](const std::string& a) { texts.push_back(a); });
  bool abort = false;
  k.OnFileUpdate(nullptr, "", "", 0, 0, 4096, 1024, 1, 5, abort);
  k.OnFileUpdate(nullptr, "", "", 0, 0, 4096, 1025, 1, 5, abort);
  k.OnFileUpdate(nullptr, "", "", 0, 0, 4096, 2048, 1, 0, abort);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "");
  EXPECT_EQ(texts[1], TovLib::ConvertBytes(4096) + "/" + TovLib::ConvertBytes(1025) + " ");
  EXPECT_EQ(texts[2], "");
  EXPECT_FALSE(abort);
}

TEST_F(SoftSaasTest, ApiPostTurnsBrokenAnswersIntoTexts) {
  TSoftKetrinHelper k;
  const std::string url = FPlatform.BaseUrl() + "api/enterprise/getinstallconfig";
  std::string result;
  const std::pair<std::string, std::string> cases[] = {
      {"", "响应数据为空"},
      {"<html>", "响应数据无效"},
      {"{\"resp_code\":1,\"resp_msg\":\"ok\"}", "响应数据无效"},
      {"{\"resp_code\":\"x\"}", "响应数据无效"},
      {"{\"data\":\"AAAA\",\"iv\":\"AAAAAAAAAAAAAAAAAAAAAA==\"}", "响应数据解码出错"},
      {"{\"data\":\"AAAA\",\"iv\":\"!!\"}", "响应数据解码出错"},
  };
  for (const auto& [body, want] : cases) {
    FPlatform.SetRawAnswer(200, body);
    EXPECT_EQ(k.DoApiPost(url, result, "", ""), -1) << body;
    EXPECT_EQ(result, want) << body;
  }
  FPlatform.SetRawAnswer(503, "{\"resp_code\":9,\"resp_msg\":\"busy\"}");
  EXPECT_EQ(k.DoApiPost(url, result, "", ""), -1);
  EXPECT_EQ(result, "busy[9]");
  FPlatform.SetRawAnswer(502, "gateway down");
  EXPECT_EQ(k.DoApiPost(url, result, "", ""), -1);
  EXPECT_EQ(result, "gateway down");
  EXPECT_NE(LogText().find("[响应]gateway down"), std::string::npos);
}

TEST_F(SoftSaasTest, ApiPostShowsThePlatformsErrorReport) {
  TSoftKetrinHelper k;
  std::string result;
  EXPECT_EQ(k.DoApiPost(FPlatform.BaseUrl() + "api/enterprise/getinstallconfig", result,
                        "Authorization=Bearer x,X-Timestamp=1,X-Nonce=abc,X-Signature=a==", ""),
            -1);
  EXPECT_EQ(result, "Unauthorized[401]");
}
