#include "net/AcHTTPClientUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

#include "base/LoggerUtil.h"
#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "net/NetTestServer.h"
#include "platform/FileSystem.h"

using ov::standin::TFault;
namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

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
  bool HasRecord(const std::string& aTarget) { return HostExists(Host(aTarget + ".parts.info")); }
  // Leaves the partial of a download of aPath dropped after aAt bytes (with its record when
  // the file is large enough); the store's log starts afresh.
  void LeavePartial(const std::string& aPath, const std::string& aTarget, int64_t aAt) {
    FStore.AddFault({.Pattern = aPath, .CloseAfterBytes = aAt, .Times = 1, .Method = "GET"});
    TAcHTTPClient c;
    EXPECT_FALSE(c.Download(FStore.BaseUrl() + aPath, aTarget));
    EXPECT_EQ(static_cast<int64_t>(Parts(aTarget).size()), aAt);
    FStore.ClearLog();
  }
  // Serves other content under the same path as a rewritten file (a new inode).
  void Replace(const std::string& aPath, const std::string& aData) {
    WriteHost(RootDir() + aPath + ".new", aData);
    stdfs::rename(RootDir() + aPath + ".new", RootDir() + aPath);
  }
  std::string ErrorOf(TAcHTTPClient& c, const std::string& url, const std::string& target) {
    try {
      c.Download(url, target);
    } catch (const ov::Error& e) {
      return e.what();
    }
    return "<no error>";
  }
  static void StopAfter200ms(TAcHTTPClient& aClient) {
    const auto due = Clock::now() + std::chrono::milliseconds(200);
    aClient.SetStopTest([due] { return Clock::now() >= due; });
  }
  static int64_t ElapsedMs(Clock::time_point aFrom) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aFrom).count();
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

INSTANTIATE_TEST_SUITE_P(Stacks, AcHTTPClient, ::testing::Values("Net", "Id"),
                         [](const auto& info) { return info.param; });

// The stand-in's file system as such: names that differ only in case are separate files there,
// and the file layer finds them as Windows would.
class AcHTTPClientPosix : public AcHTTPClient {};
INSTANTIATE_TEST_SUITE_P(Stacks, AcHTTPClientPosix, ::testing::Values("Net", "Id"),
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

TEST_P(AcHTTPClient, ResumesADroppedDownloadWithARange) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/r.bin", data);
  LeavePartial("/r.bin", "C:\\dl\\r.bin", 40000);
  EXPECT_TRUE(HasRecord("C:\\dl\\r.bin"));
  TAcHTTPClient c;
  int64_t start = -5, end = -5, len = -5, read = -5;
  c.SetOnProgress([&](ov::net::IHttpStack*, int64_t s, int64_t e, int64_t l, int64_t r, int64_t,
                      int64_t, bool&) {
    start = s;
    end = e;
    len = l;
    read = r;
  });
  ASSERT_TRUE(c.Download(url, "C:\\dl\\r.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\r.bin")), data);
  EXPECT_FALSE(HasRecord("C:\\dl\\r.bin"));
  EXPECT_EQ(start, 40000);
  EXPECT_EQ(end, 100000);
  EXPECT_EQ(len, 60000);
  EXPECT_EQ(read, 60000);
  EXPECT_EQ(GetRanges().front(), Net() ? "bytes=40000-100000" : "bytes=40000-50239");
}

TEST_F(AcHTTPClientId, SecondaryResumesInGrowingBlocksWithinOneCall) {
  const std::string data = Pattern(200000);
  const std::string url = Serve("/big.bin", data);
  LeavePartial("/big.bin", "C:\\dl\\big.bin", 100);
  TAcHTTPClient c;
  int64_t bytes = 0;  // of the whole file, as the progress tells it
  c.SetOnProgress(
      [&](ov::net::IHttpStack*, int64_t s, int64_t, int64_t, int64_t r, int64_t, int64_t, bool&) {
        EXPECT_GT(s + r, bytes);
        bytes = s + r;
      });
  ASSERT_TRUE(c.Download(url, "C:\\dl\\big.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\big.bin")), data);
  EXPECT_EQ(bytes, 200000);
  EXPECT_EQ(GetRanges(),
            (std::vector<std::string>{"bytes=100-10339", "bytes=10340-30819", "bytes=30820-71779",
                                      "bytes=71780-153699", "bytes=153700-"}));
}

