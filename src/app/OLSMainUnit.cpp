// The main window: its layout, the product row, the labelling in both languages and the small
// window behaviours (drag, check boxes, flags, close image, Enter keys).
#include "app/OLSMainUnit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QWindow>

#include "base/OVInstHelperUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "ui/BaseFormUnit.h"
#include "ui/OVAssetsUtil.h"
#include "ui/OVLangUtil.h"
#include "ui/OVSkinHelperUtil.h"
#include "ui/OVSkinUtil.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUtil.h"

#ifndef OV_PRODUCT_CODE
#define OV_PRODUCT_CODE "ketrin"
#endif

namespace str = ov::str;

const char* BuildProductCode() { return OV_PRODUCT_CODE; }

namespace {

const char* const kDesignFont = "微软雅黑";

QFont PixelFont(int aPixels) {
  QFont f = OVFont(kDesignFont);
  f.setPixelSize(aPixels);
  return f;
}

QFont PointFont(int aPoints) {
  QFont f = OVFont(kDesignFont);
  f.setPointSize(aPoints);
  return f;
}

TOVImage* Picture(QWidget* aParent, const char* aAsset, int aLeft, int aTop, int aWidth,
                  int aHeight) {
  auto* img = new TOVImage(aParent);
  if (aAsset) img->SetPicture(QImage(QString::fromLatin1(aAsset)), "png");
  img->setScaledContents(true);
  img->setGeometry(aLeft, aTop, aWidth, aHeight);
  return img;
}

TOVLabel* Label(QWidget* aParent, const char* aCaption, int aLeft, int aTop, int aWidth,
                int aHeight, Qt::Alignment aAlign = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* l = new TOVLabel(aParent, QString::fromUtf8(aCaption));
  l->setGeometry(aLeft, aTop, aWidth, aHeight);
  l->setAlignment(aAlign);
  return l;
}

// A button face's caption: white on the picture, taking the picture's clicks.
TOVLabel* ButtonLabel(QWidget* aParent, const char* aCaption, int aLeft, int aTop, int aPixels) {
  TOVLabel* l = Label(aParent, aCaption, aLeft, aTop, 185, 52, Qt::AlignCenter);
  l->setFont(PixelFont(aPixels));
  l->SetColor(0x00FF7F21);
  l->SetFontColor(0x00FFFFFF);
  l->setCursor(Qt::PointingHandCursor);
  return l;
}

TOVEdit* Edit(QWidget* aParent, const char* aPlaceholder, int aLeft, int aTop) {
  auto* e = new TOVEdit(aParent);
  e->setGeometry(aLeft, aTop, 309, 31);
  e->setFrame(false);
  e->setPlaceholderText(QString::fromUtf8(aPlaceholder));
  return e;
}

// The install code is masked with "*", not the toolkit's bullet.
class TStarMaskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint aHint, const QStyleOption* aOption, const QWidget* aWidget,
                QStyleHintReturn* aReturn) const override {
    if (aHint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(aHint, aOption, aWidget, aReturn);
  }
};

std::string FirstCodePoint(const std::string& aText) { return str::CodePointCopy(aText, 0, 1); }

}  // namespace

