#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "gui/GuiTestUtil.h"
#include "ui/BaseFormUnit.h"
#include "ui/OVSkinUtil.h"

namespace {

using BaseFormTest = TSkinnedTest;

void SendMouse(QWidget* aTarget, QEvent::Type aType, QPoint aLocal, Qt::MouseButton aButton,
               Qt::MouseButtons aButtons) {
  const QPointF local(aLocal);
  QMouseEvent e(aType, local, aTarget->mapToGlobal(local), aButton, aButtons, Qt::NoModifier);
  QApplication::sendEvent(aTarget, &e);
}

bool Press(TBaseForm& aForm, int aQtKey) {
  QKeyEvent e(QEvent::KeyPress, aQtKey, Qt::NoModifier);
  QApplication::sendEvent(&aForm, &e);
  return e.isAccepted();
}

}  // namespace

TEST_F(BaseFormTest, DesignLayout) {
  TBaseForm f;
  EXPECT_EQ(f.size(), QSize(651, 338));
  EXPECT_EQ(f.windowTitle(), QStringLiteral("窗体基类"));
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(f.iResult(), -1);
  EXPECT_EQ(f.pnlBack->geometry(), QRect(0, 0, 651, 338));
  EXPECT_EQ(f.lblTitle->pos(), QPoint(24, 12));
  EXPECT_EQ(f.lblTitle->Caption(), QStringLiteral("窗体基类"));
  EXPECT_EQ(f.lblMin->geometry(), QRect(557, -1, 45, 40));
  EXPECT_TRUE(f.lblMin->isHidden());
  EXPECT_EQ(f.lblMin->font().pixelSize(), 21);
  EXPECT_EQ(f.imgClose->geometry(), QRect(615, 7, 25, 25));
  EXPECT_TRUE(f.imgClose->IsPngPicture());
  EXPECT_EQ(f.lblSysButtonBack->geometry(), QRect(607, -1, 40, 36));
  EXPECT_TRUE(f.lblSysButtonBack->isHidden());
  EXPECT_EQ(f.lblSysButtonBack->Color(), 0x00EAEAE8u);
  EXPECT_EQ(f.font().pixelSize(), 15);
}

TEST_F(BaseFormTest, TopRightControlsFollowTheRightEdge) {
  TBaseForm f;
  f.SetClientSize(551, 300);
  EXPECT_EQ(f.pnlBack->geometry(), QRect(0, 0, 551, 300));
  EXPECT_EQ(f.imgClose->pos(), QPoint(515, 7));
  EXPECT_EQ(f.lblMin->pos(), QPoint(457, -1));
  EXPECT_EQ(f.lblTitle->pos(), QPoint(24, 12));
  // Not anchored: it keeps its place.
  EXPECT_EQ(f.lblSysButtonBack->pos(), QPoint(607, -1));
  // A control moved by code keeps its new distance from then on.
  f.PlaceControl(f.imgClose, 500, 7);
  f.SetClientSize(651, 300);
  EXPECT_EQ(f.imgClose->pos(), QPoint(600, 7));
}

TEST_F(BaseFormTest, ShowingAppliesTheSkin) {
  OVSkin().LoadSkin("blackwhite");
  TBaseForm f;
  f.show();
  EXPECT_EQ(f.FormColor(), 0x00000000u);
  EXPECT_EQ(f.FormFontColor(), 0x00FFFFFFu);
  EXPECT_EQ(f.palette().color(QPalette::Window), QColor(0, 0, 0));
  EXPECT_EQ(f.pnlBack->Color(), 0x00000000u);
  EXPECT_EQ(f.font().pointSize(), 13);
  EXPECT_EQ(f.font().families().value(0), QStringLiteral("微软雅黑"));
  EXPECT_EQ(f.lblTitle->FontColor(), 0x00FFFFFFu);
  EXPECT_EQ(f.lblTitle->font().pointSize(), 13);
  EXPECT_EQ(f.lblMin->Color(), 0x00000000u);
  EXPECT_EQ(f.lblMin->FontColor(), 0x00FFFFFFu);
  // The minimise label keeps its own size.
  EXPECT_EQ(f.lblMin->font().pixelSize(), 21);
  f.close();
}

