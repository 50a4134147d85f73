#include "net/AcHTTPClientUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/LoggerUtil.h"
#include "base/OVError.h"
#include "base/OVLibUtil.h"
#include "net/NetTestServer.h"
#include "platform/FileSystem.h"

using ov::standin::TFault;
namespace stdfs = std::filesystem;

namespace {

// The download suite runs on both stacks: "Id" makes the primary's creation fail.
class AcHTTPClient : public TNetTest, public ::testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override {
    ov::net::SetNetStackCreationFails(GetParam() == "Id");
    TNetTest::SetUp();
  }
  void TearDown() override {
    TNetTest::TearDown();
    ov::net::SetNetStackCreationFails(false);
  }
  bool Net() const { return GetParam() == "Net"; }
  std::string Parts(const std::string& aTarget) { return ReadHost(Host(aTarget + ".parts")); }
  bool HasParts(const std::string& aTarget) { return HostExists(Host(aTarget + ".parts")); }
  // Calls Download until it completes; the secondary stack needs extra calls for a resume.
  int DownloadUntilDone(TAcHTTPClient& c, const std::string& url, const std::string& target) {
    for (int calls = 1; calls <= 5; ++calls) {
      if (c.Download(url, target)) return calls;
    }
    return -1;
  }
  std::string ErrorOf(TAcHTTPClient& c, const std::string& url, const std::string& target) {
    try {
      c.Download(url, target);
    } catch (const ov::Error& e) {
      return e.what();
    }
    return "<no error>";
  }
  std::vector<std::string> GetRanges() {
    std::vector<std::string> r;
    for (const auto& e : FStore.RequestLog()) {
      if (e.Method == "GET") r.push_back(e.Range);
    }
    return r;
  }
};

// Behaviour of one stack only.
class AcHTTPClientId : public AcHTTPClient {
 protected:
  void SetUp() override {
    ov::net::SetNetStackCreationFails(true);
    TNetTest::SetUp();
  }
};
class AcHTTPClientNet : public AcHTTPClient {
 protected:
  void SetUp() override {
    ov::net::SetNetStackCreationFails(false);
    TNetTest::SetUp();
  }
};

INSTANTIATE_TEST_SUITE_P(Stacks, AcHTTPClient, ::testing::Values("Net", "Id"),
                         [](const auto& info) { return info.param; });

}  // namespace

TEST_P(AcHTTPClient, UsesThePrimaryStackUnlessItCannotBeCreated) {
  TAcHTTPClient c;
  EXPECT_EQ(c.NtHTTP() != nullptr, Net());
  EXPECT_EQ(c.IdHTTP() != nullptr, !Net());
  EXPECT_EQ(c.StartPosition(), -1);
  EXPECT_EQ(c.ConnTimeout(), 60000);
}

TEST_P(AcHTTPClient, DownloadsAWholeFile) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/files/a.bin", data);
  TAcHTTPClient c;
  int64_t lastRead = 0, lastEnd = 0;
  c.SetOnProgress([&](ov::net::IHttpStack* s, int64_t start, int64_t end, int64_t len,
                      int64_t read, int64_t, int64_t, bool&) {
    EXPECT_NE(s, nullptr);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(len, 1000);
    lastRead = read;
    lastEnd = end;
  });
  ASSERT_TRUE(c.Download(url, "C:\\dl\\sub\\a.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\sub\\a.bin")), data);
  EXPECT_FALSE(HasParts("C:\\dl\\sub\\a.bin"));
  EXPECT_EQ(lastRead, 1000);
  EXPECT_EQ(lastEnd, 1000);
  EXPECT_EQ(GetRanges(), (std::vector<std::string>{""}));
}

TEST_P(AcHTTPClient, ResumesFromPartsFileWithRange) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/r.bin", data);
  WriteHost(Host("C:\\dl\\r.bin.parts"), data.substr(0, 400));
  TAcHTTPClient c;
  int64_t start = -5, end = -5, len = -5;
  c.SetOnProgress([&](ov::net::IHttpStack*, int64_t s, int64_t e, int64_t l, int64_t, int64_t,
                      int64_t, bool&) {
    start = s;
    end = e;
    len = l;
  });
  const int calls = DownloadUntilDone(c, url, "C:\\dl\\r.bin");
  EXPECT_EQ(ReadHost(Host("C:\\dl\\r.bin")), data);
  EXPECT_EQ(start, 400);
  EXPECT_EQ(end, 1000);
  EXPECT_EQ(len, 600);
  if (Net()) {
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(GetRanges(), (std::vector<std::string>{"bytes=400-1000"}));
  } else {
    // The range answer's length becomes the content length, so a second call finishes it.
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(GetRanges(), (std::vector<std::string>{"bytes=400-"}));
  }
}

