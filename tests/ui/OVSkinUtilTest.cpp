#include <gtest/gtest.h>

#include <array>

#include "common/OVError.h"
#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "ui/OVSkinUtil.h"

namespace fs = ov::platform::fs;

using SkinTest = TPrefixTest;

namespace {

// Expected palettes, one row per field in the order form_style, form_back, form_font,
// form_hint_font, form_spec_font, form_gray_font, button_defback, button_deffont,
// button_moveback, button_movefont, button_exit_defback, button_exit_deffont,
// button_exit_moveback, button_exit_movefont.
struct TExpected {
  const char* Name;
  std::array<uint32_t, 14> V;
};
const TExpected kExpected[] = {
    {"dozazar",
     {0, 0x00FFFFFF, 0x00000000, 0x00B6C63D, 0x000080FF, 0x00949188, 0x00AABA36, 0x00FFFFFF,
      0x00B6C63D, 0x00FFFFFF, 0x000080FF, 0x00FFFFFF, 0x000060FF, 0x00FFFFFF}},
    {"yellowgreen",
     {0, 0x00FFFFFF, 0x00000000, 0x00A7B665, 0x007C0971, 0x00949188, 0x004FB98C, 0x00FFFFFF,
      0x0067C29B, 0x00FFFFFF, 0x00033CFE, 0x0000FFFF, 0x003060FE, 0x00FFFFFF}},
    {"skyblue",
     {0, 0x00FFFFFF, 0x00000000, 0x00AABA36, 0x000C43E7, 0x00949188, 0x00FE8F3F, 0x00FFFFFF,
      0x00996733, 0x00FFFFFF, 0x002B22EE, 0x0000FFFF, 0x006E4CFE, 0x0000FFFF}},
    {"blackwhite",
     {1, 0x00000000, 0x00FFFFFF, 0x00EDE2D6, 0x000080FF, 0x00949188, 0x00000000, 0x00FFFFFF,
      0x00EDE2D6, 0x00000000, 0x00000000, 0x000080FF, 0x00EDE2D6, 0x000080FF}},
    {"ArdeoBlueSkin",
     {0, 0x00FFFFFF, 0x00000000, 0x00B6C63D, 0x00076DEB, 0x00949188, 0x00DE8F18, 0x00FFFFFF,
      0x00E9A338, 0x00FFFFFF, 0x00156FF4, 0x00FFFFFF, 0x00488CF7, 0x0000FFFF}},
};

std::array<uint32_t, 14> Fields(const TOVSkin& s) {
  return {static_cast<uint32_t>(s.form_style),
          s.form_back,
          s.form_font,
          s.form_hint_font,
          s.form_spec_font,
          s.form_gray_font,
          s.button_defback,
          s.button_deffont,
          s.button_moveback,
          s.button_movefont,
          s.button_exit_defback,
          s.button_exit_deffont,
          s.button_exit_moveback,
          s.button_exit_movefont};
}

void WriteSkin(const std::string& aWinPath, const std::string& aText) {
  ASSERT_TRUE(fs::ForceDirectories(aWinPath.substr(0, aWinPath.rfind('\\'))));
  ASSERT_TRUE(fs::WriteFileAtomic(aWinPath, aText));
}

}  // namespace

TEST(OVSkin, CreatedWithAnEmptyNameHoldsTheDefaultPalette) {
  TOVSkin s;
  EXPECT_EQ(s.DefSkinName(), "");
  EXPECT_EQ(s.CurSkinName(), "");
  EXPECT_EQ(Fields(s), kExpected[0].V);
  EXPECT_EQ(s.form_font_size, 13);
  EXPECT_EQ(s.form_font_name, "微软雅黑");
}

TEST(OVSkin, EveryBuiltInPaletteIsSelectedByName) {
  TOVSkin s;
  for (const TExpected& e : kExpected) {
    s.LoadSkin("yellowgreen");  // something else first, so every field must be set
    s.LoadSkin(e.Name);
    EXPECT_EQ(Fields(s), e.V) << e.Name;
    EXPECT_EQ(s.form_font_size, 13) << e.Name;
    EXPECT_EQ(s.form_font_name, "微软雅黑") << e.Name;
    EXPECT_EQ(s.CurSkinName(), e.Name);
  }
}

TEST(OVSkin, NamesMatchWithoutRegardToCase) {
  TOVSkin s;
  s.LoadSkin("BlackWhite");
  EXPECT_EQ(s.form_style, 1);
  EXPECT_EQ(Fields(s), kExpected[3].V);
  TOVSkin named("SKYBLUE");
  EXPECT_EQ(named.DefSkinName(), "SKYBLUE");
  EXPECT_EQ(Fields(named), kExpected[2].V);
  named.LoadSkin("dozazar");
  EXPECT_EQ(named.DefSkinName(), "SKYBLUE");
  EXPECT_EQ(named.CurSkinName(), "dozazar");
}

