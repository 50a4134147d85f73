#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <string>

#include "ui/OVAssetsUtil.h"
#include "ui/OVControlsUtil.h"
#include "ui/OVSkinHelperUtil.h"

namespace {

QImage Load(const char* aName) { return QImage(QString::fromLatin1(aName)); }

// Pixels that are not fully clear.
int Drawn(const QImage& aImage) {
  int n = 0;
  for (int y = 0; y < aImage.height(); ++y) {
    for (int x = 0; x < aImage.width(); ++x) n += qAlpha(aImage.pixel(x, y)) > 0 ? 1 : 0;
  }
  return n;
}

}  // namespace

TEST(OVAssets, EveryPictureLoadsAsPngAtTheSizeOfItsControl) {
  const struct {
    const char* Name;
    QSize Size;
  } expected[] = {
      {ov::assets::kBackground, {718, 518}},   {ov::assets::kClose, {32, 32}},
      {ov::assets::kLogo, {128, 128}},         {ov::assets::kLogoZel0, {128, 128}},
      {ov::assets::kLogoZel1, {128, 128}},     {ov::assets::kFlagCN, {32, 32}},
      {ov::assets::kFlagEN, {32, 32}},         {ov::assets::kTickOff, {36, 36}},
      {ov::assets::kTickOn, {36, 36}},         {ov::assets::kButtonCode, {255, 81}},
      {ov::assets::kButtonInstall, {255, 80}}, {ov::assets::kButtonFinish, {255, 80}},
      {ov::assets::kFolder, {32, 32}},         {ov::assets::kDefaultSlide, {718, 354}},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.Name);
    QImageReader reader(QString::fromLatin1(e.Name));
    EXPECT_EQ(reader.format(), QByteArray("png"));
    const QImage img = reader.read();
    ASSERT_FALSE(img.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(img.size(), e.Size);
    EXPECT_GT(Drawn(img), 0);
  }
  EXPECT_FALSE(QFile::exists(QStringLiteral(":/assets/none.png")));
}

TEST(OVAssets, TheCloseImageTakesTheHoverColoursWithoutTouchingItsGround) {
  QImage img = Load(ov::assets::kClose).convertToFormat(QImage::Format_ARGB32);
  ASSERT_FALSE(img.isNull());
  // Corners are clear, the cross is drawn in the resting colour $00FF7F21.
  EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
  const QColor rest = OVColorToQColor(0x00FF7F21);
  EXPECT_EQ(QColor(img.pixel(16, 16)).rgb(), rest.rgb());
  const int drawn = Drawn(img);
  TOVSkinHelper::SetPngColor(img, 0x000000FF);
  EXPECT_EQ(QColor(img.pixel(16, 16)).rgb(), QColor(Qt::red).rgb());
  EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
  EXPECT_EQ(Drawn(img), drawn);
}

TEST(OVAssets, TickedAndUntickedBoxesDiffer) {
  const QImage off = Load(ov::assets::kTickOff);
  const QImage on = Load(ov::assets::kTickOn);
  ASSERT_FALSE(off.isNull());
  ASSERT_FALSE(on.isNull());
  EXPECT_NE(off, on);
  // The unticked box is white inside, the ticked one filled.
  EXPECT_EQ(QColor(off.pixel(13, 24)).rgb(), QColor(Qt::white).rgb());
  EXPECT_NE(QColor(on.pixel(13, 24)).rgb(), QColor(Qt::white).rgb());
}
