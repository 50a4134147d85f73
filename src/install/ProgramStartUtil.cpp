#include "install/ProgramStartUtil.h"

#include "base/LoggerUtil.h"
#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStopUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "install/SoftBrevikHelperUtil.h"
#include "install/SoftCorvelaHelperUtil.h"
#include "install/SoftDaskorHelperUtil.h"
#include "install/SoftKetrinHelperUtil.h"
#include "install/SoftPindorHelperUtil.h"
#include "install/SoftZelappHelperUtil.h"
#include "install/SoftZelcvHelperUtil.h"
#include "install/SoftZelntrHelperUtil.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace ov {

std::string InstallCacheDir() {
  return TInstHelper::GetAvailablePath("C:\\ProgramData\\OVInstCache\\");
}

namespace {

// The exit flag of the update state. A state freed meanwhile means the program is ending.
bool AppExitRequested() {
  try {
    return HasSyncObj() && SyncObj().IsAppExit();
  } catch (...) {
    return true;
  }
}

}  // namespace

void StartProgram() {
  ov::SetStopTest(&AppExitRequested);
  CreateProcessLogger();
  CreateLangHelper();
  CreateSoftVar();
  CreateSoftCorvelaHelper();
  CreateSoftPindorHelper();
  CreateSoftKetrinHelper();
  CreateSoftDaskorHelper();
  CreateSoftZelappHelper();
  CreateSoftZelntrHelper();
  CreateSoftZelcvHelper();
  CreateSoftBrevikHelper();
  TovLib::SetDateFormat();
  Logger()->SetLogFileDir(InstallCacheDir());
  Logger()->SetLogFilenamePer("DIZuro");
  Logger()->CleanFile(7, 70);
  TovLib::Log("----Online Install----------------------------------------------");
}

void EndProgram() {
  TovLib::Log(std::string(64, '-'));
  FreeSoftBrevikHelper();
  FreeSoftZelcvHelper();
  FreeSoftZelntrHelper();
  FreeSoftZelappHelper();
  FreeSoftDaskorHelper();
  FreeSoftKetrinHelper();
  FreeSoftPindorHelper();
  FreeSoftCorvelaHelper();
  FreeSoftVar();
  FreeLangHelper();
  FreeProcessLogger();
  ov::SetStopTest(nullptr);
}

}  // namespace ov
