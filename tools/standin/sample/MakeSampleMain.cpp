// ovsample: writes the sample products' source trees, which ovpublish then serves.
//   ovsample OUT PROGRAM
// OUT receives ketrin/web, ketrin/pos, ketrin/slides, zelcv/svc and zelcv/slides; PROGRAM is
// the small program copied under every program name. The output depends only on PROGRAM, so
// two runs publish the same MD5s.
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct TSlide {
  const char* Title;
  const char* Text;
  QColor From, To;
};

bool Fail(const std::string& aWhy) {
  std::fprintf(stderr, "ovsample: %s\n", aWhy.c_str());
  return false;
}

bool WriteBytes(const fs::path& aPath, const std::string& aData) {
  std::error_code ec;
  fs::create_directories(aPath.parent_path(), ec);
  std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
  out << aData;
  out.close();
  return out ? true : Fail("cannot write " + aPath.string());
}

// Bytes that do not compress well, the same on every run for the same seed.
std::string Filler(size_t aSize, uint32_t aSeed) {
  std::string s(aSize, '\0');
  uint32_t x = aSeed * 2654435761u + 1;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return s;
}

// Text of about aSize bytes made of numbered lines, so it compresses as text does.
std::string TextLines(const std::string& aLine, size_t aSize) {
  std::string s;
  for (int i = 1; s.size() < aSize; ++i) s += "/* " + std::to_string(i) + " */ " + aLine + "\n";
  return s;
}

bool CopyProgram(const fs::path& aProgram, const fs::path& aTo) {
  std::error_code ec;
  fs::create_directories(aTo.parent_path(), ec);
  fs::copy_file(aProgram, aTo, fs::copy_options::overwrite_existing, ec);
  if (ec) return Fail("cannot copy " + aProgram.string() + " to " + aTo.string());
  fs::permissions(aTo, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec, ec);
  return true;
}

QFont SampleFont(int aPixels, bool aBold) {
  QFont f(QStringList{"Microsoft YaHei", "WenQuanYi Micro Hei"});
  f.setPixelSize(aPixels);
  f.setBold(aBold);
  return f;
}

bool SaveImage(const QImage& aImage, const fs::path& aPath, const char* aFormat) {
  std::error_code ec;
  fs::create_directories(aPath.parent_path(), ec);
  if (!aImage.save(QString::fromStdString(aPath.string()), aFormat, 90)) {
    return Fail("cannot write image " + aPath.string());
  }
  return true;
}

// A slide of the show area's size: a gradient, a few rings and two lines of text.
QImage DrawSlide(const TSlide& aSlide, int aNumber) {
  QImage img(718, 354, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 718, 354);
  g.setColorAt(0, aSlide.From);
  g.setColorAt(1, aSlide.To);
  p.fillRect(img.rect(), g);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 5; ++i) {
    p.setBrush(QColor(255, 255, 255, 18 + 6 * i));
    const int r = 40 + 30 * ((i + aNumber) % 4);
    p.drawEllipse(QPoint(560 + 37 * i - 20 * aNumber, 60 + 61 * i), r, r);
  }
  p.setPen(Qt::white);
  p.setFont(SampleFont(40, true));
  p.drawText(QRect(48, 90, 620, 70), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8(aSlide.Title));
  p.setFont(SampleFont(20, false));
  p.drawText(QRect(48, 170, 620, 90), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             QString::fromUtf8(aSlide.Text));
  return img;
}

