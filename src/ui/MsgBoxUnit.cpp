#include "ui/MsgBoxUnit.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "base/OVStrUtil.h"
#include "ui/OVSkinUtil.h"

namespace {

const char* const kDesignFont = "微软雅黑";
const int kDesignWidth = 520;
const int kViewLeft = 96;
const int kViewWidth = 404;

// The warning glyph: an orange triangle with an exclamation mark, centred in the picture.
QImage WarningPicture() {
  QImage img(66, 156, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath tri;
  tri.moveTo(33, 52);
  tri.lineTo(62, 104);
  tri.lineTo(4, 104);
  tri.closeSubpath();
  p.fillPath(tri, QColor(0xFF, 0x80, 0x00));
  p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(33, 67), QPointF(33, 88));
  p.drawPoint(QPointF(33, 97));
  return img;
}

bool TakesSkinColor(uint32_t aColor) { return static_cast<int32_t>(aColor) <= 0; }

}  // namespace

TMsgBox::TMsgBox(QWidget* aParent) : TBaseForm(aParent) {
  setWindowTitle(QStringLiteral("消息"));
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  SetClientSize(kDesignWidth, 280);

  auto makeButton = [this](const QString& aCaption, int aLeft) {
    auto* b = new TOVLabel(pnlBack, aCaption);
    b->SetTransparent(false);
    b->setAlignment(Qt::AlignCenter);
    ApplyFont(b, kDesignFont, 0, 15);
    b->SetFontColor(0x00FFFFFF);
    b->SetColor(0x000080FF);
    PlaceControl(b, aLeft, 207, 120, 38);
    SetAnchors(b, akRight | akBottom);
    b->OnMouseEnter = [this](QWidget* s) { lblOKMouseEnter(s); };
    b->OnMouseLeave = [this](QWidget* s) { lblOKMouseLeave(s); };
    return b;
  };
  lblReTry = makeButton(QStringLiteral("重试(F2)"), 117);
  lblReTry->hide();
  lblOK = makeButton(QStringLiteral("确定(Enter)"), 238);
  lblNO = makeButton(QStringLiteral("取消(Esc)"), 359);
  lblNO->SetTag(1);
  lblReTry->OnClick = [this](QWidget* s) { lblReTryClick(s); };
  lblOK->OnClick = [this](QWidget* s) { lblOKClick(s); };
  lblNO->OnClick = [this](QWidget* s) { lblNOClick(s); };

  imgWarning = new TOVImage(pnlBack);
  imgWarning->SetPicture(WarningPicture(), "png");
  imgWarning->setAttribute(Qt::WA_NoMousePropagation);
  PlaceControl(imgWarning, 24, 45, 66, 156);
  imgWarning->hide();

  pnlView = new TOVPanel(pnlBack);
  pnlView->SetColor(0x00FFFFFF);
  // The message area is not a handle for dragging the window.
  pnlView->setAttribute(Qt::WA_NoMousePropagation);
  PlaceControl(pnlView, kViewLeft, 45, kViewWidth, 156);
  SetAnchors(pnlView, akLeft | akTop | akRight | akBottom);

  lblMsg = new TOVLabel(pnlView, QStringLiteral("消息内容..."));
  lblMsg->setAlignment(Qt::AlignCenter);
  lblMsg->setWordWrap(true);
  lblHint = new TOVLabel(pnlView, QStringLiteral("消息说明"));
  lblHint->setWordWrap(true);
  ApplyFont(lblHint, kDesignFont, 0, 13);
  lblHint->resize(kViewWidth, 99);
  lblHint->hide();
  pnlView->installEventFilter(this);
  lblHint->installEventFilter(this);
  AlignControls();

  // This window has its own places for the inherited controls.
  PlaceControl(lblMin, 426, -1);
  PlaceControl(lblSysButtonBack, 478, -1);
  PlaceControl(imgClose, 484, 7);
  imgClose->raise();

  tmrBringFront = new QTimer(this);
  tmrBringFront->setInterval(1000);
  QObject::connect(tmrBringFront, &QTimer::timeout, this, [this] { tmrBringFrontTimer(); });

  FormCreate();
}

TMsgBox::~TMsgBox() {
  pnlView->removeEventFilter(this);
  lblHint->removeEventFilter(this);
  FormDestroy();
}

void TMsgBox::FormCreate() {
  TBaseForm::FormCreate();
  FMsgType = 0;
  FiResult = -1;
  FButtonEnventTags.clear();
  FOnButtonClick = nullptr;
  FOKColor = FNOColor = FRTColor = 0;
  FOKFontColor = FNOFontColor = FRTFontColor = 0;
}

void TMsgBox::FormDestroy() { tmrBringFront->stop(); }

void TMsgBox::FormShow() {
  TBaseForm::FormShow();
  tmrBringFront->start();
}

