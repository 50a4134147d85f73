#include "base/LoggerUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "base/OVDateUtil.h"
#include "common/OVError.h"
#include "common/TestPrefix.h"
#include "platform/FileSystem.h"

using ov::EncodeDateTime;

namespace {

class LoggerTest : public TPrefixTest {
 protected:
  void SetUp() override {
    TPrefixTest::SetUp();
    FClock = std::make_shared<ov::TFixedClock>(EncodeDateTime(2026, 3, 1, 14, 3, 7, 42));
    ov::SetClock(FClock);
  }
  // A logger as start-up leaves it: enabled, prefix "DIZuro", in the cache folder.
  std::unique_ptr<TLogger> MakeLogger(const std::string& aDir = "C:\\ProgramData\\OVInstCache\\") {
    auto l = std::make_unique<TLogger>();
    l->SetEnabled(true);
    l->SetLogFilenamePer("DIZuro");
    l->SetLogFileDir(aDir);
    return l;
  }
  std::string LogText(const std::string& aName) {
    return ReadHost(Host("C:\\ProgramData\\OVInstCache\\" + aName));
  }
  std::shared_ptr<ov::TFixedClock> FClock;
};

}  // namespace

TEST_F(LoggerTest, WritesTimeTagAndTextWithCrLf) {
  auto l = MakeLogger();
  l->WriteLog("安装开始", 0);
  l->WriteLog("hint", 1);
  l->WriteLog("warn", 2);
  l->WriteLog("err", 3);
  EXPECT_EQ(l->LogFileName(), "DIZuro260301.log");
  EXPECT_EQ(LogText("DIZuro260301.log"),
            "14:03:07.042 [消息] 安装开始\r\n"
            "14:03:07.042 [提示] hint\r\n"
            "14:03:07.042 [警告] warn\r\n"
            "14:03:07.042 [错误] err\r\n");
}

TEST_F(LoggerTest, LevelRules) {
  auto l = MakeLogger();
  l->WriteLog("untagged", 7);
  l->WriteLog("", 0);
  l->WriteLog("view only", -1);
  EXPECT_EQ(LogText("DIZuro260301.log"), "14:03:07.042 untagged\r\n\r\n");
}

TEST_F(LoggerTest, AppendsToAnExistingFileWithoutBom) {
  WriteHost(Host("C:\\ProgramData\\OVInstCache\\DIZuro260301.log"), "old line\r\n");
  auto l = MakeLogger();
  l->WriteLog("a", 0);
  FClock->Advance(1.0 / 86400);
  l->WriteLog("b", 0);
  EXPECT_EQ(LogText("DIZuro260301.log"),
            "old line\r\n14:03:07.042 [消息] a\r\n14:03:08.042 [消息] b\r\n");
}

TEST_F(LoggerTest, FirstWriteAfterMidnightOpensTheNextDaysFile) {
  FClock->Set(EncodeDateTime(2026, 3, 1, 23, 59, 59, 500));
  auto l = MakeLogger();
  l->WriteLog("before", 0);
  FClock->Set(EncodeDateTime(2026, 3, 2, 0, 0, 0, 100));
  l->WriteLog("after", 0);
  EXPECT_EQ(l->LogFileName(), "DIZuro260302.log");
  EXPECT_EQ(LogText("DIZuro260301.log"), "23:59:59.500 [消息] before\r\n");
  EXPECT_EQ(LogText("DIZuro260302.log"), "00:00:00.100 [消息] after\r\n");
}

TEST_F(LoggerTest, DisabledLoggerCreatesNoFile) {
  TLogger l;
  l.SetLogFilenamePer("DIZuro");
  l.SetLogFileDir("C:\\ProgramData\\OVInstCache\\");
  l.WriteLog("nothing", 0);
  EXPECT_FALSE(HostExists(Host("C:\\ProgramData\\OVInstCache\\DIZuro260301.log")));
  EXPECT_EQ(l.LogFileName(), "");
}

