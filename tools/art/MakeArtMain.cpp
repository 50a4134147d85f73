// ovart: draws the window's pictures, each at the size of the control that shows it.
//   ovart OUT
// OUT receives one PNG per picture; the build compiles them into the window's resources.
// OUT also gets the program's icon, OVOnlineSetup.ico, for the Windows build.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The palette: the window's own blue ($00E4690E), the accent blue of the close image at rest
// ($00FF7F21) and the light greys of the frame.
const QColor kBlue(0x0E, 0x69, 0xE4);
const QColor kAccent(0x21, 0x7F, 0xFF);
const QColor kPale(0xEE, 0xF4, 0xFD);
const QColor kLine(0xB8, 0xC2, 0xCC);

// Chinese glyphs need a CJK family: the window's own font where installed, else the one the
// build machine has.
QFont ArtFont(int aPixels, bool aBold) {
  QFont f;
  f.setFamilies(QStringList{"Microsoft YaHei", "WenQuanYi Micro Hei"});
  f.setPixelSize(aPixels);
  f.setBold(aBold);
  return f;
}

QImage Canvas(int aWidth, int aHeight) {
  QImage img(aWidth, aHeight, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

void Smooth(QPainter& aPainter) {
  aPainter.setRenderHint(QPainter::Antialiasing);
  aPainter.setRenderHint(QPainter::TextAntialiasing);
}

// The card's back: white, with soft pale circles in two corners.
QImage DrawBackground() {
  QImage img = Canvas(718, 518);
  QPainter p(&img);
  Smooth(p);
  p.fillRect(img.rect(), Qt::white);
  p.setPen(Qt::NoPen);
  p.setBrush(kPale);
  p.drawEllipse(QPointF(-40, -30), 190, 190);
  p.drawEllipse(QPointF(760, 560), 210, 210);
  p.setBrush(QColor(0xE2, 0xEC, 0xFB));
  p.drawEllipse(QPointF(90, -70), 80, 80);
  p.drawEllipse(QPointF(640, 600), 120, 120);
  return img;
}

// A thin cross in the accent colour on a clear ground; the window recolours its non-black
// pixels on hover, so nothing in it may be black.
QImage DrawClose() {
  QImage img = Canvas(32, 32);
  QPainter p(&img);
  Smooth(p);
  QPen pen(kAccent, 2.6);
  pen.setCapStyle(Qt::RoundCap);
  p.setPen(pen);
  p.drawLine(QPointF(10, 10), QPointF(22, 22));
  p.drawLine(QPointF(22, 10), QPointF(10, 22));
  return img;
}

QImage DrawTile(int aSize, const QColor& aColor) {
  QImage img = Canvas(aSize, aSize);
  QPainter p(&img);
  Smooth(p);
  p.setPen(Qt::NoPen);
  p.setBrush(aColor);
  const qreal r = aSize * 0.22;
  p.drawRoundedRect(QRectF(0, 0, aSize, aSize), r, r);
  return img;
}

// The product family's logo: a download arrow over a tray.
QImage DrawLogo() {
  QImage img = DrawTile(128, kBlue);
  QPainter p(&img);
  Smooth(p);
  QPen pen(Qt::white, 10);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(64, 28), QPointF(64, 76));
  QPainterPath head;
  head.moveTo(44, 58);
  head.lineTo(64, 78);
  head.lineTo(84, 58);
  p.drawPath(head);
  QPainterPath tray;
  tray.moveTo(32, 82);
  tray.lineTo(32, 98);
  tray.lineTo(96, 98);
  tray.lineTo(96, 82);
  p.drawPath(tray);
  return img;
}

// The goods-distribution logos: one character on a tile of the product's colour.
QImage DrawCharLogo(const QColor& aColor, const char* aText) {
  QImage img = DrawTile(128, aColor);
  QPainter p(&img);
  Smooth(p);
  p.setPen(Qt::white);
  p.setFont(ArtFont(68, true));
  p.drawText(img.rect(), Qt::AlignCenter, QString::fromUtf8(aText));
  return img;
}

// A language badge: the visible one names the language the window is in.
QImage DrawFlag(const QColor& aColor, const char* aText, int aPixels) {
  QImage img = Canvas(32, 32);
  QPainter p(&img);
  Smooth(p);
  p.setPen(Qt::NoPen);
  p.setBrush(aColor);
  p.drawRoundedRect(QRectF(3, 5, 26, 22), 5, 5);
  p.setPen(Qt::white);
  p.setFont(ArtFont(aPixels, true));
  p.drawText(QRectF(3, 5, 26, 22), Qt::AlignCenter, QString::fromUtf8(aText));
  return img;
}

QImage DrawTick(bool aTicked) {
  QImage img = Canvas(36, 36);
  QPainter p(&img);
  Smooth(p);
  const QRectF box(7, 7, 22, 22);
  if (!aTicked) {
    p.setPen(QPen(kLine, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(box, 5, 5);
    return img;
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRoundedRect(box.adjusted(-1, -1, 1, 1), 5, 5);
  QPen pen(Qt::white, 2.8);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  QPainterPath mark;
  mark.moveTo(12, 18.5);
  mark.lineTo(16.5, 23);
  mark.lineTo(24.5, 13.5);
  p.drawPath(mark);
  return img;
}

// A rounded button around its label (aLabel is where the label lies on the picture), with a
// faint shadow below; the label draws the text.
QImage DrawButton(int aWidth, int aHeight, const QRect& aLabel) {
  QImage img = Canvas(aWidth, aHeight);
  QPainter p(&img);
  Smooth(p);
  const QRectF face = QRectF(aLabel).adjusted(-5, -2, 5, 2);
  const qreal r = face.height() / 2;
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 6; ++i) {
    p.setBrush(QColor(kBlue.red(), kBlue.green(), kBlue.blue(), 10));
    p.drawRoundedRect(face.adjusted(-i + 2, -i + 6, i - 2, i + 6), r + i, r + i);
  }
  p.setBrush(kBlue);
  p.drawRoundedRect(face, r, r);
  return img;
}

QImage DrawFolder() {
  QImage img = Canvas(32, 32);
  QPainter p(&img);
  Smooth(p);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xF2, 0xA9, 0x1E));
  QPainterPath back;
  back.addRoundedRect(QRectF(3, 7, 12, 8), 2, 2);
  back.addRoundedRect(QRectF(3, 9, 26, 17), 2.5, 2.5);
  p.drawPath(back.simplified());
  p.setBrush(QColor(0xFF, 0xC8, 0x3D));
  p.drawRoundedRect(QRectF(3, 12, 26, 15), 2.5, 2.5);
  return img;
}

// The slide shown before the product's own slides arrive.
QImage DrawDefaultSlide() {
  QImage img = Canvas(718, 354);
  QPainter p(&img);
  Smooth(p);
  p.fillRect(img.rect(), kBlue);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 22));
  p.drawEllipse(QPointF(610, 70), 170, 170);
  p.setBrush(QColor(255, 255, 255, 16));
  p.drawEllipse(QPointF(700, 330), 120, 120);
  p.drawEllipse(QPointF(40, 380), 90, 90);
  p.setPen(Qt::white);
  p.setFont(ArtFont(40, true));
  p.drawText(QRect(56, 96, 600, 60), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("智慧零售，一站安装"));
  p.setFont(ArtFont(20, false));
  p.drawText(QRect(56, 164, 600, 34), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("正在为您在线安装，请稍候……"));
  p.setPen(QColor(255, 255, 255, 170));
  p.setFont(ArtFont(15, false));
  p.drawText(QRect(56, 204, 600, 26), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Online installation in progress"));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(56, 254, 64, 6), 3, 3);
  return img;
}

