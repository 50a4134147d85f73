#include "ui/BaseFormUnit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>
#include <memory>

#include "ui/OVSkinUtil.h"

namespace {

QPointer<QWidget> gMainForm;

const char* const kDesignFont = "微软雅黑";

// The close glyph: a grey cross with soft edges on a transparent ground.
QImage ClosePicture() {
  QImage img(25, 25, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x80, 0x80, 0x80), 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(7, 7), QPointF(18, 18));
  p.drawLine(QPointF(18, 7), QPointF(7, 18));
  return img;
}

}  // namespace

void SetMainForm(QWidget* aForm) { gMainForm = aForm; }
QWidget* MainForm() { return gMainForm.data(); }

uint16_t QtKeyToVirtualKey(int aQtKey) {
  if (aQtKey == Qt::Key_Return || aQtKey == Qt::Key_Enter) return vkReturn;
  if (aQtKey == Qt::Key_Escape) return vkEscape;
  if (aQtKey >= Qt::Key_F1 && aQtKey <= Qt::Key_F12) {
    return static_cast<uint16_t>(vkF1 + (aQtKey - Qt::Key_F1));
  }
  if ((aQtKey >= Qt::Key_0 && aQtKey <= Qt::Key_9) ||
      (aQtKey >= Qt::Key_A && aQtKey <= Qt::Key_Z)) {
    return static_cast<uint16_t>(aQtKey);
  }
  return 0;
}

TBaseForm::TBaseForm(QWidget* aParent) : QDialog(aParent, Qt::Dialog | Qt::FramelessWindowHint) {
  setWindowTitle(QStringLiteral("窗体基类"));
  setFocusPolicy(Qt::StrongFocus);
  ApplyFont(this, kDesignFont, 0, 15);
  resize(651, 338);

  pnlBack = new TOVPanel(this);
  pnlBack->SetBevel(true);
  pnlBack->SetColor(0x00FFFFFF);
  ApplyLayout();

  lblTitle = new TOVLabel(pnlBack, QStringLiteral("窗体基类"));
  lblTitle->SetAutoSize(true);
  PlaceControl(lblTitle, 24, 12);

  lblMin = new TOVLabel(pnlBack, QStringLiteral("-"));
  lblMin->setCursor(Qt::PointingHandCursor);
  lblMin->setAlignment(Qt::AlignCenter);
  ApplyFont(lblMin, kDesignFont, 0, 21);
  PlaceControl(lblMin, 557, -1, 45, 40);
  SetAnchors(lblMin, akTop | akRight);
  lblMin->hide();

  // Behind the close image, which it lights up.
  lblSysButtonBack = new TOVLabel(pnlBack);
  lblSysButtonBack->SetTransparent(false);
  lblSysButtonBack->SetColor(0x00EAEAE8);
  PlaceControl(lblSysButtonBack, 607, -1, 40, 36);
  lblSysButtonBack->hide();

  imgClose = new TOVImage(pnlBack);
  imgClose->SetPicture(ClosePicture(), "png");
  PlaceControl(imgClose, 615, 7, 25, 25);
  SetAnchors(imgClose, akTop | akRight);

  imgClose->OnClick = [this](QWidget* s) { lblCloseClick(s); };
  imgClose->OnMouseEnter = [this](QWidget* s) { imgCloseMouseEnter(s); };
  imgClose->OnMouseLeave = [this](QWidget* s) { imgCloseMouseLeave(s); };
  lblMin->OnClick = [this](QWidget* s) { lblMinClick(s); };
  lblMin->OnMouseEnter = [this](QWidget* s) { lblMinMouseEnter(s); };
  lblMin->OnMouseLeave = [this](QWidget* s) { lblMinMouseLeave(s); };

  FormCreate();
}

TBaseForm::~TBaseForm() { FormDestroy(); }

const TOVSkin& TBaseForm::CurrentSkin() {
  if (HasOVSkin()) return OVSkin();
  // Forms shown before the program start made the skin use the default palette.
  static const TOVSkin kDefault;
  return kDefault;
}

void TBaseForm::ApplyFont(QWidget* aWidget, const std::string& aName, int aPoints, int aPixels) {
  QFont f = OVFont(aName);
  if (aPixels > 0) {
    f.setPixelSize(aPixels);
  } else if (aPoints > 0) {
    f.setPointSize(aPoints);
  }
  aWidget->setFont(f);
}

// Layout

TBaseForm::TAnchorRec* TBaseForm::FindAnchor(QWidget* aControl) {
  for (TAnchorRec& r : FAnchors) {
    if (r.Control == aControl) return &r;
  }
  return nullptr;
}

