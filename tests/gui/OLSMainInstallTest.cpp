// The main window's install flow: folder picker, Install checks, the run and the close.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <filesystem>
#include <stdexcept>
#include <nlohmann/json.hpp>

#include "base/OVInstHelperUtil.h"
#include "gui/GuiTestUtil.h"
#include "gui/OLSMainTestUtil.h"
#include "install/SoftKetrinHelperUtil.h"
#include "platform/FileSystem.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace {

using OLSMainInstallTest = TOLSMainTest;

QString Q(const char* aUtf8) { return QString::fromUtf8(aUtf8); }

// The Install button's preparation failing with an error instead of a result.
class TThrowingPrepare : public TOLSMainProbe {
 public:
  using TOLSMainProbe::TOLSMainProbe;
  int32_t PrepareChoice(const TInstallChoice&, std::string&) override {
    throw std::runtime_error("配置读取出错");
  }
};

}  // namespace

TEST_F(OLSMainInstallTest, TheFolderDialogCompletesWhatWasChosen) {
  AddDrive('E');
  TOLSMainProbe& w = Open();
  ASSERT_EQ(Folder(), "C:\\Ondrevo\\Ketrin\\");
  auto pick = [&](const std::string& aChosen) {
    FPicker->Answer = aChosen;
    QTest::mouseClick(w.imgModPathSelect, Qt::LeftButton);
    return Folder();
  };
  // Not picked yet: the dialog opens at the parent folder, which is made.
  EXPECT_EQ(pick("E:\\"), "E:\\Ondrevo\\Ketrin\\");
  EXPECT_EQ(FPicker->Start, "C:\\Ondrevo");
  EXPECT_TRUE(ov::platform::fs::DirectoryExists("C:\\Ondrevo"));
  EXPECT_EQ(FPicker->Caption, "InstallDirectory");
  EXPECT_EQ(w.edtModPath->Tag(), 1);
  // Picked once: it opens at the folder shown.
  EXPECT_EQ(pick("E:\\ondrevo"), "E:\\ondrevo\\Ketrin\\");
  EXPECT_EQ(FPicker->Start, "E:\\Ondrevo\\Ketrin\\");
  EXPECT_EQ(pick("E:\\Ondrevo软件"), "E:\\Ondrevo软件\\Ketrin\\");
  EXPECT_EQ(pick("E:\\Shops"), "E:\\Shops\\Ketrin-saas");
  EXPECT_EQ(pick("E:\\Shops\\Sub"), "E:\\Shops\\Sub");
  EXPECT_EQ(pick("E:\\a\\\\b"), "E:\\a\\b");
  FPicker->Cancel = true;
  EXPECT_EQ(pick("E:\\x"), "E:\\a\\b");
  EXPECT_EQ(FPicker->Opened, 7);
  // The pick survives a flag click; a picked default folder follows the language.
  QTest::mouseClick(w.imgEN, Qt::LeftButton);
  EXPECT_EQ(Folder(), "E:\\a\\b");
  EXPECT_EQ(w.edtModPath->Tag(), 1);
  FPicker->Cancel = false;
  EXPECT_EQ(pick("E:\\"), "E:\\Ondrevo\\Ketrin\\");
  w.SwitchLanguage("EN");
  EXPECT_EQ(Folder(), "E:\\Ondrevo\\Ketrin\\");
  EXPECT_EQ(w.edtModPath->Tag(), 0);
}

TEST_F(OLSMainInstallTest, InstallNeedsAFolderAndAModule) {
  TOLSMainProbe& w = Open();
  w.edtModPath->setText(Q("   "));
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_EQ(FBoxes->Messages[0], "Please enter or select the installation directory!");
  EXPECT_EQ(FBoxes->Titles[0], "消息");
  EXPECT_EQ(w.edtModPath->text(), QString());
  // Enter in the folder box runs the same checks once it holds a folder.
  w.edtModPath->setText(Q(" C:\\Shop "));
  QTest::keyClick(w.edtModPath, Qt::Key_Return);
  ASSERT_EQ(FBoxes->Messages.size(), 2u);
  EXPECT_EQ(FBoxes->Messages[1], "Please select an installed module!");
  EXPECT_EQ(w.edtModPath->text(), Q("C:\\Shop"));
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformoptn);
  EXPECT_FALSE(w.tmrInst->isActive());
  EXPECT_EQ(SoftKetrinHelper().WebUpdateUrl().v(), "");
}

TEST_F(OLSMainInstallTest, AFailedConfigurationKeepsTheOptionsCard) {
  FVersion.Stop();
  TOLSMainProbe& w = Open();
  QTest::mouseClick(w.lblchkmodweb, Qt::LeftButton);
  QTest::mouseClick(w.lblchkmodpos, Qt::LeftButton);
  QTest::mouseClick(w.imgOptnInst, Qt::LeftButton);
  ASSERT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformoptn);
  // The web address set before the failure stays set.
  EXPECT_EQ(SoftKetrinHelper().WebUpdateUrl().v(),
            FStore.BaseUrl() + "/updatefiles/ketrin_webapp/");
}

