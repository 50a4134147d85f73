#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/OVSyncObj.h"
#include "install/SoftBaseHelperUtil.h"
#include "net/HttpStack.h"

class TNetHTTP;
struct TFetchJob;
struct TFetchResult;

// How one module setup differs from another: its texts, folder, address, program and the
// settings it writes.
struct TModuleTexts {
  std::string CodeKey, CodeDef, NameKey, NameDef, GroupKey, GroupDef, TitleKey, TitleDef,
      FullNameKey, FullNameDef;
};
struct TModuleSetup {
  TModuleTexts Texts;       // language keys and their defaults
  bool OwnFolder = true;    // false: the shared install folder itself
  bool GroupInMenu = true;  // false: the start-menu entry goes straight into Programs
  std::string UpdateUrl;
  std::string Program, Icon;  // file names in the module folder
  bool ShortcutsNeedProgram = true;
  // Writes the module's settings into its folder (ends with "\") once the files are in.
  std::function<void(const std::string& aPath, const std::string& aTitle)> WriteSettings;
};
class TOVUpdateXML;
class TOVUpdateUMP;
struct TFileInfo;

// What installing a file list writes, by volume. Sizes are the list's FileSize values.
struct TInstallSpace {
  int32_t FetchCount = 0;  // entries without a download copy of their size
  int64_t FetchBytes = 0;  // the sizes of those entries
  bool OneVolume = true;   // download and install folder on one volume
  // Bytes the run needs on the download folder's volume (on the one volume: the whole need)
  // and on the install folder's (0 on one volume), the safety margin included.
  int64_t TmpNeed = 0;
  int64_t PathNeed = 0;
  int64_t TmpFree = -1;  // free bytes found; -1 when not asked or not known
  int64_t PathFree = -1;
};
// Left free on a volume beyond the listed sizes: archive variants unpacked beside their
// download, files without a size, the logs and the file system's own blocks.
constexpr int64_t kInstallSpaceMargin = 16LL << 20;
// The need of installing aFiles into aPath through aTmpPath. A download copy of the listed
// size counts as present (no MD5 here: this must stay cheap for thousands of files). With
// aRealCopies (another volume, or debug mode) every file is copied into the install folder,
// else it is linked there; the files it replaces are kept on the download volume until the
// copy stage ends, which costs room only when the volumes differ.
TInstallSpace InstallSpaceNeed(const std::vector<TFileInfo>& aFiles, const std::string& aPath,
                               const std::string& aTmpPath, bool aOneVolume, bool aRealCopies);

// One module as ovinst --check sees it, without installing it.
struct TModuleCheck {
  std::string Name, Path, TmpPath;
  std::string CurVer, NewVer;  // empty when unknown
  TInstallSpace Space;
  int32_t Result = -1;  // 1 when the install could proceed
  std::string Message;  // why not
};

// The common base of the product installers: the objects an install needs and the services
// the pipeline, the module setups and the enterprise configuration build on.
class TSoftSaasHelper : public TSoftBaseHelper {
 public:
  TSoftSaasHelper();
  ~TSoftSaasHelper() override;

  TOVSyncStr& WebUpdateUrl() { return *FWebUpdateUrl; }
  TOVSyncStr& PosUpdateUrl() { return *FPosUpdateUrl; }
  TOVSyncStr& ImgSliderUrl() { return *FImgSliderUrl; }
  TOVSyncInt& ProgressMax() { return *FProgressMax; }
  TOVSyncInt& ProgressPos() { return *FProgressPos; }
  // What the operating system or the server said when the last DoAppInst failed on a file (the
  // download's error text, the file layer's reason of a failed copy); empty otherwise.
  TOVSyncStr& FailReason() { return *FFailReason; }
  const std::string& Key() const { return FKey; }
  const std::string& ModHost() const { return FModHost; }
  TNetHTTP& NetHTTP() { return *FNetHTTP; }
  TOVUpdateXML& UpdXML() { return *FUpdXML; }
  TOVUpdateUMP& UpdUMP() { return *FUpdUMP; }

  // The six operations the products differ in, in their slot order.
  virtual void GetWebHost(std::string& aHost);
  virtual void GetApiHost(std::string& aHost);
  virtual int32_t GetInstConfig(const std::string& aAppId, const std::string& aModId,
                                const std::string& aCorpId, const std::string& aInstCode,
                                std::string& aResult);
  virtual void DownImgSliders(const std::string& aAppHost, const std::string& aPath);
  virtual int32_t WebAppInst(std::string& aResult);
  virtual int32_t CaldisInst(std::string& aResult);

  // The services below are the installers' own; they are public so that the tests reach them.
  int32_t DoApiPost(const std::string& aUrl, std::string& aResult, const std::string& aHeads,
                    const std::string& aParam);
  bool DownFileRetry(const std::string& aUrl, const std::string& aFile, std::string& aErro);
  bool IsFileExists(const std::string& aFile);
  bool CheckFileMD5(const std::string& aMD5, const std::string& aFile);
  bool DelFile(const std::string& aFile);
  bool UpdateFileTime(const std::string& aFile, const std::string& aCreateTime,
                      const std::string& aModifyTime);
  void OnFileUpdate(ov::net::IHttpStack* Sender, const std::string& AUrl, const std::string& AFile,
                    int64_t AStart, int64_t AEnd, int64_t AContentLength, int64_t AReadCount,
                    int64_t ATimeStart, int64_t ATime, bool& Abort);