TEST_P(AcHTTPClient, ServerWithoutRangesRestartsAtZero) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/n.bin", data);
  LeavePartial("/n.bin", "C:\\dl\\n.bin", 40000);
  FStore.AddFault({.Pattern = "/n.bin", .DropAcceptRanges = true});
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\n.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\n.bin")), data);
  // The secondary stack takes no range support from the reply and asks for the rest anyway.
  EXPECT_EQ(GetRanges().front(), Net() ? "" : "bytes=40000-50239");
}

// Whatever a partial without its record holds, it may be of another version.
TEST_P(AcHTTPClient, PartialWithoutItsRecordIsFetchedAgain) {
  const std::string small = Pattern(1000), large = Pattern(100000);
  const std::string urlS = Serve("/s.bin", small), urlL = Serve("/l.bin", large);
  WriteHost(Host("C:\\dl\\s.bin.parts"), std::string(400, 'x'));
  WriteHost(Host("C:\\dl\\l.bin.parts"), std::string(150000, 'x'));  // longer, too
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(urlS, "C:\\dl\\s.bin"));
  ASSERT_TRUE(c.Download(urlL, "C:\\dl\\l.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\s.bin")), small);
  EXPECT_EQ(ReadHost(Host("C:\\dl\\l.bin")), large);
  EXPECT_EQ(GetRanges(), (std::vector<std::string>{"", ""}));
  // A small file's partial gets no record, so a dropped one is fetched again too.
  LeavePartial("/s.bin", "C:\\dl\\s2.bin", 300);
  EXPECT_FALSE(HasRecord("C:\\dl\\s2.bin"));
  ASSERT_TRUE(c.Download(urlS, "C:\\dl\\s2.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\s2.bin")), small);
  EXPECT_EQ(GetRanges(), (std::vector<std::string>{""}));
}

TEST_P(AcHTTPClient, PartialOfAnotherVersionIsNotContinued) {
  const std::string a = Pattern(100000, 1), b = Pattern(100000, 2);
  const std::string url = Serve("/v.bin", a);
  LeavePartial("/v.bin", "C:\\dl\\v.bin", 40000);
  Replace("/v.bin", b);  // the same length
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\v.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\v.bin")), b);
  EXPECT_EQ(GetRanges(), (std::vector<std::string>{""}));
  EXPECT_FALSE(HasRecord("C:\\dl\\v.bin"));
}

// The file changes between the HEAD and the range request: If-Range makes the store answer
// with the whole new file, which is written from the start.
TEST_P(AcHTTPClient, FileChangedDuringAResumeIsTakenWhole) {
  const std::string a = Pattern(100000, 1), b = Pattern(100000, 2);
  const std::string url = Serve("/v.bin", a);
  LeavePartial("/v.bin", "C:\\dl\\v.bin", 40000);
  FStore.AddFault({.Pattern = "/v.bin", .LatencyMs = 700, .Times = 1, .Method = "GET"});
  std::thread rewrite([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    Replace("/v.bin", b);
  });
  TAcHTTPClient c;
  const bool done = c.Download(url, "C:\\dl\\v.bin");
  rewrite.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(ReadHost(Host("C:\\dl\\v.bin")), b);
  EXPECT_EQ(GetRanges().size(), 1u);
  EXPECT_FALSE(HasRecord("C:\\dl\\v.bin"));
}

