#include "ui/OVControlsUtil.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QStringList>
#include <QStyleHints>
#include <QWindow>
#include <atomic>

QColor OVColorToQColor(uint32_t aColor) {
  return QColor(static_cast<int>(aColor & 0xFF), static_cast<int>((aColor >> 8) & 0xFF),
                static_cast<int>((aColor >> 16) & 0xFF));
}

uint32_t QColorToOVColor(const QColor& aColor) {
  return static_cast<uint32_t>(aColor.red()) | (static_cast<uint32_t>(aColor.green()) << 8) |
         (static_cast<uint32_t>(aColor.blue()) << 16);
}

QString OVQStr(const std::string& aText) { return QString::fromStdString(aText); }

std::string OVStdStr(const QString& aText) { return aText.toStdString(); }

QFont OVFont(const std::string& aName) {
  QFont f;
  const QString name = OVQStr(aName);
  QStringList families{name};
  if (name != kOVFallbackFamily && !QFontDatabase::hasFamily(name)) {
    families << QString::fromLatin1(kOVFallbackFamily);
  }
  f.setFamilies(families);
  return f;
}

namespace {

bool ReleasedInside(QWidget* aWidget, QMouseEvent* aEvent) {
  return aEvent->button() == Qt::LeftButton &&
         aWidget->rect().contains(aEvent->position().toPoint());
}

}  // namespace

// TOVLabel

TOVLabel::TOVLabel(QWidget* aParent, const QString& aCaption) : QLabel(aParent) {
  setTextFormat(Qt::PlainText);
  setText(aCaption);
  ApplyPalette();
}

void TOVLabel::SetCaption(const QString& aValue) {
  setText(aValue);
  if (FAutoSize) adjustSize();
}

void TOVLabel::SetAutoSize(bool aValue) {
  FAutoSize = aValue;
  if (FAutoSize) adjustSize();
}

void TOVLabel::changeEvent(QEvent* aEvent) {
  QLabel::changeEvent(aEvent);
  if (FAutoSize && aEvent->type() == QEvent::FontChange) adjustSize();
}

void TOVLabel::SetColor(uint32_t aValue) {
  FColor = aValue;
  ApplyPalette();
}

void TOVLabel::SetFontColor(uint32_t aValue) {
  FFontColor = aValue;
  ApplyPalette();
}

void TOVLabel::SetTransparent(bool aValue) {
  FTransparent = aValue;
  ApplyPalette();
}

void TOVLabel::ApplyPalette() {
  QPalette p = palette();
  const QColor back = OVColorToQColor(FColor);
  const QColor text = OVColorToQColor(FFontColor);
  // A disabled label keeps its background and takes the toolkit's greyed text.
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(g, QPalette::Window, back);
    if (g != QPalette::Disabled) p.setColor(g, QPalette::WindowText, text);
  }
  setPalette(p);
  setAutoFillBackground(!FTransparent);
  update();
}

void TOVLabel::enterEvent(QEnterEvent* aEvent) {
  QLabel::enterEvent(aEvent);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TOVLabel::leaveEvent(QEvent* aEvent) {
  QLabel::leaveEvent(aEvent);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TOVLabel::mousePressEvent(QMouseEvent* aEvent) {
  // A label with a click event is a button: its presses do not drag the window behind it.
  if (OnClick) {
    aEvent->accept();
    return;
  }
  QLabel::mousePressEvent(aEvent);
}

void TOVLabel::mouseMoveEvent(QMouseEvent* aEvent) {
  // Nor do the pointer's moves while it is pressed.
  if (OnClick) {
    aEvent->accept();
    return;
  }
  QLabel::mouseMoveEvent(aEvent);
}

void TOVLabel::mouseReleaseEvent(QMouseEvent* aEvent) {
  if (OnClick) {
    aEvent->accept();
    if (ReleasedInside(this, aEvent)) OnClick(this);
    return;
  }
  QLabel::mouseReleaseEvent(aEvent);
}

// TOVImage

TOVImage::TOVImage(QWidget* aParent) : QLabel(aParent) { setAlignment(Qt::AlignCenter); }

void TOVImage::SetPicture(const QImage& aPicture, const QByteArray& aFormat) {
  FPicture = aPicture;
  FFormat = aFormat.toLower();
  Repaint();
}

bool TOVImage::LoadFromFile(const QString& aHostPath) {
  QImageReader reader(aHostPath);
  const QByteArray format = reader.format();
  QImage img = reader.read();
  if (img.isNull()) return false;
  SetPicture(img, format);
  return true;
}

bool TOVImage::IsPngPicture() const { return !FPicture.isNull() && FFormat == "png"; }

void TOVImage::Repaint() {
  ++FPaintCount;
  setPixmap(FPicture.isNull() ? QPixmap() : QPixmap::fromImage(FPicture));
}

void TOVImage::enterEvent(QEnterEvent* aEvent) {
  QLabel::enterEvent(aEvent);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TOVImage::leaveEvent(QEvent* aEvent) {
  QLabel::leaveEvent(aEvent);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TOVImage::mousePressEvent(QMouseEvent* aEvent) {
  if (OnClick) {
    aEvent->accept();
    return;
  }
  QLabel::mousePressEvent(aEvent);
}

void TOVImage::mouseMoveEvent(QMouseEvent* aEvent) {
  if (OnClick) {
    aEvent->accept();
    return;
  }
  QLabel::mouseMoveEvent(aEvent);
}

void TOVImage::mouseReleaseEvent(QMouseEvent* aEvent) {
  if (OnClick) {
    aEvent->accept();
    if (ReleasedInside(this, aEvent)) OnClick(this);
    return;
  }
  QLabel::mouseReleaseEvent(aEvent);
}

// TOVWindowDrag

namespace {
std::atomic<int> gSystemMoves{0};
}  // namespace

int TOVWindowDrag::SystemMoves() { return gSystemMoves; }

void TOVWindowDrag::Press(QWidget* aWindow, const QMouseEvent& aEvent, bool aOnSurface) {
  FMoving = false;
  FArmed = aOnSurface && aEvent.button() == Qt::LeftButton;
  if (!FArmed) return;
  FPressPos = aEvent.globalPosition().toPoint();
  FOffset = FPressPos - aWindow->frameGeometry().topLeft();
}

bool TOVWindowDrag::Move(QWidget* aWindow, const QMouseEvent& aEvent) {
  if (!FArmed) return false;
  if (!(aEvent.buttons() & Qt::LeftButton)) {
    Release();
    return false;
  }
  const QPoint pos = aEvent.globalPosition().toPoint();
  if (!FMoving) {
    if ((pos - FPressPos).manhattanLength() < QGuiApplication::styleHints()->startDragDistance()) {
      return true;
    }
    FMoving = true;
    if (QWidget* g = QWidget::mouseGrabber()) g->releaseMouse();
    if (QWindow* w = aWindow->windowHandle(); w && w->startSystemMove()) {
      ++gSystemMoves;
      Release();  // the window system has the pointer until the button goes up
      return true;
    }
  }
  aWindow->move(pos - FOffset);
  return true;
}

// TOVPanel

TOVPanel::TOVPanel(QWidget* aParent) : QWidget(aParent) {}

void TOVPanel::SetColor(uint32_t aValue) {
  FColor = aValue;
  update();
}

void TOVPanel::SetBevel(bool aValue) {
  FBevel = aValue;
  update();
}

void TOVPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), OVColorToQColor(FColor));
  if (FBevel) {
    // The toolkit's flat bevel: one line in the button-shadow grey.
    p.setPen(OVColorToQColor(0x00A0A0A0));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}
