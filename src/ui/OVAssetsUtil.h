#pragma once

// The window's pictures, compiled into ovgui; each is drawn at the size of its control.
namespace ov::assets {

inline constexpr const char* kBackground = ":/assets/background.png";         // 718 x 518, the card
inline constexpr const char* kClose = ":/assets/close.png";                   // 32 x 32, recoloured
inline constexpr const char* kLogo = ":/assets/logo.png";                     // 128 x 128
inline constexpr const char* kLogoZel0 = ":/assets/logo_zel0.png";            // 128 x 128
inline constexpr const char* kLogoZel1 = ":/assets/logo_zel1.png";            // 128 x 128
inline constexpr const char* kFlagCN = ":/assets/flag_cn.png";                // 32 x 32
inline constexpr const char* kFlagEN = ":/assets/flag_en.png";                // 32 x 32
inline constexpr const char* kTickOff = ":/assets/tick_off.png";              // 36 x 36
inline constexpr const char* kTickOn = ":/assets/tick_on.png";                // 36 x 36
inline constexpr const char* kButtonCode = ":/assets/button_code.png";        // 255 x 81
inline constexpr const char* kButtonInstall = ":/assets/button_install.png";  // 255 x 80
inline constexpr const char* kButtonFinish = ":/assets/button_finish.png";    // 255 x 80
inline constexpr const char* kFolder = ":/assets/folder.png";                 // 32 x 32
inline constexpr const char* kDefaultSlide = ":/assets/slide_default.png";    // 718 x 354

}  // namespace ov::assets