// A stall, reset or TLS failure is no reason to throw the bytes away: the error goes to the
// caller, whose next call resumes. A server that refuses the range gets the file from 0.
TEST_P(AcHTTPClient, AFailedResumeKeepsThePartialUnlessTheRangeIsRefused) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/f.bin", data);
  LeavePartial("/f.bin", "C:\\dl\\f.bin", 40000);
  FStore.AddFault({.Pattern = "/f.bin", .LatencyMs = 2500, .Times = 1, .Method = "GET"});
  TAcHTTPClient c;
  c.SetReadTimeout(300);
  EXPECT_NE(ErrorOf(c, url, "C:\\dl\\f.bin"), "<no error>");
  EXPECT_EQ(Parts("C:\\dl\\f.bin"), data.substr(0, 40000));
  FStore.AddFault({.Pattern = "/f.bin", .ForceStatus = 416, .Times = 1, .Method = "GET"});
  FStore.ClearLog();
  ASSERT_TRUE(c.Download(url, "C:\\dl\\f.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\f.bin")), data);
  EXPECT_EQ(GetRanges(),
            (std::vector<std::string>{Net() ? "bytes=40000-100000" : "bytes=40000-50239", ""}));
}

TEST_P(AcHTTPClient, CompletePartsFileIsRenamedWithoutAGet) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/c.bin", data);
  TAcHTTPClient c;
  // The rename fails once, after every byte is in.
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Rename, Host("C:\\dl\\c.bin"));
  EXPECT_NE(ErrorOf(c, url, "C:\\dl\\c.bin").find("文件重命名"), std::string::npos);
  ov::platform::fs::ClearFaults();
  EXPECT_EQ(Parts("C:\\dl\\c.bin"), data);
  FStore.ClearLog();
  ASSERT_TRUE(c.Download(url, "C:\\dl\\c.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\c.bin")), data);
  EXPECT_TRUE(GetRanges().empty());
  EXPECT_FALSE(HasRecord("C:\\dl\\c.bin"));
}

TEST_P(AcHTTPClient, PartsFileLongerThanTheFileIsDeleted) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/l.bin", data);
  LeavePartial("/l.bin", "C:\\dl\\l.bin", 40000);
  WriteHost(Host("C:\\dl\\l.bin.parts"), std::string(120000, 'x'));
  TAcHTTPClient c;
  EXPECT_EQ(ErrorOf(c, url, "C:\\dl\\l.bin"), "文件下载位置超出文件大小");
  EXPECT_FALSE(HasParts("C:\\dl\\l.bin"));
  EXPECT_FALSE(HasRecord("C:\\dl\\l.bin"));
  ASSERT_TRUE(c.Download(url, "C:\\dl\\l.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\l.bin")), data);
}

TEST_P(AcHTTPClient, AnEmptyFileIsDownloaded) {
  const std::string url = Serve("/empty.bin", "");
  WriteHost(Host("C:\\dl\\e.bin.parts"), "left over");
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\e.bin"));
  EXPECT_TRUE(HostExists(Host("C:\\dl\\e.bin")));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\e.bin")), "");
  EXPECT_FALSE(HasParts("C:\\dl\\e.bin"));
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

// The error page of a GET after a good HEAD never reaches the partial, fresh or resumed.
TEST_P(AcHTTPClient, GetStatusFailureNamesTheStackAndWritesNothing) {
  const std::string text = std::string(Net() ? "请求服务器失败(Net)" : "请求服务器失败(Idy)") +
                           " 503: Service Unavailable";
  const std::string small = Pattern(100), large = Pattern(100000);
  const std::string urlS = Serve("/g.bin", small), urlL = Serve("/h.bin", large);
  TAcHTTPClient c;
  FStore.AddFault({.Pattern = "/g.bin", .ForceStatus = 503, .Times = 1, .Method = "GET"});
  EXPECT_EQ(ErrorOf(c, urlS, "C:\\dl\\g.bin"), text);
  EXPECT_EQ(Parts("C:\\dl\\g.bin"), "");
  ASSERT_TRUE(c.Download(urlS, "C:\\dl\\g.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\g.bin")), small);

  LeavePartial("/h.bin", "C:\\dl\\h.bin", 40000);
  FStore.AddFault({.Pattern = "/h.bin", .ForceStatus = 503, .Times = 1, .Method = "GET"});
  EXPECT_EQ(ErrorOf(c, urlL, "C:\\dl\\h.bin"), text);
  EXPECT_EQ(Parts("C:\\dl\\h.bin"), large.substr(0, 40000));
  ASSERT_TRUE(c.Download(urlL, "C:\\dl\\h.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\h.bin")), large);
}

