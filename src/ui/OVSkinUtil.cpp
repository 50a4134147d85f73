#include "ui/OVSkinUtil.h"

#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVProcessWide.h"
#include "base/OVStrUtil.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

namespace fs = ov::platform::fs;

namespace {

struct TSkinPalette {
  const char* Name;
  int32_t form_style;
  uint32_t form_back, form_font, form_hint_font, form_spec_font, form_gray_font;
  uint32_t button_defback, button_deffont, button_moveback, button_movefont;
  uint32_t button_exit_defback, button_exit_deffont, button_exit_moveback, button_exit_movefont;
};

// The first row is also the default palette, and the names are matched in this order.
const TSkinPalette kPalettes[] = {
    {"dozazar", 0, 0x00FFFFFF, 0x00000000, 0x00B6C63D, 0x000080FF, 0x00949188, 0x00AABA36,
     0x00FFFFFF, 0x00B6C63D, 0x00FFFFFF, 0x000080FF, 0x00FFFFFF, 0x000060FF, 0x00FFFFFF},
    {"yellowgreen", 0, 0x00FFFFFF, 0x00000000, 0x00A7B665, 0x007C0971, 0x00949188, 0x004FB98C,
     0x00FFFFFF, 0x0067C29B, 0x00FFFFFF, 0x00033CFE, 0x0000FFFF, 0x003060FE, 0x00FFFFFF},
    {"skyblue", 0, 0x00FFFFFF, 0x00000000, 0x00AABA36, 0x000C43E7, 0x00949188, 0x00FE8F3F,
     0x00FFFFFF, 0x00996733, 0x00FFFFFF, 0x002B22EE, 0x0000FFFF, 0x006E4CFE, 0x0000FFFF},
    {"blackwhite", 1, 0x00000000, 0x00FFFFFF, 0x00EDE2D6, 0x000080FF, 0x00949188, 0x00000000,
     0x00FFFFFF, 0x00EDE2D6, 0x00000000, 0x00000000, 0x000080FF, 0x00EDE2D6, 0x000080FF},
    {"ArdeoBlueSkin", 0, 0x00FFFFFF, 0x00000000, 0x00B6C63D, 0x00076DEB, 0x00949188, 0x00DE8F18,
     0x00FFFFFF, 0x00E9A338, 0x00FFFFFF, 0x00156FF4, 0x00FFFFFF, 0x00488CF7, 0x0000FFFF},
};

const char* const kFontName = "微软雅黑";
const int32_t kPaletteFontSize = 13;
const int32_t kFileFontSize = 11;
const char* const kSection = "OVSkin";

struct TColorName {
  const char* Name;
  uint32_t Color;
};

// The toolkit's fixed colour names (its system colours have no fixed value and are left out).
const TColorName kColorNames[] = {
    {"clBlack", 0x000000},      {"clMaroon", 0x000080},  {"clGreen", 0x008000},
    {"clOlive", 0x008080},      {"clNavy", 0x800000},    {"clPurple", 0x800080},
    {"clTeal", 0x808000},       {"clGray", 0x808080},    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},        {"clLime", 0x00FF00},    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},       {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},
    {"clLtGray", 0xC0C0C0},     {"clDkGray", 0x808080},  {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
};

// An integer as the toolkit reads one: "$" and up to eight hexadecimal digits (taken as the
// 32 bits of the value), or decimal within the 32-bit signed range.
bool ParseInt32(std::string_view aText, int64_t& aValue) {
  std::string t = ov::str::Trim(aText);
  std::string_view v = t;
  bool negative = false;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  if (v.empty()) return false;
  int base = 10;
  if (v.front() == '$') {
    base = 16;
    v.remove_prefix(1);
    if (v.empty() || v.size() > 8) return false;
  }
  if (!std::isxdigit(static_cast<unsigned char>(v.front()))) return false;
  uint64_t out = 0;
  auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out, base);
  if (ec != std::errc() || ptr != v.data() + v.size()) return false;
  int64_t value = 0;
  if (base == 16) {
    value = static_cast<int32_t>(static_cast<uint32_t>(out));
  } else {
    if (out > (negative ? 2147483648ULL : 2147483647ULL)) return false;
    value = static_cast<int64_t>(out);
  }
  aValue = negative ? -value : value;
  return aValue >= INT32_MIN && aValue <= INT32_MAX;
}

}  // namespace

