#include "ui/OVLangUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/TestPrefix.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "ui/OVLangCNUtil.h"
#include "ui/OVLangENUtil.h"

using LangTest = TPrefixTest;

namespace {
std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (char16_t c : text) {
    char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}
}  // namespace

TEST(OVLangEN, BuiltInTableHas135EntriesInOrderThenTheInstallersOwn) {
  std::vector<std::string> l{"stale"};
  ASSERT_TRUE(TOVLangENHelper::Load(l));
  ASSERT_EQ(l.size(), 139u);
  EXPECT_EQ(l[0], "app_subtitle=In-line");
  EXPECT_EQ(l[21], "app_dup_insturl_nodata=The platform has not been configured for this version");
  EXPECT_EQ(l[22], "app_corvela_title=CorVela");
  EXPECT_EQ(l[23], "app_corvela_CorpId_label=Enterprise ID:");
  EXPECT_EQ(l[38], "app_corvela_instpath=:\\Ondrevo\\CorVela\\");
  EXPECT_EQ(l[39], "app_pindor_title=Pindor");
  EXPECT_EQ(l[52], "app_ketrin_title=Ondrevo.Ketrin");
  EXPECT_EQ(l[64], "app_ketrin_instpath=:\\Ondrevo\\Ketrin\\");
  EXPECT_EQ(l[78], "app_zelapp_title=Ondrevo Product Distribution Service");
  EXPECT_EQ(l[93], "app_zelntr_instpath=:\\ZelSrv\\");
  EXPECT_EQ(l[100], "app_zelcv_instmod=InstZelCorVela");
  EXPECT_EQ(l[109], "app_brvapp_instpath=:\\Ondrevo\\Brevik\\");
  EXPECT_EQ(l[110], "gls_lang_cn=Chinese");
  EXPECT_EQ(l[121], "gls_cancel=Cancel");
  EXPECT_EQ(l[122], "gls_retry=Retry");
  EXPECT_EQ(l[127], "gls_plswait=Please waiting...");
  EXPECT_EQ(l[134], "gls_net_resp_decode_erro=RespondDecodeError");
  EXPECT_EQ(l[135], "app_inst_space_short=Not enough disk space");
  std::vector<std::string> cn{"x"};
  ASSERT_TRUE(TOVLangCNHelper::Load(cn));
  EXPECT_TRUE(cn.empty());
}

TEST_F(LangTest, TBeforeAnyLoadGivesTheDefaultAndStoresNothing) {
  TOVLangHelper h;
  EXPECT_EQ(h.T("gls_install", "安装"), "安装");
  EXPECT_EQ(h.LangCount(), 0);
  EXPECT_EQ(h.LangCode(), "CN");
}

TEST_F(LangTest, FirstDefaultPerLanguageIsKept) {
  TOVLangHelper h;
  EXPECT_EQ(h.LoadLang("CN"), 0);
  EXPECT_EQ(h.T("x", "甲"), "甲");
  EXPECT_EQ(h.T("X", "乙"), "甲");
  EXPECT_EQ(h.T("empty", ""), "");
  EXPECT_EQ(h.WordsOf("cn"), (std::vector<std::string>{"x=甲"}));
  EXPECT_EQ(h.LoadLang("EN"), 0);
  EXPECT_EQ(h.T("GLS_INSTALL", "安装"), "Install");
  EXPECT_EQ(h.T("x", "乙"), "乙");  // English has its own memory
  EXPECT_EQ(h.LangIndex("en"), 1);
  EXPECT_EQ(h.LangIndex("FR"), -1);
}