TEST_F(AcHTTPClientId, SecondaryResumesInBlocksOf10240) {
  const std::string data = Pattern(30000);
  const std::string url = Serve("/big.bin", data);
  WriteHost(Host("C:\\dl\\big.bin.parts"), data.substr(0, 100));
  TAcHTTPClient c;
  EXPECT_FALSE(c.Download(url, "C:\\dl\\big.bin"));
  EXPECT_EQ(Parts("C:\\dl\\big.bin").size(), 100u + 10240u);
  EXPECT_EQ(DownloadUntilDone(c, url, "C:\\dl\\big.bin"), 3);
  EXPECT_EQ(ReadHost(Host("C:\\dl\\big.bin")), data);
  EXPECT_EQ(GetRanges(), (std::vector<std::string>{"bytes=100-10339", "bytes=10340-20579",
                                                   "bytes=20580-"}));
}

TEST_P(AcHTTPClient, ServerWithoutRangesRestartsAtZero) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/n.bin", data);
  WriteHost(Host("C:\\dl\\n.bin.parts"), std::string(400, 'x'));
  FStore.AddFault({.Pattern = "/n.bin", .DropAcceptRanges = true});
  TAcHTTPClient c;
  if (Net()) {
    ASSERT_TRUE(c.Download(url, "C:\\dl\\n.bin"));
    EXPECT_EQ(GetRanges(), (std::vector<std::string>{""}));
    EXPECT_EQ(ReadHost(Host("C:\\dl\\n.bin")), data);
    // A kept file longer than the answer loses its tail.
    WriteHost(Host("C:\\dl\\m.bin.parts"), std::string(1500, 'x'));
    const std::string url2 = Serve("/m.bin", data);
    FStore.AddFault({.Pattern = "/m.bin", .DropAcceptRanges = true});
    ASSERT_TRUE(c.Download(url2, "C:\\dl\\m.bin"));
    EXPECT_EQ(ReadHost(Host("C:\\dl\\m.bin")), data);
  } else {
    // The secondary stack takes no range support from the reply and resumes the kept bytes;
    // the MD5 check of the installer is what catches a bad partial file.
    EXPECT_EQ(DownloadUntilDone(c, url, "C:\\dl\\n.bin"), 2);
    EXPECT_EQ(ReadHost(Host("C:\\dl\\n.bin")), std::string(400, 'x') + data.substr(400));
  }
}

TEST_P(AcHTTPClient, CompletePartsFileIsRenamedWithoutAGet) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/c.bin", data);
  WriteHost(Host("C:\\dl\\c.bin.parts"), data);
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\c.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\c.bin")), data);
  EXPECT_TRUE(GetRanges().empty());
}

TEST_P(AcHTTPClient, PartsFileLongerThanTheFileIsDeleted) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/l.bin", data);
  WriteHost(Host("C:\\dl\\l.bin.parts"), std::string(1200, 'x'));
  TAcHTTPClient c;
  EXPECT_EQ(ErrorOf(c, url, "C:\\dl\\l.bin"), "文件下载位置超出文件大小");
  EXPECT_FALSE(HasParts("C:\\dl\\l.bin"));
  ASSERT_TRUE(c.Download(url, "C:\\dl\\l.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\l.bin")), data);
}

TEST_P(AcHTTPClient, HeadFailures) {
  Serve("/nolen.bin", Pattern(100));
  FStore.AddFault({.Pattern = "/nolen.bin", .DropContentLength = true});
  TAcHTTPClient c;
  EXPECT_EQ(ErrorOf(c, FStore.BaseUrl() + "/nolen.bin", "C:\\dl\\x"), "未请求到文件大小");
  EXPECT_EQ(ErrorOf(c, FStore.BaseUrl() + "/missing.bin", "C:\\dl\\x"),
            "请求服务器失败 404: Not Found");
  FStore.AddFault({.Pattern = "/boom.bin", .ForceStatus = 500});
  EXPECT_EQ(ErrorOf(c, FStore.BaseUrl() + "/boom.bin", "C:\\dl\\x"),
            "请求服务器失败 500: Internal Server Error");
  EXPECT_EQ(Parts("C:\\dl\\x"), "");  // opened before the length test, nothing written
}

