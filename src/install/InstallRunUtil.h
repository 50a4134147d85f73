#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TSoftSaasHelper;
struct TModuleCheck;

// What the user chose for an install: the product row, the ticked modules and the folder.
struct TInstallChoice {
  std::string Code;  // product code, matched without regard to case
  bool Web = false;
  bool Pos = false;
  std::string Path;
};

// The front end's side of an install run: the window's labels and bar, or the console.
class IInstallReceiver {
 public:
  virtual ~IInstallReceiver() = default;
  virtual void ShowInstHint(const std::string& aHint, const std::string& aSubHint) = 0;
  virtual void ShowInstProgress(int32_t aPos, int32_t aMax) = 0;
  virtual void ShowFileDownProgressHint(const std::string& aHint) = 0;
  // False for a receiver that ignores the download text: the installer then does not hand
  // every progress step of a download over to the main thread for it.
  virtual bool WantsFileDownProgressHint() const { return true; }
  // True for a receiver whose hint handlers may run on any thread: the installer then calls
  // them on its worker directly instead of handing each hint to the main thread.
  virtual bool TakesHintsOnAnyThread() const { return false; }
  // The bytes downloaded so far, a count that grows over the run (one that falls starts
  // again). Called on a downloading thread, one call at a time; a receiver that uses it must
  // be thread-safe.
  virtual void ShowDownloadBytes(int64_t /*aRead*/, int64_t /*aTotal*/) {}
  // Around each module of the run, on the caller's thread: its name, then its result (1 or -1)
  // with the message of a failure.
  virtual void ShowModuleStart(const std::string& /*aName*/) {}
  virtual void ShowModuleEnd(const std::string& /*aName*/, int32_t /*aResult*/,
                             const std::string& /*aMessage*/) {}
};

// What a product row remembers and where it installs by default.
struct TProductInfo {
  std::string Code;         // as the product table writes it
  std::string DisplayName;  // into TSoftVar's name
  std::string ValuePrefix;  // "Ketrin": the remembered values KetrinWeb, KetrinPos, KetrinPath
  std::string PathValue;    // the remembered folder's value name
  std::string PathFileKey;  // service rows: the product's own key holding "PathFile", else empty
  std::string DefaultPath;  // before the drive choice
};
// False for a code without a row.
bool ProductInfo(const std::string& aCode, TProductInfo& aInfo);

// The process-wide installer of a product row; nullptr for a code without a row or an
// installer that was not created.
TSoftSaasHelper* ProductInstaller(const std::string& aCode);
// Whether the row installs one module only (the service products).
bool IsSingleModuleProduct(const std::string& aCode);

// The Install button's preparation for the row: the web module's address and the install
// configuration of the point-of-sale or service module. 1, or -1 with the message in aResult.
int32_t PrepareInstall(const TInstallChoice& aChoice, std::string& aResult);

// The row's starter: every chosen module in order, a pause of aPauseMs between two, stop at
// the first failure. 1 when all were installed, else -1 with the failed module's message.
int32_t RunInstall(const TInstallChoice& aChoice, IInstallReceiver& aReceiver, std::string& aResult,
                   int32_t aPauseMs = 1000);

// What RunInstall would do, writing nothing: every chosen module fetches its file list without
// keeping it and runs the pre-flight check; each module's findings go to aOnModule, also after
// a failed one. 1 when every module could be installed, else -1 with the first failure's
// message.
int32_t CheckInstall(const TInstallChoice& aChoice,
                     const std::function<void(const TModuleCheck&)>& aOnModule,
                     std::string& aResult);

// The choices remembered for the next start: the module boxes ("1"/"0", two-module rows) and
// the folder, under the installer's own key.
void SaveInstChoices(const TInstallChoice& aChoice, const std::string& aCorpId = "");
// The remembered folder of a row, else its default moved to a usable drive.
std::string RememberedPath(const std::string& aCode);