TEST_F(SkinTest, EmptyNameGivesTheDefaultAndReadsNoFile) {
  TOVSkin s("blackwhite");
  // Any read of the program's folder would fail now.
  fs::InjectFault(fs::Op::Open, Host("C:\\OVTest") + "/");
  EXPECT_NO_THROW(s.LoadSkin(""));
  EXPECT_EQ(Fields(s), kExpected[0].V);
  EXPECT_EQ(s.form_font_size, 13);
}

TEST_F(SkinTest, SkinFileNextToTheProgramOverridesTheDefault) {
  WriteSkin("C:\\OVTest\\myskin.ini", "[OVSkin]\r\nform_back=clBlack\r\n");
  TOVSkin s("blackwhite");
  s.LoadSkin("myskin.ini");
  EXPECT_EQ(s.CurSkinName(), "myskin.ini");
  EXPECT_EQ(s.form_back, 0x00000000u);
  EXPECT_EQ(s.form_font_size, 11);
  EXPECT_EQ(s.button_exit_movefont, 0x0000FFFFu);
  EXPECT_EQ(s.form_style, 0);
  // The other keys take the file's defaults.
  EXPECT_EQ(s.form_font, 0x00000000u);
  EXPECT_EQ(s.form_font_name, "微软雅黑");
  EXPECT_EQ(s.form_hint_font, 0x00B6C63Du);
  EXPECT_EQ(s.form_spec_font, 0x000080FFu);
  EXPECT_EQ(s.form_gray_font, 0x00949188u);
  EXPECT_EQ(s.button_defback, 0x00AABA36u);
  EXPECT_EQ(s.button_deffont, 0x00FFFFFFu);
  EXPECT_EQ(s.button_moveback, 0x00B6C63Du);
  EXPECT_EQ(s.button_movefont, 0x00FFFFFFu);
  EXPECT_EQ(s.button_exit_defback, 0x000080FFu);
  EXPECT_EQ(s.button_exit_deffont, 0x00FFFFFFu);
  EXPECT_EQ(s.button_exit_moveback, 0x000060FFu);
}

TEST_F(SkinTest, SkinFileSetsEveryFieldButTheStyle) {
  WriteSkin("C:\\Skins\\full.ini",
            "[OVSkin]\r\n"
            "form_style=1\r\n"
            "FORM_BACK=$00102030\r\n"
            "form_font=255\r\n"
            "form_font_size=20\r\n"
            "form_font_name=宋体\r\n"
            "form_hint_font=clRed\r\n"
            "form_spec_font=clLime\r\n"
            "form_gray_font=clBlue\r\n"
            "button_defback=clGray\r\n"
            "button_deffont=clSilver\r\n"
            "button_moveback=$1\r\n"
            "button_movefont=2\r\n"
            "button_exit_defback=clNavy\r\n"
            "button_exit_deffont=clTeal\r\n"
            "button_exit_moveback=clMaroon\r\n"
            "button_exit_movefont= clAqua \r\n");
  TOVSkin s;
  s.LoadSkin("C:\\Skins\\full.ini");
  EXPECT_EQ(s.form_style, 0);
  EXPECT_EQ(s.form_back, 0x00102030u);
  EXPECT_EQ(s.form_font, 255u);
  EXPECT_EQ(s.form_font_size, 20);
  EXPECT_EQ(s.form_font_name, "宋体");
  EXPECT_EQ(s.form_hint_font, 0x000000FFu);
  EXPECT_EQ(s.form_spec_font, 0x0000FF00u);
  EXPECT_EQ(s.form_gray_font, 0x00FF0000u);
  EXPECT_EQ(s.button_defback, 0x00808080u);
  EXPECT_EQ(s.button_deffont, 0x00C0C0C0u);
  EXPECT_EQ(s.button_moveback, 1u);
  EXPECT_EQ(s.button_movefont, 2u);
  EXPECT_EQ(s.button_exit_defback, 0x00800000u);
  EXPECT_EQ(s.button_exit_deffont, 0x00808000u);
  EXPECT_EQ(s.button_exit_moveback, 0x00000080u);
  EXPECT_EQ(s.button_exit_movefont, 0x00FFFF00u);
}

TEST_F(SkinTest, FileWithoutTheSectionGivesTheFileDefaults) {
  WriteSkin("C:\\OVTest\\other.ini", "[Other]\r\nform_back=clBlack\r\n");
  TOVSkin s;
  s.LoadSkin("other.ini");
  EXPECT_EQ(s.form_back, 0x00FFFFFFu);
  EXPECT_EQ(s.form_font_size, 11);
  EXPECT_EQ(s.button_exit_movefont, 0x0000FFFFu);
}

TEST_F(SkinTest, MissingSkinFileLeavesTheDefaultPalette) {
  TOVSkin s("skyblue");
  EXPECT_NO_THROW(s.LoadSkin("nosuch.ini"));
  EXPECT_EQ(s.CurSkinName(), "nosuch.ini");
  EXPECT_EQ(Fields(s), kExpected[0].V);
  EXPECT_EQ(s.form_font_size, 13);
  EXPECT_NO_THROW(s.LoadSkin("C:\\NoFolder\\nosuch.ini"));
  EXPECT_NO_THROW(s.LoadSkin("Q:\\no drive.ini"));
  EXPECT_EQ(Fields(s), kExpected[0].V);
}