void TBaseForm::RecordAnchor(TAnchorRec& aRec) {
  const QRect g = aRec.Control->geometry();
  aRec.Right = FLayoutSize.width() - (g.x() + g.width());
  aRec.Bottom = FLayoutSize.height() - (g.y() + g.height());
}

void TBaseForm::SetAnchors(QWidget* aControl, uint8_t aAnchors) {
  TAnchorRec* r = FindAnchor(aControl);
  if (!r) {
    FAnchors.push_back(TAnchorRec{aControl, aAnchors, 0, 0});
    r = &FAnchors.back();
  }
  r->Anchors = aAnchors;
  RecordAnchor(*r);
}

void TBaseForm::PlaceControl(QWidget* aControl, int aLeft, int aTop, int aWidth, int aHeight) {
  aControl->setGeometry(aLeft, aTop, aWidth, aHeight);
  if (TAnchorRec* r = FindAnchor(aControl)) RecordAnchor(*r);
}

void TBaseForm::SetClientSize(int aWidth, int aHeight) {
  resize(aWidth, aHeight);
  // A hidden window gets its resize event only when shown; the controls follow now.
  ApplyLayout();
}

void TBaseForm::ApplyLayout() {
  const QSize s = size();
  pnlBack->setGeometry(0, 0, s.width(), s.height());
  for (const TAnchorRec& r : FAnchors) {
    if (!r.Control) continue;
    QRect g = r.Control->geometry();
    if (r.Anchors & akRight) {
      if (r.Anchors & akLeft) {
        g.setWidth(s.width() - r.Right - g.x());
      } else {
        g.moveLeft(s.width() - r.Right - g.width());
      }
    }
    if (r.Anchors & akBottom) {
      if (r.Anchors & akTop) {
        g.setHeight(s.height() - r.Bottom - g.y());
      } else {
        g.moveTop(s.height() - r.Bottom - g.height());
      }
    }
    r.Control->setGeometry(g);
  }
  FLayoutSize = s;
  AlignControls();
}

void TBaseForm::resizeEvent(QResizeEvent* aEvent) {
  QDialog::resizeEvent(aEvent);
  if (size() != FLayoutSize) ApplyLayout();
}

// Showing

void TBaseForm::setVisible(bool aVisible) {
  if (aVisible && !isVisible()) {
    FormShow();
    PlaceOnShow();
  }
  QDialog::setVisible(aVisible);
}

void TBaseForm::CenterOn(const QRect& aArea) {
  move(aArea.x() + (aArea.width() - width()) / 2, aArea.y() + (aArea.height() - height()) / 2);
}

void TBaseForm::PlaceOnShow() {
  QScreen* s = IsDesktop ? QGuiApplication::primaryScreen() : screen();
  if (!s) s = QGuiApplication::primaryScreen();
  if (s) CenterOn(s->availableGeometry());
}

void TBaseForm::FormCreate() { FiResult = -1; }

void TBaseForm::FormDestroy() {}

void TBaseForm::FormShow() {
  LoadSkin();
  if (IsDesktop) {
    // The window is still hidden here, so changing its flags does not flash it.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (QScreen* s = QGuiApplication::primaryScreen()) setScreen(s);
  }
}

void TBaseForm::LoadSkin() {
  const TOVSkin& skin = CurrentSkin();
  FFormColor = skin.form_back;
  FFormFontColor = skin.form_font;
  QPalette p = palette();
  p.setColor(QPalette::Window, OVColorToQColor(skin.form_back));
  p.setColor(QPalette::WindowText, OVColorToQColor(skin.form_font));
  setPalette(p);
  ApplyFont(this, skin.form_font_name, skin.form_font_size);
  pnlBack->SetColor(skin.form_back);
  pnlBack->setFont(font());
  // The title follows the window's font.
  lblTitle->setFont(font());
  lblTitle->SetFontColor(skin.form_font);
  lblMin->SetColor(skin.form_back);
  lblMin->SetFontColor(skin.form_font);
}

// Keys and mouse

void TBaseForm::keyPressEvent(QKeyEvent* aEvent) {
  uint16_t key = QtKeyToVirtualKey(aEvent->key());
  if (key != 0) {
    FormKeyDown(key);
    if (key == 0) {
      aEvent->accept();
      return;
    }
  }
  const QString text = aEvent->text();
  if (text.size() == 1) {
    char16_t ch = text.at(0).unicode();
    FormKeyPress(ch);
  }
  // Not the dialog's own handling: its Esc and Enter belong to the form's key handler.
  QWidget::keyPressEvent(aEvent);
}

