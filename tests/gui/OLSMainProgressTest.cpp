// The main window's progress card: hint lines, progress bar and slide show.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <thread>

#include "base/LoggerUtil.h"
#include "gui/GuiTestUtil.h"
#include "gui/OLSMainTestUtil.h"
#include "install/SoftBaseHelperUtil.h"

namespace {

class OLSMainProgressTest : public TOLSMainTest {
 protected:
  // A one-colour slide at a Windows path, listed as slider<n>.
  void Slide(int aN, QColor aColor, const std::string& aFile = "") {
    const std::string file = aFile.empty() ? "C:\\Slides\\" + std::to_string(aN) + ".png" : aFile;
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(aColor);
    WriteHost(Host(file), "");
    ASSERT_TRUE(img.save(QString::fromStdString(Host(file)), "PNG"));
    SoftVar().sliders().Add("slider" + std::to_string(aN), file);
  }
  // Colour of the slide shown.
  static QColor Shown(TOLSMainProbe& w) { return w.imgSlider->Picture().pixelColor(5, 5); }
  // One tick: the number shown afterwards and the next interval.
  static std::pair<int, int> Tick(TOLSMainProbe& w) {
    w.tmrSliderTimer();
    return {w.imgSlider->Tag(), w.tmrSlider->interval()};
  }
};

using P = std::pair<int, int>;

}  // namespace

TEST_F(OLSMainProgressTest, TheProgressCardIsLaidOutBelowTheSlide) {
  TOLSMainProbe& w = Open();
  EXPECT_EQ(w.imgSlider->geometry(), QRect(0, 0, 718, 354));
  EXPECT_FALSE(w.imgSlider->Picture().isNull());
  EXPECT_EQ(w.imgSliders[0]->geometry(), QRect(7, 309, 73, 57));
  EXPECT_EQ(w.imgSliders[8]->geometry(), QRect(7 + 79 * 8, 309, 73, 57));
  EXPECT_TRUE(w.imgSliders[4]->isHidden());
  EXPECT_EQ(w.pnlcrdcv3footBack->geometry(), QRect(0, 354, 718, 164));
  EXPECT_EQ(w.pnlcrdcv3footBack->Color(), 0x00EAEAE8u);
  EXPECT_EQ(w.pnlcrdcv3foot->geometry(), QRect(1, 0, 716, 163));
  EXPECT_EQ(w.lblModInstHint->geometry(), QRect(40, 16, 639, 29));
  EXPECT_EQ(w.lblModInstHint->font().pixelSize(), 17);
  EXPECT_EQ(w.pbModInst->geometry(), QRect(16, 55, 685, 25));
  EXPECT_EQ(w.lblModInstSubHint->geometry(), QRect(16, 98, 685, 38));
  EXPECT_EQ(w.lblInstSubProgress->geometry(), QRect(16, 127, 685, 25));
  EXPECT_EQ(w.lblInstSubProgress->font().pixelSize(), 15);
  EXPECT_EQ(w.tmrSlider->interval(), 3000);
  EXPECT_FALSE(w.tmrSlider->isActive());
}

TEST_F(OLSMainProgressTest, AHintWithoutAMainLineChangesOnlyTheSubLineButLogsBoth) {
  TOLSMainProbe& w = Open();
  w.ShowInstHint("Installing", "first");
  QElapsedTimer t;
  t.start();
  w.ShowInstHint("", "second");
  EXPECT_GE(t.elapsed(), 29);
  EXPECT_EQ(w.lblModInstHint->Caption(), QStringLiteral("Installing"));
  EXPECT_EQ(w.lblModInstSubHint->Caption(), QStringLiteral("second"));
  EXPECT_NE(LogText().find("Installing\r\n  >second"), std::string::npos);
  w.ShowInstHint("", "");
  EXPECT_EQ(w.lblModInstSubHint->Caption(), QString());
  w.ShowFileDownProgressHint("1.2MB/300KB ");
  EXPECT_EQ(w.lblInstSubProgress->Caption(), QStringLiteral("1.2MB/300KB "));
}

