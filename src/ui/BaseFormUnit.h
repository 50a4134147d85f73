#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/OVControlsUtil.h"

class TOVSkin;

// The window the dialogs centre on (the application's main form); none: the screen.
void SetMainForm(QWidget* aForm);
QWidget* MainForm();

// Key codes of the forms' key handlers, numbered as the desktop's virtual keys.
enum TOVKey : uint16_t {
  vkReturn = 13,
  vkEscape = 27,
  vkF1 = 112,
  vkF2 = 113,
  vkF5 = 116,
  vkF12 = 123,
};
// A Qt key as a virtual key (both Enter keys 13, Esc 27, F1 to F12 112 to 123, digits and
// letters their ASCII upper-case codes); 0 for keys without one here.
uint16_t QtKeyToVirtualKey(int aQtKey);

// Which edges of its parent a control keeps its distance to when the parent is resized.
enum TAnchor : uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// The common base of the installer's frameless dialogs: its own title label, close image and
// optional minimise label, drawn in the skin's colours and dragged by its background.
class TBaseForm : public QDialog {
 public:
  explicit TBaseForm(QWidget* aParent = nullptr);
  ~TBaseForm() override;

  // When true at showing, the window stays on top on the desktop's monitor.
  bool IsDesktop = false;
  int32_t iResult() const { return FiResult; }

  // Controls. All of them lie on pnlBack, which fills the window.
  TOVPanel* pnlBack = nullptr;
  TOVLabel* lblTitle = nullptr;
  TOVLabel* lblMin = nullptr;
  TOVLabel* lblSysButtonBack = nullptr;
  TOVImage* imgClose = nullptr;

  // Applies the current skin to the form; descendants extend it.
  virtual void LoadSkin();

  // Handlers.
  void FormCreate();
  void FormDestroy();
  virtual void FormShow();
  // Key is a code of the enum above; a handler that uses the key sets it to 0.
  virtual void FormKeyDown(uint16_t& Key);
  void FormKeyPress(char16_t& Key);
  void FormMouseMove(QMouseEvent* aEvent);
  void lblCloseClick(QWidget* Sender);
  void lblMinClick(QWidget* Sender);
  void lblMinMouseEnter(QWidget* Sender);
  void lblMinMouseLeave(QWidget* Sender);
  void imgCloseMouseEnter(QWidget* Sender);
  void imgCloseMouseLeave(QWidget* Sender);
  void lblButtonMouseEnter(QWidget* Sender);
  void lblButtonMouseLeave(QWidget* Sender);
  void lblLinkMouseEnter(QWidget* Sender);
  void lblLinkMouseLeave(QWidget* Sender);
  void lblButtonClick(QWidget* Sender);

  // Client size and control placement. Anchored controls keep their distances to the edges
  // they are anchored to whenever the window's size changes.
  void SetClientSize(int aWidth, int aHeight);
  void SetFormWidth(int aWidth) { SetClientSize(aWidth, height()); }
  void SetAnchors(QWidget* aControl, uint8_t aAnchors);
  void PlaceControl(QWidget* aControl, int aLeft, int aTop, int aWidth, int aHeight);
  void PlaceControl(QWidget* aControl, int aLeft, int aTop) {
    PlaceControl(aControl, aLeft, aTop, aControl->width(), aControl->height());
  }

  // The window's own colour and font colour (the skin's once it is applied).
  uint32_t FormColor() const { return FFormColor; }
  uint32_t FormFontColor() const { return FFormFontColor; }

  // The skin the form is drawn in: the process-wide one, else the default palette.
  static const TOVSkin& CurrentSkin();

  void setVisible(bool aVisible) override;

 protected:
  int32_t FiResult = -1;

  void keyPressEvent(QKeyEvent* aEvent) override;
  void mousePressEvent(QMouseEvent* aEvent) override;
  void mouseMoveEvent(QMouseEvent* aEvent) override;
  void mouseReleaseEvent(QMouseEvent* aEvent) override;
  void resizeEvent(QResizeEvent* aEvent) override;
  // Where the window goes when it is shown: the screen's centre.
  virtual void PlaceOnShow();
  // Runs after the window's size changed and the anchored controls followed.
  virtual void AlignControls() {}
  // Applies a font of aName at aPoints points (or aPixels pixels) to aWidget.
  static void ApplyFont(QWidget* aWidget, const std::string& aName, int aPoints, int aPixels = 0);
  void CenterOn(const QRect& aArea);

 private:
  struct TAnchorRec {
    QPointer<QWidget> Control;
    uint8_t Anchors = akLeft | akTop;
    int Right = 0;   // distance of the right edge to the parent's right edge
    int Bottom = 0;  // distance of the bottom edge to the parent's bottom edge
  };
  TAnchorRec* FindAnchor(QWidget* aControl);
  void RecordAnchor(TAnchorRec& aRec);
  void ApplyLayout();

  uint32_t FFormColor = 0x00FFFFFF;
  uint32_t FFormFontColor = 0x00000000;
  std::vector<TAnchorRec> FAnchors;
  QSize FLayoutSize;
  TOVWindowDrag FDrag;
};