// The operating system's reason comes with the failure: a disk that is full, a denied write.
TEST_P(AcHTTPClient, WriteFailureNamesTheReason) {
  const std::string url = Serve("/w.bin", Pattern(1000));
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Write, Host("C:\\dl\\w.bin.parts"));
  TAcHTTPClient c;
  EXPECT_EQ(ErrorOf(c, url, "C:\\dl\\w.bin"),
            "写入下载文件失败: write: access denied (injected) " + Host("C:\\dl\\w.bin.parts"));
  ov::platform::fs::ClearFaults();
  if (!HostExists("/dev/full")) return;
  stdfs::create_symlink("/dev/full", Host("C:\\dl\\full.bin.parts"));
  const std::string e = ErrorOf(c, url, "C:\\dl\\full.bin");
  EXPECT_EQ(e.rfind("写入下载文件失败: write ", 0), 0u) << e;
  EXPECT_NE(e.find(std::strerror(ENOSPC)), std::string::npos) << e;
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
  const std::string data = Pattern(100000);
  const std::string url = Serve("/r.bin", data);
  const std::string dl = Host("C:\\dl");
  LeavePartial("/r.bin", "C:\\dl\\R.BIN", 40000);  // an earlier run's name
  ASSERT_TRUE(HostExists(dl + "/R.BIN.parts.info"));
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(url, "C:\\dl\\r.bin"));
  EXPECT_EQ(ReadHost(dl + "/r.bin"), data);
  EXPECT_FALSE(HostExists(dl + "/R.BIN.parts"));
  EXPECT_FALSE(HostExists(dl + "/R.BIN.parts.info"));
  EXPECT_FALSE(HostExists(dl + "/r.bin.parts"));
  EXPECT_EQ(GetRanges().front(), Net() ? "bytes=40000-100000" : "bytes=40000-50239");
}

TEST_P(AcHTTPClientPosix, TargetOfAnotherCaseIsReplaced) {
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

TEST_P(AcHTTPClientPosix, EachDownloadSeesTheFolderAsItIsNow) {
  const std::string a = Pattern(300, 1), b = Pattern(100000, 2);
  const std::string urlA = Serve("/a.bin", a), urlB = Serve("/b.bin", b);
  const std::string dl = Host("C:\\dl");
  LeavePartial("/b.bin", "C:\\other\\b.bin", 40000);
  TAcHTTPClient c;
  ASSERT_TRUE(c.Download(urlA, "C:\\dl\\a.bin"));
  // Appears between two downloads into the same folder, as another process would leave it.
  stdfs::rename(Host("C:\\other\\b.bin.parts"), dl + "/B.Bin.Parts");
  stdfs::rename(Host("C:\\other\\b.bin.parts.info"), dl + "/B.Bin.Parts.Info");
  FStore.ClearLog();
  ASSERT_TRUE(c.Download(urlB, "C:\\dl\\b.bin"));
  EXPECT_EQ(ReadHost(dl + "/b.bin"), b);
  EXPECT_FALSE(HostExists(dl + "/B.Bin.Parts"));
  EXPECT_FALSE(HostExists(dl + "/B.Bin.Parts.Info"));
  EXPECT_EQ(GetRanges().front(), Net() ? "bytes=40000-100000" : "bytes=40000-50239");
  WriteHost(dl + "/A.BIN", "stale");
  stdfs::remove(dl + "/a.bin");
  ASSERT_TRUE(c.Download(urlA, "C:\\dl\\a.bin"));
  EXPECT_FALSE(HostExists(dl + "/A.BIN"));
  EXPECT_EQ(ReadHost(dl + "/a.bin"), a);
}

TEST_P(AcHTTPClient, DroppedConnectionKeepsThePrefixAndTheNextCallCompletes) {
  const std::string data = Pattern(100000);
  const std::string url = Serve("/d.bin", data);
  FStore.AddFault({.Pattern = "/d.bin", .Times = 1});  // the HEAD
  FStore.AddFault({.Pattern = "/d.bin", .CloseAfterBytes = 30000, .Times = 1});
  TAcHTTPClient c;
  EXPECT_FALSE(c.Download(url, "C:\\dl\\d.bin"));
  EXPECT_EQ(Parts("C:\\dl\\d.bin"), data.substr(0, 30000));
  // A new client, as after a restart of the program, resumes from the kept bytes.
  TAcHTTPClient again;
  ASSERT_TRUE(again.Download(url, "C:\\dl\\d.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\d.bin")), data);
  EXPECT_EQ(GetRanges()[1], Net() ? "bytes=30000-100000" : "bytes=30000-40239");
}