TEST_F(OLSMainProgressTest, ProgressIsTakenOnAnyThreadAndShownOnTheUiThread) {
  TOLSMainProbe& w = Open();
  w.ShowInstProgress(30, 100);
  EXPECT_EQ(w.pbModInst->maximum(), 100);
  EXPECT_EQ(w.pbModInst->value(), 30);
  w.ShowInstProgress(60, 100);
  EXPECT_EQ(w.pbModInst->value(), 60);
  EXPECT_EQ(w.pbModInst->minimum(), 0);
  std::thread worker([&] {
    w.ShowInstProgress(10, 50);
    w.ShowInstProgress(20, 50);
  });
  worker.join();
  EXPECT_EQ(w.pbModInst->value(), 60);  // not yet applied: it waits for the UI thread
  ASSERT_TRUE(WaitFor([&] { return w.pbModInst->value() == 20; }));
  EXPECT_EQ(w.pbModInst->maximum(), 50);
}

TEST_F(OLSMainProgressTest, ThreeSlidesCycleWithAnExtraSecondOnTheLast) {
  TOLSMainProbe& w = Open();
  // No slide yet: the built-in slide stays and slot 1 is tried every second.
  const QColor builtIn = Shown(w);
  EXPECT_EQ(Tick(w), P(0, 1000));
  EXPECT_EQ(Shown(w), builtIn);
  Slide(1, Qt::red);
  Slide(2, Qt::green);
  Slide(3, Qt::blue);
  EXPECT_EQ(Tick(w), P(1, 3000));
  EXPECT_EQ(Shown(w), QColor(Qt::red));
  EXPECT_EQ(Tick(w), P(2, 3000));
  EXPECT_EQ(Shown(w), QColor(Qt::green));
  EXPECT_EQ(Tick(w), P(3, 3000));
  EXPECT_EQ(Shown(w), QColor(Qt::blue));
  EXPECT_EQ(Tick(w), P(0, 1000));
  EXPECT_EQ(Shown(w), QColor(Qt::blue));
  EXPECT_EQ(Tick(w), P(1, 3000));
  EXPECT_EQ(Shown(w), QColor(Qt::red));
  // Loaded once: the slot keeps its picture even when the file goes.
  std::remove(Host("C:\\Slides\\2.png").c_str());
  EXPECT_EQ(Tick(w), P(2, 3000));
  EXPECT_EQ(Shown(w), QColor(Qt::green));
}

TEST_F(OLSMainProgressTest, ABrokenSecondSlideIsRetriedUntilItLoads) {
  TOLSMainProbe& w = Open();
  Slide(1, Qt::red);
  SoftVar().sliders().Add("slider2", "C:\\Slides\\2.png");
  WriteHost(Host("C:\\Slides\\2.png"), "not a picture");
  EXPECT_EQ(Tick(w), P(1, 3000));
  EXPECT_EQ(Tick(w), P(0, 1000));
  EXPECT_EQ(Shown(w), QColor(Qt::red));
  EXPECT_EQ(Tick(w), P(1, 3000));
  EXPECT_EQ(Tick(w), P(0, 1000));
  Slide(2, Qt::green);
  EXPECT_EQ(Tick(w), P(1, 3000));
  EXPECT_EQ(Tick(w), P(2, 3000));
  EXPECT_EQ(Shown(w), QColor(Qt::green));
}

TEST_F(OLSMainProgressTest, AtMostNineSlidesAreShown) {
  TOLSMainProbe& w = Open();
  for (int n = 1; n <= 10; ++n) Slide(n, QColor(n * 20, 0, 0));
  for (int n = 1; n <= 9; ++n) {
    EXPECT_EQ(Tick(w), P(n, 3000));
    EXPECT_EQ(Shown(w), QColor(n * 20, 0, 0));
  }
  EXPECT_EQ(Tick(w), P(1, 3000));
  EXPECT_EQ(Shown(w), QColor(20, 0, 0));
  EXPECT_TRUE(w.LoadSliderImage(5, w.imgSliders[4]));
  EXPECT_FALSE(w.imgSliders[4]->Picture().isNull());
}
