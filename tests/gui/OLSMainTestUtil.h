#pragma once

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/OLSMainUnit.h"
#include "common/RealProcess.h"
#include "common/ServiceTest.h"
#include "install/ProgramStartUtil.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/Services.h"
#include "platform/ShellLinks.h"
#include "ui/OVSkinUtil.h"
#include "ui/QtMainThreadUtil.h"
#include "update/UpdateObjUtil.h"

// The window's own operations, reachable from the tests.
class TOLSMainProbe : public TOLSMain {
 public:
  using TOLSMain::ApplyLanguage;
  using TOLSMain::FitInstTitle;
  using TOLSMain::LoadSliderImage;
  using TOLSMain::SwitchLanguage;
  using TOLSMain::TOLSMain;
};

// Messages the window shows, instead of modal boxes.
class TRecordedBoxes : public ov::platform::IMessageBox {
 public:
  void ShowMessage(const std::string& aMsg, const std::string& aTitle) override {
    Messages.push_back(aMsg);
    Titles.push_back(aTitle);
  }
  std::vector<std::string> Messages;
  std::vector<std::string> Titles;
};

// A folder dialog that answers what the test chose, and remembers how it was opened.
class TFakePicker : public ov::platform::IFolderPicker {
 public:
  bool PickFolder(const std::string& aCaption, std::string& aFolder) override {
    ++Opened;
    Caption = aCaption;
    Start = aFolder;
    if (Cancel) return false;
    aFolder = Answer;
    return true;
  }
  std::string Answer;
  bool Cancel = false;
  int Opened = 0;
  std::string Caption, Start;
};

// The window's process-wide objects as the program start makes them, the Qt main thread, the
// stand-in services, recorded message boxes and a fake folder dialog.
class TOLSMainTest : public TServiceTest {
 protected:
  // Services an install starts outlive their supervisor for a moment; adopting them lets the
  // test reap them.
  static void SetUpTestSuite() {
#ifdef __linux__
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  }
  void SetUp() override {
    TServiceTest::SetUp();
    // Closing a test's window must not end the event loops of later tests.
    QApplication::setQuitOnLastWindowClosed(false);
    FreeSyncObj();  // the window makes its own
    CreateOVSkin();
    ov::StartProgram();
    ov::platform::SetMainThread(CreateQtMainThread());
    FBoxes = std::make_shared<TRecordedBoxes>();
    ov::platform::SetMessageBox(FBoxes);
    FPicker = std::make_shared<TFakePicker>();
    ov::platform::SetFolderPicker(FPicker);
  }
  void TearDown() override {
    // As at program end: a worker the run left behind stops, and no hand-over waits for a
    // main thread that is not servicing them any more.
    if (HasSyncObj()) SyncObj().SetIsAppExit(true);
    ov::platform::CloseHandOvers();
    EXPECT_TRUE(ov::platform::JoinWorkers(20000));
    FWindow.reset();
    ov::platform::StopSupervision();
    ovtest::TServices::RemoveInstalled();  // Windows: a running service keeps its files
    ovtest::ReapAdopted();
    ov::platform::SetFolderPicker(nullptr);
    ov::platform::SetMessageBox(nullptr);
    ov::EndProgram();
    FreeOVSkin();
    QApplication::setQuitOnLastWindowClosed(true);
    TServiceTest::TearDown();
  }
  // Makes and shows the window for a product row.
  TOLSMainProbe& Open(const std::string& aCode = "ketrin") {
    FWindow = std::make_unique<TOLSMainProbe>(aCode);
    FWindow->show();
    return *FWindow;
  }
  std::string Folder() const { return OVStdStr(FWindow->edtModPath->text()); }

  std::unique_ptr<TOLSMainProbe> FWindow;
  std::shared_ptr<TRecordedBoxes> FBoxes;
  std::shared_ptr<TFakePicker> FPicker;
};
