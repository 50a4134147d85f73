// The main window's start-up, product rows, labelling and small behaviours.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QMouseEvent>
#include <QTest>

#include "base/OVInstHelperUtil.h"
#include "gui/GuiTestUtil.h"
#include "gui/OLSMainTestUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace {

using OLSMainTest = TOLSMainTest;

QString Q(const char* aUtf8) { return QString::fromUtf8(aUtf8); }

void SendMouse(QWidget* aTarget, QEvent::Type aType, QPoint aLocal, Qt::MouseButton aButton,
               Qt::MouseButtons aButtons) {
  const QPointF local(aLocal);
  QMouseEvent e(aType, local, aTarget->mapToGlobal(local), aButton, aButtons, Qt::NoModifier);
  QApplication::sendEvent(aTarget, &e);
}

bool VisibleOn(QWidget* aControl, QWidget* aCard) {
  return aControl->parentWidget() == aCard && !aControl->isHidden();
}

}  // namespace

TEST_F(OLSMainTest, FirstStartWithAReachableStoreShowsTheOptionsCardInEnglishUnticked) {
  TOLSMainProbe& w = Open();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.size(), QSize(720, 520));
  EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w.pnlBack->geometry(), QRect(1, 1, 718, 518));
  EXPECT_EQ(w.crdpnl->geometry(), QRect(0, 0, 718, 518));
  EXPECT_EQ(w.crdpnl->count(), 4);
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformoptn);
  EXPECT_EQ(w.Color(), 0x00CAC3BBu);
  EXPECT_EQ(SoftVar().code().v(), "ketrin");
  EXPECT_EQ(SoftVar().name().v(), "Ketrin-saas");
  for (QWidget* c : {static_cast<QWidget*>(w.imgInstBack), static_cast<QWidget*>(w.imgClose),
                     static_cast<QWidget*>(w.imgInstLogo), static_cast<QWidget*>(w.lblTitle),
                     static_cast<QWidget*>(w.lblInstTitle), static_cast<QWidget*>(w.imgEN)}) {
    EXPECT_TRUE(VisibleOn(c, w.crdformoptn));
  }
  EXPECT_EQ(w.imgCN->parentWidget(), w.crdformoptn);
  EXPECT_TRUE(w.imgCN->isHidden());
  EXPECT_EQ(w.imgClose->geometry(), QRect(681, 6, 32, 32));
  EXPECT_EQ(w.imgInstLogo->geometry(), QRect(295, 39, 128, 128));
  EXPECT_EQ(w.lblTitle->pos(), QPoint(14, 8));
  EXPECT_EQ(w.lblInstTitle->geometry(), QRect(24, 168, 673, 75));
  EXPECT_EQ(w.imgEN->geometry(), QRect(640, 6, 32, 32));
  EXPECT_EQ(w.imgInstBack->geometry(), QRect(0, 0, 718, 518));
  EXPECT_EQ(w.edtModPath->geometry(), QRect(187, 439, 400, 31));
  EXPECT_TRUE(w.edtModPath->isReadOnly());
  EXPECT_EQ(w.imgOptnInst->geometry(), QRect(232, 330, 255, 80));
  EXPECT_EQ(w.lblModInst->geometry(), QRect(267, 337, 185, 52));
  EXPECT_EQ(w.lblchkmodweb->geometry(), QRect(208, 255, 137, 36));
  EXPECT_EQ(w.lblchkmodpos->geometry(), QRect(432, 255, 161, 36));
  // No remembered values and a store that opens: empty text is not "1".
  EXPECT_EQ(w.lblchkmodweb->Tag(), 0);
  EXPECT_EQ(w.lblchkmodpos->Tag(), 0);
  EXPECT_FALSE(w.imgchkmodweb1->isHidden());
  EXPECT_TRUE(w.imgchkmodweb2->isHidden());
  // The default folder moved to the first drive there is, then the English folder.
  EXPECT_EQ(Folder(), "C:\\Ondrevo\\Ketrin\\");
  EXPECT_EQ(w.edtModPath->Tag(), 0);
  EXPECT_EQ(LangHelper().LangCode(), "EN");
  EXPECT_EQ(w.lblTitle->Caption(), Q("In-line"));
  EXPECT_EQ(w.lblInstTitle->Caption(), Q("Ondrevo.Ketrin"));
  EXPECT_EQ(w.lblchkmodweb->Caption(), Q("InstWebApp"));
  EXPECT_EQ(w.lblModInst->Caption(), Q("Install"));
  EXPECT_EQ(w.lblModPath->Caption(), Q("InstPath:"));
  EXPECT_EQ(w.lblModInstHint->Caption(), Q("InstReadyInstall..."));
  EXPECT_EQ(w.lblFnshInst->Caption(), Q("InstallFinished"));
  EXPECT_EQ(w.lblInstSubProgress->Caption(), QString());
  EXPECT_EQ(w.lblModInst->Color(), 0x00E4690Eu);
  EXPECT_EQ(w.lblModInst->FontColor(), 0x00FFFFFFu);
  EXPECT_EQ(w.lblModInstSubHint->font().pointSize(), 11);
  // The first pass ran in Chinese and stored the built-in texts there.
  const auto cn = LangHelper().WordsOf("CN");
  EXPECT_NE(std::find(cn.begin(), cn.end(), "app_ketrin_instmod_web=  安装Web后台"), cn.end());
  EXPECT_NE(std::find(cn.begin(), cn.end(), "app_ketrin_InstPath=:\\Ondrevo\\Ketrin\\"), cn.end());
}