void TOVEdit::keyPressEvent(QKeyEvent* aEvent) {
  uint16_t key = QtKeyToVirtualKey(aEvent->key());
  if (key != 0 && OnKeyDown) {
    OnKeyDown(this, key);
    if (key == 0) {
      aEvent->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(aEvent);
}

TOLSMain::TOLSMain(const std::string& aProductCode) : QWidget(nullptr), FCode(aProductCode) {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setWindowTitle(QStringLiteral("在线安装"));
  setFont(PixelFont(17));
  setFixedSize(720, 520);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, OVColorToQColor(FColor));
  setPalette(p);
  CreateControls();
  FormCreate();
}

TOLSMain::~TOLSMain() { FormDestroy(); }

void TOLSMain::CreateControls() {
  pnlBack = new TOVPanel(this);
  pnlBack->setGeometry(1, 1, 718, 518);
  crdpnl = new QStackedWidget(pnlBack);
  crdpnl->setGeometry(0, 0, 718, 518);
  const char* const captions[] = {"安装码界面", "模块配置界面", "安装进度界面", "安装完成界面"};
  QWidget** cards[] = {&crdformcode, &crdformoptn, &crdforminst, &crdformfnsh};
  for (int i = 0; i < 4; ++i) {
    *cards[i] = new QWidget(crdpnl);
    (*cards[i])->setWindowTitle(QString::fromUtf8(captions[i]));
    crdpnl->addWidget(*cards[i]);
  }
  crdpnl->setCurrentWidget(crdformcode);

  // Shared controls, on the code card when the window is built.
  imgInstBack = Picture(crdformcode, ov::assets::kBackground, 0, 0, 718, 518);
  imgClose = Picture(crdformcode, ov::assets::kClose, 681, 6, 32, 32);
  imgClose->setCursor(Qt::PointingHandCursor);
  imgInstLogo = Picture(crdformcode, ov::assets::kLogo, 295, 39, 128, 128);
  lblTitle = Label(crdformcode, "在线安装", 14, 8, 200, 23);
  lblTitle->SetAutoSize(true);
  lblInstTitle = Label(crdformcode, "", 24, 168, 673, 75, Qt::AlignCenter);
  lblInstTitle->setWordWrap(true);
  lblInstTitle->setFont(PixelFont(24));
  imgCN = Picture(crdformcode, ov::assets::kFlagCN, 640, 6, 32, 32);
  imgEN = Picture(crdformcode, ov::assets::kFlagEN, 640, 6, 32, 32);
  imgEN->hide();
  for (QWidget* w : {static_cast<QWidget*>(imgCN), static_cast<QWidget*>(imgEN)}) {
    w->setCursor(Qt::PointingHandCursor);
  }

  // Code card.
  lblInstCorpId =
      Label(crdformcode, "企业id：", 31, 251, 221, 23, Qt::AlignRight | Qt::AlignVCenter);
  lblInstCode = Label(crdformcode, "安装码：", 31, 307, 221, 23, Qt::AlignRight | Qt::AlignVCenter);
  edtInstCorpId = Edit(crdformcode, "请输入Corvela企业id", 264, 248);
  edtInstCorpId->setToolTip(QStringLiteral("请输入注册的Corvela平台企业id"));
  edtInstCorpId->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edtInstCorpId));
  edtInstCode = Edit(crdformcode, "请输入Corvela安装码", 264, 304);
  auto* mask = new TStarMaskStyle;
  mask->setParent(edtInstCode);
  edtInstCode->setStyle(mask);
  edtInstCode->setEchoMode(QLineEdit::Password);
  imgCodeInst = Picture(crdformcode, ov::assets::kButtonCode, 234, 386, 255, 81);
  lblCodeInst = ButtonLabel(crdformcode, "开始安装", 267, 393, 24);
  imgInstLogoZel0 = Picture(crdformcode, ov::assets::kLogoZel0, 0, 0, 128, 128);
  imgInstLogoZel0->hide();
  imgInstLogoZel1 = Picture(crdformcode, ov::assets::kLogoZel1, 0, 0, 128, 128);
  imgInstLogoZel1->hide();
  lblTitleTest = Label(crdformcode, "", 0, 0, 10, 10);
  lblTitleTest->SetAutoSize(true);
  lblTitleTest->hide();

  // Options card.
  imgchkmodweb1 = Picture(crdformoptn, ov::assets::kTickOff, 171, 255, 36, 36);
  imgchkmodweb2 = Picture(crdformoptn, ov::assets::kTickOn, 171, 255, 36, 36);
  lblchkmodweb = Label(crdformoptn, "  安装Web后台", 208, 255, 137, 36);
  imgchkmodpos1 = Picture(crdformoptn, ov::assets::kTickOff, 395, 255, 36, 36);
  imgchkmodpos2 = Picture(crdformoptn, ov::assets::kTickOn, 395, 255, 36, 36);
  lblchkmodpos = Label(crdformoptn, "  安装Caldis前台", 432, 255, 161, 36);
  SetModCheck(lblchkmodweb, imgchkmodweb1, true, imgchkmodweb2);
  SetModCheck(lblchkmodpos, imgchkmodpos1, true, imgchkmodpos2);
  lblModPath =
      Label(crdformoptn, "安装目录：", 40, 442, 141, 23, Qt::AlignRight | Qt::AlignVCenter);
  edtModPath = Edit(crdformoptn, "请输入或选择安装目录", 187, 439);
  edtModPath->resize(400, 31);
  edtModPath->setReadOnly(true);
  imgModPathSelect = Picture(crdformoptn, ov::assets::kFolder, 593, 438, 32, 32);
  imgModPathSelect->setCursor(Qt::PointingHandCursor);
  imgOptnInst = Picture(crdformoptn, ov::assets::kButtonInstall, 232, 330, 255, 80);
  lblModInst = ButtonLabel(crdformoptn, "安装", 267, 337, 21);

  CreateProgressCard();
  CreateFinishCard();

  tmrInst = new TOVTimer(this);
  tmrInst->setInterval(300);
  tmrSlider = new TOVTimer(this);
  tmrSlider->setInterval(3000);

  // Events.
  imgCN->OnClick = [this](QWidget* s) { imgCNClick(s); };
  imgEN->OnClick = [this](QWidget* s) { imgCNClick(s); };
  imgClose->OnClick = [this](QWidget* s) { imgCloseClick(s); };
  imgClose->OnMouseEnter = [this](QWidget* s) { imgCloseMouseEnter(s); };
  imgClose->OnMouseLeave = [this](QWidget* s) { imgCloseMouseLeave(s); };
  for (TOVImage* i : {imgchkmodweb1, imgchkmodweb2}) {
    i->OnClick = [this](QWidget* s) { lblchkmodwebClick(s); };
  }
  lblchkmodweb->OnClick = [this](QWidget* s) { lblchkmodwebClick(s); };
  for (TOVImage* i : {imgchkmodpos1, imgchkmodpos2}) {
    i->OnClick = [this](QWidget* s) { lblchkmodposClick(s); };
  }
  lblchkmodpos->OnClick = [this](QWidget* s) { lblchkmodposClick(s); };
  edtInstCorpId->OnKeyDown = [this](QWidget* s, uint16_t& k) { edtInstCorpIdKeyDown(s, k); };
  edtInstCode->OnKeyDown = [this](QWidget* s, uint16_t& k) { edtInstCodeKeyDown(s, k); };
  edtModPath->OnKeyDown = [this](QWidget* s, uint16_t& k) { edtModPathKeyDown(s, k); };
  lblCodeInst->OnClick = [this](QWidget* s) { lblCodeInstClick(s); };
  imgCodeInst->OnClick = [this](QWidget* s) { lblCodeInstClick(s); };
  imgModPathSelect->OnClick = [this](QWidget* s) { lblcorvelaSetPathClick(s); };
  lblModInst->OnClick = [this](QWidget* s) { lblModInstClick(s); };
  imgOptnInst->OnClick = [this](QWidget* s) { lblModInstClick(s); };
  lblFnshInst->OnClick = [this](QWidget* s) { lblFnshInstClick(s); };
  imgFnshInst->OnClick = [this](QWidget* s) { lblFnshInstClick(s); };
  QObject::connect(tmrInst, &QTimer::timeout, this, [this] { tmrInstTimer(); });
  QObject::connect(tmrSlider, &QTimer::timeout, this, [this] { tmrSliderTimer(); });
  for (QWidget* w : {static_cast<QWidget*>(pnlBack), static_cast<QWidget*>(imgInstBack),
                     static_cast<QWidget*>(lblInstTitle), static_cast<QWidget*>(lblTitle),
                     static_cast<QWidget*>(imgSlider)}) {
    w->installEventFilter(this);
  }
  installEventFilter(this);  // the one-pixel frame
}