TEST_F(LangTest, SwitchingBackReadsNoFileTwiceAndKeepsAddedLines) {
  WriteHost(Host("C:\\OVTest\\Languag\\EN.txt"), "app_subtitle=Online\r\n");
  TOVLangHelper h;
  EXPECT_EQ(h.LoadLang("EN"), 1);
  EXPECT_EQ(h.T("app_subtitle", "在线"), "Online");
  EXPECT_EQ(h.T("gls_install", "安装"), "安装");  // the file replaced the whole table
  h.SetLangCode("CN");
  EXPECT_EQ(h.T("gls_install", "x"), "安装");  // the code alone does not switch tables
  EXPECT_EQ(h.LoadLang("CN"), 0);
  WriteHost(Host("C:\\OVTest\\Languag\\EN.txt"), "app_subtitle=Changed\r\n");
  h.SetLangCode("EN");
  EXPECT_EQ(h.LoadLang("EN"), -1);
  EXPECT_EQ(h.T("app_subtitle", "在线"), "Online");
  EXPECT_EQ(h.T("gls_install", "x"), "安装");
  EXPECT_EQ(h.LangCount(), 2);
}

TEST_F(LangTest, FilesInLangAndTheirEncodings) {
  // "Lang\" only when "Languag\" has no file.
  WriteHost(Host("C:\\OVTest\\Lang\\CN.txt"), "\xFF\xFE" + Utf16(u"k=中\r\nnoeq", false));
  TOVLangHelper h;
  EXPECT_EQ(h.LoadLang("CN"), 1);
  EXPECT_EQ(h.T("k", "d"), "中");
  EXPECT_EQ(h.T("noeq", "d"), "d");  // a line without "=" never matches
  WriteHost(Host("C:\\OVTest\\Lang\\FR.txt"), "\xFE\xFF" + Utf16(u"k=中", true));
  EXPECT_EQ(h.LoadLang("FR"), 1);
  EXPECT_EQ(h.T("k", "d"), "中");
  ov::platform::SetAnsiCodesetOverride("CP936");
  WriteHost(Host("C:\\OVTest\\Languag\\DE.txt"), "k=\xD6\xD0\r\n");
  EXPECT_EQ(h.LoadLang("DE"), 1);
  EXPECT_EQ(h.T("k", "d"), "中");
  WriteHost(Host("C:\\OVTest\\Languag\\XX.txt"), "\xEF\xBB\xBFk=utf8\n");
  EXPECT_EQ(h.LoadLang("XX"), 1);
  EXPECT_EQ(h.T("K", "d"), "utf8");
}

TEST_F(LangTest, PunctuationFollowsTheLanguage) {
  TOVLangHelper h;
  EXPECT_EQ(h.C(":"), "：");  // "CN" from creation
  h.LoadLang("EN");
  EXPECT_EQ(h.C(":"), ":");
  EXPECT_EQ(h.C("："), ":");
  EXPECT_EQ(h.C("？"), "?");
  EXPECT_EQ(h.C("a"), "a");
  h.SetLangCode("cn");
  EXPECT_EQ(h.C("!"), "！");
  EXPECT_EQ(h.C("，"), "，");
}

TEST_F(LangTest, PathsOfTheProgram) {
  EXPECT_EQ(TOVLangHelper::GetCurrFile(), "C:\\OVTest\\OVOnlineSetup.exe");
  EXPECT_EQ(TOVLangHelper::GetCurrPath(), "C:\\OVTest\\");
}

TEST_F(LangTest, WorkersCallTWhileTheUiThreadSwitches) {
  TOVLangHelper h;
  h.LoadLang("CN");
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&, t] {
      int i = 0;
      while (!stop) {
        std::string r = h.T("gls_install", "安装");
        if (r != "安装" && r != "Install") ++wrong;
        h.T("k" + std::to_string(t) + "_" + std::to_string(i++ % 50), "值");
      }
    });
  }
  for (int i = 0; i < 300; ++i) {
    const char* code = (i & 1) ? "EN" : "CN";
    h.SetLangCode(code);
    h.LoadLang(code);
    (void)h.C(":");
  }
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(h.LangCount(), 2);
}

TEST_F(LangTest, ProcessWideInstance) {
  EXPECT_FALSE(HasLangHelper());
  CreateLangHelper();
  EXPECT_EQ(LangHelper().LangCode(), "CN");
  EXPECT_EQ(LangHelper().LangCount(), 0);
  FreeLangHelper();
  EXPECT_FALSE(HasLangHelper());
}
