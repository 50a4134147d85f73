// The main window's progress card: hint lines, progress bar, download line and slide show.
#include <QMetaObject>
#include <QStyle>
#include <QStyleFactory>
#include <QThread>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "app/OLSMainUnit.h"
#include "base/OVLibUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/OVAssetsUtil.h"

namespace {

int64_t PackProgress(int32_t aPos, int32_t aMax) {
  return (static_cast<int64_t>(aMax) << 32) | static_cast<uint32_t>(aPos);
}

}  // namespace

void TOLSMain::CreateProgressCard() {
  imgSlider = new TOVImage(crdforminst);
  imgSlider->SetPicture(QImage(QString::fromLatin1(ov::assets::kDefaultSlide)), "png");
  imgSlider->setScaledContents(true);
  imgSlider->setGeometry(0, 0, 718, 354);
  for (int n = 1; n <= 9; ++n) {
    auto* slot = new TOVImage(crdforminst);
    slot->setObjectName(QStringLiteral("imgSlider%1").arg(n));
    slot->setScaledContents(true);
    slot->setGeometry(7 + 79 * (n - 1), 309, 73, 57);
    slot->hide();
    imgSliders[static_cast<size_t>(n - 1)] = slot;
  }
  pnlcrdcv3footBack = new TOVPanel(crdforminst);
  pnlcrdcv3footBack->setGeometry(0, 518 - 164, 718, 164);
  pnlcrdcv3footBack->SetColor(0x00EAEAE8);
  pnlcrdcv3foot = new TOVPanel(pnlcrdcv3footBack);
  pnlcrdcv3foot->setGeometry(1, 0, 716, 163);
  pnlcrdcv3foot->SetColor(0x00FFFFFF);

  auto hintLabel = [this](const char* aCaption, int aLeft, int aTop, int aWidth, int aHeight) {
    auto* l = new TOVLabel(pnlcrdcv3foot, QString::fromUtf8(aCaption));
    l->setGeometry(aLeft, aTop, aWidth, aHeight);
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    l->SetFontColor(0x00000000);
    return l;
  };
  lblModInstHint = hintLabel("准备安装...", 40, 16, 639, 29);
  QFont f = lblModInstHint->font();
  f.setPixelSize(17);
  lblModInstHint->setFont(f);
  pbModInst = new QProgressBar(pnlcrdcv3foot);
  pbModInst->setGeometry(16, 55, 685, 25);
  pbModInst->setRange(0, 100);
  pbModInst->setValue(0);
  pbModInst->setTextVisible(false);
  // One look everywhere: the native bars differ per system, and the Windows one animates a
  // glow that a window without a visual style draws black.
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    style->setParent(pbModInst);
    pbModInst->setStyle(style);
  }
  lblModInstSubHint = hintLabel("...", 16, 98, 685, 38);
  lblInstSubProgress = hintLabel("...", 16, 127, 685, 25);
  f.setPixelSize(15);
  lblInstSubProgress->setFont(f);
}

void TOLSMain::ShowInstHint(const std::string& aHint, const std::string& aSubHint) {
  // The UI thread is inside the install and paints only between the installer's waits.
  if (!aHint.empty()) {
    lblModInstHint->SetCaption(OVQStr(aHint));
    lblModInstHint->repaint();
  }
  lblModInstSubHint->SetCaption(OVQStr(aSubHint));
  lblModInstSubHint->repaint();
  TovLib::Log(OVStdStr(lblModInstHint->Caption()) + "\r\n" + "  >" +
              OVStdStr(lblModInstSubHint->Caption()));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

void TOLSMain::ShowInstProgress(int32_t aPos, int32_t aMax) {
  // One word for both values, so the bar never shows a position with another call's maximum.
  FPendingProgress.store(PackProgress(aPos, aMax));
  if (QThread::currentThread() == thread()) {
    ApplyProgress();
    return;
  }
  if (!FProgressQueued.exchange(true)) {
    QMetaObject::invokeMethod(
        this, [this] { ApplyProgress(); }, Qt::QueuedConnection);
  }
}

void TOLSMain::ApplyProgress() {
  FProgressQueued.store(false);
  const int64_t v = FPendingProgress.load();
  const auto pos = static_cast<int32_t>(static_cast<uint32_t>(v & 0xFFFFFFFF));
  const auto max = static_cast<int32_t>(v >> 32);
  if (max != pbModInst->maximum()) pbModInst->setMaximum(max);
  pbModInst->setValue(pos);
  pbModInst->repaint();
}

void TOLSMain::ShowFileDownProgressHint(const std::string& aHint) {
  lblInstSubProgress->SetCaption(OVQStr(aHint));
}

void TOLSMain::tmrSliderTimer() {
  try {
    int32_t tag = imgSlider->Tag() + 1;
    if (tag > 9) tag = 1;
    imgSlider->SetTag(tag);
    TOVImage* slot = imgSliders[static_cast<size_t>(tag - 1)];
    if (LoadSliderImage(tag, slot)) {
      try {
        imgSlider->SetPicture(slot->Picture(), slot->PictureFormat());
        imgSlider->repaint();
      } catch (const std::exception&) {
        // The slide shown stays.
      }
      tmrSlider->setInterval(3000);
    } else {
      imgSlider->SetTag(0);
      tmrSlider->setInterval(1000);
    }
  } catch (const std::exception&) {
    // A tick that fails changes nothing the next one depends on.
  }
}

bool TOLSMain::LoadSliderImage(int32_t n, TOVImage* aSlot) {
  if (!aSlot->Picture().isNull()) return true;
  const std::string file = SoftVar().sliders().GetValue("slider" + std::to_string(n));
  if (file.empty() || !ov::platform::fs::FileExists(file)) return false;
  // A file still being written fails here and is tried again on a later pass.
  return aSlot->LoadFromFile(OVQStr(ov::platform::MapToHost(file)));
}
