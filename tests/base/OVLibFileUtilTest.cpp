#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/LoggerUtil.h"
#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "common/TestPrefix.h"
#include "common/ZipMaker.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

using ov::EncodeDateTime;
namespace fs = ov::platform::fs;

namespace {

class OVLibFileTest : public TPrefixTest {
 protected:
  void SetUp() override {
    TPrefixTest::SetUp();
    ov::SetClock(std::make_shared<ov::TFixedClock>(EncodeDateTime(2026, 3, 10, 8, 30)));
    CreateProcessLogger();
    Logger()->SetLogFilenamePer("T");
    Logger()->SetLogFileDir("C:\\Logs\\");
    TovLib::SetDebugFlag(1);
  }
  std::string LogText() { return ReadHost(Host("C:\\Logs\\T260310.log")); }
};

}  // namespace

TEST_F(OVLibFileTest, FileMd5HashesContentAndIsEmptyForAMissingFile) {
  EXPECT_EQ(TovLib::GetFileMD5("C:\\none.bin"), "");
  WriteHost(Host("C:\\d\\empty.bin"), "");
  EXPECT_EQ(TovLib::GetFileMD5("C:\\d\\empty.bin"), "d41d8cd98f00b204e9800998ecf8427e");
  // Larger than one read block, so the blocks must be chained correctly.
  std::string big(700 * 1024 + 13, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 % 251);
  WriteHost(Host("C:\\d\\big.bin"), big);
  EXPECT_EQ(TovLib::GetFileMD5("C:\\D\\BIG.BIN"), TovLib::GetMd5(big));
  fs::InjectFault(fs::Op::Open, Host("C:\\d\\big.bin"));
  EXPECT_THROW(TovLib::GetFileMD5("C:\\d\\big.bin"), ov::Error);
}

TEST_F(OVLibFileTest, FileSizeIsZeroWhenNothingIsFound) {
  WriteHost(Host("C:\\d\\f.txt"), "12345");
  EXPECT_EQ(TovLib::GetFileSize("C:\\d\\f.txt"), 5);
  EXPECT_EQ(TovLib::GetFileSize("C:\\d\\missing.txt"), 0);
  EXPECT_EQ(TovLib::GetFileSize("C:\\d"), 0);
}

TEST_F(OVLibFileTest, FileTimeRoundTripsWithTwoSecondSteps) {
  WriteHost(Host("C:\\d\\a.dll"), "x");
  ASSERT_TRUE(TovLib::SetFileDateTime("C:\\d\\a.dll", EncodeDateTime(2025, 1, 2, 3, 4, 5),
                                      EncodeDateTime(2026, 3, 10, 10, 0, 1)));
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\a.dll", ftLastWriteTime), "2026-03-10 10:00:00");
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\a.dll", ftLastAccessTime), "2026-03-10 10:00:00");
  EXPECT_NE(LogText().find("[设置文件时间]SetFileTime成功：C:\\d\\a.dll"), std::string::npos);
  // Midnight shows the date alone.
  ASSERT_TRUE(TovLib::SetFileDateTime("C:\\d\\a.dll", EncodeDateTime(2026, 3, 10),
                                      EncodeDateTime(2026, 3, 10)));
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\a.dll", ftLastWriteTime), "2026-03-10");
  // The host keeps its own birth time; where it has none the last write stands in.
  EXPECT_FALSE(TovLib::GetFileTime("C:\\d\\a.dll", ftCreationTime).empty());
}

TEST_F(OVLibFileTest, FileTimeRelativeToTheProgramFolder) {
  WriteHost(Host("C:\\OVTest\\bin\\a.dll"), "x");
  ASSERT_TRUE(TovLib::SetFileDateTime("C:\\OVTest\\bin\\a.dll", EncodeDateTime(2026, 1, 1),
                                      EncodeDateTime(2026, 1, 1, 12, 0, 3)));
  EXPECT_EQ(TovLib::GetFileTime(".\\bin\\a.dll", ftLastWriteTime), "2026-01-01 12:00:02");
  // "..\" is a parent step, not the program folder.
  WriteHost(Host("C:\\OVTest\\x.txt"), "x");
  EXPECT_FALSE(TovLib::GetFileTime("C:\\OVTest\\bin\\..\\x.txt", ftLastWriteTime).empty());
}

