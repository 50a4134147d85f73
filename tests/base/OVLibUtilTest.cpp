#include "base/OVLibUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/LoggerUtil.h"
#include "common/OVError.h"
#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

using ov::EncodeDateTime;

namespace {

class OVLibTest : public TPrefixTest {
 protected:
  void SetUp() override {
    TPrefixTest::SetUp();
    ov::SetClock(std::make_shared<ov::TFixedClock>(EncodeDateTime(2026, 3, 10, 8, 30)));
  }
  // The process-wide logger writing into C:\Logs\ under the prefix "T".
  void StartLogger() {
    CreateProcessLogger();
    Logger()->SetLogFilenamePer("T");
    Logger()->SetLogFileDir("C:\\Logs\\");
  }
  std::string LogText() { return ReadHost(Host("C:\\Logs\\T260310.log")); }
};

// A tick source whose answers and failures the test chooses.
class FakeTicks : public ov::platform::ITickSource {
 public:
  uint64_t t64 = 0;
  uint32_t t32 = 0;
  int64_t now = 0, boot = 0;
  bool fail64 = false, fail32 = false, failTimes = false;
  uint64_t TickCount64() override {
    if (fail64) throw ov::Error("no 64");
    return t64;
  }
  uint32_t TickCount32() override {
    if (fail32) throw ov::Error("no 32");
    return t32;
  }
  void SystemTimes(int64_t& aNow, int64_t& aBoot) override {
    if (failTimes) throw ov::Error("no clock");
    aNow = now;
    aBoot = boot;
  }
};

}  // namespace