TEST_F(BaseFormTest, SkinFontFallsBackToTheInstalledCjkFamily) {
  TBaseForm f;
  f.show();
  const QString want = QFontDatabase::hasFamily(QStringLiteral("微软雅黑"))
                           ? QStringLiteral("微软雅黑")
                           : QString::fromLatin1(kOVFallbackFamily);
  EXPECT_EQ(QFontInfo(f.font()).family(), want);
  EXPECT_EQ(QFontInfo(f.lblTitle->font()).family(), want);
  f.close();
}

TEST_F(BaseFormTest, WithoutAProcessSkinTheDefaultPaletteIsUsed) {
  FreeOVSkin();
  TBaseForm f;
  f.show();
  EXPECT_EQ(f.FormColor(), 0x00FFFFFFu);
  EXPECT_EQ(f.font().pointSize(), 13);
  f.close();
  CreateOVSkin();
}

TEST_F(BaseFormTest, EscClosesWhileTheCloseImageIsUsable) {
  TBaseForm f;
  f.show();
  EXPECT_TRUE(Press(f, Qt::Key_Escape));
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.iResult(), -1);

  f.show();
  f.imgClose->setEnabled(false);
  Press(f, Qt::Key_Escape);
  EXPECT_TRUE(f.isVisible());
  f.imgClose->setEnabled(true);
  f.imgClose->hide();
  Press(f, Qt::Key_Escape);
  EXPECT_TRUE(f.isVisible());
  // Enter is not the dialog's default button here.
  f.imgClose->show();
  Press(f, Qt::Key_Return);
  EXPECT_TRUE(f.isVisible());
  f.close();
}

TEST_F(BaseFormTest, CloseImageClosesAndLightsUpUnderThePointer) {
  TBaseForm f;
  f.show();
  Enter(f.imgClose);
  EXPECT_FALSE(f.lblSysButtonBack->isHidden());
  EXPECT_EQ(f.lblSysButtonBack->pos(), QPoint(615 - 8, 0));
  Leave(f.imgClose);
  EXPECT_TRUE(f.lblSysButtonBack->isHidden());
  QTest::mouseClick(f.imgClose, Qt::LeftButton);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.iResult(), -1);
}

TEST_F(BaseFormTest, ButtonHoverUsesTheNormalOrExitPalette) {
  OVSkin().LoadSkin("skyblue");
  TBaseForm f;
  TOVLabel normal(f.pnlBack), exitStyle(f.pnlBack);
  exitStyle.SetTag(1);
  f.lblButtonMouseEnter(&normal);
  EXPECT_EQ(normal.Color(), 0x00996733u);
  EXPECT_EQ(normal.FontColor(), 0x00FFFFFFu);
  f.lblButtonMouseLeave(&normal);
  EXPECT_EQ(normal.Color(), 0x00FE8F3Fu);
  EXPECT_EQ(normal.FontColor(), 0x00FFFFFFu);
  f.lblButtonMouseEnter(&exitStyle);
  EXPECT_EQ(exitStyle.Color(), 0x006E4CFEu);
  EXPECT_EQ(exitStyle.FontColor(), 0x0000FFFFu);
  f.lblButtonMouseLeave(&exitStyle);
  EXPECT_EQ(exitStyle.Color(), 0x002B22EEu);
  EXPECT_EQ(exitStyle.FontColor(), 0x0000FFFFu);

  // A disabled label does not light up, but is put back at rest.
  normal.SetColor(5);
  normal.setEnabled(false);
  f.lblButtonMouseEnter(&normal);
  EXPECT_EQ(normal.Color(), 5u);
  f.lblButtonMouseLeave(&normal);
  EXPECT_EQ(normal.Color(), 0x00FE8F3Fu);
  // Anything but a label is ignored.
  f.lblButtonMouseEnter(f.pnlBack);
  f.lblButtonMouseEnter(nullptr);
  EXPECT_EQ(f.pnlBack->Color(), 0x00FFFFFFu);
}

