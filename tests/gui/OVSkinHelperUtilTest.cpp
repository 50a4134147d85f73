#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include "ui/OVControlsUtil.h"
#include "ui/OVSkinHelperUtil.h"

namespace {

// A folder of the test's own. Not QTemporaryDir: the static Qt of the Windows build crashes in
// the random generator that names it.
class TScratchDir {
 public:
  TScratchDir()
      : FPath(QDir::tempPath() + "/ovskin-" + QString::number(QCoreApplication::applicationPid())) {
    QDir(FPath).removeRecursively();
    QDir().mkpath(FPath);
  }
  ~TScratchDir() { QDir(FPath).removeRecursively(); }
  bool isValid() const { return QDir(FPath).exists(); }
  QString filePath(const QString& aName) const { return FPath + "/" + aName; }

 private:
  QString FPath;
};

// A 4 x 3 glyph: black and coloured pixels with several alpha values.
QImage Glyph() {
  QImage img(4, 3, QImage::Format_ARGB32);
  img.fill(qRgba(0, 0, 0, 0));
  img.setPixel(0, 0, qRgba(255, 255, 255, 255));
  img.setPixel(1, 0, qRgba(10, 20, 30, 128));
  img.setPixel(2, 0, qRgba(0, 0, 0, 255));
  img.setPixel(3, 2, qRgba(1, 0, 0, 3));
  img.setPixel(0, 2, qRgba(200, 0, 0, 0));
  return img;
}

}  // namespace

TEST(OVSkinHelper, PaintsEveryNonBlackPixelAndKeepsItsAlpha) {
  QImage img = Glyph();
  TOVSkinHelper::SetPngColor(img, 0x00FF7F21);  // $00BBGGRR: red 0x21, green 0x7F, blue 0xFF
  EXPECT_EQ(img.pixel(0, 0), qRgba(0x21, 0x7F, 0xFF, 255));
  EXPECT_EQ(img.pixel(1, 0), qRgba(0x21, 0x7F, 0xFF, 128));
  EXPECT_EQ(img.pixel(3, 2), qRgba(0x21, 0x7F, 0xFF, 3));
  EXPECT_EQ(qAlpha(img.pixel(0, 2)), 0);
  EXPECT_EQ(img.pixel(0, 2) & 0x00FFFFFF, qRgb(0x21, 0x7F, 0xFF) & 0x00FFFFFF);
  // Black pixels stay, opaque or not.
  EXPECT_EQ(img.pixel(2, 0), qRgba(0, 0, 0, 255));
  EXPECT_EQ(img.pixel(1, 1), qRgba(0, 0, 0, 0));
}

TEST(OVSkinHelper, ColourZeroPaintsOneSoTheGlyphCanBeRecolouredLater) {
  QImage img = Glyph();
  TOVSkinHelper::SetPngColor(img, 0);
  EXPECT_EQ(img.pixel(0, 0), qRgba(1, 0, 0, 255));
  EXPECT_EQ(img.pixel(1, 0), qRgba(1, 0, 0, 128));
  TOVSkinHelper::SetPngColor(img, 0x000000FF);
  EXPECT_EQ(img.pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(img.pixel(1, 0), qRgba(255, 0, 0, 128));
  EXPECT_EQ(img.pixel(2, 0), qRgba(0, 0, 0, 255));
}

TEST(OVSkinHelper, EveryPixelOfOddSizedPicturesIsReached) {
  for (QSize size : {QSize(1, 1), QSize(3, 5), QSize(7, 2), QSize(2, 9)}) {
    QImage img(size, QImage::Format_ARGB32);
    img.fill(qRgba(9, 9, 9, 77));
    TOVSkinHelper::SetPngColor(img, 0x00010203);
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) {
        ASSERT_EQ(img.pixel(x, y), qRgba(3, 2, 1, 77)) << size.width() << "x" << size.height();
      }
    }
  }
}