void TOLSMain::CreateFinishCard() {
  lblFnshInstTips = Label(crdformfnsh, "程序已在线安装完成", 32, 278, 650, 73, Qt::AlignCenter);
  lblFnshInstTips->setWordWrap(true);
  imgFnshInst = Picture(crdformfnsh, ov::assets::kButtonFinish, 245, 357, 255, 80);
  lblFnshInst = ButtonLabel(crdformfnsh, "安装完成", 280, 364, 21);
}

// Form events

void TOLSMain::FormCreate() {
  SoftVar().code().SetV("corvela");
  SoftVar().name().SetV("Corvela");
  if (HasOVSkin()) OVSkin().LoadSkin("ArdeoBlueSkin");
  if (!HasSyncObj()) {
    CreateSyncObj();
    FOwnsSyncObj = true;
  }
  if (!OvUpdate()) {
    CreateOvUpdate();
    FOwnsOvUpdate = true;
  }
}

void TOLSMain::FormDestroy() {
  // The installer must not call into a window that is gone.
  if (TSoftSaasHelper* h = ProductInstaller(FCode)) {
    h->SetOnAppInstHint(nullptr);
    h->SetOnAppInstProgress(nullptr);
    h->SetOnAppFileDownProgressHint(nullptr);
    h->SetOnDownloadBytes(nullptr);
  }
  if (FOwnsOvUpdate) FreeOvUpdate();
  if (FOwnsSyncObj) FreeSyncObj();
}