TEST(OVLib, Md5MatchesTheRfc1321Suite) {
  EXPECT_EQ(TovLib::GetMd5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(TovLib::GetMd5("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(TovLib::GetMd5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(TovLib::GetMd5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(TovLib::GetMd5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(TovLib::GetMd5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  std::string digits;
  for (int i = 0; i < 8; ++i) digits += "1234567890";
  EXPECT_EQ(TovLib::GetMd5(digits), "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(TovLib::GetMd5("中文"), "a7bac2239fcdcb3a067903d8077c4a07");  // UTF-8 bytes
}

TEST(OVLib, ConvertBytesPicksTheLargestUnitBelow1024) {
  EXPECT_EQ(TovLib::ConvertBytes(0), "0 Bytes");
  EXPECT_EQ(TovLib::ConvertBytes(1024), "1024 Bytes");
  EXPECT_EQ(TovLib::ConvertBytes(1025), "1 KB");
  EXPECT_EQ(TovLib::ConvertBytes(1536), "1.5 KB");
  EXPECT_EQ(TovLib::ConvertBytes(1048576), "1024 KB");
  EXPECT_EQ(TovLib::ConvertBytes(1073741824), "1024 MB");
  EXPECT_EQ(TovLib::ConvertBytes(1048577 + 5243), "1.01 MB");
  EXPECT_EQ(TovLib::ConvertBytes(INT64_MAX), "8 EB");
}

TEST(OVLib, TagStrTakesTheTextBetweenTags) {
  EXPECT_EQ(TovLib::GetTagStr("a[x]c[/x]d", "[x]", "[/x]", false), "c");
  EXPECT_EQ(TovLib::GetTagStr("a[x]c[/x]d", "[X]", "[/X]", true), "c");
  EXPECT_EQ(TovLib::GetTagStr("a[x]c[/x]d", "[X]", "[/x]", false), "");
  EXPECT_EQ(TovLib::GetTagStr("a[x]c", "[x]", "[/x]", false), "");
  EXPECT_EQ(TovLib::GetTagStr("a[x]c[/x]d", "[x]", "", false), "c[/x]d");
  EXPECT_EQ(TovLib::GetTagStr("a[x]c[/x]d", "", "[x]", false), "a");
  EXPECT_EQ(TovLib::GetTagStr("abc", "", "", false), "");
}

TEST(OVLib, UrlNames) {
  EXPECT_EQ(TovLib::GetUrlLastName("http://h.example/files/app.zip?x=1"), "app.zip");
  EXPECT_EQ(TovLib::GetUrlLastName("http://h.example/files/"), "files");
  EXPECT_EQ(TovLib::GetUrlLastName("https://h.example/a/b.png#frag"), "b.png");
  EXPECT_EQ(TovLib::GetUrlLastName("http://h.example"), "");
  EXPECT_EQ(TovLib::GetUrlLastName("ovupdata://host/x/y.txt"), "y.txt");
  EXPECT_THROW(TovLib::GetUrlLastName("http://bad host/a"), ov::Error);
  EXPECT_THROW(TovLib::GetUrlLastName(""), ov::Error);
  EXPECT_EQ(TovLib::GetUrlFileName("http://h.example/files/app.zip?x=1"), "app.zip?x=1");
  EXPECT_EQ(TovLib::GetUrlFileName(""), "");
}

TEST(OVLib, CmdTextAndIif) {
  EXPECT_TRUE(TovLib::SameCmdText("POS", "web,pos,\"svc x\""));
  EXPECT_TRUE(TovLib::SameCmdText("svc x", "web,pos,\"svc x\""));
  EXPECT_FALSE(TovLib::SameCmdText("svc", "web,pos,\"svc x\""));
  EXPECT_EQ(TovLib::Iif(true, 1, 2), 1);
  EXPECT_EQ(TovLib::Iif<std::string>(false, "a", "b"), "b");
}

TEST(OVLib, RandomTextUsesTheAlphabetAndDiffersBetweenCalls) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string r = TovLib::GetRandom(16);
  ASSERT_EQ(r.size(), 16u);
  for (char c : r) EXPECT_NE(alphabet.find(c), std::string::npos);
  EXPECT_EQ(TovLib::GetRandom(0), "");
  EXPECT_EQ(TovLib::GetRandom(-3), "");
  // Calls within the same millisecond still differ (no reseeding from the clock).
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) seen.insert(TovLib::GetRandom(16));
  EXPECT_EQ(seen.size(), 100u);
  // Every character of the alphabet turns up in a long sample.
  std::string big = TovLib::GetRandom(20000);
  std::set<char> chars(big.begin(), big.end());
  EXPECT_EQ(chars.size(), 62u);
}

TEST(OVLib, TimeStampsAndMilliseconds) {
  EXPECT_EQ(TovLib::GetMillTimeStamp(EncodeDateTime(1970, 1, 1, 8, 0, 1)), 1000);
  EXPECT_EQ(TovLib::GetMillTimeStamp(EncodeDateTime(1970, 1, 1, 7, 59, 59)), 1000);
  EXPECT_EQ(TovLib::GetMillTimeStamp(EncodeDateTime(2026, 3, 10, 8, 0, 0, 5)),
            INT64_C(1773100800005));
  EXPECT_EQ(TovLib::DateTimeToMilliseconds(EncodeDateTime(1, 1, 1)), ov::kMSecsPerDay);
  EXPECT_EQ(TovLib::DateTimeToMilliseconds(EncodeDateTime(1, 1, 2, 0, 0, 1)),
            2 * ov::kMSecsPerDay + 1000);
  EXPECT_EQ(TovLib::FMT(EncodeDateTime(2026, 3, 10, 9, 5), "yyyy-MM-dd HH:mm"),
            "2026-03-10 09:05");
}

TEST_F(OVLibTest, TickTimePrefersTheKernelUptime) {
  auto ticks = std::make_shared<FakeTicks>();
  ov::platform::SetTickSource(ticks);
  ticks->t64 = 5;
  ticks->now = 1000000000;
  ticks->boot = 1000000000 - 12345 * 10000LL;
  EXPECT_EQ(TovLib::GetTickTime(), 12345);
  ticks->t64 = 0;
  ticks->t32 = 77;
  EXPECT_EQ(TovLib::GetTickTime(), 77);
  ticks->fail64 = true;  // a failed ask reads as 0
  EXPECT_EQ(TovLib::GetTickTime(), 77);
  ov::platform::SetTickSource(nullptr);
  int64_t a = TovLib::GetTickTime();
  int64_t b = TovLib::GetTickTime();
  EXPECT_GT(a, 0);
  EXPECT_GE(b, a);
}

TEST_F(OVLibTest, TickTimeLogsWhenBothCountersReadZero) {
  StartLogger();
  auto ticks = std::make_shared<FakeTicks>();
  ov::platform::SetTickSource(ticks);
  ticks->now = 50000;
  ticks->boot = 10000;
  EXPECT_EQ(TovLib::GetTickTime(), 4);
  EXPECT_NE(LogText().find("[消息] 获取时间戳<=0[0切换为2]_GetTickCount64[4]\r\n"),
            std::string::npos);
  ticks->fail32 = true;
  ticks->failTimes = true;
  EXPECT_EQ(TovLib::GetTickTime(), 0);
  EXPECT_NE(LogText().find("[GetTickTime]GetTickCount出错：no 32，切换也出错：no 32"),
            std::string::npos)
      << LogText();
}

TEST_F(OVLibTest, PathsOfTheProgram) {
  EXPECT_EQ(TovLib::GetModuleFile(), "C:\\OVTest\\OVOnlineSetup.exe");
  EXPECT_EQ(TovLib::GetModulePath(), "C:\\OVTest\\");
  EXPECT_EQ(TovLib::GetAppPath(), "C:\\OVTest\\");
  EXPECT_EQ(TovLib::GetTempPath("", false), "C:\\OVTest\\updt_temp\\");
  EXPECT_FALSE(HostExists(Host("C:\\OVTest\\updt_temp")));
  EXPECT_EQ(TovLib::GetTempPath(" D:\\Ondrevo\\ ", false), "D:\\Ondrevo\\updt_temp\\");
  EXPECT_EQ(TovLib::GetTempPath("C:\\Work\\", true), "C:\\Work\\updt_temp\\");
  EXPECT_TRUE(HostExists(Host("C:\\Work\\updt_temp")));
  EXPECT_EQ(TovLib::GetLastSubDir("C:\\a\\Ketrin\\"), "Ketrin");
  EXPECT_EQ(TovLib::GetLastSubDir("Ketrin"), "Ketrin");
}

// The executable as /proc names it, through the prefix's drives.
using OVLibPosixTest = OVLibTest;

TEST_F(OVLibPosixTest, RealExecutableIsReachedThroughTheReverseMapping) {
  ov::platform::SetProgramFileOverride("");
  std::string f = TovLib::GetCurrFile();
  ASSERT_GE(f.size(), 3u);
  EXPECT_EQ(f.substr(1, 2), ":\\");
  EXPECT_EQ(Host(f), std::filesystem::canonical("/proc/self/exe").string());
}

TEST_F(OVLibTest, IniReadWriteResolvesTheFileBesideTheProgram) {
  EXPECT_EQ(TovLib::IniRead("Options", "Host", "dflt"), "dflt");
  EXPECT_FALSE(HostExists(Host("C:\\OVTest\\OVUpdata.ini")));
  EXPECT_EQ(TovLib::IniRead("Options", "Port", int64_t{8080}, "", true), "8080");
  EXPECT_EQ(ReadHost(Host("C:\\OVTest\\OVUpdata.ini")), "[Options]\r\nPort=8080\r\n");
  EXPECT_TRUE(TovLib::IniOptWrite("NewHost", "10.1.2.3"));
  EXPECT_EQ(TovLib::IniOptRead("newhost", ""), "10.1.2.3");
  EXPECT_TRUE(TovLib::IniWrite("Other", "k", "v", "custom.ini"));
  EXPECT_EQ(TovLib::IniRead("other", "K", "", "C:\\OVTest\\custom.ini"), "v");
  EXPECT_TRUE(TovLib::IniWrite("S", "n", int64_t{-5}, "C:\\OVTest\\custom.ini"));
  EXPECT_EQ(TovLib::IniRead("S", "n", "", "custom.ini"), "-5");
  // A value that would break the file's lines is refused and the file stays as it was.
  EXPECT_FALSE(TovLib::IniWrite("S", "n", "1\r\n[Evil]\r\nx=1", "custom.ini"));
  EXPECT_EQ(TovLib::IniRead("S", "n", "", "custom.ini"), "-5");
  EXPECT_EQ(TovLib::IniRead("Evil", "x", "none", "custom.ini"), "none");
  // A folder that does not exist cannot take the file.
  EXPECT_FALSE(TovLib::IniWrite("S", "n", "1", "C:\\Nowhere\\x.ini"));
}

TEST_F(OVLibTest, IniReadErrorsPropagate) {
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"), "[Options]\r\nIsDebug=1\r\n");
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Open, Host("C:\\OVTest\\OVUpdata.ini"));
  EXPECT_THROW(TovLib::IniRead("Options", "IsDebug", "0"), ov::Error);
  EXPECT_FALSE(TovLib::IniWrite("Options", "IsDebug", "0"));
}

TEST_F(OVLibTest, IsDebugComparesNumerically) {
  EXPECT_FALSE(TovLib::IsDebug());  // no settings file
  for (const auto& [text, expected] :
       std::vector<std::pair<std::string, bool>>{{"1", true}, {"01", true}, {"0", false},
                                                 {"2", false}, {"yes", false}, {"", false}}) {
    WriteHost(Host("C:\\OVTest\\OVUpdata.ini"), "[Options]\r\nIsDebug=" + text + "\r\n");
    EXPECT_EQ(TovLib::IsDebug(), expected) << text;
  }
}

TEST_F(OVLibTest, LogWritesDebugLinesOnlyInDebugMode) {
  StartLogger();
  TovLib::Log("always", true);
  TovLib::Log("debug only", false);
  EXPECT_EQ(TovLib::DebugFlag(), 0);  // filled from IsDebug on first need
  EXPECT_EQ(LogText(), "08:30:00.000 [消息] always\r\n");

  // The cache decides until someone sets it again.
  WriteHost(Host("C:\\OVTest\\OVUpdata.ini"), "[Options]\r\nIsDebug=1\r\n");
  TovLib::Log("still hidden", false);
  TovLib::SetDebugFlag(TovLib::IsDebug() ? 1 : 0);
  TovLib::Log("now shown", false);
  EXPECT_EQ(LogText(), "08:30:00.000 [消息] always\r\n08:30:00.000 [消息] now shown\r\n");
}

TEST_F(OVLibTest, LogSwallowsLoggerFailures) {
  TovLib::Log("no logger yet", true);  // nothing to write to, nothing thrown
  StartLogger();
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Create, Host("C:\\Logs\\T260310.log"));
  EXPECT_NO_THROW(TovLib::Log("lost", true));
  // An unreadable settings file does not make Log fail either.
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Open, Host("C:\\OVTest\\OVUpdata.ini"));
  EXPECT_NO_THROW(TovLib::Log("debug", false));
}