bool Save(const fs::path& aDir, const char* aName, const QImage& aImage) {
  const fs::path path = aDir / aName;
  // Straight alpha, so a recoloured edge keeps its colour.
  if (!aImage.convertToFormat(QImage::Format_ARGB32)
           .save(QString::fromStdString(path.string()), "PNG")) {
    std::fprintf(stderr, "ovart: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

// The logo at the sizes the shell asks for, as one icon file of PNG images (read by Windows
// Vista and later).
bool SaveIcon(const fs::path& aDir, const char* aName, const QImage& aLogo) {
  const int sizes[] = {16, 24, 32, 48, 64, 256};
  std::vector<QByteArray> pngs;
  for (int size : sizes) {
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    aLogo.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32)
        .save(&buf, "PNG");
    pngs.push_back(png);
  }
  std::string out;
  auto put16 = [&out](uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  put16(0), put16(1), put16(uint32_t(pngs.size()));  // reserved, type icon, count
  uint32_t offset = 6 + 16 * uint32_t(pngs.size());
  for (size_t i = 0; i < pngs.size(); ++i) {
    const uint32_t side = sizes[i] >= 256 ? 0 : sizes[i];  // 0 stands for 256
    out += char(side), out += char(side), out += char(0), out += char(0);
    put16(1), put16(32), put32(uint32_t(pngs[i].size())), put32(offset);
    offset += uint32_t(pngs[i].size());
  }
  for (const auto& png : pngs) out.append(png.constData(), size_t(png.size()));
  const fs::path path = aDir / aName;
  std::ofstream f(path, std::ios::binary);
  if (!(f << out) || !f.flush()) {
    std::fprintf(stderr, "ovart: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ovart OUT\n");
    return 2;
  }
  // Pictures only: no display needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  const fs::path out = argv[1];
  std::error_code ec;
  fs::create_directories(out, ec);
  const struct {
    const char* Name;
    QImage Image;
  } pictures[] = {
      {"background.png", DrawBackground()},
      {"close.png", DrawClose()},
      {"logo.png", DrawLogo()},
      {"logo_zel0.png", DrawCharLogo(QColor(0x12, 0xA3, 0x7F), "智")},
      {"logo_zel1.png", DrawCharLogo(QColor(0xF0, 0x7C, 0x1B), "智")},
      {"flag_cn.png", DrawFlag(QColor(0xE5, 0x39, 0x35), "中", 16)},
      {"flag_en.png", DrawFlag(kBlue, "EN", 12)},
      {"tick_off.png", DrawTick(false)},
      {"tick_on.png", DrawTick(true)},
      // Each button picture with its label's place on it.
      {"button_code.png", DrawButton(255, 81, QRect(33, 7, 185, 52))},
      {"button_install.png", DrawButton(255, 80, QRect(35, 7, 185, 52))},
      {"button_finish.png", DrawButton(255, 80, QRect(35, 7, 185, 52))},
      {"folder.png", DrawFolder()},
      {"slide_default.png", DrawDefaultSlide()},
  };
  for (const auto& pic : pictures) {
    if (!Save(out, pic.Name, pic.Image)) return 1;
  }
  return SaveIcon(out, "OVOnlineSetup.ico", DrawLogo()) ? 0 : 1;
}