TEST_F(OVLibFileTest, FileTimeFailures) {
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\missing.dll", ftLastWriteTime), "");
  EXPECT_NE(LogText().find("获取文件时间，文件不存在：C:\\d\\missing.dll"), std::string::npos);
  WriteHost(Host("C:\\d\\locked.dll"), "x");
  fs::InjectFault(fs::Op::Open, Host("C:\\d\\locked.dll"));
  EXPECT_EQ(TovLib::GetFileTime("C:\\d\\locked.dll", ftLastWriteTime), "");
  EXPECT_NE(LogText().find("获取文件时间打开文件失败：INVALID_HANDLE_VALUE >C:\\d\\locked.dll"),
            std::string::npos);
  EXPECT_FALSE(TovLib::SetFileDateTime("C:\\d\\locked.dll", EncodeDateTime(2026, 1, 1),
                                       EncodeDateTime(2026, 1, 1)));
  EXPECT_NE(LogText().find("[设置文件时间]出错："), std::string::npos);
  fs::ClearFaults();
  // Dates the two-second pair cannot hold.
  EXPECT_FALSE(TovLib::SetFileDateTime("C:\\d\\locked.dll", EncodeDateTime(1970, 1, 1),
                                       EncodeDateTime(2026, 1, 1)));
  EXPECT_NE(LogText().find("[设置文件时间]时间转换失败"), std::string::npos);
  EXPECT_FALSE(TovLib::SetFileDateTime("C:\\d\\missing.dll", EncodeDateTime(2026, 1, 1),
                                       EncodeDateTime(2026, 1, 1)));
  fs::InjectFault(fs::Op::SetTime, Host("C:\\d\\locked.dll"));
  EXPECT_FALSE(TovLib::SetFileDateTime("C:\\d\\locked.dll", EncodeDateTime(2026, 1, 1),
                                       EncodeDateTime(2026, 1, 1)));
  EXPECT_NE(LogText().find("[设置文件时间]SetFileTime失败：C:\\d\\locked.dll"),
            std::string::npos);
}

TEST_F(OVLibFileTest, UnZipExtractsBesideTheArchive) {
  ASSERT_TRUE(MakeZip(Host("C:\\pkg\\app.zip"), {{"a.txt", "stored", false},
                                                 {"sub/", ""},
                                                 {"sub/deep/b.dll", std::string(5000, 'b')},
                                                 {"中文.txt", "zh"}}));
  WriteHost(Host("C:\\pkg\\a.txt"), "old content to overwrite");
  ASSERT_TRUE(TovLib::UnZipFile("C:\\pkg\\app.zip"));
  EXPECT_EQ(ReadHost(Host("C:\\pkg\\a.txt")), "stored");
  EXPECT_EQ(ReadHost(Host("C:\\pkg\\sub\\deep\\b.dll")), std::string(5000, 'b'));
  EXPECT_EQ(ReadHost(Host("C:\\pkg\\中文.txt")), "zh");
  EXPECT_FALSE(TovLib::UnZipFile("C:\\pkg\\missing.zip"));
}

TEST_F(OVLibFileTest, UnZipRefusesEntriesOutsideTheFolder) {
  for (const char* evil : {"../evil.txt", "sub/../../evil.txt", "/abs/evil.txt",
                           "C:/evil.txt", "..\\evil.txt"}) {
    ASSERT_TRUE(MakeZip(Host("C:\\pkg\\in\\slip.zip"), {{"fine.txt", "ok"}, {evil, "bad"}}))
        << evil;
    EXPECT_FALSE(TovLib::UnZipFile("C:\\pkg\\in\\slip.zip")) << evil;
    EXPECT_FALSE(HostExists(Host("C:\\pkg\\evil.txt"))) << evil;
    EXPECT_FALSE(HostExists("/abs/evil.txt"));
    // Refused whole: not even the harmless entry was written.
    EXPECT_FALSE(HostExists(Host("C:\\pkg\\in\\fine.txt"))) << evil;
  }
  EXPECT_NE(LogText().find("解压文件[C:\\pkg\\in\\slip.zip]出错："), std::string::npos);
}