  // Installs one module from its update address into aPath through the download folder
  // aTmpPath: 1 done, 0 quit during the downloads, -1 failed (the message in aResult).
  int32_t DoAppInst(const std::string& aAppCode, const std::string& aAppName,
                    const std::string& aPath, const std::string& aTmpPath,
                    const std::string& aUpdateUrl, std::string& aResult);

  // How many files the download phase fetches at once: SetDownloadJobs, else "DownloadAhead"
  // in the settings file's options (1 when absent or unreadable), at most kMaxDownloadJobs.
  static constexpr int32_t kMaxDownloadJobs = 16;
  int32_t DownloadJobs();
  void SetDownloadJobs(int32_t aValue) { FDownloadJobs = aValue; }
  // One entry of the download phase through aNet, from the reuse test to its time stamps;
  // the sub-lines of its hints go to aHint. Safe on several threads at once, each with its
  // own wrapper.
  TFetchResult FetchEntry(const TFetchJob& aJob, const std::string& aUpdateUrl, TNetHTTP& aNet,
                          const std::function<void(const std::string&)>& aHint);

  // The bytes of one download connection so far, for the run's total.
  struct TByteCount {
    int64_t Last = 0;
  };
  // Adds what a connection read since its last report (a count that falls back is a new
  // file) to the run's total and reports the total: downloads on several connections at once
  // still reach the receiver as one count that only grows.
  void CountDownloadBytes(TByteCount& aCount, int64_t aRead);

  // The pre-flight check of a module, before anything is fetched or stopped: whether the
  // volumes of aPath and aTmpPath take what the run writes and whether aPath can be written.
  // 1, or -1 with the message in aResult; aSpace tells what was found.
  int32_t CheckInstallRoom(const std::string& aAppName, const std::vector<TFileInfo>& aFiles,
                           const std::string& aPath, const std::string& aTmpPath,
                           TInstallSpace& aSpace, std::string& aResult);
  // The file list of a module's update address into the update state (hints as the pipeline
  // gives them); with aReadOnly nothing is written: no package, no descriptor copy, no folder.
  bool FetchFileList(const std::string& aAppCode, const std::string& aPath,
                     const std::string& aTmpPath, const std::string& aUpdateUrl, bool aReadOnly,
                     std::string& aResult);
  // While set, the module setups only look: each fetches its file list without writing and
  // runs the pre-flight check, reporting here instead of installing.
  void SetOnModuleCheck(std::function<void(const TModuleCheck&)> aValue) {
    FOnModuleCheck = std::move(aValue);
  }

  // Service and process steps around an install of the module folder aPath (ends with "\").
  void DoBeforeStop(const std::string& aPath);
  void DoBeforeClose(const std::string& aPath);
  void DoBeforeDelete(const std::string& aPath);
  void DoAfterStart(const std::string& aPath);

  // One module from folders to services: the pipeline on a worker, the main thread servicing
  // hand-overs meanwhile. 1 on success, else -1 with the message in aResult.
  int32_t RunModuleSetup(const TModuleSetup& aSetup, std::string& aResult);
  // The web client's "OVWebClient.ini": every value AES-encrypted, each key on its own.
  void WriteWebClientIni(const std::string& aPath, const std::string& aTitle,
                         const std::string& aUpgrader, bool aWithLangType);

  // Test seam: the pause between download attempts (300 ms).
  void SetRetryPauseMs(int32_t aValue) { FRetryPauseMs = aValue; }

 protected:
  // Downloads one slide image into aFile unless it is there; true when the file exists after.
  bool FetchSlide(TNetHTTP& aNet, const std::string& aUrl, const std::string& aAppHost,
                  const std::string& aFile);
  // The slide folder below the module's download folder, created; empty when it cannot be.
  std::string PrepareSlideFolder(const std::string& aPath);

  std::string FKey;
  std::string FModHost;

 private:
  std::unique_ptr<TOVUpdateXML> FUpdXML;
  std::unique_ptr<TOVUpdateUMP> FUpdUMP;
  std::unique_ptr<TNetHTTP> FNetHTTP;
  std::unique_ptr<TOVSyncStr> FWebUpdateUrl;
  std::unique_ptr<TOVSyncStr> FPosUpdateUrl;
  std::unique_ptr<TOVSyncStr> FImgSliderUrl;
  std::unique_ptr<TOVSyncInt> FFileCount;
  std::unique_ptr<TOVSyncInt64> FFilesCurrSize;
  std::unique_ptr<TOVSyncStr> FFileDownProgress;
  std::unique_ptr<TOVSyncInt> FProgressMax;
  std::unique_ptr<TOVSyncInt> FProgressPos;
  std::unique_ptr<TOVSyncStr> FFailReason;
  int32_t FRetryPauseMs = 300;
  int32_t FDownloadJobs = 0;  // 0: from the settings file
  std::mutex FBytesLock;
  int64_t FBytesAll = 0;
  TByteCount FMainBytes;
  std::function<void(const TModuleCheck&)> FOnModuleCheck;

  void Advance(int32_t aBy);
  // DownFileRetry through a given wrapper: the slide thread has one of its own. Once the
  // installer is stopped no further attempt is made.
  bool DownFileRetryWith(TNetHTTP& aNet, const std::string& aUrl, const std::string& aFile,
                         std::string& aErro);
  void RaiseProgress(int32_t aOffset);
  // The module of RunModuleSetup under FOnModuleCheck.
  int32_t CheckModule(const std::string& aAppCode, const std::string& aAppName,
                      const std::string& aPath, const std::string& aTmpPath,
                      const std::string& aUpdateUrl, std::string& aResult);
};