void TOLSMain::showEvent(QShowEvent* aEvent) {
  QWidget::showEvent(aEvent);
  if (FShown) return;
  FShown = true;
  if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect a = s->availableGeometry();
    move(a.x() + (a.width() - width()) / 2, a.y() + (a.height() - height()) / 2);
  }
  FormShow();
}

void TOLSMain::FormShow() {
  InitProduct();
  if (FCode.empty()) return;  // closed: no row for the product
  ApplyColors();
  LangHelper().LoadLang("CN");
  ApplyLanguage();
  SwitchLanguage("EN");
}

void TOLSMain::closeEvent(QCloseEvent* aEvent) {
  FormClose();
  QWidget::closeEvent(aEvent);
}

// Product row and labels

void TOLSMain::InitProduct() {
  SoftVar().code().SetV(FCode);
  TProductInfo info;
  if (!ProductInfo(FCode, info)) {
    FCode.clear();
    close();
    return;
  }
  FCode = info.Code;
  SoftVar().name().SetV(info.DisplayName);
  if (!str::SameText(FCode, "corvela")) {
    if (str::SameText(FCode, "zelntr")) {
      imgInstLogo->SetPicture(imgInstLogoZel1->Picture(), imgInstLogoZel1->PictureFormat());
    } else if (str::SameText(FCode, "zelcv")) {
      imgInstLogo->SetPicture(imgInstLogoZel0->Picture(), imgInstLogoZel0->PictureFormat());
    }
    std::vector<QWidget*> moving = SharedControls();
    moving.push_back(imgEN);
    moving.push_back(imgCN);
    MoveShared(crdformoptn, moving);
    crdpnl->setCurrentWidget(crdformoptn);
  } else {
    edtInstCorpId->setText(OVQStr(TInstHelper::getReg("CorvelaCorpId", "")));
  }
  if (!IsSingleModuleProduct(FCode)) {
    const std::string web =
        TInstHelper::getReg(info.ValuePrefix + "web", std::to_string(lblchkmodweb->Tag()));
    SetModCheck(lblchkmodweb, imgchkmodweb1, web == "1", imgchkmodweb2);
    const std::string pos =
        TInstHelper::getReg(info.ValuePrefix + "pos", std::to_string(lblchkmodpos->Tag()));
    SetModCheck(lblchkmodpos, imgchkmodpos1, pos == "1", imgchkmodpos2);
  } else {
    for (QWidget* w :
         {static_cast<QWidget*>(lblchkmodweb), static_cast<QWidget*>(imgchkmodweb1),
          static_cast<QWidget*>(imgchkmodweb2), static_cast<QWidget*>(lblchkmodpos),
          static_cast<QWidget*>(imgchkmodpos1), static_cast<QWidget*>(imgchkmodpos2)}) {
      w->hide();
    }
  }
  edtModPath->setText(OVQStr(RememberedPath(FCode)));
  lblInstSubProgress->SetCaption(QString());
}

std::vector<QWidget*> TOLSMain::SharedControls() const {
  return {imgInstBack, imgClose, imgInstLogo, lblTitle, lblInstTitle};
}

void TOLSMain::MoveShared(QWidget* aCard, const std::vector<QWidget*>& aControls) {
  for (QWidget* w : aControls) {
    const QRect g = w->geometry();
    const bool hidden = w->isHidden();
    w->setParent(aCard);
    w->setGeometry(g);
    w->setVisible(!hidden);
    w->raise();
  }
  imgInstBack->lower();
}

