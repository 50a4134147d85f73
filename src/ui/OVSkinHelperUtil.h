#pragma once

#include <QImage>
#include <cstdint>

class TOVImage;

// Recolouring of the window's PNG glyphs (the close image). UI thread only; never fails.
class TOVSkinHelper {
 public:
  TOVSkinHelper() = delete;

  // Paints every pixel whose colour (without alpha) is not black in aColor ($00BBGGRR) and
  // leaves black pixels and every pixel's alpha as they are. A colour of 0 is painted as 1,
  // so a later recolouring still finds the glyph.
  static void SetPngColor(QImage& aImage, uint32_t aColor);
  // The same on the control's picture, which is then repainted; a picture that is not PNG is
  // left alone and not repainted.
  static void SetPngColor(TOVImage& aImage, uint32_t aColor);
};
