#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/OVSyncObj.h"

// One file to install.
struct TFileInfo {
  std::string FileName;
  std::string SourceFile;  // full URL, or a path that gets the product's host in front
  std::string TargetFile;  // a leading ".\" stands for the install folder
  std::string MD5;
  int64_t FileSize = 0;  // 0 when unknown
  std::string CreateDateTime;
  std::string Update;  // last-write time to give the installed file
};
using PFileInfo = TFileInfo*;

// One slide image.
struct TImgInfo {
  std::string SourceFile;
  std::string TargetFile;
  std::string Md5;
};
using PImgInfo = TImgInfo*;

// The update state shared by the update engine, the installers and the main window. Every
// scalar member has a lock of its own. The only permitted nesting of the list locks is the
// file-list lock outside one other list's lock, never the reverse.
class TSyncObj {
 public:
  TSyncObj();
  ~TSyncObj();
  TSyncObj(const TSyncObj&) = delete;
  TSyncObj& operator=(const TSyncObj&) = delete;

  TOVSyncStr& UpdatePath() { return *FUpdatePath; }
  int32_t UpdateModel() const;
  void SetUpdateModel(int32_t aValue);
  int32_t ProcExitUpdate() const;
  void SetProcExitUpdate(int32_t aValue);
  std::string NoteInfo() const;
  void SetNoteInfo(const std::string& aValue);
  std::string AppNewVer() const;
  void SetAppNewVer(const std::string& aValue);
  int32_t FileIndex() const;
  void SetFileIndex(int32_t aValue);
  int32_t FileCheckMode() const;
  void SetFileCheckMode(int32_t aValue);
  std::string FileCheckZip() const;
  void SetFileCheckZip(const std::string& aValue);
  int32_t AutoFlag() const;
  void SetAutoFlag(int32_t aValue);
  TOVSyncStr& CustInstPkg() { return *FCustInstPkg; }
  TOVSyncStr& FileServerType() { return *FFileServerType; }
  TOVSyncInt& UMPFlag() { return *FUMPFlag; }
  TOVSyncStr& UMPVerFId() { return *FUMPVerFId; }
  TOVSyncInt& UMPProtRegFlag() { return *FUMPProtRegFlag; }
  int64_t BeginTime() const;
  void SetBeginTime(int64_t aValue);
  bool IsAppExit() const;
  void SetIsAppExit(bool aValue);
  bool IsWinShutdown() const;
  void SetIsWinShutdown(bool aValue);
  bool DownFinished() const;
  void SetDownFinished(bool aValue);
  bool UpdateSucessed() const;
  void SetUpdateSucessed(bool aValue);
  TOVSyncInt& WorkCode() { return *FWorkCode; }
  TOVSyncStr& WorkData() { return *FWorkData; }

  // Lock pairs: a caller that changes or walks a list holds its lock throughout and releases
  // it on every way out (prefer the guards below).
  void ImgListLock() { FImgIndex_locker.lock(); }
  void ImgListUnLock() { FImgIndex_locker.unlock(); }
  void FileListLock() { FileList_locker.lock(); }
  void FileListUnLock() { FileList_locker.unlock(); }
  void FBeforeStopListLock() { FBeforeStopList_locker.lock(); }
  void FBeforeStopListUnLock() { FBeforeStopList_locker.unlock(); }
  void FBeforeCloseListLock() { FBeforeCloseList_locker.lock(); }
  void FBeforeCloseListUnLock() { FBeforeCloseList_locker.unlock(); }
  void FBeforeDeleteListLock() { FBeforeDeleteList_locker.lock(); }
  void FBeforeDeleteListUnLock() { FBeforeDeleteList_locker.unlock(); }
  void FAfterRunListLock() { FAfterRunList_locker.lock(); }
  void FAfterRunListUnLock() { FAfterRunList_locker.unlock(); }
  void FAfterStartListLock() { FAfterStartList_locker.lock(); }
  void FAfterStartListUnLock() { FAfterStartList_locker.unlock(); }