TEST(OVSkinHelper, PremultipliedAndIndexedPicturesKeepTheirAlpha) {
  QImage pre(2, 1, QImage::Format_ARGB32_Premultiplied);
  pre.setPixel(0, 0, qPremultiply(qRgba(255, 255, 255, 102)));
  pre.setPixel(1, 0, qRgba(0, 0, 0, 0));
  TOVSkinHelper::SetPngColor(pre, 0x00FFFFFF);
  EXPECT_EQ(qAlpha(pre.pixel(0, 0)), 102);
  EXPECT_EQ(qRed(pre.pixel(0, 0)), 255);
  EXPECT_EQ(qAlpha(pre.pixel(1, 0)), 0);

  QImage indexed(2, 1, QImage::Format_Indexed8);
  indexed.setColorTable({qRgba(0, 0, 0, 0), qRgba(40, 40, 40, 200)});
  indexed.setPixel(0, 0, 0);
  indexed.setPixel(1, 0, 1);
  TOVSkinHelper::SetPngColor(indexed, 0x0000FF00);
  EXPECT_EQ(indexed.pixel(0, 0), qRgba(0, 0, 0, 0));
  EXPECT_EQ(indexed.pixel(1, 0), qRgba(0, 255, 0, 200));
}

TEST(OVSkinHelper, ImageControlWithAPngPictureIsRecolouredAndRepainted) {
  TOVImage image(nullptr);
  image.SetPicture(Glyph(), "PNG");
  ASSERT_TRUE(image.IsPngPicture());
  const int32_t painted = image.PaintCount();
  const qint64 shown = image.pixmap().cacheKey();
  TOVSkinHelper::SetPngColor(image, 0x000000FF);
  EXPECT_EQ(image.Picture().pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(image.PaintCount(), painted + 1);
  EXPECT_NE(image.pixmap().cacheKey(), shown);
  EXPECT_EQ(image.pixmap().toImage().convertToFormat(QImage::Format_ARGB32).pixel(0, 0),
            qRgba(255, 0, 0, 255));
}

TEST(OVSkinHelper, PictureThatIsNotPngIsNotChangedNorRepainted) {
  TOVImage image(nullptr);
  image.SetPicture(Glyph(), "jpeg");
  ASSERT_FALSE(image.IsPngPicture());
  const int32_t painted = image.PaintCount();
  const qint64 shown = image.pixmap().cacheKey();
  TOVSkinHelper::SetPngColor(image, 0x000000FF);
  EXPECT_EQ(image.Picture(), Glyph());
  EXPECT_EQ(image.PaintCount(), painted);
  EXPECT_EQ(image.pixmap().cacheKey(), shown);

  TOVImage empty(nullptr);
  TOVSkinHelper::SetPngColor(empty, 0x000000FF);
  EXPECT_TRUE(empty.Picture().isNull());
  QImage none;
  TOVSkinHelper::SetPngColor(none, 0x000000FF);
  EXPECT_TRUE(none.isNull());
}

TEST(OVSkinHelper, PictureFormatComesFromTheFile) {
  TScratchDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString png = dir.filePath("close.png");
  const QString jpg = dir.filePath("slide.jpg");
  ASSERT_TRUE(Glyph().save(png, "PNG"));
  ASSERT_TRUE(Glyph().convertToFormat(QImage::Format_RGB32).save(jpg, "JPEG"));
  TOVImage image(nullptr);
  ASSERT_TRUE(image.LoadFromFile(png));
  EXPECT_TRUE(image.IsPngPicture());
  TOVSkinHelper::SetPngColor(image, 0x00FF0000);
  EXPECT_EQ(image.Picture().pixel(1, 0), qRgba(0, 0, 255, 128));

  ASSERT_TRUE(image.LoadFromFile(jpg));
  EXPECT_FALSE(image.IsPngPicture());
  const QImage before = image.Picture();
  TOVSkinHelper::SetPngColor(image, 0x00FF0000);
  EXPECT_EQ(image.Picture(), before);

  // A file that is no picture leaves the old one.
  const QString junk = dir.filePath("junk.png");
  QFile f(junk);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a picture");
  f.close();
  EXPECT_FALSE(image.LoadFromFile(junk));
  EXPECT_EQ(image.Picture(), before);
  EXPECT_FALSE(image.IsPngPicture());
}
