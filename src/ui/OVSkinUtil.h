#pragma once

#include <cstdint>
#include <string>

// The installer's skin: a colour palette ($00BBGGRR values) with the font of its frameless
// dialogs. Five palettes are built in; any other name is the path of a skin file that
// overrides the default palette. Used on the UI thread only.
class TOVSkin {
 public:
  explicit TOVSkin(const std::string& aDefSkinName = "");

  // Selects a built-in palette by name (without regard to case), else the default palette
  // with the skin file aSkinName applied over it. A colour text in the file that is neither a
  // colour name nor a number throws ov::Error (the fields read before it keep their new
  // values), and so does a file that exists but cannot be read (the default palette stays).
  void LoadSkin(const std::string& aSkinName);

  const std::string& DefSkinName() const { return FDefSkinName; }
  const std::string& CurSkinName() const { return FCurSkinName; }

  // A colour name of the toolkit ("clWhite", without regard to case) or a number: "$" and
  // hexadecimal digits, or decimal. False for anything else.
  static bool StringToColor(const std::string& aText, uint32_t& aColor);

  // The palette. The dialogs read it directly.
  int32_t form_style = 0;
  uint32_t form_back = 0;
  uint32_t form_font = 0;
  int32_t form_font_size = 0;
  std::string form_font_name;
  uint32_t form_hint_font = 0;
  uint32_t form_spec_font = 0;
  uint32_t form_gray_font = 0;
  uint32_t button_defback = 0;
  uint32_t button_deffont = 0;
  uint32_t button_moveback = 0;
  uint32_t button_movefont = 0;
  uint32_t button_exit_defback = 0;
  uint32_t button_exit_deffont = 0;
  uint32_t button_exit_moveback = 0;
  uint32_t button_exit_movefont = 0;

 private:
  void SetPalette(size_t aIndex);
  void ApplySkinFile(const std::string& aSkinName);

  std::string FDefSkinName;
  std::string FCurSkinName;
};

// The process-wide skin, created first at program start with an empty name. OVSkin() throws
// ov::Error when none exists.
TOVSkin& OVSkin();
bool HasOVSkin();
void CreateOVSkin();
void FreeOVSkin();