void TOLSMain::ApplyColors() {
  FColor = 0x00CAC3BB;
  QPalette p = palette();
  p.setColor(QPalette::Window, OVColorToQColor(FColor));
  setPalette(p);
  for (TOVLabel* l : {lblCodeInst, lblModInst}) {
    l->SetColor(0x00E4690E);
    l->SetFontColor(0x00FFFFFF);
  }
  lblModInstSubHint->setFont(PointFont(11));
}

void TOLSMain::ApplyLanguage() {
  TOVLangHelper& lang = LangHelper();
  auto T = [&lang](const std::string& aKey, const QString& aDef) {
    return OVQStr(lang.T(aKey, OVStdStr(aDef)));
  };
  const std::string app = "app_" + FCode;
  // The product's default folder, and the folder text of the table in force until now (read
  // before the new table is loaded): only a folder that is one of them follows the language.
  TProductInfo info;
  ProductInfo(FCode, info);
  const std::string pathKey = app + "_InstPath";
  const std::string defaultTail = str::CodePointCopy(info.DefaultPath, 1);
  const std::string oldTail = lang.T(pathKey, defaultTail);
  lang.LoadLang(lang.LangCode());
  lblTitle->SetCaption(T("app_subtitle", QStringLiteral("在线安装")));
  lblInstTitle->SetCaption(T(app + "_title", OVQStr(SoftVar().name().v())));
  FitInstTitle();
  lblInstCorpId->SetCaption(T(app + "_CorpId_label", QStringLiteral("企业id：")));
  edtInstCorpId->setPlaceholderText(T(app + "_CorpId_hint", edtInstCorpId->placeholderText()));
  lblInstCode->SetCaption(T(app + "_InstCode_label", QStringLiteral("安装码：")));
  edtInstCode->setPlaceholderText(T(app + "_InstCode_hint", edtInstCode->placeholderText()));
  lblCodeInst->SetCaption(T("gls_start", QStringLiteral("开始")) +
                          T("gls_install", QStringLiteral("安装")));
  lblchkmodweb->SetCaption(T(app + "_instmod_web", lblchkmodweb->Caption()));
  lblchkmodpos->SetCaption(T(app + "_instmod_pos", lblchkmodpos->Caption()));
  lblModPath->SetCaption(T("app_dup_instpath_label", lblModPath->Caption()));
  edtModPath->setPlaceholderText(T("app_dup_instpath_hint", edtModPath->placeholderText()));
  // A default folder becomes this language's default on the same drive; a remembered or
  // picked folder stays as it is.
  const std::string path = OVStdStr(edtModPath->text());
  const std::string tail = str::CodePointCopy(path, 1);
  const std::string newTail = lang.T(pathKey, defaultTail);
  if (!path.empty() && (str::SameText(tail, oldTail) || str::SameText(tail, defaultTail))) {
    edtModPath->setText(OVQStr(FirstCodePoint(path) + newTail));
    edtModPath->SetTag(0);
  }
  if (edtModPath->isVisibleTo(this) && edtModPath->isEnabled()) edtModPath->selectAll();
  lblModInst->SetCaption(T("gls_install", lblModInst->Caption()));
  lblModInstHint->SetCaption(T("gls_ready", QStringLiteral("准备")) +
                             T("gls_install", QStringLiteral("安装")) + QStringLiteral("..."));
  lblModInstSubHint->SetCaption(QStringLiteral("..."));
  lblFnshInst->SetCaption(T("gls_install", QStringLiteral("安装")) +
                          T("gls_finished", QStringLiteral("完成")));
}

void TOLSMain::SwitchLanguage(const std::string& aLangCode) {
  const bool en = str::SameText(aLangCode, "EN");
  imgCN->setVisible(!en);
  imgEN->setVisible(en);
  if (LangHelper().LangCode() != aLangCode) {
    LangHelper().SetLangCode(aLangCode);
    ApplyLanguage();
  }
}

void TOLSMain::FitInstTitle() {
  lblInstTitle->setFont(PointFont(18));
  lblTitleTest->setFont(lblInstTitle->font());
  lblTitleTest->SetCaption(lblInstTitle->Caption());
  const int measured = lblTitleTest->width();
  if (measured < lblInstTitle->width() / 2) lblInstTitle->setFont(PointFont(28));
  if (lblInstTitle->width() < measured) lblInstTitle->setFont(PointFont(15));
}