TEST_F(OLSMainInstallTest, AnErrorEscapingThePreparationIsShownAndTheOptionsCardStays) {
  FWindow = std::make_unique<TThrowingPrepare>("ketrin");
  FWindow->show();
  TOLSMainProbe& w = *FWindow;
  QTest::mouseClick(w.lblchkmodpos, Qt::LeftButton);
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_EQ(FBoxes->Messages[0], "配置读取出错");
  EXPECT_EQ(FBoxes->Titles[0], "消息");
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformoptn);
  EXPECT_FALSE(w.tmrInst->isActive());
}

TEST_F(OLSMainInstallTest, OnlyThePosModuleInstallsOnceAndEndsOnTheFinishCard) {
  PublishSample("C:\\Shop\\");
  TOLSMainProbe& w = Open();
  w.SetModulePauseMs(10);
  w.edtModPath->setText(Q("C:\\Shop"));
  QTest::mouseClick(w.lblchkmodpos, Qt::LeftButton);
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_TRUE(FBoxes->Messages.empty()) << FBoxes->Messages[0];
  EXPECT_EQ(SoftKetrinHelper().WebUpdateUrl().v(), "");
  EXPECT_EQ(SoftKetrinHelper().PosUpdateUrl().v().rfind("ovupdata://vfid=", 0), 0u);
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdforminst);
  EXPECT_EQ(w.imgClose->parentWidget(), w.crdforminst);
  EXPECT_EQ(w.lblTitle->parentWidget(), w.crdforminst);
  EXPECT_EQ(w.imgInstBack->parentWidget(), w.crdformoptn);
  EXPECT_TRUE(w.imgEN->isHidden());
  EXPECT_TRUE(w.imgCN->isHidden());
  EXPECT_TRUE(w.tmrInst->isActive());
  EXPECT_EQ(w.tmrInst->interval(), 300);
  EXPECT_TRUE(w.tmrSlider->isActive());
  EXPECT_EQ(w.tmrSlider->interval(), 3000);

  ASSERT_TRUE(WaitFor([&] { return w.crdpnl->currentWidget() == w.crdformfnsh; }, 120000));
  EXPECT_TRUE(FBoxes->Messages.empty());
  EXPECT_EQ(SoftVar().path().v(), "C:\\Shop");
  EXPECT_EQ(SoftKetrinHelper().ProgressMax().v(), 50);
  EXPECT_EQ(w.pbModInst->maximum(), 50);
  EXPECT_TRUE(ov::platform::fs::DirectoryExists("C:\\Shop\\Caldis"));
  EXPECT_FALSE(ov::platform::fs::DirectoryExists("C:\\Shop\\Web"));
  EXPECT_EQ(w.lblFnshInstTips->Caption(), Q("Install finished!"));
  EXPECT_FALSE(w.tmrSlider->isActive());
  EXPECT_FALSE(w.tmrInst->isActive());
  for (QWidget* c : {static_cast<QWidget*>(w.imgInstBack), static_cast<QWidget*>(w.imgClose),
                     static_cast<QWidget*>(w.imgInstLogo), static_cast<QWidget*>(w.lblTitle),
                     static_cast<QWidget*>(w.lblInstTitle)}) {
    EXPECT_EQ(c->parentWidget(), w.crdformfnsh);
  }
  EXPECT_TRUE(w.isVisible());

  // A second tick (the timer restarted) runs nothing.
  w.crdpnl->setCurrentWidget(w.crdforminst);
  w.lblFnshInstTips->SetCaption(Q("x"));
  w.tmrInst->start();
  w.tmrInstTimer();
  EXPECT_FALSE(w.tmrInst->isActive());
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdforminst);
  EXPECT_EQ(w.lblFnshInstTips->Caption(), Q("x"));

  QTest::mouseClick(w.lblFnshInst, Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(TInstHelper::getReg("KetrinPos", ""), "1");
  EXPECT_EQ(TInstHelper::getReg("KetrinWeb", ""), "0");
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", ""), "C:\\Shop");
}

TEST_F(OLSMainInstallTest, AFailedWebModuleSkipsThePosModuleAndClosesTheWindow) {
  PublishSample("C:\\Shop\\");
  std::filesystem::remove_all(RootDir() + "/updatefiles/ketrin_webapp");
  TOLSMainProbe& w = Open();
  w.SetModulePauseMs(10);
  w.edtModPath->setText(Q("C:\\Shop"));
  QTest::mouseClick(w.lblchkmodweb, Qt::LeftButton);
  QTest::mouseClick(w.lblchkmodpos, Qt::LeftButton);
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !w.isVisible(); }, 120000));
  ASSERT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_NE(FBoxes->Messages[0].find("404"), std::string::npos) << FBoxes->Messages[0];
  EXPECT_FALSE(ov::platform::fs::DirectoryExists("C:\\Shop\\Caldis"));
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", ""), "C:\\Shop");
}

