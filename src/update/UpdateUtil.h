#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/OVDateUtil.h"

// The updater object: in this installer only a data holder that the main window creates and
// frees with the update state.
class TOvUpdate {
 public:
  using TUpdateEvent = std::function<void()>;

  TOvUpdate() = default;

  std::string FParams;
  std::string FHost;
  std::string FHost2;
  bool FOnlyCheck = false;
  bool FAutoUpGrade = false;
  bool FAllAuto = false;
  bool FIsShowWindow = false;
  uint32_t FMainFormHand = 0;
  std::string FAppFile;
  int32_t FAppWinHandle = 0;
  int32_t FAppRecMsgId = 0;
  std::string FAppTitle = "Pellavo软件客户端智能更新";
  std::string FAppVer = "1.0.0.2";
  std::string FAppLogoFile;
  std::string FAppDesktop;
  std::string FPutToDBParm2;
  std::string FPutToDBParm1;
  ov::TDateTime FLastUpgrade = 0;
  bool FIsAutoRestart = false;
  int32_t FNetDownTimeout = 0;
  bool FCheckZipFile = false;
  int32_t FFileCount = 0;
  int64_t FFilesSise = 0;
  int64_t FFilesCurrSize = 0;
  TUpdateEvent FOnBeforeCheck;
  TUpdateEvent FOnChecking;
  TUpdateEvent FOnAfterCheck;
  TUpdateEvent FOnBeforeUpdate;
  TUpdateEvent FOnUpdate;
  TUpdateEvent FOnFileUpdate;
  TUpdateEvent FOnAfterUpdate;
  TUpdateEvent FOnBeforeTmpFileUpdate;
  TUpdateEvent FOnTmpFileUpdate;
  TUpdateEvent FOnAfterTmpFileUpdate;
  TUpdateEvent FOnAppRestart;
};

// The process-wide updater object, created and freed with the update state.
TOvUpdate* OvUpdate();
void CreateOvUpdate();
void FreeOvUpdate();