TEST_P(AcHTTPClient, LargeFileResumedAfterADropHasTheRightBytes) {
  const size_t size = Net() ? 100u << 20 : 8u << 20;
  const std::string data = Pattern(size, 7);
  const std::string url = Serve("/large.bin", data);
  const int64_t dropAt = Net() ? 37 << 20 : 3 << 20;
  FStore.AddFault({.Pattern = "/large.bin", .Times = 1});
  FStore.AddFault({.Pattern = "/large.bin", .CloseAfterBytes = dropAt, .Times = 1});
  TAcHTTPClient c;
  EXPECT_FALSE(c.Download(url, "C:\\dl\\large.bin"));
  EXPECT_EQ(static_cast<int64_t>(Parts("C:\\dl\\large.bin").size()), dropAt);
  // One call finishes the resume on either stack.
  ASSERT_TRUE(c.Download(url, "C:\\dl\\large.bin"));
  EXPECT_EQ(TovLib::GetFileMD5("C:\\dl\\large.bin"), TovLib::GetMd5(data));
}

TEST_P(AcHTTPClient, AbortEndsWithFalseAndKeepsTheParts) {
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

// The stop test ends a download before its first request and in the middle of its body; the
// bytes that came stay for a resume.
TEST_P(AcHTTPClient, StopTestEndsADownloadInFlight) {
  const std::string data = Pattern(4 << 20);
  const std::string url = Serve("/st.bin", data);
  TAcHTTPClient c;
  bool stop = true;
  c.SetStopTest([&] { return stop; });
  EXPECT_FALSE(c.Download(url, "C:\\dl\\st.bin"));
  EXPECT_TRUE(FStore.RequestLog().empty());

  FStore.AddFault({.Pattern = "/st.bin", .BandwidthBytesPerSec = 1 << 20});
  StopAfter200ms(c);
  auto t0 = Clock::now();
  EXPECT_FALSE(c.Download(url, "C:\\dl\\st.bin"));
  EXPECT_LT(ElapsedMs(t0), 2000);
  const std::string got = Parts("C:\\dl\\st.bin");
  EXPECT_GT(got.size(), 0u);
  EXPECT_LT(got.size(), data.size());
  EXPECT_EQ(got, data.substr(0, got.size()));
  c.SetStopTest(nullptr);
  ASSERT_TRUE(c.Download(url, "C:\\dl\\st.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\st.bin")), data);
}