void TMsgBox::tmrBringFrontTimer() {
  if (isVisible()) raise();
}

void TMsgBox::PlaceOnShow() {
  QWidget* main = MainForm();
  if (main && main != this && main->isVisible()) {
    CenterOn(main->frameGeometry());
  } else {
    TBaseForm::PlaceOnShow();
  }
}

// The message fills the panel above the hint line, or all of it while the hint is hidden.
void TMsgBox::AlignControls() {
  if (!pnlView || !lblMsg || !lblHint) return;
  const int w = pnlView->width();
  const int h = pnlView->height();
  int msgHeight = h;
  if (!lblHint->isHidden()) {
    const int hintHeight = lblHint->height();
    lblHint->setGeometry(0, h - hintHeight, w, hintHeight);
    msgHeight = std::max(0, h - hintHeight);
  } else {
    lblHint->resize(w, lblHint->height());
  }
  lblMsg->setGeometry(0, 0, w, msgHeight);
}

bool TMsgBox::eventFilter(QObject* aWatched, QEvent* aEvent) {
  if ((aWatched == pnlView && aEvent->type() == QEvent::Resize) ||
      (aWatched == lblHint &&
       (aEvent->type() == QEvent::ShowToParent || aEvent->type() == QEvent::HideToParent))) {
    AlignControls();
  }
  return TBaseForm::eventFilter(aWatched, aEvent);
}

void TMsgBox::SetMsgType(int32_t Value) {
  // Laid out from the full width every time, so the result does not depend on an earlier
  // type.
  SetFormWidth(kDesignWidth);
  const bool warning = Value == 1;
  imgWarning->setVisible(warning);
  if (warning) {
    PlaceControl(pnlView, kViewLeft, pnlView->y(), kViewWidth, pnlView->height());
  } else {
    const int left = imgWarning->x();
    PlaceControl(pnlView, left, pnlView->y(), kViewLeft - left + kViewWidth, pnlView->height());
  }
  QFont f = font();
  f.setPointSize(warning ? 18 : 11);
  lblMsg->setFont(f);
  lblMsg->SetFontColor(warning ? 0x000000FF : FormFontColor());
  lblHint->resize(lblHint->width(), warning ? 80 : 105);
  SetFormWidth(warning ? kDesignWidth : 480);
  FMsgType = Value;
}

void TMsgBox::LoadSkin() {
  TBaseForm::LoadSkin();
  const TOVSkin& skin = CurrentSkin();
  pnlView->SetColor(FormColor());
  pnlView->setFont(font());
  // The message keeps its size and takes the skin's family.
  QFont f = font();
  const QFont& msgFont = lblMsg->font();
  if (msgFont.pointSize() > 0) {
    f.setPointSize(msgFont.pointSize());
  } else if (msgFont.pixelSize() > 0) {
    f.setPixelSize(msgFont.pixelSize());
  }
  lblMsg->setFont(f);
  lblHint->SetFontColor(skin.form_hint_font);
  // The information text is drawn in the window's font colour, which the skin has just set.
  if (FMsgType != 1) lblMsg->SetFontColor(FormFontColor());
  auto rest = [](uint32_t& aStored, uint32_t aSkin) {
    if (TakesSkinColor(aStored)) aStored = aSkin;
    return aStored;
  };
  lblOK->SetColor(rest(FOKColor, skin.button_defback));
  lblOK->SetFontColor(rest(FOKFontColor, skin.button_deffont));
  lblReTry->SetColor(rest(FRTColor, skin.button_defback));
  lblReTry->SetFontColor(rest(FRTFontColor, skin.button_deffont));
  lblNO->SetColor(rest(FNOColor, skin.button_exit_defback));
  lblNO->SetFontColor(rest(FNOFontColor, skin.button_exit_deffont));
}

// Buttons

bool TMsgBox::ButtonHasEvent(int32_t aIndex) const {
  if (FButtonEnventTags.empty() || aIndex < 1) return false;
  const size_t i = static_cast<size_t>(aIndex - 1);
  return i < FButtonEnventTags.size() && FButtonEnventTags[i] == '1';
}

void TMsgBox::ButtonClick(int32_t aIndex, int32_t aResult) {
  tmrBringFront->stop();
  if (FOnButtonClick && ButtonHasEvent(aIndex)) {
    bool canDo = true;
    FOnButtonClick(canDo, aIndex);
    if (!canDo) return;
  }
  FiResult = aResult;
  close();
}

void TMsgBox::lblOKClick(QWidget*) { ButtonClick(1, 1); }
void TMsgBox::lblNOClick(QWidget*) { ButtonClick(2, 0); }
void TMsgBox::lblReTryClick(QWidget*) { ButtonClick(3, 2); }

void TMsgBox::lblOKMouseEnter(QWidget* Sender) { lblButtonMouseEnter(Sender); }