TEST_F(BaseFormTest, LinkHoverChangesOnlyTheText) {
  OVSkin().LoadSkin("yellowgreen");
  TBaseForm f;
  TOVLabel link(f.pnlBack), exitLink(f.pnlBack);
  exitLink.SetTag(1);
  link.SetColor(7);
  f.lblLinkMouseEnter(&link);
  EXPECT_EQ(link.FontColor(), 0x0067C29Bu);
  EXPECT_EQ(link.Color(), 7u);
  f.lblLinkMouseEnter(&exitLink);
  EXPECT_EQ(exitLink.FontColor(), 0x003060FEu);
  f.lblLinkMouseLeave(&exitLink);
  EXPECT_EQ(exitLink.FontColor(), 0x00000000u);
  f.lblLinkMouseLeave(&link);
  link.setEnabled(false);
  f.lblLinkMouseEnter(&link);
  EXPECT_EQ(link.FontColor(), 0x00000000u);
}

TEST_F(BaseFormTest, MinimiseLabelHoverTurnsOpaqueAndBack) {
  OVSkin().LoadSkin("ArdeoBlueSkin");
  TBaseForm f;
  f.lblMin->show();
  Enter(f.lblMin);
  EXPECT_FALSE(f.lblMin->Transparent());
  EXPECT_EQ(f.lblMin->Color(), 0x00E9A338u);
  EXPECT_EQ(f.lblMin->FontColor(), 0x00FFFFFFu);
  Leave(f.lblMin);
  EXPECT_TRUE(f.lblMin->Transparent());
  EXPECT_EQ(f.lblMin->Color(), 0x00FFFFFFu);
  EXPECT_EQ(f.lblMin->FontColor(), 0x00000000u);

  // Exit style, and no enabled test on entering.
  f.lblMin->SetTag(1);
  f.lblMin->setEnabled(false);
  f.lblMinMouseEnter(f.lblMin);
  EXPECT_EQ(f.lblMin->Color(), 0x00488CF7u);
  EXPECT_EQ(f.lblMin->FontColor(), 0x0000FFFFu);
  f.lblMinMouseLeave(f.lblMin);
  EXPECT_EQ(f.lblMin->Color(), 0x00156FF4u);
  EXPECT_EQ(f.lblMin->FontColor(), 0x000000FFu);
}

TEST_F(BaseFormTest, MinimiseLabelMinimisesTheApplication) {
  TBaseForm f;
  f.lblMin->show();
  f.show();
  QTest::mouseClick(f.lblMin, Qt::LeftButton);
  EXPECT_TRUE(f.isMinimized());
  f.close();
}

TEST_F(BaseFormTest, DraggingTheBackgroundMovesTheWindow) {
  TBaseForm f;
  f.show();
  f.move(100, 100);
  const QPoint start = f.pos();
  TDragCheck drag;
  // Without the left button nothing moves.
  SendMouse(f.pnlBack, QEvent::MouseMove, QPoint(300, 200), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(f.pos(), drag.After(start, {}));
  // Through the title label and the panel, the events reach the form.
  SendMouse(f.lblTitle, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  SendMouse(f.lblTitle, QEvent::MouseMove, QPoint(35, 25), Qt::NoButton, Qt::LeftButton);
  const QPoint first = drag.After(start, QPoint(30, 20));
  EXPECT_EQ(f.pos(), first);
  SendMouse(f.pnlBack, QEvent::MouseMove, QPoint(29 + 40, 17 + 30), Qt::NoButton, Qt::LeftButton);
  if (first != start) {  // the form moves the window itself: it follows the second move too
    EXPECT_EQ(f.pos(), drag.After(start, QPoint(70, 50)));
  }
  SendMouse(&f, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton, Qt::NoButton);
  const QPoint end = f.pos();
  SendMouse(f.pnlBack, QEvent::MouseMove, QPoint(300, 200), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(f.pos(), drag.After(end, {}));
  f.close();
}

TEST_F(BaseFormTest, DesktopFormStaysOnTopOnThePrimaryScreen) {
  TBaseForm f;
  f.IsDesktop = true;
  f.show();
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(f.screen(), QGuiApplication::primaryScreen());
  f.close();
  TBaseForm plain;
  plain.show();
  EXPECT_FALSE(plain.windowFlags() & Qt::WindowStaysOnTopHint);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(std::abs(plain.geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(plain.geometry().center().y() - area.center().y()), 1);
  plain.close();
}
