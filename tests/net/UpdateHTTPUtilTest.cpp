#include "net/UpdateHTTPUtil.h"

#include <gtest/gtest.h>

#include "net/NetTestServer.h"

using TNetHTTPTest = TNetTest;

TEST_F(TNetHTTPTest, SuccessShortAndErrorOutcomes) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/w.bin", data);
  TNetHTTP h;
  EXPECT_EQ(h.ConnTimeout(), 60000);
  EXPECT_EQ(h.ReadTimeout(), 3600000);
  std::string msg = "stale";
  ASSERT_TRUE(h.DownFile(url, "C:\\w\\w.bin", msg));
  EXPECT_EQ(msg, "文件下载成功");

  FStore.AddFault({.Pattern = "/w.bin", .Times = 1});
  FStore.AddFault({.Pattern = "/w.bin", .CloseAfterBytes = 30000, .Times = 1});
  EXPECT_FALSE(h.DownFile(url, "C:\\w\\w2.bin", msg));
  EXPECT_EQ(msg, "");
  ASSERT_TRUE(h.DownFile(url, "C:\\w\\w2.bin", msg));  // resumes
  EXPECT_EQ(ReadHost(Host("C:\\w\\w2.bin")), data);

  EXPECT_FALSE(h.DownFile(FStore.BaseUrl() + "/none", "C:\\w\\n.bin", msg));
  EXPECT_EQ(msg, "请求服务器失败 404: Not Found");
  h.SetConnTimeout(2000);
  EXPECT_FALSE(h.DownFile("http://127.0.0.1:1/x", "C:\\w\\x.bin", msg));
  EXPECT_FALSE(msg.empty());
}

TEST_F(TNetHTTPTest, ProgressNamesTheRunningDownload) {
  const std::string a = Serve("/a.bin", Pattern(100));
  const std::string b = Serve("/b.bin", Pattern(200));
  TNetHTTP h;
  std::vector<std::pair<std::string, std::string>> seen;
  h.SetOnFileDownload([&](ov::net::IHttpStack*, const std::string& url, const std::string& file,
                          int64_t, int64_t, int64_t, int64_t, int64_t, int64_t, bool&) {
    seen.emplace_back(url, file);
  });
  std::string msg;
  ASSERT_TRUE(h.DownFile(a, "C:\\w\\a.bin", msg));
  ASSERT_TRUE(h.DownFile(b, "C:\\w\\b.bin", msg));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), std::make_pair(a, std::string("C:\\w\\a.bin")));
  EXPECT_EQ(seen.back(), std::make_pair(b, std::string("C:\\w\\b.bin")));
  EXPECT_TRUE(h.NetFileExists(a));
}

TEST_F(TNetHTTPTest, AbortFromTheOwnerStopsTheTransfer) {
  const std::string url = Serve("/slow.bin", Pattern(1 << 20));
  FStore.AddFault({.Pattern = "/slow.bin", .BandwidthBytesPerSec = 2 << 20});
  TNetHTTP h;
  h.SetOnFileDownload([](ov::net::IHttpStack*, const std::string&, const std::string&, int64_t,
                         int64_t, int64_t, int64_t read, int64_t, int64_t, bool& abort) {
    abort = read > 50000;
  });
  std::string msg;
  EXPECT_FALSE(h.DownFile(url, "C:\\w\\slow.bin", msg));
  EXPECT_EQ(msg, "");
  h.SetOnFileDownload(nullptr);
  h.SetStopTest([] { return true; });
  EXPECT_FALSE(h.DownFile(url, "C:\\w\\slow.bin", msg));
  EXPECT_EQ(msg, "");
}

// The wrapper trusts the CA that the service settings name, and only then.
TEST_F(TNetHTTPTest, TrustsTheCaFileOfTheServiceSettings) {
  std::string cert, key;
  MakeCertificate(cert, key);
  ov::standin::TFileStore tls;
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = RootDir();
  cfg.CertFile = cert;
  cfg.KeyFile = key;
  ASSERT_TRUE(tls.Start(cfg));
  const std::string data = Pattern(5000);
  Serve("/t.bin", data);
  const std::string url = tls.BaseUrl() + "/t.bin";
  std::string msg;
  {
    TNetHTTP h;
    EXPECT_FALSE(h.DownFile(url, "C:\\w\\t.bin", msg));
  }
  WriteHost(Host("C:\\OVTest\\shared.ini"), "[Services]\r\nCAFile=" + cert + "\r\n");
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"), "[Options]\r\nServicesFile=shared.ini\r\n");
  {
    TNetHTTP h;  // gone before the server stops, which would wait for its idle connection
    EXPECT_TRUE(h.DownFile(url, "C:\\w\\t.bin", msg)) << msg;
  }
  EXPECT_EQ(ReadHost(Host("C:\\w\\t.bin")), data);
  tls.Stop();
}
