#include "update/UpdateObjUtil.h"

#include <utility>

#include "common/OVError.h"
#include "base/OVProcessWide.h"

TSyncObj::TSyncObj()
    : FUpdatePath(std::make_unique<TOVSyncStr>("")),
      FCustInstPkg(std::make_unique<TOVSyncStr>("")),
      FFileServerType(std::make_unique<TOVSyncStr>("")),
      FUMPFlag(std::make_unique<TOVSyncInt>(0)),
      FUMPVerFId(std::make_unique<TOVSyncStr>("")),
      FUMPProtRegFlag(std::make_unique<TOVSyncInt>(0)),
      FWorkCode(std::make_unique<TOVSyncInt>(0)),
      FWorkData(std::make_unique<TOVSyncStr>("")) {}

TSyncObj::~TSyncObj() {
  ClearFileList();
  ClearImgList();
}

int32_t TSyncObj::UpdateModel() const { return Get(FUpdateModel, UpdateModel_locker); }
void TSyncObj::SetUpdateModel(int32_t aValue) { Put(FUpdateModel, UpdateModel_locker, aValue); }
int32_t TSyncObj::ProcExitUpdate() const { return Get(FProcExitUpdate, ProcExitUpdate_locker); }
void TSyncObj::SetProcExitUpdate(int32_t aValue) {
  Put(FProcExitUpdate, ProcExitUpdate_locker, aValue);
}
std::string TSyncObj::NoteInfo() const { return Get(FNoteInfo, NoteInfo_locker); }
void TSyncObj::SetNoteInfo(const std::string& aValue) { Put(FNoteInfo, NoteInfo_locker, aValue); }
std::string TSyncObj::AppNewVer() const { return Get(FAppNewVer, AppNewVer_locker); }
void TSyncObj::SetAppNewVer(const std::string& aValue) {
  Put(FAppNewVer, AppNewVer_locker, aValue);
}
int32_t TSyncObj::FileIndex() const { return Get(FFileIndex, FileIndex_locker); }
void TSyncObj::SetFileIndex(int32_t aValue) { Put(FFileIndex, FileIndex_locker, aValue); }
int32_t TSyncObj::FileCheckMode() const { return Get(FFileCheckMode, FileCheckMode_locker); }
void TSyncObj::SetFileCheckMode(int32_t aValue) {
  Put(FFileCheckMode, FileCheckMode_locker, aValue);
}
std::string TSyncObj::FileCheckZip() const { return Get(FFileCheckZip, FileCheckZip_locker); }
void TSyncObj::SetFileCheckZip(const std::string& aValue) {
  Put(FFileCheckZip, FileCheckZip_locker, aValue);
}
int32_t TSyncObj::AutoFlag() const { return Get(FAutoFlag, AutoFlag_locker); }
void TSyncObj::SetAutoFlag(int32_t aValue) { Put(FAutoFlag, AutoFlag_locker, aValue); }
int64_t TSyncObj::BeginTime() const { return Get(FBeginTime, BeginTime_locker); }
void TSyncObj::SetBeginTime(int64_t aValue) { Put(FBeginTime, BeginTime_locker, aValue); }
bool TSyncObj::IsAppExit() const { return Get(FIsAppExit, IsAppExit_locker); }
void TSyncObj::SetIsAppExit(bool aValue) { Put(FIsAppExit, IsAppExit_locker, aValue); }
bool TSyncObj::IsWinShutdown() const { return Get(FIsWinShutdown, IsWinShutdown_locker); }
void TSyncObj::SetIsWinShutdown(bool aValue) { Put(FIsWinShutdown, IsWinShutdown_locker, aValue); }
bool TSyncObj::DownFinished() const { return Get(FDownFinished, DownFinished_locker); }
void TSyncObj::SetDownFinished(bool aValue) { Put(FDownFinished, DownFinished_locker, aValue); }
bool TSyncObj::UpdateSucessed() const { return Get(FUpdateSucessed, UpdateSucessed_locker); }
void TSyncObj::SetUpdateSucessed(bool aValue) {
  Put(FUpdateSucessed, UpdateSucessed_locker, aValue);
}

void TSyncObj::ClearFileList() {
  std::lock_guard<std::recursive_mutex> g(FileList_locker);
  FileList.clear();
}

void TSyncObj::ClearImgList() {
  std::lock_guard<std::recursive_mutex> g(FImgIndex_locker);
  ImgList.clear();
}

void TSyncObj::ClearTaskLists() {
  for (auto [lock, list] : {std::pair{&FBeforeStopList_locker, &FBeforeStopList},
                            std::pair{&FBeforeCloseList_locker, &FBeforeCloseList},
                            std::pair{&FBeforeDeleteList_locker, &FBeforeDeleteList},
                            std::pair{&FAfterRunList_locker, &FAfterRunList},
                            std::pair{&FAfterStartList_locker, &FAfterStartList}}) {
    std::lock_guard<std::recursive_mutex> g(*lock);
    list->clear();
  }
}

TSyncObj& SyncObj() {
  TSyncObj* s = ov::TProcessWide<TSyncObj>::Get();
  if (!s) throw ov::Error("the update state does not exist");
  return *s;
}

bool HasSyncObj() { return ov::TProcessWide<TSyncObj>::Get() != nullptr; }
void CreateSyncObj() { ov::TProcessWide<TSyncObj>::Create(); }
void FreeSyncObj() { ov::TProcessWide<TSyncObj>::Free(); }
