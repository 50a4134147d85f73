#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MessageBox.h"
#include "ui/BaseFormUnit.h"

// The button event of the message box: aIsCanDo comes in true; a handler that sets it to
// false keeps the box open. aButtonIndex is 1 for OK, 2 for NO, 3 for ReTry.
using TOnMsgBoxButtonClick = std::function<void(bool& aIsCanDo, int32_t aButtonIndex)>;

// The program's message box: a message, an optional hint line and warning picture, and up to
// three buttons that also answer to the key named in their captions ("确定(Enter)").
class TMsgBox : public TBaseForm {
 public:
  explicit TMsgBox(QWidget* aParent = nullptr);
  ~TMsgBox() override;

  // Controls.
  TOVLabel* lblReTry = nullptr;
  TOVLabel* lblOK = nullptr;
  TOVLabel* lblNO = nullptr;
  TOVImage* imgWarning = nullptr;
  TOVPanel* pnlView = nullptr;
  TOVLabel* lblMsg = nullptr;
  TOVLabel* lblHint = nullptr;
  QTimer* tmrBringFront = nullptr;

  // 0 information, 1 warning.
  int32_t MsgType() const { return FMsgType; }
  void SetMsgType(int32_t Value);

  // Resting colours of the buttons. A value of 0 (or a negative one) takes the skin's colour
  // when the box is shown; a positive one stored before showing stays.
  uint32_t OKColor() const { return FOKColor; }
  void SetOKColor(uint32_t aValue) { FOKColor = aValue; }
  uint32_t NOColor() const { return FNOColor; }
  void SetNOColor(uint32_t aValue) { FNOColor = aValue; }
  uint32_t RTColor() const { return FRTColor; }
  void SetRTColor(uint32_t aValue) { FRTColor = aValue; }
  uint32_t OKFontColor() const { return FOKFontColor; }
  void SetOKFontColor(uint32_t aValue) { FOKFontColor = aValue; }
  uint32_t NOFontColor() const { return FNOFontColor; }
  void SetNOFontColor(uint32_t aValue) { FNOFontColor = aValue; }
  uint32_t RTFontColor() const { return FRTFontColor; }
  void SetRTFontColor(uint32_t aValue) { FRTFontColor = aValue; }

  // One character per button (OK, NO, ReTry); "1" raises OnButtonClick for that button.
  const std::string& ButtonEnventTags() const { return FButtonEnventTags; }
  void SetButtonEnventTags(const std::string& aValue) { FButtonEnventTags = aValue; }
  const TOnMsgBoxButtonClick& OnButtonClick() const { return FOnButtonClick; }
  void SetOnButtonClick(TOnMsgBoxButtonClick aValue) { FOnButtonClick = std::move(aValue); }

  void LoadSkin() override;
  void FormKeyDown(uint16_t& Key) override;

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void FormShow() override;
  void lblOKClick(QWidget* Sender);
  void lblNOClick(QWidget* Sender);
  void lblReTryClick(QWidget* Sender);
  void lblOKMouseEnter(QWidget* Sender);
  void lblOKMouseLeave(QWidget* Sender);
  void tmrBringFrontTimer();

  // The text between the first "(" and the first ")" of a caption; empty without a "(".
  static std::string SelectHotKey(const std::string& aCaption);
  // The name a key has in captions ("enter", "esc", "f1" to "f12"); empty for other keys.
  static std::string KeyName(uint16_t aKey);

 protected:
  void PlaceOnShow() override;
  void AlignControls() override;
  bool eventFilter(QObject* aWatched, QEvent* aEvent) override;

 private:
  void ButtonClick(int32_t aIndex, int32_t aResult);
  bool ButtonHasEvent(int32_t aIndex) const;
  // True when the key named the button's hot key and its click ran.
  bool DispatchHotKey(TOVLabel* aButton, uint16_t aKey);
  void ClickButton(TOVLabel* aButton);
  static bool CanPress(const TOVLabel* aButton);

  int32_t FMsgType = 0;
  uint32_t FOKColor = 0;
  uint32_t FNOColor = 0;
  uint32_t FRTColor = 0;
  uint32_t FOKFontColor = 0;
  uint32_t FNOFontColor = 0;
  uint32_t FRTFontColor = 0;
  std::string FButtonEnventTags;
  TOnMsgBoxButtonClick FOnButtonClick;
};

// The body of TovLib::MsgBox: a modal information box with one OK button.
void ShowInfoBox(const std::string& aMsg, const std::string& aTitle);

// The window's message box for the core (platform/MessageBox.h). Called from another thread
// it shows the box on the GUI thread and waits for it.
std::shared_ptr<ov::platform::IMessageBox> CreateQtMessageBox();