// A square badge with a letter, for icons and logos.
QImage DrawBadge(int aSize, const QColor& aColor, const char* aLetter) {
  QImage img(aSize, aSize, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(aColor);
  p.drawRoundedRect(QRectF(1, 1, aSize - 2, aSize - 2), aSize / 5.0, aSize / 5.0);
  p.setPen(Qt::white);
  p.setFont(SampleFont(aSize * 3 / 5, true));
  p.drawText(img.rect(), Qt::AlignCenter, QString::fromUtf8(aLetter));
  return img;
}

bool WriteSlides(const fs::path& aDir, const TSlide (&aSlides)[4]) {
  // Sorted by name these become slider1.png, slider2.png, slider3.jpg, slider4.jpg.
  const char* const names[4] = {"1.png", "2.png", "3.jpg", "4.jpg"};
  for (int i = 0; i < 4; ++i) {
    const bool png = i < 2;
    if (!SaveImage(DrawSlide(aSlides[i], i + 1), aDir / names[i], png ? "PNG" : "JPG")) {
      return false;
    }
  }
  return true;
}

bool WriteKetrin(const fs::path& aOut, const fs::path& aProgram) {
  const fs::path web = aOut / "ketrin" / "web";
  const fs::path pos = aOut / "ketrin" / "pos";
  const QColor blue(0x1E, 0x6F, 0xD9), green(0x1A, 0x9E, 0x6B);
  const std::string js = "function 收银(order) { return order.items.reduce((s, i) => s + i.price, 0); }";
  const bool ok =
      CopyProgram(aProgram, web / "OVWebClient.exe") &&
      SaveImage(DrawBadge(48, blue, "K"), web / "OVWebClient.ico", "ICO") &&
      SaveImage(DrawBadge(128, blue, "K"), web / "images" / "logo.png", "PNG") &&
      WriteBytes(web / "index.html",
                 "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                 "<title>Ketrin 后台</title><link rel=\"stylesheet\" href=\"css/主题/默认.css\">"
                 "</head><body><script src=\"js/应用.js\"></script></body></html>\n") &&
      WriteBytes(web / "js" / "应用.js", TextLines(js, 90 * 1024)) &&
      WriteBytes(web / "js" / "vendor" / "framework.min.js", TextLines("var a=1;", 20 * 1024)) &&
      WriteBytes(web / "css" / "主题" / "默认.css", TextLines("body { margin: 0; }", 6 * 1024)) &&
      WriteBytes(web / "bin" / "OVBrowser.dll", Filler(600 * 1024, 1)) &&
      WriteBytes(web / "bin" / "locales" / "zh-CN.pak", Filler(48 * 1024, 2)) &&
      WriteBytes(web / "说明.txt", "Ketrin 网页后台客户端\r\nKetrin web back-office client\r\n") &&
      CopyProgram(aProgram, pos / "Caldis.exe") &&
      CopyProgram(aProgram, pos / "CaldisSvc.exe") &&
      SaveImage(DrawBadge(48, green, "C"), pos / "Caldis.ico", "ICO") &&
      WriteBytes(pos / "CaldisCore.dll", Filler(900 * 1024, 3)) &&
      WriteBytes(pos / "plugins" / "打印" / "小票模板.xml",
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ticket><line>谢谢惠顾</line></ticket>\n") &&
      WriteBytes(pos / "data" / "商品.db", Filler(256 * 1024, 4)) &&
      WriteBytes(pos / "config" / "默认配置.ini", "[Main]\r\nShopName=示例门店\r\nTill=1\r\n");
  if (!ok) return false;
  const TSlide slides[4] = {
      {"欢迎使用 Ketrin", "零售门店的后台与收银，一次安装。", blue, QColor(0x12, 0x3E, 0x8C)},
      {"Web 后台", "商品、会员、库存与报表，随时随地管理门店。", QColor(0x2B, 0x8A, 0xE0),
       QColor(0x5B, 0x3F, 0xC8)},
      {"Caldis 前台", "快速收银，离线也能营业。", green, QColor(0x0E, 0x5E, 0x57)},
      {"马上就好", "安装完成后即可开始营业。", QColor(0xF0, 0x8A, 0x24), QColor(0xC8, 0x3E, 0x3E)}};
  return WriteSlides(aOut / "ketrin" / "slides", slides);
}

bool WriteZelcv(const fs::path& aOut, const fs::path& aProgram) {
  const fs::path svc = aOut / "zelcv" / "svc";
  const QColor teal(0x0F, 0x7C, 0x8C);
  const bool ok = CopyProgram(aProgram, svc / "OVZelService.exe") &&
                  SaveImage(DrawBadge(48, teal, "Z"), svc / "OVZelService.ico", "ICO") &&
                  WriteBytes(svc / "ZelCore.dll", Filler(400 * 1024, 5)) &&
                  WriteBytes(svc / "config" / "下发规则.json",
                             "{\"interval\":300,\"targets\":[\"门店1\",\"门店2\"]}\n") &&
                  WriteBytes(svc / "模板" / "商品" / "价签.xml",
                             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<label>价签</label>\n");
  if (!ok) return false;
  const TSlide slides[4] = {
      {"Corvela 商品智能下发", "商品与价格自动下发到每一家门店。", teal, QColor(0x0B, 0x3D, 0x5C)},
      {"规则下发", "按门店、按时间，灵活配置。", QColor(0x3C, 0x9D, 0x5D), teal},
      {"后台服务", "安装为系统服务，开机即运行。", QColor(0x4A, 0x5A, 0xC8), QColor(0x22, 0x2E, 0x6E)},
      {"即将完成", "服务安装完成后会自动启动。", QColor(0xE0, 0x7A, 0x1F), QColor(0x9C, 0x2F, 0x2F)}};
  return WriteSlides(aOut / "zelcv" / "slides", slides);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ovsample OUT PROGRAM\n");
    return 2;
  }
  // Images and text only: no display needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  const fs::path out = argv[1];
  const fs::path program = argv[2];
  std::error_code ec;
  // A fresh tree each time, so files dropped from the sample do not linger.
  for (const char* product : {"ketrin", "zelcv"}) fs::remove_all(out / product, ec);
  if (!WriteKetrin(out, program) || !WriteZelcv(out, program)) return 1;
  return 0;
}
