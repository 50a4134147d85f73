#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/TestPrefix.h"
#include "common/ZipMaker.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Zip.h"

using namespace ov::platform;

using IniZipTest = TPrefixTest;

TEST_F(IniZipTest, IniMatchesWithoutCaseAndKeepsOtherLines) {
  WriteHost(
      Host("C:\\cfg\\OVWebClient.ini"),
      "\xEF\xBB\xBF; settings\r\n[Options]\r\nHost=a.example\r\nPort=80\r\n[Other]\r\nx=1\r\n");
  IniFile ini;
  ASSERT_TRUE(ini.Load("C:\\cfg\\ovwebclient.ini"));
  EXPECT_EQ(ini.GetValue("OPTIONS", "host"), "a.example");
  EXPECT_EQ(ini.GetValue("Options", "Missing", "dflt"), "dflt");
  EXPECT_TRUE(ini.HasKey("other", "X"));
  EXPECT_FALSE(ini.HasKey("Options", "x"));
  ASSERT_TRUE(ini.SetValue("options", "HOST", "b.example"));
  ASSERT_TRUE(ini.SetValue("New", "名称", "值"));
  ASSERT_TRUE(ini.Save("C:\\cfg\\OVWebClient.ini"));
  IniFile again;
  ASSERT_TRUE(again.Load("C:\\cfg\\OVWebClient.ini"));
  EXPECT_EQ(again.GetValue("Options", "Host"), "b.example");
  EXPECT_EQ(again.GetValue("Options", "Port"), "80");
  EXPECT_EQ(again.GetValue("new", "名称"), "值");
  EXPECT_NE(again.Text().find("; settings"), std::string::npos);
  EXPECT_EQ(again.Keys("Options"), (std::vector<std::string>{"Host", "Port"}));
}

TEST_F(IniZipTest, IniRefusesNamesAndValuesThatBreakLines) {
  IniFile ini;
  EXPECT_FALSE(ini.SetValue("S", "k", "a\nb"));
  EXPECT_FALSE(ini.SetValue("S", "k=1", "v"));
  EXPECT_FALSE(ini.SetValue("S]x", "k", "v"));
  EXPECT_FALSE(ini.SetValue("S", "", "v"));
  EXPECT_FALSE(ini.SetValue("S", "k", std::string("a\0b", 3)));
  EXPECT_FALSE(ini.HasSection("S"));
  EXPECT_TRUE(ini.SetValue("S", "k", ""));
  EXPECT_TRUE(ini.HasKey("S", "k"));
}

TEST_F(IniZipTest, IniMissingFileLoadsEmptyUnreadableFails) {
  IniFile ini;
  EXPECT_TRUE(ini.Load("C:\\none.ini"));
  EXPECT_FALSE(ini.HasSection("Options"));
  WriteHost(Host("C:\\x.ini"), "[A]\r\nb=c\r\n");
  fs::InjectFault(fs::Op::Open, Host("C:\\x.ini"));
  EXPECT_FALSE(ini.Load("C:\\x.ini"));
  EXPECT_FALSE(ini.Load("Q:\\x.ini"));
  // Garbage is no ini file, but it loads without crashing and yields nothing useful.
  fs::ClearFaults();
  WriteHost(Host("C:\\junk.ini"), std::string("\x00\xff[[[=\n==\n[", 12));
  EXPECT_TRUE(ini.Load("C:\\junk.ini"));
  EXPECT_EQ(ini.GetValue("Options", "Host", "d"), "d");
}

TEST_F(IniZipTest, ZipKeepsStoredTimesAndStreamsLargeEntries) {
  std::string big(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  ASSERT_TRUE(MakeZip(Host("C:\\z\\p.zip"), {{"bin/big.dat", big}, {"top.txt", "t", false}}));
  std::string err;
  ASSERT_TRUE(ExtractZip("C:\\z\\p.zip", "C:\\out", err)) << err;
  EXPECT_EQ(ReadHost(Host("C:\\out\\bin\\big.dat")), big);
  EXPECT_EQ(ReadHost(Host("C:\\out\\top.txt")), "t");
  struct stat st {};
  ASSERT_EQ(stat(Host("C:\\out\\top.txt").c_str(), &st), 0);
  EXPECT_GT(st.st_mtime, 1600000000);  // the archive's time, not zero
}

TEST_F(IniZipTest, ZipFailuresSayWhy) {
  std::string err;
  EXPECT_FALSE(ExtractZip("C:\\z\\none.zip", "C:\\out", err));
  EXPECT_FALSE(err.empty());
  WriteHost(Host("C:\\z\\empty.zip"), "");
  err.clear();
  EXPECT_FALSE(ExtractZip("C:\\z\\empty.zip", "C:\\out", err));
  EXPECT_FALSE(err.empty());
  ASSERT_TRUE(MakeZip(Host("C:\\z\\slip.zip"), {{"a/../../x", "x"}}));
  err.clear();
  EXPECT_FALSE(ExtractZip("C:\\z\\slip.zip", "C:\\out", err));
  EXPECT_NE(err.find("outside"), std::string::npos);
  ASSERT_TRUE(MakeZip(Host("C:\\z\\ok.zip"), {{"f.txt", "x"}}));
  fs::InjectFault(fs::Op::Create, Host("C:\\out\\f.txt.ovunzip"));
  err.clear();
  EXPECT_FALSE(ExtractZip("C:\\z\\ok.zip", "C:\\out", err));
  EXPECT_FALSE(err.empty());
}

TEST_F(IniZipTest, CodePageConversions) {
  SetAnsiCodesetOverride("UTF-8");
  EXPECT_EQ(Utf8ToAnsi("中文"), "中文");  // identity
  SetAnsiCodesetOverride("CP936");        // the ANSI code page of a Chinese Windows
  EXPECT_EQ(Utf8ToAnsi("中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(AnsiToUtf8("\xD6\xD0\xCE\xC4"), "中文");
  SetAnsiCodesetOverride("ISO-8859-1");
  EXPECT_EQ(Utf8ToAnsi("x中y"), "x?y");
  std::string out;
  ASSERT_TRUE(ConvertToUtf8(std::string("\xFF\xFE\x2D\x4E", 4).substr(2), "UTF-16LE", out));
  EXPECT_EQ(out, "中");
  EXPECT_FALSE(ConvertToUtf8("\xD8", "UTF-16LE", out));
}