TEST_F(OLSMainInstallTest, TheCloseImageDuringADownloadStopsWithoutAMessage) {
  PublishSample("C:\\Shop\\");
  FStore.AddFault({.Pattern = "/updatefiles/ketrin_webapp/bin/OVBrowser.dll*",
                   .BandwidthBytesPerSec = 100 * 1024});
  TOLSMainProbe& w = Open();
  w.edtModPath->setText(Q("C:\\Shop"));
  QTest::mouseClick(w.lblchkmodweb, Qt::LeftButton);
  QTest::mouseClick(w.lblchkmodpos, Qt::LeftButton);
  // The run occupies the timer's handler; the click comes from a timer inside it.
  QTimer poll;
  bool clicked = false;
  QObject::connect(&poll, &QTimer::timeout, &w, [&] {
    if (!clicked && !w.lblInstSubProgress->Caption().isEmpty()) {
      clicked = true;
      QTest::mouseClick(w.imgClose, Qt::LeftButton);
    }
  });
  poll.start(20);
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_TRUE(WaitFor(
      [&] {
        return !w.tmrInst->isActive() && w.tmrInst->Tag() == 1 &&
               w.crdpnl->currentWidget() == w.crdformfnsh;
      },
      120000));
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(SyncObj().IsAppExit());
  EXPECT_TRUE(FBoxes->Messages.empty()) << FBoxes->Messages[0];
  EXPECT_FALSE(ov::platform::fs::DirectoryExists("C:\\Shop\\Caldis"));
  EXPECT_EQ(TInstHelper::getReg("KetrinWeb", ""), "1");
  EXPECT_EQ(TInstHelper::getReg("KetrinPath", ""), "C:\\Shop");
}

TEST_F(OLSMainInstallTest, AnAcceptedInstallCodeLeadsToTheOptionsCardWithoutFlags) {
  ov::standin::TCatalogue cat;
  cat.PutEnterprise(1001, "K7Q2", nlohmann::json::parse(R"({"business_weburl":"https://web/"})"));
  FPlatform.SetCatalogue(cat);
  TOLSMainProbe& w = Open("corvela");
  w.edtInstCorpId->setText(Q("1001"));
  w.edtInstCode->setText(Q("WRONG"));
  QTest::keyClick(w.edtInstCode, Qt::Key_Return);
  ASSERT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformcode);
  EXPECT_FALSE(w.imgEN->isHidden());
  w.edtInstCode->setText(Q(" K7Q2 "));
  QTest::keyClick(w.edtInstCode, Qt::Key_Return);
  EXPECT_EQ(FBoxes->Messages.size(), 1u);
  EXPECT_EQ(w.crdpnl->currentWidget(), w.crdformoptn);
  EXPECT_EQ(w.imgClose->parentWidget(), w.crdformoptn);
  EXPECT_EQ(w.lblInstTitle->parentWidget(), w.crdformoptn);
  EXPECT_TRUE(w.imgEN->isHidden());
  EXPECT_TRUE(w.imgCN->isHidden());
  w.close();
  EXPECT_EQ(TInstHelper::getReg("CorvelaCorpId", ""), "1001");
}

TEST_F(OLSMainInstallTest, AServiceProductInstallsItsOneModuleWithoutBoxes) {
  PublishSample("C:\\Shop\\", "C:\\Zel\\");
  TOLSMainProbe& w = Open("zelcv");
  w.SetModulePauseMs(10);
  w.edtModPath->setText(Q("C:\\Zel"));
  QTest::mouseClick(w.lblModInst, Qt::LeftButton);
  ASSERT_TRUE(FBoxes->Messages.empty()) << FBoxes->Messages[0];
  ASSERT_TRUE(WaitFor([&] { return w.crdpnl->currentWidget() == w.crdformfnsh; }, 120000));
  EXPECT_TRUE(FBoxes->Messages.empty()) << FBoxes->Messages[0];
  EXPECT_EQ(SoftVar().name().v(), "Corvela商品智能下发服务");
  EXPECT_EQ(w.pbModInst->maximum(), 50);
  EXPECT_TRUE(ov::platform::fs::FileExists("C:\\Zel\\OVZelService.ini"));
  w.close();
  EXPECT_EQ(TInstHelper::getReg("ZelcvPath", ""), "C:\\Zel");
}

TEST_F(OLSMainInstallTest, WithoutAFolderTextInTheTablesADriveRootStillGetsAPath) {
  AddDrive('E');
  // Not labelled yet: no table holds the product's folder text, so its default is used.
  FWindow = std::make_unique<TOLSMainProbe>("ketrin");
  FPicker->Answer = "E:\\";
  FWindow->lblcorvelaSetPathClick(FWindow->imgModPathSelect);
  EXPECT_EQ(Folder(), "E:\\ondrevo\\ketrin\\");
  FPicker->Answer = "E:\\Ondrevo";
  FWindow->lblcorvelaSetPathClick(FWindow->imgModPathSelect);
  EXPECT_EQ(Folder(), "E:\\Ondrevo\\ketrin\\");
}
