#include "base/OVStrUtil.h"

#include <gtest/gtest.h>

using namespace ov::str;

TEST(OVStrUtil, CommaTextSplitsAtCommasAndBlanksAndKeepsQuotedItems) {
  EXPECT_EQ(SplitCommaText("a,b,c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("a b,c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("\"x, y\",z"), (std::vector<std::string>{"x, y", "z"}));
  EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\"\""), (std::vector<std::string>{"say \"hi\""}));
  EXPECT_EQ(SplitCommaText("a,"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitCommaText("a,,b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitCommaText("").empty());
  EXPECT_TRUE(SplitCommaText("   ").empty());
  EXPECT_EQ(SplitCommaText(" k=v , 中文 "), (std::vector<std::string>{"k=v", "中文"}));
}

TEST(OVStrUtil, CommaTextRoundTripsThroughJoin) {
  std::vector<std::string> items{"plain", "with space", "with,comma", "quo\"te", ""};
  EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items);
}

TEST(OVStrUtil, CaseRulesFoldAsciiOnly) {
  EXPECT_TRUE(SameText("Ketrin.EXE", "ketrin.exe"));
  EXPECT_FALSE(SameText("ketrin", "ketrin "));
  EXPECT_TRUE(SameText("中文A", "中文a"));
  EXPECT_EQ(FindText("a[X]c", "[x]", true), 1u);
  EXPECT_EQ(FindText("a[X]c", "[x]", false), std::string::npos);
  EXPECT_TRUE(StartsText("OVUPDATA://", "ovupdata://vfid=1"));
  EXPECT_TRUE(EndsText(".ZIP", "a.zip"));
  EXPECT_LT(CompareText("Page_size", "pos_type"), 0);
  EXPECT_GT(CompareText("item_id", "BRANCH_JG"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  EXPECT_NE(CompareText("a", "A"), 0);  // a strict order: equal only when identical
  EXPECT_EQ(CompareText("x", "x"), 0);
}

TEST(OVStrUtil, CodePointsCountCharactersNotBytes) {
  EXPECT_EQ(CodePointCount("abc"), 3u);
  EXPECT_EQ(CodePointCount("程序已安装"), 5u);
  EXPECT_EQ(CodePointCount("a\xF0\x9F\x98\x80"), 2u);  // emoji is one code point
  EXPECT_EQ(CodePointCopy("程序已安装完成", 1, 3), "序已安");
  EXPECT_EQ(CodePointCopy("abc", 5), "");
  auto cps = DecodeUtf8("\xE4\xB8");  // truncated sequence
  ASSERT_EQ(cps.size(), 2u);
  EXPECT_EQ(cps[0], 0xFFFDu);
  std::string out;
  AppendUtf8(out, 0x1F600);
  EXPECT_EQ(out, "\xF0\x9F\x98\x80");
}

TEST(OVStrUtil, LinesSplitAtEveryKindOfBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SplitLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(OVStrUtil, WindowsPathPieces) {
  EXPECT_EQ(ExtractFilePath("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(ExtractFileDir("C:\\a\\b.txt"), "C:\\a");
  EXPECT_EQ(ExtractFileDir("C:\\b.txt"), "C:\\");
  EXPECT_EQ(ExtractFileName("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(ExtractFileExt("C:\\a.d\\b"), "");
  EXPECT_EQ(ExtractFileExt("b.tar.gz"), ".gz");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\a\\"), "C:\\a");
}

TEST(OVStrUtil, IntegersParseStrictly) {
  int32_t v = 0;
  EXPECT_TRUE(TryStrToInt(" 01 ", v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(TryStrToInt("1a", v));
  EXPECT_FALSE(TryStrToInt("", v));
  EXPECT_FALSE(TryStrToInt("99999999999", v));
  int64_t w = 0;
  EXPECT_TRUE(TryStrToInt64("-9223372036854775808", w));
  EXPECT_EQ(w, INT64_MIN);
  EXPECT_EQ(Trim("\t x \r\n"), "x");
  EXPECT_EQ(ReplaceAll(".\\a\\.\\b", ".\\", "C:\\"), "C:\\a\\C:\\b");
}