TOVSkin::TOVSkin(const std::string& aDefSkinName) : FDefSkinName(aDefSkinName) {
  LoadSkin(aDefSkinName);
}

bool TOVSkin::StringToColor(const std::string& aText, uint32_t& aColor) {
  const std::string t = ov::str::Trim(aText);
  for (const TColorName& c : kColorNames) {
    if (ov::str::SameText(c.Name, t)) {
      aColor = c.Color;
      return true;
    }
  }
  int64_t v = 0;
  if (!ParseInt32(t, v)) return false;
  aColor = static_cast<uint32_t>(static_cast<int32_t>(v));
  return true;
}

void TOVSkin::SetPalette(size_t aIndex) {
  const TSkinPalette& p = kPalettes[aIndex];
  form_style = p.form_style;
  form_back = p.form_back;
  form_font = p.form_font;
  form_font_size = kPaletteFontSize;
  form_font_name = kFontName;
  form_hint_font = p.form_hint_font;
  form_spec_font = p.form_spec_font;
  form_gray_font = p.form_gray_font;
  button_defback = p.button_defback;
  button_deffont = p.button_deffont;
  button_moveback = p.button_moveback;
  button_movefont = p.button_movefont;
  button_exit_defback = p.button_exit_defback;
  button_exit_deffont = p.button_exit_deffont;
  button_exit_moveback = p.button_exit_moveback;
  button_exit_movefont = p.button_exit_movefont;
}

void TOVSkin::LoadSkin(const std::string& aSkinName) {
  FCurSkinName = aSkinName;
  for (size_t i = 0; i < std::size(kPalettes); ++i) {
    if (ov::str::SameText(kPalettes[i].Name, aSkinName)) {
      SetPalette(i);
      return;
    }
  }
  SetPalette(0);
  ApplySkinFile(aSkinName);
}

void TOVSkin::ApplySkinFile(const std::string& aSkinName) {
  if (aSkinName.empty()) return;
  std::string file = aSkinName;
  if (ov::str::ExtractFilePath(file).empty()) file = TovLib::GetAppPath() + file;
  if (!fs::FileExists(file)) return;
  ov::platform::IniFile ini;
  if (!ini.Load(file)) {
    throw ov::Error("无法读取皮肤文件 " + file + "：" + fs::LastErrorText());
  }

  // Fields are set in this order, so a bad colour leaves the ones before it changed.
  auto color = [&](const char* aKey, const char* aDefault, uint32_t& aField) {
    const std::string text = ini.GetValue(kSection, aKey, aDefault);
    if (!StringToColor(text, aField)) {
      throw ov::Error("皮肤文件 " + file + " 的颜色值无效：" + aKey + "=" + text);
    }
  };
  color("form_back", "clWhite", form_back);
  color("form_font", "clBlack", form_font);
  int64_t size = 0;
  form_font_size = ParseInt32(ini.GetValue(kSection, "form_font_size", ""), size)
                       ? static_cast<int32_t>(size)
                       : kFileFontSize;
  form_font_name = ini.GetValue(kSection, "form_font_name", kFontName);
  color("form_hint_font", "$00B6C63D", form_hint_font);
  color("form_spec_font", "$000080FF", form_spec_font);
  color("form_gray_font", "$00949188", form_gray_font);
  color("button_defback", "$00AABA36", button_defback);
  color("button_deffont", "clWhite", button_deffont);
  color("button_moveback", "$00B6C63D", button_moveback);
  color("button_movefont", "clWhite", button_movefont);
  color("button_exit_defback", "$000080FF", button_exit_defback);
  color("button_exit_deffont", "clWhite", button_exit_deffont);
  color("button_exit_moveback", "$000060FF", button_exit_moveback);
  color("button_exit_movefont", "clYellow", button_exit_movefont);
}

TOVSkin& OVSkin() {
  TOVSkin* s = ov::TProcessWide<TOVSkin>::Get();
  if (!s) throw ov::Error("the skin object does not exist");
  return *s;
}

bool HasOVSkin() { return ov::TProcessWide<TOVSkin>::Get() != nullptr; }
void CreateOVSkin() { ov::TProcessWide<TOVSkin>::Create(); }
void FreeOVSkin() { ov::TProcessWide<TOVSkin>::Free(); }