TEST_F(OLSMainTest, AnUnreadableStoreLeavesBothBoxesTickedAndTheDefaultFolder) {
  TInstHelper::SetReg("Ketrinweb", "0");
  TInstHelper::SetReg("KetrinPath", "C:\\Elsewhere\\");
  ov::platform::fs::InjectFault(
      ov::platform::fs::Op::Open,
      ov::platform::SettingsStore::StoreFile(ov::platform::RootKey::LocalMachine));
  TOLSMainProbe& w = Open();
  EXPECT_EQ(w.lblchkmodweb->Tag(), 1);
  EXPECT_EQ(w.lblchkmodpos->Tag(), 1);
  EXPECT_TRUE(w.imgchkmodweb1->isHidden());
  EXPECT_FALSE(w.imgchkmodweb2->isHidden());
  w.SwitchLanguage("CN");
  EXPECT_EQ(Folder(), "C:\\Ondrevo\\Ketrin\\");
}

TEST_F(OLSMainTest, ARememberedFolderStaysThroughStartUpAndTheFlags) {
  AddDrive('E');
  TInstHelper::SetReg("KetrinPath", "E:\\Shops\\");
  TInstHelper::SetReg("KetrinWeb", "1");  // written with this spelling, read as "Ketrinweb"
  TOLSMainProbe& w = Open();
  EXPECT_EQ(w.lblchkmodweb->Tag(), 1);
  EXPECT_EQ(w.lblchkmodpos->Tag(), 0);
  EXPECT_EQ(Folder(), "E:\\Shops\\");
  QTest::mouseClick(w.imgEN, Qt::LeftButton);
  EXPECT_EQ(LangHelper().LangCode(), "CN");
  EXPECT_FALSE(w.imgCN->isHidden());
  EXPECT_TRUE(w.imgEN->isHidden());
  EXPECT_EQ(Folder(), "E:\\Shops\\");
  EXPECT_EQ(w.lblInstTitle->Caption(), Q("Ketrin-saas"));
  EXPECT_EQ(w.lblchkmodweb->Caption(), Q("  安装Web后台"));
  EXPECT_EQ(w.lblModInst->Caption(), Q("安装"));
  QTest::mouseClick(w.imgCN, Qt::LeftButton);
  EXPECT_EQ(LangHelper().LangCode(), "EN");
  EXPECT_EQ(Folder(), "E:\\Shops\\");
  // What is saved at close is the folder that was remembered.
  w.close();
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", ""), "E:\\Shops\\");
}

TEST_F(OLSMainTest, ARememberedFolderOnAMissingDriveIsShownUnchanged) {
  ASSERT_FALSE(ov::platform::DriveExists('Q'));
  TInstHelper::SetReg("KetrinPath", "Q:\\Shops\\");
  TOLSMainProbe& w = Open();
  EXPECT_EQ(Folder(), "Q:\\Shops\\");
  w.SwitchLanguage("CN");
  EXPECT_EQ(Folder(), "Q:\\Shops\\");
}

// The service row's folder differs between the tables: a default folder of either language,
// on any drive, becomes the other language's.
TEST_F(OLSMainTest, ADefaultFolderFollowsTheLanguageOnItsDrive) {
  TOLSMainProbe& w = Open("zelapp");
  EXPECT_EQ(Folder(), "C:\\Ondrevo\\ZelApp\\");
  w.SwitchLanguage("CN");
  EXPECT_EQ(Folder(), "C:\\Ondrevo软件\\Pellavo商品智能下发服务\\");

  FWindow.reset();
  AddDrive('E');
  TInstHelper::SetReg("ZelappPath", "E:\\ondrevo\\zelapp\\");
  TOLSMainProbe& z = Open("zelapp");
  EXPECT_EQ(Folder(), "E:\\ondrevo\\zelapp\\");
  z.SwitchLanguage("CN");
  EXPECT_EQ(Folder(), "E:\\Ondrevo软件\\Pellavo商品智能下发服务\\");
  z.SwitchLanguage("EN");
  EXPECT_EQ(Folder(), "E:\\Ondrevo\\ZelApp\\");
}

