#pragma once

#include <QLineEdit>
#include <QPoint>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/InstallRunUtil.h"
#include "ui/OVControlsUtil.h"

// The product code this program was built for.
const char* BuildProductCode();

// An edit with a tag and the key-down event of the window's edits (key codes as the desktop's
// virtual keys; a handler that uses the key sets it to 0).
class TOVEdit : public QLineEdit {
 public:
  explicit TOVEdit(QWidget* aParent) : QLineEdit(aParent) {}
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t aValue) { FTag = aValue; }
  std::function<void(QWidget* Sender, uint16_t& Key)> OnKeyDown;

 protected:
  void keyPressEvent(QKeyEvent* aEvent) override;

 private:
  int32_t FTag = 0;
};

// A timer with a tag.
class TOVTimer : public QTimer {
 public:
  explicit TOVTimer(QObject* aParent) : QTimer(aParent) {}
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t aValue) { FTag = aValue; }

 private:
  int32_t FTag = 0;
};

// The installer's main window: four cards (code, options, progress, finish) for one product
// row, chosen when the window is made (the build's product unless a test names another).
class TOLSMain : public QWidget, public IInstallReceiver {
 public:
  explicit TOLSMain(const std::string& aProductCode = BuildProductCode());
  ~TOLSMain() override;

  // Controls.
  TOVPanel* pnlBack = nullptr;
  QStackedWidget* crdpnl = nullptr;
  QWidget* crdformcode = nullptr;
  QWidget* crdformoptn = nullptr;
  QWidget* crdforminst = nullptr;
  QWidget* crdformfnsh = nullptr;
  // Shared between the cards.
  TOVImage* imgInstBack = nullptr;
  TOVImage* imgClose = nullptr;
  TOVImage* imgInstLogo = nullptr;
  TOVLabel* lblTitle = nullptr;
  TOVLabel* lblInstTitle = nullptr;
  TOVImage* imgCN = nullptr;
  TOVImage* imgEN = nullptr;
  // Code card.
  TOVLabel* lblInstCorpId = nullptr;
  TOVLabel* lblInstCode = nullptr;
  TOVEdit* edtInstCorpId = nullptr;
  TOVEdit* edtInstCode = nullptr;
  TOVImage* imgCodeInst = nullptr;
  TOVLabel* lblCodeInst = nullptr;
  TOVImage* imgInstLogoZel0 = nullptr;
  TOVImage* imgInstLogoZel1 = nullptr;
  TOVLabel* lblTitleTest = nullptr;
  // Options card.
  TOVImage* imgchkmodweb1 = nullptr;
  TOVImage* imgchkmodweb2 = nullptr;
  TOVLabel* lblchkmodweb = nullptr;
  TOVImage* imgchkmodpos1 = nullptr;
  TOVImage* imgchkmodpos2 = nullptr;
  TOVLabel* lblchkmodpos = nullptr;
  TOVLabel* lblModPath = nullptr;
  TOVEdit* edtModPath = nullptr;
  TOVImage* imgModPathSelect = nullptr;
  TOVImage* imgOptnInst = nullptr;
  TOVLabel* lblModInst = nullptr;
  // Progress card.
  TOVImage* imgSlider = nullptr;
  std::array<TOVImage*, 9> imgSliders{};  // imgSlider1 to imgSlider9
  TOVPanel* pnlcrdcv3footBack = nullptr;
  TOVPanel* pnlcrdcv3foot = nullptr;
  TOVLabel* lblModInstHint = nullptr;
  QProgressBar* pbModInst = nullptr;
  TOVLabel* lblModInstSubHint = nullptr;
  TOVLabel* lblInstSubProgress = nullptr;
  // Finish card.
  TOVLabel* lblFnshInstTips = nullptr;
  TOVImage* imgFnshInst = nullptr;
  TOVLabel* lblFnshInst = nullptr;
  // Timers.
  TOVTimer* tmrInst = nullptr;
  TOVTimer* tmrSlider = nullptr;

  // The product row's code as the product table writes it (empty without a row).
  const std::string& ProductCode() const { return FCode; }
  uint32_t Color() const { return FColor; }
  // Test seam: the pause after each installed module (1000 ms).
  void SetModulePauseMs(int32_t aValue) { FModulePauseMs = aValue; }

  // Handlers.
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void FormClose();
  void imgCNClick(QWidget* Sender);
  void imgCloseClick(QWidget* Sender);
  void imgCloseMouseEnter(QWidget* Sender);
  void imgCloseMouseLeave(QWidget* Sender);
  void lblchkmodwebClick(QWidget* Sender);
  void lblchkmodposClick(QWidget* Sender);
  void edtInstCorpIdKeyDown(QWidget* Sender, uint16_t& Key);
  void edtInstCodeKeyDown(QWidget* Sender, uint16_t& Key);
  void edtModPathKeyDown(QWidget* Sender, uint16_t& Key);
  void lblCodeInstClick(QWidget* Sender);
  void lblcorvelaSetPathClick(QWidget* Sender);
  void lblModInstClick(QWidget* Sender);
  void lblFnshInstClick(QWidget* Sender);
  void tmrInstTimer();
  void tmrSliderTimer();

  // The installer's events. ShowInstProgress may be called on any thread; the others run on
  // the UI thread.
  void ShowInstHint(const std::string& aHint, const std::string& aSubHint) override;
  void ShowInstProgress(int32_t aPos, int32_t aMax) override;
  void ShowFileDownProgressHint(const std::string& aHint) override;

 protected:
  void InitProduct();
  void ApplyColors();
  void ApplyLanguage();
  void SwitchLanguage(const std::string& aLangCode);
  void FitInstTitle();
  void SetModCheck(TOVLabel* aLabel, TOVImage* aImgOff, bool aTicked, TOVImage* aImgOn);
  bool LoadSliderImage(int32_t n, TOVImage* aSlot);
  // The starters of the product rows.
  void InstCorvela();
  void InstPindor();
  void InstKetrin();
  void InstDaskor();
  void InstZelapp();
  void InstZelntr();
  void InstZelcv();
  void InstBrvapp();
  void SaveInstChoices();
  // The Install button's per-product preparation (a test seam).
  virtual int32_t PrepareChoice(const TInstallChoice& aChoice, std::string& aResult);

  void showEvent(QShowEvent* aEvent) override;
  void closeEvent(QCloseEvent* aEvent) override;
  bool eventFilter(QObject* aWatched, QEvent* aEvent) override;

 private:
  void CreateControls();
  void CreateProgressCard();
  void CreateFinishCard();
  // Re-parents controls to a card, keeping their places; the background goes to the back.
  void MoveShared(QWidget* aCard, const std::vector<QWidget*>& aControls);
  std::vector<QWidget*> SharedControls() const;
  void RunStarter();
  TInstallChoice Choice() const;
  void ApplyProgress();
  // True when the move belongs to a drag of the window.
  bool FormMouseMove(QMouseEvent* aEvent);
  bool IsDragSurface(const QWidget* aWidget) const;

  std::string FCode;
  uint32_t FColor = 0x00EAEAE8;
  bool FShown = false;
  bool FOwnsSyncObj = false;
  bool FOwnsOvUpdate = false;
  int32_t FModulePauseMs = 1000;
  TOVWindowDrag FDrag;
  // The last progress received on any thread, applied on the UI thread.
  std::atomic<int64_t> FPendingProgress{0};
  std::atomic<bool> FProgressQueued{false};
};
