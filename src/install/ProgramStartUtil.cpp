#include "install/ProgramStartUtil.h"

#include "base/LoggerUtil.h"
#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
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

namespace ov {

std::string InstallCacheDir() {
  return TInstHelper::GetAvailablePath("C:\\ProgramData\\OVInstCache\\");
}

void StartProgram() {
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
}

}  // namespace ov