void TOLSMain::SetModCheck(TOVLabel* aLabel, TOVImage* aImgOff, bool aTicked, TOVImage* aImgOn) {
  aLabel->SetTag(aTicked ? 1 : 0);
  aImgOff->setVisible(!aTicked);
  aImgOn->setVisible(aTicked);
}

// Small behaviours

void TOLSMain::imgCNClick(QWidget*) { SwitchLanguage(!imgCN->isHidden() ? "EN" : "CN"); }

void TOLSMain::imgCloseClick(QWidget*) {
  if (HasSyncObj()) SyncObj().SetIsAppExit(true);
  close();
}

void TOLSMain::imgCloseMouseEnter(QWidget*) { TOVSkinHelper::SetPngColor(*imgClose, 0x000000FF); }

void TOLSMain::imgCloseMouseLeave(QWidget*) { TOVSkinHelper::SetPngColor(*imgClose, 0x00FF7F21); }

void TOLSMain::lblchkmodwebClick(QWidget*) {
  SetModCheck(lblchkmodweb, imgchkmodweb1, lblchkmodweb->Tag() != 1, imgchkmodweb2);
}

void TOLSMain::lblchkmodposClick(QWidget*) {
  SetModCheck(lblchkmodpos, imgchkmodpos1, lblchkmodpos->Tag() != 1, imgchkmodpos2);
}

void TOLSMain::edtInstCorpIdKeyDown(QWidget*, uint16_t& Key) {
  if (Key != vkReturn) return;
  Key = 0;
  const QString id = OVQStr(str::Trim(OVStdStr(edtInstCorpId->text())));
  edtInstCorpId->setText(id);
  if (!id.isEmpty() && edtInstCode->isVisible() && edtInstCode->isEnabled()) {
    edtInstCode->setFocus();
  }
}

void TOLSMain::edtInstCodeKeyDown(QWidget*, uint16_t& Key) {
  if (Key != vkReturn) return;
  Key = 0;
  const QString code = OVQStr(str::Trim(OVStdStr(edtInstCode->text())));
  edtInstCode->setText(code);
  if (!code.isEmpty()) lblCodeInstClick(edtInstCode);
}

void TOLSMain::edtModPathKeyDown(QWidget*, uint16_t& Key) {
  if (Key != vkReturn) return;
  Key = 0;
  const QString path = OVQStr(str::Trim(OVStdStr(edtModPath->text())));
  edtModPath->setText(path);
  if (!path.isEmpty()) lblModInstClick(edtModPath);
}

bool TOLSMain::IsDragSurface(const QWidget* aWidget) const {
  return aWidget == this || aWidget == pnlBack || aWidget == crdpnl ||
         aWidget->parentWidget() == crdpnl || aWidget == imgInstBack || aWidget == lblInstTitle ||
         aWidget == lblTitle || aWidget == imgSlider;
}

bool TOLSMain::eventFilter(QObject* aWatched, QEvent* aEvent) {
  auto* watched = qobject_cast<QWidget*>(aWatched);
  if (!watched) return QWidget::eventFilter(aWatched, aEvent);
  if (aEvent->type() == QEvent::MouseButtonPress) {
    // A press also reaches these surfaces from the controls above them that leave it alone
    // (plain labels, the footer): only one under the pointer that is a surface drags.
    auto* m = static_cast<QMouseEvent*>(aEvent);
    QWidget* hit = watched->childAt(m->position().toPoint());
    FDrag.Press(this, *m, IsDragSurface(hit ? hit : watched));
  } else if (aEvent->type() == QEvent::MouseMove) {
    // Handled once: the parents of a surface are surfaces too.
    if (FormMouseMove(static_cast<QMouseEvent*>(aEvent))) return true;
  } else if (aEvent->type() == QEvent::MouseButtonRelease) {
    FDrag.Release();
  }
  return QWidget::eventFilter(aWatched, aEvent);
}

bool TOLSMain::FormMouseMove(QMouseEvent* aEvent) { return FDrag.Move(this, *aEvent); }
