#include "ui/OVSkinHelperUtil.h"

#include <QRgb>

#include "ui/OVControlsUtil.h"

void TOVSkinHelper::SetPngColor(QImage& aImage, uint32_t aColor) {
  if (aImage.isNull()) return;
  if (aColor == 0) aColor = 1;
  // Pixels are changed as straight (not premultiplied) ARGB so that alpha stays exact.
  if (aImage.format() != QImage::Format_ARGB32 && aImage.format() != QImage::Format_RGB32) {
    aImage.convertTo(aImage.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  }
  const QRgb rgb = qRgb(static_cast<int>(aColor & 0xFF), static_cast<int>((aColor >> 8) & 0xFF),
                        static_cast<int>((aColor >> 16) & 0xFF));
  const bool keepAlpha = aImage.format() == QImage::Format_ARGB32;
  for (int y = 0; y < aImage.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(aImage.scanLine(y));
    for (int x = 0; x < aImage.width(); ++x) {
      const QRgb px = line[x];
      if ((px & RGB_MASK) == 0) continue;
      line[x] = (keepAlpha ? (px & ~RGB_MASK) : 0xFF000000u) | (rgb & RGB_MASK);
    }
  }
}

void TOVSkinHelper::SetPngColor(TOVImage& aImage, uint32_t aColor) {
  if (!aImage.IsPngPicture()) return;
  SetPngColor(aImage.Picture(), aColor);
  aImage.Repaint();
}