  std::unique_lock<std::recursive_mutex> ImgListGuard() {
    return std::unique_lock<std::recursive_mutex>(FImgIndex_locker);
  }
  std::unique_lock<std::recursive_mutex> FileListGuard() {
    return std::unique_lock<std::recursive_mutex>(FileList_locker);
  }
  std::unique_lock<std::recursive_mutex> FBeforeStopListGuard() {
    return std::unique_lock<std::recursive_mutex>(FBeforeStopList_locker);
  }
  std::unique_lock<std::recursive_mutex> FBeforeCloseListGuard() {
    return std::unique_lock<std::recursive_mutex>(FBeforeCloseList_locker);
  }
  std::unique_lock<std::recursive_mutex> FBeforeDeleteListGuard() {
    return std::unique_lock<std::recursive_mutex>(FBeforeDeleteList_locker);
  }
  std::unique_lock<std::recursive_mutex> FAfterRunListGuard() {
    return std::unique_lock<std::recursive_mutex>(FAfterRunList_locker);
  }
  std::unique_lock<std::recursive_mutex> FAfterStartListGuard() {
    return std::unique_lock<std::recursive_mutex>(FAfterStartList_locker);
  }

  // Clears the file list, freeing its records; the caller holds the file-list lock.
  void ClearFileList();
  void ClearImgList();
  // Empties the five task lists, taking their locks one at a time.
  void ClearTaskLists();

  // Reached directly, under their locks. The state owns the records.
  std::vector<std::unique_ptr<TFileInfo>> FileList;
  std::vector<std::unique_ptr<TImgInfo>> ImgList;
  std::vector<std::string> FBeforeStopList;
  std::vector<std::string> FBeforeCloseList;
  std::vector<std::string> FBeforeDeleteList;
  std::vector<std::string> FAfterRunList;
  std::vector<std::string> FAfterStartList;

 private:
  template <class T>
  T Get(const T& aField, std::recursive_mutex& aLock) const {
    std::lock_guard<std::recursive_mutex> g(aLock);
    return aField;
  }
  template <class T>
  void Put(T& aField, std::recursive_mutex& aLock, T aValue) {
    std::lock_guard<std::recursive_mutex> g(aLock);
    aField = std::move(aValue);
  }

  std::unique_ptr<TOVSyncStr> FUpdatePath;
  int32_t FUpdateModel = 1;
  mutable std::recursive_mutex UpdateModel_locker;
  int32_t FProcExitUpdate = 0;
  mutable std::recursive_mutex ProcExitUpdate_locker;
  std::string FNoteInfo;
  mutable std::recursive_mutex NoteInfo_locker;
  std::string FAppNewVer;
  mutable std::recursive_mutex AppNewVer_locker;
  int32_t FImgIndex = -1;  // guarded by the image-list lock; nothing reads it
  mutable std::recursive_mutex FImgIndex_locker;
  int32_t FFileCheckMode = 0;
  mutable std::recursive_mutex FileCheckMode_locker;
  std::string FFileCheckZip;
  mutable std::recursive_mutex FileCheckZip_locker;
  int32_t FAutoFlag = 0;
  mutable std::recursive_mutex AutoFlag_locker;
  std::unique_ptr<TOVSyncStr> FCustInstPkg;
  std::unique_ptr<TOVSyncStr> FFileServerType;
  std::unique_ptr<TOVSyncInt> FUMPFlag;
  std::unique_ptr<TOVSyncStr> FUMPVerFId;
  std::unique_ptr<TOVSyncInt> FUMPProtRegFlag;
  std::unique_ptr<TOVSyncInt> FWorkCode;
  std::unique_ptr<TOVSyncStr> FWorkData;
  int32_t FFileIndex = -1;
  mutable std::recursive_mutex FileIndex_locker;
  int64_t FNeedTime = 0;
  mutable std::recursive_mutex FNeedTime_locker;
  int64_t FBeginTime = 0;
  mutable std::recursive_mutex BeginTime_locker;
  bool FIsAppExit = false;
  mutable std::recursive_mutex IsAppExit_locker;
  bool FDownFinished = true;
  mutable std::recursive_mutex DownFinished_locker;
  bool FIsWinShutdown = false;
  mutable std::recursive_mutex IsWinShutdown_locker;
  bool FUpdateSucessed = false;
  mutable std::recursive_mutex UpdateSucessed_locker;
  std::recursive_mutex FileList_locker;
  std::recursive_mutex FBeforeStopList_locker;
  std::recursive_mutex FBeforeCloseList_locker;
  std::recursive_mutex FBeforeDeleteList_locker;
  std::recursive_mutex FAfterRunList_locker;
  std::recursive_mutex FAfterStartList_locker;

 public:
  // For tests of the defaults only.
  int32_t ImgIndexForTest() const { return Get(FImgIndex, FImgIndex_locker); }
  int64_t NeedTimeForTest() const { return Get(FNeedTime, FNeedTime_locker); }
};

// The process-wide update state, created and freed by the main window. SyncObj() throws
// ov::Error when none exists.
TSyncObj& SyncObj();
bool HasSyncObj();
void CreateSyncObj();
void FreeSyncObj();
