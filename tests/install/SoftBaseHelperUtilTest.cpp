#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ServerThread.h"
#include "common/TestCert.h"
#include "common/TestPrefix.h"
#include "install/SoftBaseHelperUtil.h"
#include "platform/MainThread.h"
#include "update/UpdateObjUtil.h"

namespace {

// Reaches the protected members for the tests.
class TProbe : public TSoftBaseHelper {
 public:
  using TSoftBaseHelper::AppFileDownProgressHint;
  using TSoftBaseHelper::AppInstHint;
  using TSoftBaseHelper::IsAppInstStop;
};

class SoftBaseTest : public TPrefixTest {
 protected:
  void SetUp() override {
    TPrefixTest::SetUp();
    ov::platform::SetMainThread(ov::platform::CreateQueueMainThread());
  }
  void TearDown() override {
    ov::platform::SetMainThread(nullptr);
    TPrefixTest::TearDown();
  }
  // A server that echoes the request headers, or answers aStatus with aBody.
  int Serve(ov::standin::TServerThread& aServer, int aStatus = 200, const std::string& aBody = "",
            const std::string& aCert = "", const std::string& aKey = "") {
    EXPECT_TRUE(aServer.Create(aCert, aKey));
    aServer.Server().Post("/p", [=, this](const httplib::Request& req, httplib::Response& res) {
      FHeaders = req.headers;
      FBody = req.body;
      res.status = aStatus;
      if (!aBody.empty()) res.set_content(aBody, "application/json");
    });
    return aServer.Run(0);
  }
  httplib::Headers FHeaders;
  std::string FBody;
};

}  // namespace

TEST_F(SoftBaseTest, PostSendsTheHeaderListAndTheBody) {
  ov::standin::TServerThread server;
  const int port = Serve(server, 200, "{\"ok\":1}");
  TSoftBaseHelper h;
  std::string respond;
  ASSERT_EQ(h.DoNetPost2(
                "http://127.0.0.1:" + std::to_string(port) + "/p",
                "X-Timestamp=1700000000000,X-Signature=ab+c/d==,broken,Authorization=Bearer a.b.c",
                "{\"data\":\"中文\"}", respond),
            1);
  EXPECT_EQ(respond, "{\"ok\":1}");
  auto header = [&](const char* aName) {
    auto it = FHeaders.find(aName);
    return it == FHeaders.end() ? std::string("<none>") : it->second;
  };
  EXPECT_EQ(header("X-Timestamp"), "1700000000000");
  EXPECT_EQ(header("X-Signature"), "ab+c/d==");
  EXPECT_EQ(header("Authorization"), "Bearer a.b.c");
  EXPECT_EQ(header("broken"), "<none>");
  EXPECT_EQ(header("Content-Type"), "application/json");
  EXPECT_EQ(header("Accept"), "*/*");
  EXPECT_EQ(header("User-Agent"), "Mozilla/3.0 (compatible; NetHTTP)");
  EXPECT_EQ(FBody, "{\"data\":\"中文\"}");
}

TEST_F(SoftBaseTest, PostFailuresGiveTheNetworkErrorForms) {
  TSoftBaseHelper h;
  std::string respond;
  {
    ov::standin::TServerThread server;
    const int port = Serve(server, 500);
    EXPECT_EQ(h.DoNetPost2("http://127.0.0.1:" + std::to_string(port) + "/p", "", "{}", respond),
              0);
    EXPECT_EQ(respond, "[网络异常]Internal Server Error[500]");
  }
  {
    ov::standin::TServerThread server;
    const int port = Serve(server, 401, "{\"resp_code\":401,\"resp_msg\":\"no\"}");
    EXPECT_EQ(h.DoNetPost2("http://127.0.0.1:" + std::to_string(port) + "/p", "", "{}", respond),
              0);
    EXPECT_EQ(respond, "{\"resp_code\":401,\"resp_msg\":\"no\"}");
  }
  EXPECT_EQ(h.DoNetPost2("http://127.0.0.1:1/p", "", "{}", respond), 0);
  EXPECT_EQ(respond.rfind("[网络异常]", 0), 0u);
  EXPECT_GT(respond.size(), std::string("[网络异常]").size());
}

TEST_F(SoftBaseTest, PostAcceptsAnyServerCertificate) {
  std::string cert, key;
  ASSERT_TRUE(MakeTestCertificate(Prefix() + "/..", cert, key));
  ov::standin::TServerThread server;
  const int port = Serve(server, 200, "{}", cert, key);
  TSoftBaseHelper h;
  std::string respond;
  EXPECT_EQ(h.DoNetPost2("https://127.0.0.1:" + std::to_string(port) + "/p", "", "{}", respond), 1)
      << respond;
}

TEST_F(SoftBaseTest, HintsRunOnTheMainThreadAndOnlyWhenAssigned) {
  TProbe h;
  std::atomic<bool> done{false};
  std::thread lonely([&] {
    h.AppInstHint("a", "b");  // nothing assigned: returns without the main thread's help
    done = true;
  });
  lonely.join();
  EXPECT_TRUE(done);

  const auto mainId = std::this_thread::get_id();
  std::vector<std::pair<std::string, std::string>> seen;
  std::string progress;
  h.SetOnAppInstHint([&](const std::string& a, const std::string& b) {
    EXPECT_EQ(std::this_thread::get_id(), mainId);
    seen.emplace_back(a, b);
  });
  h.SetOnAppFileDownProgressHint([&](const std::string& a) { progress = a; });
  done = false;
  std::thread worker([&] {
    h.AppInstHint("", "sub only");
    h.AppFileDownProgressHint("1.00 KB/2.00 KB ");
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    ov::platform::WaitForHandOver(30);
    ov::platform::ProcessPending();
  }
  worker.join();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], (std::pair<std::string, std::string>{"", "sub only"}));
  EXPECT_EQ(progress, "1.00 KB/2.00 KB ");
}

TEST_F(SoftBaseTest, StopFollowsTheExitFlag) {
  CreateSyncObj();
  TProbe h;
  std::string result = "kept";
  EXPECT_FALSE(h.IsAppInstStop(result));
  EXPECT_EQ(result, "kept");
  SyncObj().SetIsAppExit(true);
  EXPECT_TRUE(h.IsAppInstStop(result));
  EXPECT_EQ(result, "终止安装");
  FreeSyncObj();
}

TEST(SoftVarState, ProcessWideInstance) {
  EXPECT_FALSE(HasSoftVar());
  CreateSoftVar();
  SoftVar().code().SetV("ketrin");
  SoftVar().sliders().Add("slider1", "C:\\x\\slider1.png");
  EXPECT_EQ(SoftVar().code().v(), "ketrin");
  EXPECT_EQ(SoftVar().sliders().GetValue("slider1"), "C:\\x\\slider1.png");
  FreeSoftVar();
  EXPECT_FALSE(HasSoftVar());
}