TEST_F(SkinTest, BadColourFailsAndKeepsTheFieldsReadBeforeIt) {
  WriteSkin("C:\\OVTest\\bad.ini",
            "[OVSkin]\r\nform_back=clBlack\r\nform_font_size=9\r\nform_hint_font=$00123456\r\n"
            "form_spec_font=orange\r\nform_gray_font=clWhite\r\n");
  TOVSkin s;
  try {
    s.LoadSkin("bad.ini");
    FAIL() << "a bad colour must fail";
  } catch (const ov::Error& e) {
    EXPECT_NE(std::string(e.what()).find("form_spec_font=orange"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.form_back, 0u);
  EXPECT_EQ(s.form_font_size, 9);
  EXPECT_EQ(s.form_hint_font, 0x00123456u);
  // From here on the default palette stays.
  EXPECT_EQ(s.form_spec_font, 0x000080FFu);
  EXPECT_EQ(s.form_gray_font, 0x00949188u);
  // A key that is present but empty is a bad colour too.
  WriteSkin("C:\\OVTest\\bad.ini", "[OVSkin]\r\nbutton_defback=\r\n");
  EXPECT_THROW(s.LoadSkin("bad.ini"), ov::Error);
}

TEST_F(SkinTest, UnreadableSkinFileFailsClearlyAndKeepsTheDefault) {
  WriteSkin("C:\\OVTest\\locked.ini", "[OVSkin]\r\nform_back=clBlack\r\n");
  fs::InjectFault(fs::Op::Open, Host("C:\\OVTest\\locked.ini"));
  TOVSkin s("blackwhite");
  EXPECT_THROW(s.LoadSkin("locked.ini"), ov::Error);
  EXPECT_EQ(Fields(s), kExpected[0].V);
}

TEST_F(SkinTest, BadFontSizeFallsBackToEleven) {
  WriteSkin("C:\\OVTest\\size.ini", "[OVSkin]\r\nform_font_size=large\r\n");
  TOVSkin s;
  s.LoadSkin("size.ini");
  EXPECT_EQ(s.form_font_size, 11);
  WriteSkin("C:\\OVTest\\size.ini", "[OVSkin]\r\nform_font_size=$10\r\n");
  s.LoadSkin("size.ini");
  EXPECT_EQ(s.form_font_size, 16);
}

TEST(OVSkin, StringToColorReadsNamesAndNumbers) {
  uint32_t c = 7;
  EXPECT_TRUE(TOVSkin::StringToColor("clWhite", c));
  EXPECT_EQ(c, 0x00FFFFFFu);
  EXPECT_TRUE(TOVSkin::StringToColor("CLYELLOW", c));
  EXPECT_EQ(c, 0x0000FFFFu);
  EXPECT_TRUE(TOVSkin::StringToColor("clblack", c));
  EXPECT_EQ(c, 0u);
  EXPECT_TRUE(TOVSkin::StringToColor("$00FF7F21", c));
  EXPECT_EQ(c, 0x00FF7F21u);
  EXPECT_TRUE(TOVSkin::StringToColor("$ff", c));
  EXPECT_EQ(c, 0xFFu);
  EXPECT_TRUE(TOVSkin::StringToColor("16777215", c));
  EXPECT_EQ(c, 0x00FFFFFFu);
  EXPECT_TRUE(TOVSkin::StringToColor("-1", c));
  EXPECT_EQ(c, 0xFFFFFFFFu);
  EXPECT_TRUE(TOVSkin::StringToColor("$FFFFFFFF", c));
  EXPECT_EQ(c, 0xFFFFFFFFu);
}

TEST(OVSkin, StringToColorRejectsEverythingElse) {
  for (const char* bad : {"", " ", "$", "$123456789", "12ab", "0x10", "white", "$-1", "--1",
                          "2147483648", "1 2", "cl White"}) {
    uint32_t c = 7;
    EXPECT_FALSE(TOVSkin::StringToColor(bad, c)) << '"' << bad << '"';
    EXPECT_EQ(c, 7u) << bad;
  }
}

TEST(OVSkin, ProcessWideSkinIsCreatedOnceAndFreed) {
  ASSERT_FALSE(HasOVSkin());
  EXPECT_THROW(OVSkin(), ov::Error);
  CreateOVSkin();
  ASSERT_TRUE(HasOVSkin());
  TOVSkin* first = &OVSkin();
  EXPECT_EQ(first->DefSkinName(), "");
  EXPECT_EQ(Fields(*first), kExpected[0].V);
  first->LoadSkin("ArdeoBlueSkin");
  CreateOVSkin();
  EXPECT_EQ(&OVSkin(), first);
  EXPECT_EQ(OVSkin().CurSkinName(), "ArdeoBlueSkin");
  FreeOVSkin();
  EXPECT_FALSE(HasOVSkin());
  EXPECT_THROW(OVSkin(), ov::Error);
}