TEST_P(AcHTTPClient, GetStatusFailureNamesTheStack) {
  const std::string url = Serve("/g.bin", Pattern(100));
  // The HEAD passes; the GET that follows gets a 503.
  FStore.AddFault({.Pattern = "/g.bin", .Times = 1});
  FStore.AddFault({.Pattern = "/g.bin", .ForceStatus = 503});
  TAcHTTPClient c;
  EXPECT_EQ(ErrorOf(c, url, "C:\\dl\\g.bin"),
            std::string(Net() ? "请求服务器失败(Net)" : "请求服务器失败(Idy)") +
                " 503: Service Unavailable");
}

TEST_P(AcHTTPClient, ExistingTargetIsDeletedFirst) {
  const std::string url = Serve("/t.bin", Pattern(50));
  WriteHost(Host("C:\\dl\\t.bin"), "old");
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\t.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\t.bin")), Pattern(50));
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Delete, Host("C:\\dl\\t.bin"));
  FStore.ClearLog();
  EXPECT_EQ(ErrorOf(c, url, "C:\\dl\\t.bin"), "文件 C:\\dl\\t.bin 已下载，重新下载时删除失败");
  EXPECT_TRUE(FStore.RequestLog().empty());  // nothing was requested
}

TEST_P(AcHTTPClient, PartsFileOfAnotherCaseIsResumed) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/r.bin", data);
  const std::string dl = Host("C:\\dl");
  WriteHost(dl + "/R.BIN.PARTS", data.substr(0, 400));  // left by an earlier run
  TAcHTTPClient c;
  EXPECT_GE(DownloadUntilDone(c, url, "C:\\dl\\r.bin"), 1);
  EXPECT_EQ(ReadHost(dl + "/r.bin"), data);
  EXPECT_FALSE(HostExists(dl + "/R.BIN.PARTS"));
  EXPECT_FALSE(HostExists(dl + "/r.bin.parts"));
  EXPECT_EQ(GetRanges().front(), Net() ? "bytes=400-1000" : "bytes=400-");
}

TEST_P(AcHTTPClient, TargetOfAnotherCaseIsReplaced) {
  const std::string url = Serve("/t.bin", Pattern(50));
  const std::string dl = Host("C:\\dl");
  WriteHost(dl + "/T.BIN", "old");
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\t.bin"));
  EXPECT_FALSE(HostExists(dl + "/T.BIN"));
  EXPECT_EQ(ReadHost(dl + "/t.bin"), Pattern(50));
  // Two old names that differ only in case: deleting one still leaves the file in place.
  WriteHost(dl + "/T.BIN", "old");
  WriteHost(dl + "/t.Bin", "old");
  stdfs::remove(dl + "/t.bin");
  FStore.ClearLog();
  EXPECT_EQ(ErrorOf(c, url, "C:\\dl\\t.bin"), "文件 C:\\dl\\t.bin 已存在");
  EXPECT_NE(HostExists(dl + "/T.BIN"), HostExists(dl + "/t.Bin"));
  EXPECT_TRUE(FStore.RequestLog().empty());
}

TEST_P(AcHTTPClient, EachDownloadSeesTheFolderAsItIsNow) {
  const std::string a = Pattern(300, 1), b = Pattern(1000, 2);
  const std::string urlA = Serve("/a.bin", a), urlB = Serve("/b.bin", b);
  const std::string dl = Host("C:\\dl");
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(urlA, "C:\\dl\\a.bin"));
  // Appears between two downloads into the same folder, as another process would leave it.
  WriteHost(dl + "/B.Bin.Parts", b.substr(0, 400));
  FStore.ClearLog();
  EXPECT_GE(DownloadUntilDone(c, urlB, "C:\\dl\\b.bin"), 1);
  EXPECT_EQ(ReadHost(dl + "/b.bin"), b);
  EXPECT_FALSE(HostExists(dl + "/B.Bin.Parts"));
  EXPECT_EQ(GetRanges().front(), Net() ? "bytes=400-1000" : "bytes=400-");
  WriteHost(dl + "/A.BIN", "stale");
  stdfs::remove(dl + "/a.bin");
  ASSERT_TRUE(c.Download(urlA, "C:\\dl\\a.bin"));
  EXPECT_FALSE(HostExists(dl + "/A.BIN"));
  EXPECT_EQ(ReadHost(dl + "/a.bin"), a);
}