void TMsgBox::lblOKMouseLeave(QWidget* Sender) {
  if (Sender == lblOK) {
    lblOK->SetColor(FOKColor);
    lblOK->SetFontColor(FOKFontColor);
  } else if (Sender == lblNO) {
    lblNO->SetColor(FNOColor);
    lblNO->SetFontColor(FNOFontColor);
  } else if (Sender == lblReTry) {
    lblReTry->SetColor(FRTColor);
    lblReTry->SetFontColor(FRTFontColor);
  }
}

// Keys

std::string TMsgBox::SelectHotKey(const std::string& aCaption) {
  const size_t open = aCaption.find('(');
  if (open == std::string::npos) return {};
  const size_t close = aCaption.find(')');
  if (close == std::string::npos || close < open) return {};
  return aCaption.substr(open + 1, close - open - 1);
}

std::string TMsgBox::KeyName(uint16_t aKey) {
  if (aKey == vkReturn) return "enter";
  if (aKey == vkEscape) return "esc";
  if (aKey >= vkF1 && aKey <= vkF12) return "f" + std::to_string(aKey - vkF1 + 1);
  return {};
}

bool TMsgBox::CanPress(const TOVLabel* aButton) {
  return !aButton->isHidden() && aButton->isEnabled();
}

void TMsgBox::ClickButton(TOVLabel* aButton) {
  if (aButton == lblOK) {
    lblOKClick(aButton);
  } else if (aButton == lblNO) {
    lblNOClick(aButton);
  } else if (aButton == lblReTry) {
    lblReTryClick(aButton);
  }
}

bool TMsgBox::DispatchHotKey(TOVLabel* aButton, uint16_t aKey) {
  const std::string hot = SelectHotKey(OVStdStr(aButton->Caption()));
  if (hot.empty() || !CanPress(aButton)) return false;
  const std::string name = KeyName(aKey);
  if (name.empty() || !ov::str::SameText(name, hot)) return false;
  ClickButton(aButton);
  return true;
}

void TMsgBox::FormKeyDown(uint16_t& Key) {
  // A button whose caption names no key answers to its default key.
  auto byDefault = [&](TOVLabel* aButton) {
    if (!CanPress(aButton) || !SelectHotKey(OVStdStr(aButton->Caption())).empty()) return false;
    Key = 0;
    ClickButton(aButton);
    return true;
  };
  if (Key == vkF2 && byDefault(lblReTry)) return;
  if (Key == vkReturn && byDefault(lblOK)) return;
  if (Key == vkEscape && byDefault(lblNO)) return;
  // One key presses one button: the first whose caption names it.
  for (TOVLabel* b : {lblReTry, lblOK, lblNO}) {
    if (DispatchHotKey(b, Key)) {
      Key = 0;
      return;
    }
  }
}

// The message box of TovLib

void ShowInfoBox(const std::string& aMsg, const std::string& aTitle) {
  auto box = std::make_unique<TMsgBox>(nullptr);
  const QString title = OVQStr(aTitle);
  box->setWindowTitle(title);
  box->SetMsgType(0);
  box->lblTitle->SetCaption(title);
  box->lblMsg->SetCaption(OVQStr(aMsg));
  box->lblNO->hide();
  box->PlaceControl(box->lblOK, (box->width() - box->lblOK->width()) / 2, box->lblOK->y());
  box->exec();
}

namespace {

class TDone {
 public:
  void Set() {
    std::lock_guard<std::mutex> g(FLock);
    FDone = true;
    FCond.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> g(FLock);
    FCond.wait(g, [this] { return FDone; });
  }

 private:
  std::mutex FLock;
  std::condition_variable FCond;
  bool FDone = false;
};

class TQtMessageBox : public ov::platform::IMessageBox {
 public:
  void ShowMessage(const std::string& aMsg, const std::string& aTitle) override {
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app)) {
      FFallback->ShowMessage(aMsg, aTitle);
      return;
    }
    if (QThread::currentThread() == app->thread()) {
      ShowInfoBox(aMsg, aTitle);
      return;
    }
    // Widgets live on the GUI thread only; the caller waits as it would for a modal box. The
    // wait ends when the queued call is gone, run or dropped with the application.
    auto done = std::make_shared<TDone>();
    {
      auto notify = std::shared_ptr<void>(nullptr, [done](void*) { done->Set(); });
      QMetaObject::invokeMethod(
          app, [aMsg, aTitle, notify] { ShowInfoBox(aMsg, aTitle); }, Qt::QueuedConnection);
    }
    done->Wait();
  }

 private:
  // Without a widget application there is no window to show.
  std::shared_ptr<ov::platform::IMessageBox> FFallback = ov::platform::CreateStdErrMessageBox();
};

}  // namespace

std::shared_ptr<ov::platform::IMessageBox> CreateQtMessageBox() {
  return std::make_shared<TQtMessageBox>();
}
