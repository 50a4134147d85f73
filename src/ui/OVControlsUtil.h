#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

// The small controls the frameless forms are made of, with the properties the forms' logic
// works on: colours as $00BBGGRR values, a tag, opaque or transparent labels and events
// that name their sender.

// $00BBGGRR <-> QColor (the top byte is ignored).
QColor OVColorToQColor(uint32_t aColor);
uint32_t QColorToOVColor(const QColor& aColor);
QString OVQStr(const std::string& aText);
std::string OVStdStr(const QString& aText);

// The family of a skin font or the window's own. A family the host lacks gets the CJK family installed
// with the program's fonts behind it: Qt would draw the glyphs with it anyway but report
// another family.
QFont OVFont(const std::string& aName);
inline const char* const kOVFallbackFamily = "WenQuanYi Micro Hei";

using TOVNotifyEvent = std::function<void(QWidget* Sender)>;

// A label: text, background colour (drawn only when opaque), font colour, tag and click and
// hover events. Its text is plain text, never markup.
class TOVLabel : public QLabel {
 public:
  explicit TOVLabel(QWidget* aParent, const QString& aCaption = QString());

  QString Caption() const { return text(); }
  void SetCaption(const QString& aValue);
  // An auto-sized label fits its text whenever the text or the font changes.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool aValue);
  uint32_t Color() const { return FColor; }
  void SetColor(uint32_t aValue);
  uint32_t FontColor() const { return FFontColor; }
  void SetFontColor(uint32_t aValue);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool aValue);
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t aValue) { FTag = aValue; }

  TOVNotifyEvent OnClick;
  TOVNotifyEvent OnMouseEnter;
  TOVNotifyEvent OnMouseLeave;

 protected:
  void enterEvent(QEnterEvent* aEvent) override;
  void leaveEvent(QEvent* aEvent) override;
  void mousePressEvent(QMouseEvent* aEvent) override;
  void mouseMoveEvent(QMouseEvent* aEvent) override;
  void mouseReleaseEvent(QMouseEvent* aEvent) override;
  void changeEvent(QEvent* aEvent) override;

 private:
  void ApplyPalette();

  uint32_t FColor = 0x00FFFFFF;
  uint32_t FFontColor = 0x00000000;
  bool FTransparent = true;
  bool FAutoSize = false;
  int32_t FTag = 0;
};

// A picture control. It remembers the format its picture came in, because only PNG pictures
// may be recoloured.
class TOVImage : public QLabel {
 public:
  explicit TOVImage(QWidget* aParent);

  const QImage& Picture() const { return FPicture; }
  QImage& Picture() { return FPicture; }
  // aFormat as Qt names image formats ("png", "jpeg", "bmp").
  void SetPicture(const QImage& aPicture, const QByteArray& aFormat);
  // False when the file cannot be read as a picture; the old picture then stays.
  bool LoadFromFile(const QString& aHostPath);
  const QByteArray& PictureFormat() const { return FFormat; }
  bool IsPngPicture() const;
  // Shows the picture again after it was changed in place.
  void Repaint();
  // How many times the picture was shown (for callers that must know whether it was redrawn).
  int32_t PaintCount() const { return FPaintCount; }
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t aValue) { FTag = aValue; }

  TOVNotifyEvent OnClick;
  TOVNotifyEvent OnMouseEnter;
  TOVNotifyEvent OnMouseLeave;

 protected:
  void enterEvent(QEnterEvent* aEvent) override;
  void leaveEvent(QEvent* aEvent) override;
  void mousePressEvent(QMouseEvent* aEvent) override;
  void mouseMoveEvent(QMouseEvent* aEvent) override;
  void mouseReleaseEvent(QMouseEvent* aEvent) override;

 private:
  QImage FPicture;
  QByteArray FFormat;
  int32_t FPaintCount = 0;
  int32_t FTag = 0;
};

// A panel: a filled background with an optional one-pixel flat bevel.
class TOVPanel : public QWidget {
 public:
  explicit TOVPanel(QWidget* aParent);

  uint32_t Color() const { return FColor; }
  void SetColor(uint32_t aValue);
  bool Bevel() const { return FBevel; }
  void SetBevel(bool aValue);

 protected:
  void paintEvent(QPaintEvent* aEvent) override;

 private:
  uint32_t FColor = 0x00FFFFFF;
  bool FBevel = false;
};

// Moving a frameless window by its surfaces. A left press on a surface arms the drag; the
// window moves only once the pointer has gone the platform's drag distance from the press, so
// a press with a little jitter stays a press. The window system moves the window where it
// can; elsewhere it follows the pointer, keeping the point of the current press under it.
class TOVWindowDrag {
 public:
  void Press(QWidget* aWindow, const QMouseEvent& aEvent, bool aOnSurface);
  // True when the move belongs to an armed drag.
  bool Move(QWidget* aWindow, const QMouseEvent& aEvent);
  void Release() { FArmed = FMoving = false; }
  // Drags handed to the window system so far, in this process. Where it runs the move itself
  // (Windows), the window follows the real pointer, not the events the form receives.
  static int SystemMoves();

 private:
  bool FArmed = false;
  bool FMoving = false;
  QPoint FPressPos;
  QPoint FOffset;
};