TEST_P(AcHTTPClient, DroppedConnectionKeepsThePrefixAndTheNextCallCompletes) {
  const std::string data = Pattern(1000);
  const std::string url = Serve("/d.bin", data);
  FStore.AddFault({.Pattern = "/d.bin", .Times = 1});  // the HEAD
  FStore.AddFault({.Pattern = "/d.bin", .CloseAfterBytes = 300, .Times = 1});
  TAcHTTPClient c;
  EXPECT_FALSE(c.Download(url, "C:\\dl\\d.bin"));
  EXPECT_EQ(Parts("C:\\dl\\d.bin"), data.substr(0, 300));
  // A new client, as after a restart of the program, resumes from the kept bytes.
  TAcHTTPClient again;
  EXPECT_GE(DownloadUntilDone(again, url, "C:\\dl\\d.bin"), 1);
  EXPECT_EQ(ReadHost(Host("C:\\dl\\d.bin")), data);
  EXPECT_EQ(GetRanges()[1], Net() ? "bytes=300-1000" : "bytes=300-");
}

TEST_P(AcHTTPClient, LargeFileResumedAfterADropHasTheRightBytes) {
  const size_t size = Net() ? 100u << 20 : 8u << 20;
  const std::string data = Pattern(size, 7);
  const std::string url = Serve("/large.bin", data);
  // The secondary stack resumes 10240 bytes a call, so its drop comes close to the end.
  const int64_t dropAt = Net() ? 37 << 20 : static_cast<int64_t>(size) - 15000;
  FStore.AddFault({.Pattern = "/large.bin", .Times = 1});
  FStore.AddFault({.Pattern = "/large.bin", .CloseAfterBytes = dropAt, .Times = 1});
  TAcHTTPClient c;
  EXPECT_FALSE(c.Download(url, "C:\\dl\\large.bin"));
  EXPECT_EQ(static_cast<int64_t>(Parts("C:\\dl\\large.bin").size()), dropAt);
  EXPECT_GE(DownloadUntilDone(c, url, "C:\\dl\\large.bin"), 1);
  EXPECT_EQ(TovLib::GetFileMD5("C:\\dl\\large.bin"), TovLib::GetMd5(data));
}

TEST_F(AcHTTPClientNet, AbortEndsWithFalseAndKeepsTheParts) {
  const std::string url = Serve("/ab.bin", Pattern(2 << 20));
  FStore.AddFault({.Pattern = "/ab.bin", .BandwidthBytesPerSec = 4 << 20});
  TAcHTTPClient c;
  c.SetOnProgress([&](ov::net::IHttpStack*, int64_t, int64_t, int64_t, int64_t read, int64_t,
                      int64_t, bool& abort) {
    if (read > 100000) abort = true;
  });
  EXPECT_FALSE(c.Download(url, "C:\\dl\\ab.bin"));
  EXPECT_TRUE(HasParts("C:\\dl\\ab.bin"));
  EXPECT_GT(Parts("C:\\dl\\ab.bin").size(), 100000u);
  EXPECT_LT(Parts("C:\\dl\\ab.bin").size(), 2u << 20);
}

TEST_P(AcHTTPClient, FollowsRedirects) {
  const std::string data = Pattern(500);
  Serve("/real/x.bin", data);
  FStore.Stop();
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = RootDir();
  cfg.Redirects["/moved/x.bin"] = "/real/x.bin";
  ASSERT_TRUE(FStore.Start(cfg));
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(FStore.BaseUrl() + "/moved/x.bin", "C:\\dl\\x.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\x.bin")), data);
}

