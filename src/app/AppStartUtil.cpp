#include "app/AppStartUtil.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <string>

#include "base/LoggerUtil.h"
#include "base/OVLibUtil.h"
#include "install/ProgramStartUtil.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/ShellLinks.h"
#include "ui/BaseFormUnit.h"
#include "ui/MsgBoxUnit.h"
#include "ui/OVSkinUtil.h"
#include "ui/QtFolderPickerUtil.h"
#include "ui/QtMainThreadUtil.h"
#include "update/UpdateObjUtil.h"

namespace ov::app {

namespace {

// Hand-overs after the end are dropped at once: a worker that outlives the wait must never
// block on a main thread that no longer services it.
void CloseMainThreadForGood() {
  ov::platform::SetMainThread(ov::platform::CreateQueueMainThread());
  ov::platform::CloseHandOvers();
}

}  // namespace

void PrepareApplication() {
  // Per-monitor scaling at the monitor's exact factor.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void StartApp() {
  ov::platform::SetMessageBox(CreateQtMessageBox());
  ov::platform::SetMainThread(CreateQtMainThread());
  ov::platform::SetFolderPicker(CreateQtFolderPicker());
  CreateOVSkin();
  try {
    ov::StartProgram();
  } catch (...) {
    // The start ends here: what it made goes again, and no end banner follows the failure.
    if (TLogger* l = Logger()) l->SetEnabled(false);
    ov::EndProgram();
    FreeOVSkin();
    CloseMainThreadForGood();
    ov::platform::SetFolderPicker(nullptr);
    ov::platform::SetMessageBox(nullptr);
    throw;
  }
}

bool StopWorkers(int32_t aTimeoutMs) {
  if (HasSyncObj()) SyncObj().SetIsAppExit(true);
  ov::platform::CloseHandOvers();
  return ov::platform::JoinWorkers(aTimeoutMs);
}

void EndApp(bool aWorkersEnded) {
  if (aWorkersEnded) {
    ov::EndProgram();
    FreeOVSkin();
  } else {
    TovLib::Log(std::string(64, '-'));
  }
  CloseMainThreadForGood();
  ov::platform::SetFolderPicker(nullptr);
  ov::platform::SetMessageBox(nullptr);
}

int RunApp(const TMainFormFactory& aCreateMainForm) {
  try {
    StartApp();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "OVOnlineSetup: %s\n", e.what());
    return 1;
  }
  int code = 0;
  std::unique_ptr<QWidget> form;
  try {
    form = aCreateMainForm();
    SetMainForm(form.get());
    form->show();
    // A window that closed itself while it was first shown has ended the run already.
    if (form->isVisible()) code = QApplication::exec();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "OVOnlineSetup: %s\n", e.what());
    code = 1;
  }
  SetMainForm(nullptr);
  // The window owns the update state the workers read, so they end before it goes; one that
  // outlives the wait keeps it, and the process's end takes both.
  const bool ended = StopWorkers(kWorkerJoinMs);
  if (ended)
    form.reset();
  else
    (void)form.release();
  EndApp(ended);
  return code;
}

}  // namespace ov::app