TEST_F(OVLibFileTest, UnZipReportsCorruptArchives) {
  WriteHost(Host("C:\\pkg\\junk.zip"), "this is not a zip archive at all");
  EXPECT_FALSE(TovLib::UnZipFile("C:\\pkg\\junk.zip"));
  // A valid archive cut short.
  ASSERT_TRUE(MakeZip(Host("C:\\pkg\\full.zip"), {{"x.bin", std::string(100000, 'x')}}));
  std::string data = ReadHost(Host("C:\\pkg\\full.zip"));
  WriteHost(Host("C:\\pkg\\cut.zip"), data.substr(0, data.size() / 2));
  EXPECT_FALSE(TovLib::UnZipFile("C:\\pkg\\cut.zip"));
  EXPECT_FALSE(HostExists(Host("C:\\pkg\\x.bin")));
  // Damaged compressed data: the CRC or inflate check fails and no file is left behind.
  std::string bad = data;
  auto u16 = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(data[at])) |
           static_cast<size_t>(static_cast<unsigned char>(data[at + 1])) << 8;
  };
  const size_t body = 30 + u16(26) + u16(28);  // start of the first entry's compressed data
  for (size_t i = body + 2; i < body + 8; ++i) bad[i] = static_cast<char>(bad[i] ^ 0x5A);
  WriteHost(Host("C:\\pkg\\bad.zip"), bad);
  EXPECT_FALSE(TovLib::UnZipFile("C:\\pkg\\bad.zip"));
  EXPECT_FALSE(HostExists(Host("C:\\pkg\\x.bin")));
  EXPECT_FALSE(HostExists(Host("C:\\pkg\\x.bin.ovunzip")));
}

TEST_F(OVLibFileTest, SaveTxtWritesCrLfLinesAndMakesTheFolder) {
  ASSERT_TRUE(TovLib::SaveTxt("a\nb\r\nc\rd", "C:\\new\\folder\\soft.data"));
  EXPECT_EQ(ReadHost(Host("C:\\new\\folder\\soft.data")), "a\r\nb\r\nc\r\nd\r\n");
  ASSERT_TRUE(TovLib::SaveTxt("only\r\n", "C:\\new\\folder\\soft.data"));
  EXPECT_EQ(ReadHost(Host("C:\\new\\folder\\soft.data")), "only\r\n");
  ASSERT_TRUE(TovLib::SaveTxt("", "C:\\new\\empty.txt"));
  EXPECT_EQ(ReadHost(Host("C:\\new\\empty.txt")), "");
  EXPECT_FALSE(TovLib::SaveTxt("x", "Q:\\nodrive\\a.txt"));
  fs::InjectFault(fs::Op::Create, Host("C:\\new\\folder\\soft.data"));
  EXPECT_FALSE(TovLib::SaveTxt("changed", "C:\\new\\folder\\soft.data"));
  EXPECT_EQ(ReadHost(Host("C:\\new\\folder\\soft.data")), "only\r\n");  // old file intact
}

TEST_F(OVLibFileTest, SaveTxtUsesTheAnsiCodePage) {
  ov::platform::SetAnsiCodesetOverride("CP936");
  ASSERT_TRUE(TovLib::SaveTxt("中文", "C:\\gbk.txt"));
  EXPECT_EQ(ReadHost(Host("C:\\gbk.txt")), "\xD6\xD0\xCE\xC4\r\n");
  ov::platform::SetAnsiCodesetOverride("ISO-8859-1");
  ASSERT_TRUE(TovLib::SaveTxt("a中b", "C:\\latin.txt"));
  EXPECT_EQ(ReadHost(Host("C:\\latin.txt")), "a?b\r\n");  // unconvertible becomes "?"
}