TEST_F(OLSMainTest, ACapitalisedCodeSelectsItsRowAndAServiceRowHidesTheBoxes) {
  TOLSMainProbe& w = Open("DASKOR");
  EXPECT_EQ(w.ProductCode(), "Daskor");
  EXPECT_EQ(SoftVar().code().v(), "DASKOR");
  EXPECT_EQ(SoftVar().name().v(), "DaskorPOS");
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformoptn);
  EXPECT_FALSE(w.lblchkmodweb->isHidden());

  FWindow.reset();
  TOLSMainProbe& z = Open("zelcv");
  EXPECT_TRUE(z.lblchkmodweb->isHidden());
  EXPECT_TRUE(z.imgchkmodpos2->isHidden());
  EXPECT_EQ(z.lblchkmodweb->Tag(), 1);
  EXPECT_EQ(z.imgInstLogo->Picture(), z.imgInstLogoZel0->Picture());
  EXPECT_EQ(OVStdStr(z.edtModPath->text()).substr(0, 2), "C:");
}

TEST_F(OLSMainTest, ACodeWithoutARowClosesTheWindowWhileItIsFirstShown) {
  TOLSMainProbe& w = Open("nosuch");
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(FBoxes->Messages.empty());
}

TEST_F(OLSMainTest, CorvelaStartsOnTheCodeCardAndChecksBothEdits) {
  TInstHelper::SetReg("CorvelaCorpId", "123");
  TOLSMainProbe& w = Open("corvela");
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformcode);
  EXPECT_EQ(w.imgClose->parentWidget(), w.crdformcode);
  EXPECT_EQ(w.edtInstCorpId->text(), Q("123"));
  EXPECT_EQ(w.edtInstCode->echoMode(), QLineEdit::Password);
  w.edtInstCorpId->setText(Q("  "));
  QTest::mouseClick(w.lblCodeInst, Qt::LeftButton);
  ASSERT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_EQ(FBoxes->Messages[0], "Please enter the Enterprise ID!");
  EXPECT_EQ(FBoxes->Titles[0], "消息");
  EXPECT_EQ(w.edtInstCorpId->text(), QString());
  // Enter in the id edit moves on to the code; Enter in the code edit runs the check.
  w.edtInstCorpId->setText(Q(" 456 "));
  QTest::keyClick(w.edtInstCorpId, Qt::Key_Return);
  EXPECT_EQ(w.edtInstCorpId->text(), Q("456"));
  QTest::keyClick(w.edtInstCode, Qt::Key_Return);
  EXPECT_EQ(FBoxes->Messages.size(), 1u);  // an empty code does not run the check
  QTest::mouseClick(w.imgCodeInst, Qt::LeftButton);
  ASSERT_EQ(FBoxes->Messages.size(), 2u);
  EXPECT_EQ(FBoxes->Messages[1], "Please enter the Install Code!");
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformcode);
}

TEST_F(OLSMainTest, TheTitleFitsAtThreeSizes) {
  TOLSMainProbe& w = Open();
  auto fit = [&](const QString& aTitle) {
    w.lblInstTitle->SetCaption(aTitle);
    w.FitInstTitle();
    return w.lblInstTitle->font().pointSize();
  };
  EXPECT_EQ(fit(Q("Ketrin")), 28);
  EXPECT_EQ(fit(QString(80, QChar('W'))), 15);
  // Between half the label and the whole label at 18 points.
  QFont f18 = w.lblInstTitle->font();
  f18.setPointSize(18);
  const QFontMetrics m(f18);
  QString medium;
  while (m.horizontalAdvance(medium) < 673 * 2 / 3) medium += QChar('x');
  ASSERT_LT(m.horizontalAdvance(medium), 673);
  EXPECT_EQ(fit(medium), 18);
  EXPECT_GE(w.lblTitleTest->width(), 673 / 2);
  EXPECT_EQ(w.lblTitleTest->font().pointSize(), 18);
}

TEST_F(OLSMainTest, BoxesToggleFromTheirLabelsAndPictures) {
  TOLSMainProbe& w = Open();
  QTest::mouseClick(w.lblchkmodweb, Qt::LeftButton);
  EXPECT_EQ(w.lblchkmodweb->Tag(), 1);
  EXPECT_TRUE(w.imgchkmodweb1->isHidden());
  EXPECT_FALSE(w.imgchkmodweb2->isHidden());
  QTest::mouseClick(w.imgchkmodweb2, Qt::LeftButton);
  EXPECT_EQ(w.lblchkmodweb->Tag(), 0);
  QTest::mouseClick(w.imgchkmodpos1, Qt::LeftButton);
  EXPECT_EQ(w.lblchkmodpos->Tag(), 1);
  EXPECT_EQ(w.lblchkmodweb->Tag(), 0);
}