TEST_P(AcHTTPClient, KeepsCookiesForItsLife) {
  Serve("/real/x.bin", Pattern(100));
  Serve("/other.bin", Pattern(200));
  FStore.Stop();
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = RootDir();
  cfg.Redirects["/login"] = "/real/x.bin";
  cfg.SetCookies["/login"] = "ovsession=abc123; Path=/";
  ASSERT_TRUE(FStore.Start(cfg));
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(FStore.BaseUrl() + "/login", "C:\\dl\\x.bin"));
  ASSERT_TRUE(c.Download(FStore.BaseUrl() + "/other.bin", "C:\\dl\\o.bin"));
  const auto log = FStore.RequestLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front().Cookie, "");
  EXPECT_EQ(log.back().Path, "/other.bin");
  EXPECT_EQ(log.back().Cookie, "ovsession=abc123");
  // A new client starts without them.
  TAcHTTPClient fresh;
  ASSERT_TRUE(fresh.Download(FStore.BaseUrl() + "/other.bin", "C:\\dl\\o2.bin"));
  EXPECT_EQ(FStore.RequestLog().back().Cookie, "");
}

TEST_P(AcHTTPClient, UnreachableHostRaisesTheStacksText) {
  TAcHTTPClient c;
  c.SetConnTimeout(2000);
  const int32_t port = FStore.Port();
  FStore.Stop();
  std::string e = ErrorOf(c, "http://127.0.0.1:" + std::to_string(port) + "/x", "C:\\dl\\u");
  EXPECT_NE(e, "<no error>");
  EXPECT_FALSE(e.empty());
}

TEST_P(AcHTTPClient, TlsWithTheCaFileAndRefusedWithoutIt) {
  std::string cert, key;
  MakeCertificate(cert, key);
  const std::string data = Pattern(3000);
  Serve("/s.bin", data);
  FStore.Stop();
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = RootDir();
  cfg.CertFile = cert;
  cfg.KeyFile = key;
  ASSERT_TRUE(FStore.Start(cfg));
  ASSERT_EQ(FStore.BaseUrl().rfind("https://", 0), 0u);
  TAcHTTPClient refused;
  std::string e = ErrorOf(refused, FStore.BaseUrl() + "/s.bin", "C:\\dl\\s.bin");
  EXPECT_NE(e, "<no error>");
  if (!Net()) {
    EXPECT_NE(e.find("reason("), std::string::npos) << e;
  }
  TAcHTTPClient trusted;
  trusted.SetCaFile(cert);
  ASSERT_TRUE(trusted.Download(FStore.BaseUrl() + "/s.bin", "C:\\dl\\s.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\s.bin")), data);
}

TEST_P(AcHTTPClient, NetFileExistsStopsAfterTheHeaders) {
  Serve("/e/here.png", Pattern(5 << 20));
  TAcHTTPClient c;
  const std::string hostOnly = "127.0.0.1:" + std::to_string(FStore.Port());
  EXPECT_TRUE(c.NetFileExists(hostOnly + "/e/here.png"));
  EXPECT_TRUE(c.NetFileExists(FStore.BaseUrl() + "/e/here.png"));
  EXPECT_FALSE(c.NetFileExists(FStore.BaseUrl() + "/e/none.png"));
  EXPECT_FALSE(c.NetFileExists("http://127.0.0.1:1/none"));
  for (const auto& e : FStore.RequestLog()) EXPECT_EQ(e.Method, "GET");
  // The existing file's body was not fetched, and the probes after it still answer right.
  EXPECT_TRUE(c.NetFileExists(FStore.BaseUrl() + "/e/here.png"));
  EXPECT_FALSE(c.NetFileExists(FStore.BaseUrl() + "/e/none.png"));
  EXPECT_TRUE(c.NetFileExists(FStore.BaseUrl() + "/e/here.png"));
}

TEST_P(AcHTTPClient, ProbesForMissingFilesShareOneConnection) {
  TAcHTTPClient c;
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(c.NetFileExists(FStore.BaseUrl() + "/none" + std::to_string(i) + ".zip"));
  }
  // Each answer is a short 404 read to its end, so curl keeps the connection for the next.
  std::set<int32_t> connections;
  for (const auto& e : FStore.RequestLog()) connections.insert(e.RemotePort);
  EXPECT_EQ(FStore.RequestLog().size(), 20u);
  EXPECT_LE(connections.size(), 2u);
}

TEST(AcHTTPClientLog, PrimaryFailureIsLoggedAndTheSecondaryTakesOver) {
  ov::net::SetNetStackCreationFails(true);
  TAcHTTPClient c;
  ov::net::SetNetStackCreationFails(false);
  EXPECT_EQ(c.NtHTTP(), nullptr);
  ASSERT_NE(c.IdHTTP(), nullptr);
  EXPECT_EQ(c.IdHTTP()->Name(), "Id");
}