// ... and while the server sends nothing at all.
TEST_P(AcHTTPClient, StopTestEndsAStalledAnswer) {
  const std::string data = Pattern(300000);
  const std::string url = Serve("/st.bin", data);
  LeavePartial("/st.bin", "C:\\dl\\st.bin", 100000);
  TAcHTTPClient c;
  FStore.AddFault({.Pattern = "/st.bin", .LatencyMs = 3000, .Times = 1, .Method = "GET"});
  StopAfter200ms(c);
  const auto t0 = Clock::now();
  EXPECT_FALSE(c.Download(url, "C:\\dl\\st.bin"));
  EXPECT_LT(ElapsedMs(t0), 2500);
  EXPECT_EQ(Parts("C:\\dl\\st.bin"), data.substr(0, 100000));
  c.SetStopTest(nullptr);
  ASSERT_TRUE(c.Download(url, "C:\\dl\\st.bin"));
  EXPECT_EQ(ReadHost(Host("C:\\dl\\st.bin")), data);
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

// The CA file vouches for the names its certificate carries, not for another name of the same
// server.
TEST_P(AcHTTPClient, TlsWithTheCaFileRefusesAnotherHostName) {
  std::string cert, key;
  MakeCertificate(cert, key);  // for 127.0.0.1
  Serve("/s.bin", Pattern(3000));
  FStore.Stop();
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = RootDir();
  cfg.CertFile = cert;
  cfg.KeyFile = key;
  ASSERT_TRUE(FStore.Start(cfg));
  const std::string url = "https://localhost:" + std::to_string(FStore.Port()) + "/s.bin";
  // The server answers under that name when nothing is checked.
  ov::net::THttpOptions unchecked;
  unchecked.VerifyPeer = false;
  EXPECT_GT(ov::net::NetPost(url, "{}", unchecked).Status, 0);
  TAcHTTPClient c;
  c.SetCaFile(cert);
  EXPECT_NE(ErrorOf(c, url, "C:\\dl\\s.bin"), "<no error>");
  EXPECT_FALSE(HostExists(Host("C:\\dl\\s.bin")));
  EXPECT_EQ(Parts("C:\\dl\\s.bin"), "");
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

TEST_P(AcHTTPClient, NetFileExistsOverTlsTrustsTheCaFile) {
  std::string cert, key;
  MakeCertificate(cert, key);
  Serve("/e/here.png", Pattern(1000));
  FStore.Stop();
  ov::standin::TFileStoreConfig cfg;
  cfg.Root = RootDir();
  cfg.CertFile = cert;
  cfg.KeyFile = key;
  ASSERT_TRUE(FStore.Start(cfg));
  TAcHTTPClient c;
  EXPECT_FALSE(c.NetFileExists(FStore.BaseUrl() + "/e/here.png"));
  c.SetCaFile(cert);
  EXPECT_TRUE(c.NetFileExists(FStore.BaseUrl() + "/e/here.png"));
  EXPECT_FALSE(c.NetFileExists(FStore.BaseUrl() + "/e/none.png"));
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

// A server that trickles its answer a byte at a time never trips a read time-out; the post
// still ends at the connection plus the read time-out.
TEST_P(AcHTTPClient, PostsGiveUpAtTheirDeadline) {
  TTrickleServer slow(40, 100);  // 4 s for the whole answer
  ov::net::THttpOptions o;
  o.ConnTimeoutMs = 300;
  o.ReadTimeoutMs = 700;
  const auto t0 = Clock::now();
  std::string error = "<no error>";
  try {
    Net() ? ov::net::NetPost(slow.Url(), "{}", o) : ov::net::IdPost(slow.Url(), "{}", o);
  } catch (const ov::Error& e) {
    error = e.what();
  }
  EXPECT_NE(error, "<no error>");
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2500)) << error;
}

TEST(AcHTTPClientLog, PrimaryFailureIsLoggedAndTheSecondaryTakesOver) {
  ov::net::SetNetStackCreationFails(true);
  TAcHTTPClient c;
  ov::net::SetNetStackCreationFails(false);
  EXPECT_EQ(c.NtHTTP(), nullptr);
  ASSERT_NE(c.IdHTTP(), nullptr);
  EXPECT_EQ(c.IdHTTP()->Name(), "Id");
}