TEST_F(OLSMainTest, TheCloseImageTurnsRedUnderThePointerAndBlueAfter) {
  TOLSMainProbe& w = Open();
  auto glyph = [&] {
    const QImage& img = w.imgClose->Picture();
    for (int y = 0; y < img.height(); ++y) {
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c.alpha() > 200 && (c.rgb() & 0xFFFFFF) != 0) return c.rgb() & 0xFFFFFF;
      }
    }
    return 0u;
  };
  Enter(w.imgClose);
  EXPECT_EQ(glyph(), 0xFF0000u);
  Leave(w.imgClose);
  EXPECT_EQ(glyph(), 0x217FFFu);  // $00FF7F21
}

TEST_F(OLSMainTest, TheTitleAndBackgroundDragTheWindowOncePastTheDragDistance) {
  TOLSMainProbe& w = Open();
  const QPoint before = w.pos();
  TDragCheck drag;
  SendMouse(w.lblTitle, QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton, Qt::LeftButton);
  SendMouse(w.lblTitle, QEvent::MouseMove, QPoint(4, 3), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.pos(), drag.After(before, {}));
  SendMouse(w.lblTitle, QEvent::MouseMove, QPoint(42, 22), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.pos(), drag.After(before, QPoint(40, 20)));
  SendMouse(w.lblTitle, QEvent::MouseButtonRelease, QPoint(42, 22), Qt::LeftButton, Qt::NoButton);
  // The next drag keeps its own press point under the pointer.
  const QPoint moved = w.pos();
  SendMouse(w.imgInstBack, QEvent::MouseButtonPress, QPoint(300, 300), Qt::LeftButton,
            Qt::LeftButton);
  SendMouse(w.imgInstBack, QEvent::MouseMove, QPoint(300, 330), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.pos(), drag.After(moved, QPoint(0, 30)));
  SendMouse(w.imgInstBack, QEvent::MouseButtonRelease, QPoint(300, 330), Qt::LeftButton,
            Qt::NoButton);
  // A plain label on the card is no handle, and without the button nothing moves.
  const QPoint end = w.pos();
  SendMouse(w.lblModPath, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  SendMouse(w.lblModPath, QEvent::MouseMove, QPoint(5, 45), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.pos(), drag.After(end, {}));
  SendMouse(w.imgInstBack, QEvent::MouseMove, QPoint(300, 300), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w.pos(), drag.After(end, {}));
}

TEST_F(OLSMainTest, AClickWithAJitterStaysAClickAndTheWindowStays) {
  TOLSMainProbe& w = Open();
  const QPoint at = w.pos();
  JitteryClick(w.lblchkmodweb);
  EXPECT_EQ(w.lblchkmodweb->Tag(), 1);
  JitteryClick(w.imgchkmodweb2);
  EXPECT_EQ(w.lblchkmodweb->Tag(), 0);
  JitteryClick(w.imgchkmodpos1);
  JitteryClick(w.lblchkmodpos);
  EXPECT_EQ(w.lblchkmodpos->Tag(), 0);
  JitteryClick(w.imgEN);
  EXPECT_EQ(LangHelper().LangCode(), "CN");
  // No module ticked: both faces of Install answer with the message.
  JitteryClick(w.lblModInst);
  JitteryClick(w.imgOptnInst);
  EXPECT_EQ(FBoxes->Messages.size(), 2u);
  EXPECT_EQ(w.pos(), at);
  JitteryClick(w.imgClose);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.pos(), at);
}

TEST_F(OLSMainTest, ClosingOnTheOptionsCardRemembersTheChoices) {
  AddDrive('E');
  TOLSMainProbe& w = Open();
  QTest::mouseClick(w.lblchkmodpos, Qt::LeftButton);
  w.edtModPath->setText(Q("E:\\Shop\\"));
  w.close();
  EXPECT_EQ(TInstHelper::getReg("KetrinWeb", "x"), "0");
  EXPECT_EQ(TInstHelper::getReg("KetrinPos", "x"), "1");
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", "x"), "E:\\Shop\\");
  // What was written is what the next start (a new process, fresh tables) reads.
  FWindow.reset();
  FreeLangHelper();
  CreateLangHelper();
  TOLSMainProbe& next = Open();
  EXPECT_EQ(next.lblchkmodweb->Tag(), 0);
  EXPECT_EQ(next.lblchkmodpos->Tag(), 1);
  next.SwitchLanguage("CN");
  EXPECT_EQ(Folder(), "E:\\Shop\\");
}

TEST_F(OLSMainTest, TheCloseImageSetsTheExitFlag) {
  TOLSMainProbe& w = Open();
  QTest::mouseClick(w.imgClose, Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(SyncObj().IsAppExit());
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", "x"), "C:\\Ondrevo\\Ketrin\\");
}