TEST_F(LoggerTest, DefaultsAndTheFolderBesideTheProgram) {
  TLogger l;
  EXPECT_FALSE(l.Enabled());
  EXPECT_EQ(l.LogFileDir(), "C:\\OVTest\\log\\");
  EXPECT_EQ(l.LogFilenamePer(), "");
  l.SetEnabled(true);
  l.WriteLog("x", 0);  // before LogFileDir is set: the default folder and the empty prefix
  EXPECT_TRUE(HostExists(Host("C:\\OVTest\\log\\260301.log")));
}

TEST_F(LoggerTest, FolderOnAMissingDriveIsRefused) {
  TLogger l;
  try {
    l.SetLogFileDir("Q:\\Logs\\");
    FAIL() << "no error";
  } catch (const ov::Error& e) {
    EXPECT_STREQ(e.what(), "日志路径错误，日志类对象不能被创建");
  }
  EXPECT_EQ(l.LogFileDir(), "Q:\\Logs\\");  // stored all the same
  // Writing then falls back to the program's folder.
  l.SetEnabled(true);
  l.WriteLog("fallback", 0);
  EXPECT_EQ(l.LogFileDir(), "C:\\OVTest\\log\\");
}

TEST_F(LoggerTest, OpenFailurePropagatesAndLaterWritesRetry) {
  auto l = MakeLogger();
  const std::string host = Host("C:\\ProgramData\\OVInstCache\\DIZuro260301.log");
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Create, host);
  EXPECT_THROW(l->WriteLog("lost", 0), ov::Error);
  ov::platform::fs::ClearFaults();
  l->WriteLog("kept", 0);
  EXPECT_EQ(ReadHost(host), "14:03:07.042 [消息] kept\r\n");
}

TEST_F(LoggerTest, ConcurrentWritersNeverInterleaveLines) {
  auto l = MakeLogger();
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t) {
    ts.emplace_back([&l, t] {
      for (int i = 0; i < 200; ++i) l->WriteLog("thread" + std::to_string(t) + "-line", 0);
    });
  }
  for (auto& th : ts) th.join();
  std::string text = LogText("DIZuro260301.log");
  size_t lines = 0;
  size_t pos = 0;
  while ((pos = text.find("\r\n", pos)) != std::string::npos) {
    ++lines;
    pos += 2;
  }
  EXPECT_EQ(lines, 800u);
  for (int t = 0; t < 4; ++t) {
    std::string line = "14:03:07.042 [消息] thread" + std::to_string(t) + "-line\r\n";
    size_t count = 0;
    for (size_t p = text.find(line); p != std::string::npos; p = text.find(line, p + 1)) ++count;
    EXPECT_EQ(count, 200u);
  }
}

TEST_F(LoggerTest, CleanFileWalksBackUntilThreeMissingDays) {
  FClock->Set(EncodeDateTime(2026, 3, 10, 9, 0));
  auto l = MakeLogger();
  const std::string dir = "C:\\ProgramData\\OVInstCache\\";
  std::vector<std::string> days = {"260227", "260301", "260302", "260303", "260304", "260305",
                                   "260306", "260307", "260308", "260309", "260310", "260223"};
  for (const auto& d : days) WriteHost(Host(dir + "DIZuro" + d + ".log"), "x");
  // The older four-digit-year form of a day in range goes as well.
  WriteHost(Host(dir + "DIZuro20260302.log"), "x");
  l->CleanFile(7, 70);
  auto exists = [&](const std::string& n) { return HostExists(Host(dir + "DIZuro" + n + ".log")); };
  for (const char* gone : {"260303", "260302", "260301", "260227", "20260302"}) {
    EXPECT_FALSE(exists(gone)) << gone;
  }
  for (const char* kept : {"260304", "260305", "260306", "260307", "260308", "260309", "260310"}) {
    EXPECT_TRUE(exists(kept)) << kept;
  }
  // 26, 25 and 24 February were missing, so the walk stopped before the 23rd.
  EXPECT_TRUE(exists("260223"));
}

TEST_F(LoggerTest, ProcessWideInstanceIsCreatedOnce) {
  EXPECT_EQ(Logger(), nullptr);
  CreateProcessLogger();
  TLogger* first = Logger();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->Enabled());
  EXPECT_EQ(first->LogFilenamePer(), "OVUpdate");
  CreateProcessLogger();
  EXPECT_EQ(Logger(), first);
  FreeProcessLogger();
  EXPECT_EQ(Logger(), nullptr);
}