void TBaseForm::FormKeyDown(uint16_t& Key) {
  if (Key == vkEscape && !imgClose->isHidden() && imgClose->isEnabled()) {
    Key = 0;
    lblCloseClick(imgClose);
  }
}

void TBaseForm::FormKeyPress(char16_t&) {}

void TBaseForm::mousePressEvent(QMouseEvent* aEvent) {
  // Presses reach the form from its own surfaces and from controls that leave them alone; only
  // the background and the title drag the window.
  QWidget* hit = childAt(aEvent->position().toPoint());
  FDrag.Press(this, *aEvent, !hit || hit == pnlBack || hit == lblTitle);
  QDialog::mousePressEvent(aEvent);
}

void TBaseForm::mouseMoveEvent(QMouseEvent* aEvent) {
  FormMouseMove(aEvent);
  QDialog::mouseMoveEvent(aEvent);
}

void TBaseForm::mouseReleaseEvent(QMouseEvent* aEvent) {
  FDrag.Release();
  QDialog::mouseReleaseEvent(aEvent);
}

void TBaseForm::FormMouseMove(QMouseEvent* aEvent) { FDrag.Move(this, *aEvent); }

// Close and minimise

void TBaseForm::lblCloseClick(QWidget*) { close(); }

void TBaseForm::lblMinClick(QWidget*) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) w->showMinimized();
  }
}

void TBaseForm::imgCloseMouseEnter(QWidget*) {
  lblSysButtonBack->move(imgClose->x() - 8, 0);
  lblSysButtonBack->show();
}

void TBaseForm::imgCloseMouseLeave(QWidget*) { lblSysButtonBack->hide(); }

// Hover of descendants' labels. Only labels take part; other senders are ignored.

void TBaseForm::lblButtonMouseEnter(QWidget* Sender) {
  auto* l = dynamic_cast<TOVLabel*>(Sender);
  if (!l || !l->isEnabled()) return;
  const TOVSkin& skin = CurrentSkin();
  const bool exitStyle = l->Tag() == 1;
  l->SetColor(exitStyle ? skin.button_exit_moveback : skin.button_moveback);
  l->SetFontColor(exitStyle ? skin.button_exit_movefont : skin.button_movefont);
}

void TBaseForm::lblButtonMouseLeave(QWidget* Sender) {
  auto* l = dynamic_cast<TOVLabel*>(Sender);
  if (!l) return;
  const TOVSkin& skin = CurrentSkin();
  const bool exitStyle = l->Tag() == 1;
  l->SetColor(exitStyle ? skin.button_exit_defback : skin.button_defback);
  l->SetFontColor(exitStyle ? skin.button_exit_deffont : skin.button_deffont);
}

void TBaseForm::lblLinkMouseEnter(QWidget* Sender) {
  auto* l = dynamic_cast<TOVLabel*>(Sender);
  if (!l || !l->isEnabled()) return;
  const TOVSkin& skin = CurrentSkin();
  l->SetFontColor(l->Tag() == 1 ? skin.button_exit_moveback : skin.button_moveback);
}

void TBaseForm::lblLinkMouseLeave(QWidget* Sender) {
  auto* l = dynamic_cast<TOVLabel*>(Sender);
  if (!l) return;
  l->SetFontColor(CurrentSkin().form_font);
}

void TBaseForm::lblMinMouseEnter(QWidget* Sender) {
  auto* l = dynamic_cast<TOVLabel*>(Sender);
  if (!l) return;
  const TOVSkin& skin = CurrentSkin();
  const bool exitStyle = l->Tag() == 1;
  l->SetTransparent(false);
  l->SetColor(exitStyle ? skin.button_exit_moveback : skin.button_moveback);
  l->SetFontColor(exitStyle ? skin.button_exit_movefont : skin.button_movefont);
}

void TBaseForm::lblMinMouseLeave(QWidget* Sender) {
  auto* l = dynamic_cast<TOVLabel*>(Sender);
  if (!l) return;
  const TOVSkin& skin = CurrentSkin();
  l->SetTransparent(true);
  if (l->Tag() == 1) {
    l->SetColor(skin.button_exit_defback);
    l->SetFontColor(0x000000FF);
  } else {
    l->SetColor(skin.form_back);
    l->SetFontColor(skin.form_font);
  }
}

void TBaseForm::lblButtonClick(QWidget*) {}
