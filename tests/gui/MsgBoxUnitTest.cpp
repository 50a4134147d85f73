#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "base/OVLibUtil.h"
#include "gui/GuiTestUtil.h"
#include "platform/MessageBox.h"
#include "ui/MsgBoxUnit.h"
#include "ui/OVSkinUtil.h"

namespace {

class MsgBoxTest : public TSkinnedTest {
 protected:
  void SetUp() override {
    TSkinnedTest::SetUp();
    OVSkin().LoadSkin("ArdeoBlueSkin");
  }
  void TearDown() override {
    ov::platform::SetMessageBox(nullptr);
    SetMainForm(nullptr);
    TSkinnedTest::TearDown();
  }
};

// Sends a key to the box; true when the box used it.
bool Press(TMsgBox& aBox, int aQtKey) {
  QKeyEvent e(QEvent::KeyPress, aQtKey, Qt::NoModifier);
  QApplication::sendEvent(&aBox, &e);
  return e.isAccepted();
}

QString Q(const char* aUtf8) { return QString::fromUtf8(aUtf8); }

}  // namespace

TEST_F(MsgBoxTest, DesignLayoutAndFreshState) {
  TMsgBox b;
  EXPECT_EQ(b.size(), QSize(520, 280));
  EXPECT_EQ(b.windowTitle(), Q("消息"));
  EXPECT_TRUE(b.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(b.lblReTry->geometry(), QRect(117, 207, 120, 38));
  EXPECT_EQ(b.lblOK->geometry(), QRect(238, 207, 120, 38));
  EXPECT_EQ(b.lblNO->geometry(), QRect(359, 207, 120, 38));
  EXPECT_EQ(b.lblReTry->Caption(), Q("重试(F2)"));
  EXPECT_EQ(b.lblOK->Caption(), Q("确定(Enter)"));
  EXPECT_EQ(b.lblNO->Caption(), Q("取消(Esc)"));
  EXPECT_TRUE(b.lblReTry->isHidden());
  EXPECT_FALSE(b.lblNO->isHidden());
  EXPECT_EQ(b.lblNO->Tag(), 1);
  for (TOVLabel* l : {b.lblReTry, b.lblOK, b.lblNO}) {
    EXPECT_FALSE(l->Transparent());
    EXPECT_EQ(l->Color(), 0x000080FFu);
    EXPECT_EQ(l->FontColor(), 0x00FFFFFFu);
    EXPECT_EQ(l->font().pixelSize(), 15);
  }
  EXPECT_EQ(b.imgWarning->geometry(), QRect(24, 45, 66, 156));
  EXPECT_TRUE(b.imgWarning->isHidden());
  EXPECT_EQ(b.pnlView->geometry(), QRect(96, 45, 404, 156));
  EXPECT_EQ(b.lblMsg->geometry(), QRect(0, 0, 404, 156));
  EXPECT_TRUE(b.lblHint->isHidden());
  EXPECT_EQ(b.lblHint->height(), 99);
  EXPECT_EQ(b.lblMin->pos(), QPoint(426, -1));
  EXPECT_EQ(b.lblSysButtonBack->pos(), QPoint(478, -1));
  EXPECT_EQ(b.imgClose->pos(), QPoint(484, 7));
  EXPECT_EQ(b.tmrBringFront->interval(), 1000);
  EXPECT_FALSE(b.tmrBringFront->isActive());
  EXPECT_EQ(b.iResult(), -1);
  EXPECT_EQ(b.ButtonEnventTags(), "");
  EXPECT_EQ(b.OKColor() | b.NOColor() | b.RTColor(), 0u);
  EXPECT_EQ(b.OKFontColor() | b.NOFontColor() | b.RTFontColor(), 0u);
}

TEST_F(MsgBoxTest, WarningTypeShowsThePictureAndARedMessage) {
  TMsgBox b;
  b.SetMsgType(1);
  EXPECT_EQ(b.MsgType(), 1);
  EXPECT_FALSE(b.imgWarning->isHidden());
  EXPECT_EQ(b.width(), 520);
  EXPECT_EQ(b.pnlView->geometry(), QRect(96, 45, 404, 156));
  EXPECT_EQ(b.lblMsg->FontColor(), 0x000000FFu);
  EXPECT_EQ(b.lblMsg->font().pointSize(), 18);
  EXPECT_EQ(b.lblHint->height(), 80);
  EXPECT_EQ(b.lblOK->pos(), QPoint(238, 207));
}

TEST_F(MsgBoxTest, InformationTypeWidensTheMessageAndNarrowsTheWindow) {
  TMsgBox b;
  b.SetMsgType(0);
  EXPECT_TRUE(b.imgWarning->isHidden());
  EXPECT_EQ(b.width(), 480);
  // 476 wide at the box's built width, then 40 narrower with the window.
  EXPECT_EQ(b.pnlView->geometry(), QRect(24, 45, 436, 156));
  EXPECT_EQ(b.lblMsg->geometry(), QRect(0, 0, 436, 156));
  EXPECT_EQ(b.lblMsg->FontColor(), 0x00000000u);
  EXPECT_EQ(b.lblMsg->font().pointSize(), 11);
  EXPECT_EQ(b.lblHint->height(), 105);
  EXPECT_EQ(b.lblOK->pos(), QPoint(198, 207));
  EXPECT_EQ(b.lblNO->pos(), QPoint(319, 207));
  EXPECT_EQ(b.imgClose->pos(), QPoint(444, 7));
  EXPECT_EQ(b.lblMin->pos(), QPoint(386, -1));
}

TEST_F(MsgBoxTest, TypeLayoutDoesNotDependOnTheTypeBefore) {
  TMsgBox once, again;
  once.SetMsgType(0);
  again.SetMsgType(0);
  again.SetMsgType(1);
  EXPECT_EQ(again.pnlView->geometry(), QRect(96, 45, 404, 156));
  EXPECT_EQ(again.lblOK->pos(), QPoint(238, 207));
  again.SetMsgType(0);
  again.SetMsgType(0);
  EXPECT_EQ(again.width(), once.width());
  EXPECT_EQ(again.pnlView->geometry(), once.pnlView->geometry());
  EXPECT_EQ(again.lblOK->pos(), once.lblOK->pos());
  EXPECT_EQ(again.imgClose->pos(), once.imgClose->pos());
}

TEST_F(MsgBoxTest, ShowingTakesTheSkinsButtonColoursUnlessSet) {
  TMsgBox b;
  b.SetOKColor(0x00123456);
  b.SetNOFontColor(0xFF000001);  // negative as a colour: the skin's is taken
  b.show();
  EXPECT_EQ(b.lblOK->Color(), 0x00123456u);
  EXPECT_EQ(b.OKColor(), 0x00123456u);
  EXPECT_EQ(b.lblOK->FontColor(), 0x00FFFFFFu);
  EXPECT_EQ(b.OKFontColor(), 0x00FFFFFFu);
  EXPECT_EQ(b.lblNO->Color(), 0x00156FF4u);
  EXPECT_EQ(b.lblNO->FontColor(), 0x00FFFFFFu);
  EXPECT_EQ(b.NOFontColor(), 0x00FFFFFFu);
  EXPECT_EQ(b.lblReTry->Color(), 0x00DE8F18u);
  EXPECT_EQ(b.RTColor(), 0x00DE8F18u);
  EXPECT_EQ(b.lblHint->FontColor(), 0x00B6C63Du);
  EXPECT_EQ(b.pnlView->Color(), 0x00FFFFFFu);
  EXPECT_TRUE(b.tmrBringFront->isActive());
  b.close();
}

TEST_F(MsgBoxTest, InformationTextFollowsTheSkinsFontColour) {
  OVSkin().LoadSkin("blackwhite");
  TMsgBox b;
  b.SetMsgType(0);
  b.show();
  EXPECT_EQ(b.pnlView->Color(), 0x00000000u);
  EXPECT_EQ(b.lblMsg->FontColor(), 0x00FFFFFFu);
  EXPECT_EQ(b.lblMsg->font().pointSize(), 11);
  b.close();
}

TEST_F(MsgBoxTest, HoverLightsAButtonAndLeavingRestoresItsRestingColours) {
  TMsgBox b;
  b.SetOKColor(0x00102030);
  b.SetOKFontColor(0x00405060);
  b.lblReTry->show();
  b.show();
  Enter(b.lblOK);
  EXPECT_EQ(b.lblOK->Color(), 0x00E9A338u);
  EXPECT_EQ(b.lblOK->FontColor(), 0x00FFFFFFu);
  Leave(b.lblOK);
  EXPECT_EQ(b.lblOK->Color(), 0x00102030u);
  EXPECT_EQ(b.lblOK->FontColor(), 0x00405060u);
  Enter(b.lblNO);
  EXPECT_EQ(b.lblNO->Color(), 0x00488CF7u);
  EXPECT_EQ(b.lblNO->FontColor(), 0x0000FFFFu);
  Leave(b.lblNO);
  EXPECT_EQ(b.lblNO->Color(), 0x00156FF4u);
  EXPECT_EQ(b.lblNO->FontColor(), 0x00FFFFFFu);
  Enter(b.lblReTry);
  EXPECT_EQ(b.lblReTry->Color(), 0x00E9A338u);
  Leave(b.lblReTry);
  EXPECT_EQ(b.lblReTry->Color(), 0x00DE8F18u);
  b.lblOK->setEnabled(false);
  Enter(b.lblOK);
  EXPECT_EQ(b.lblOK->Color(), 0x00102030u);
  b.close();
}

TEST_F(MsgBoxTest, SelectHotKeyTakesTheTextInTheFirstParentheses) {
  EXPECT_EQ(TMsgBox::SelectHotKey("确定(Enter)"), "Enter");
  EXPECT_EQ(TMsgBox::SelectHotKey("取消(Esc)"), "Esc");
  EXPECT_EQ(TMsgBox::SelectHotKey("重试(F2)"), "F2");
  EXPECT_EQ(TMsgBox::SelectHotKey("OK"), "");
  EXPECT_EQ(TMsgBox::SelectHotKey("a(F5)b(F6)"), "F5");
  EXPECT_EQ(TMsgBox::SelectHotKey("()"), "");
  EXPECT_EQ(TMsgBox::SelectHotKey("(F5"), "");
  EXPECT_EQ(TMsgBox::SelectHotKey("a)b(F5)"), "");
  EXPECT_EQ(TMsgBox::KeyName(13), "enter");
  EXPECT_EQ(TMsgBox::KeyName(27), "esc");
  EXPECT_EQ(TMsgBox::KeyName(112), "f1");
  EXPECT_EQ(TMsgBox::KeyName(123), "f12");
  EXPECT_EQ(TMsgBox::KeyName(65), "");
}

TEST_F(MsgBoxTest, KeysPressTheButtonTheirCaptionsName) {
  struct TCase {
    const char* OK;
    const char* NO;
    const char* ReTry;  // nullptr: ReTry stays hidden
    int Key;
    int32_t Result;  // -1: the box stays open
  };
  const TCase cases[] = {
      {"确定(Enter)", "取消(Esc)", nullptr, Qt::Key_Return, 1},
      {"确定(Enter)", "取消(Esc)", nullptr, Qt::Key_Escape, 0},
      {"确定(Enter)", "取消(Esc)", "重试(F2)", Qt::Key_F2, 2},
      {"确定(Enter)", "取消(Esc)", nullptr, Qt::Key_F2, -1},
      {"确定(Enter)", "取消(Esc)", "重试(F2)", Qt::Key_F12, -1},
      {"确定(Enter)", "取消(Esc)", "重试(F2)", Qt::Key_A, -1},
      // Without parentheses the default key acts directly.
      {"OK", "Cancel", "Retry", Qt::Key_Enter, 1},
      {"OK", "Cancel", "Retry", Qt::Key_Escape, 0},
      {"OK", "Cancel", "Retry", Qt::Key_F2, 2},
      // A caption naming F5 takes the button away from Enter.
      {"确定(F5)", "取消(Esc)", nullptr, Qt::Key_Return, -1},
      {"确定(F5)", "取消(Esc)", nullptr, Qt::Key_F5, 1},
      {"确定(ENTER)", "取消(esc)", nullptr, Qt::Key_Escape, 0},
  };
  for (const TCase& c : cases) {
    TMsgBox b;
    b.lblOK->SetCaption(Q(c.OK));
    b.lblNO->SetCaption(Q(c.NO));
    if (c.ReTry) {
      b.lblReTry->SetCaption(Q(c.ReTry));
      b.lblReTry->show();
    }
    b.show();
    const bool used = Press(b, c.Key);
    const std::string what = std::string(c.OK) + " / key " + std::to_string(c.Key);
    EXPECT_EQ(b.iResult(), c.Result) << what;
    EXPECT_EQ(b.isVisible(), c.Result == -1) << what;
    EXPECT_EQ(used, c.Result != -1) << what;
    b.close();
  }
}

TEST_F(MsgBoxTest, HiddenOrDisabledButtonsIgnoreTheirKeys) {
  TMsgBox b;
  b.show();
  b.lblOK->setEnabled(false);
  Press(b, Qt::Key_Return);
  b.lblOK->setEnabled(true);
  b.lblOK->hide();
  Press(b, Qt::Key_Return);
  EXPECT_TRUE(b.isVisible());
  b.lblOK->show();
  Press(b, Qt::Key_Return);
  EXPECT_EQ(b.iResult(), 1);
}

TEST_F(MsgBoxTest, OneKeyPressesOnlyTheFirstButtonThatNamesIt) {
  TMsgBox b;
  std::vector<int32_t> raised;
  b.SetButtonEnventTags("111");
  b.SetOnButtonClick([&](bool&, int32_t aIndex) { raised.push_back(aIndex); });
  b.lblReTry->SetCaption(Q("重试(Enter)"));
  b.lblReTry->show();
  b.show();
  Press(b, Qt::Key_Return);
  EXPECT_EQ(raised, std::vector<int32_t>{3});
  EXPECT_EQ(b.iResult(), 2);
}

TEST_F(MsgBoxTest, EventTagsChooseTheButtonsThatRaiseTheEvent) {
  std::vector<int32_t> raised;
  auto record = [&](bool&, int32_t aIndex) { raised.push_back(aIndex); };
  for (int key : {Qt::Key_Return, Qt::Key_F2}) {
    TMsgBox b;
    b.SetButtonEnventTags("010");
    b.SetOnButtonClick(record);
    b.lblReTry->show();
    b.show();
    Press(b, key);
    EXPECT_FALSE(b.isVisible());
  }
  EXPECT_TRUE(raised.empty());
  TMsgBox b;
  b.SetButtonEnventTags("010");
  b.SetOnButtonClick(record);
  b.show();
  QTest::mouseClick(b.lblNO, Qt::LeftButton);
  EXPECT_EQ(raised, std::vector<int32_t>{2});
  EXPECT_EQ(b.iResult(), 0);
  EXPECT_FALSE(b.isVisible());
}

TEST_F(MsgBoxTest, RefusingHandlerKeepsTheBoxOpenWithTheTimerStopped) {
  TMsgBox b;
  bool allow = false;
  int calls = 0;
  b.SetButtonEnventTags("1");
  b.SetOnButtonClick([&](bool& aIsCanDo, int32_t aIndex) {
    EXPECT_TRUE(aIsCanDo);
    EXPECT_EQ(aIndex, 1);
    ++calls;
    aIsCanDo = allow;
  });
  b.show();
  ASSERT_TRUE(b.tmrBringFront->isActive());
  QTest::mouseClick(b.lblOK, Qt::LeftButton);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(b.isVisible());
  EXPECT_EQ(b.iResult(), -1);
  EXPECT_FALSE(b.tmrBringFront->isActive());
  // The tag string is shorter than the NO button's place: no event for it.
  allow = true;
  QTest::mouseClick(b.lblOK, Qt::LeftButton);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(b.iResult(), 1);
  EXPECT_FALSE(b.isVisible());
}

TEST_F(MsgBoxTest, LongMessageWrapsAndTheBoxKeepsItsSize) {
  TMsgBox b;
  b.SetMsgType(0);
  QString text;
  for (int i = 0; i < 60; ++i) text += Q("安装失败，请稍后再试。");
  b.lblMsg->SetCaption(text + QString(300, QChar('x')));
  b.show();
  QApplication::processEvents();
  EXPECT_EQ(b.size(), QSize(480, 280));
  EXPECT_EQ(b.pnlView->geometry(), QRect(24, 45, 436, 156));
  EXPECT_EQ(b.lblMsg->geometry(), QRect(0, 0, 436, 156));
  EXPECT_GT(b.lblMsg->heightForWidth(436), 3 * b.lblMsg->fontMetrics().height());
  b.close();
}

TEST_F(MsgBoxTest, ShownHintTakesTheBottomOfTheMessagePanel) {
  TMsgBox b;
  b.SetMsgType(0);
  b.lblHint->show();
  EXPECT_EQ(b.lblHint->geometry(), QRect(0, 51, 436, 105));
  EXPECT_EQ(b.lblMsg->geometry(), QRect(0, 0, 436, 51));
  b.lblHint->hide();
  EXPECT_EQ(b.lblMsg->geometry(), QRect(0, 0, 436, 156));
  b.SetMsgType(1);
  b.lblHint->show();
  EXPECT_EQ(b.lblHint->geometry(), QRect(0, 76, 404, 80));
}

TEST_F(MsgBoxTest, BoxIsCentredOnTheMainForm) {
  QWidget main;
  main.setGeometry(200, 150, 720, 520);
  main.show();
  SetMainForm(&main);
  TMsgBox b;
  b.SetMsgType(0);
  b.show();
  EXPECT_LE(std::abs(b.frameGeometry().center().x() - main.frameGeometry().center().x()), 1);
  EXPECT_LE(std::abs(b.frameGeometry().center().y() - main.frameGeometry().center().y()), 1);
  b.close();
}

TEST_F(MsgBoxTest, InformationBoxOfTovLibHasOneCentredOkButton) {
  ov::platform::SetMessageBox(CreateQtMessageBox());
  bool seen = false;
  WhenModal<TMsgBox>([&](TMsgBox* b) {
    seen = true;
    EXPECT_EQ(b->windowTitle(), Q("消息"));
    EXPECT_EQ(b->lblTitle->Caption(), Q("消息"));
    EXPECT_EQ(b->lblMsg->Caption(), Q("<b>安装失败</b>"));
    EXPECT_EQ(b->lblMsg->textFormat(), Qt::PlainText);
    EXPECT_EQ(b->MsgType(), 0);
    EXPECT_EQ(b->width(), 480);
    EXPECT_TRUE(b->lblNO->isHidden());
    EXPECT_TRUE(b->lblReTry->isHidden());
    EXPECT_EQ(b->lblOK->pos(), QPoint(180, 207));
    EXPECT_EQ(b->lblOK->Color(), 0x00DE8F18u);
    // Esc does nothing: NO is hidden and the base form's Esc is replaced.
    Press(*b, Qt::Key_Escape);
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(b->iResult(), -1);
    Press(*b, Qt::Key_Return);
    EXPECT_EQ(b->iResult(), 1);
    EXPECT_FALSE(b->isVisible());
  });
  TovLib::MsgBox("<b>安装失败</b>", "消息");
  EXPECT_TRUE(seen);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MsgBoxTest, CloseImageClosesTheInformationBoxWithoutAResult) {
  ov::platform::SetMessageBox(CreateQtMessageBox());
  int32_t result = 99;
  WhenModal<TMsgBox>([&](TMsgBox* b) {
    QTest::mouseClick(b->imgClose, Qt::LeftButton);
    result = b->iResult();
  });
  TovLib::MsgBox("x", "消息");
  EXPECT_EQ(result, -1);
}

TEST_F(MsgBoxTest, AClickWithAJitterPressesTheButtonAndTheBoxStaysWhereItIs) {
  TMsgBox b;
  b.show();
  const QPoint at = b.pos();
  TDragCheck drag;
  // The title drags only once the pointer has gone the drag distance.
  QTest::mousePress(b.lblTitle, Qt::LeftButton, {}, QPoint(2, 2));
  QTest::mouseMove(b.lblTitle, QPoint(4, 3));
  EXPECT_EQ(b.pos(), drag.After(at, {}));
  QTest::mouseMove(b.lblTitle, QPoint(2, 32));
  EXPECT_EQ(b.pos(), drag.After(at, QPoint(0, 30)));
  QTest::mouseRelease(b.lblTitle, Qt::LeftButton, {}, QPoint(2, 32));
  const QPoint moved = b.pos();
  JitteryClick(b.lblOK);
  EXPECT_EQ(b.iResult(), 1);
  EXPECT_FALSE(b.isVisible());
  EXPECT_EQ(b.pos(), drag.After(moved, {}));

  TMsgBox c;
  c.show();
  const QPoint cAt = c.pos();
  JitteryClick(c.imgClose);
  EXPECT_FALSE(c.isVisible());
  EXPECT_EQ(c.pos(), cAt);
}

TEST_F(MsgBoxTest, MessageFromAWorkerIsShownOnTheGuiThread) {
  ov::platform::SetMessageBox(CreateQtMessageBox());
  std::atomic<bool> done{false};
  bool onGuiThread = false;
  WhenModal<TMsgBox>([&](TMsgBox* b) {
    onGuiThread = b->thread() == qApp->thread();
    EXPECT_EQ(b->lblMsg->Caption(), Q("来自工作线程"));
    QTest::mouseClick(b->lblOK, Qt::LeftButton);
  });
  std::thread worker([&] {
    TovLib::MsgBox("来自工作线程", "消息");
    done = true;
  });
  EXPECT_TRUE(WaitFor([&] { return done.load(); }));
  worker.join();
  EXPECT_TRUE(onGuiThread);
}
