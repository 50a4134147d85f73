// The main window's install flow: the code card, the folder picker, the Install button, the
// run of the product's modules, the finish card and the choices remembered at close.
#include <exception>
#include <functional>
#include <string>

#include "app/OLSMainUnit.h"
#include "base/OVInstHelperUtil.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftBaseHelperUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "platform/FileSystem.h"
#include "ui/OVLangUtil.h"
#include "update/UpdateObjUtil.h"

namespace str = ov::str;

namespace {

const char* const kMsgTitle = "消息";

bool CanFocus(const QWidget* aWidget) { return aWidget->isVisible() && aWidget->isEnabled(); }

// Trims the edit's text and writes it back.
std::string TrimEdit(TOVEdit* aEdit) {
  const std::string t = str::Trim(OVStdStr(aEdit->text()));
  aEdit->setText(OVQStr(t));
  return t;
}

// Runs a handler of the UI thread: an error escaping it is logged and shown in the message box
// instead of ending the program. False when one escaped.
bool Guarded(const std::function<void()>& aHandler) {
  std::string msg;
  try {
    aHandler();
    return true;
  } catch (const std::exception& e) {
    msg = e.what();
  } catch (...) {
    msg = "未知错误";
  }
  try {
    TovLib::Log("[安装]安装出错：" + msg, true);
    TovLib::MsgBox(msg, kMsgTitle);
  } catch (...) {
    // Nothing left to tell the user with.
  }
  return false;
}

}  // namespace

int32_t TOLSMain::PrepareChoice(const TInstallChoice& aChoice, std::string& aResult) {
  return PrepareInstall(aChoice, aResult);
}

TInstallChoice TOLSMain::Choice() const {
  TInstallChoice c;
  c.Code = FCode;
  c.Web = lblchkmodweb->Tag() == 1;
  c.Pos = lblchkmodpos->Tag() == 1;
  c.Path = OVStdStr(edtModPath->text());
  return c;
}

void TOLSMain::lblCodeInstClick(QWidget*) {
  Guarded([&] {
    const std::string id = TrimEdit(edtInstCorpId);
    if (id.empty()) {
      TovLib::MsgBox(OVStdStr(edtInstCorpId->placeholderText()) + "!", kMsgTitle);
      if (CanFocus(edtInstCorpId)) edtInstCorpId->setFocus();
      return;
    }
    const std::string code = TrimEdit(edtInstCode);
    if (code.empty()) {
      TovLib::MsgBox(OVStdStr(edtInstCode->placeholderText()) + "!", kMsgTitle);
      if (CanFocus(edtInstCode)) edtInstCode->setFocus();
      return;
    }
    TSoftSaasHelper* h = ProductInstaller("corvela");
    std::string msg;
    if (!h || h->GetInstConfig("", "", id, code, msg) != 1) {
      TovLib::MsgBox(msg, kMsgTitle);
      return;
    }
    imgEN->hide();
    imgCN->hide();
    MoveShared(crdformoptn, SharedControls());
    crdpnl->setCurrentWidget(crdformoptn);
    edtModPath->selectAll();
  });
}

void TOLSMain::lblcorvelaSetPathClick(QWidget*) {
  Guarded([&] {
    std::string folder = OVStdStr(edtModPath->text());
    std::string start = folder;
    if (edtModPath->Tag() == 0) {
      start = str::ExtractFileDir(str::ExcludeTrailingBackslash(folder));
      if (!start.empty()) ov::platform::fs::ForceDirectories(start);
    }
    std::string chosen;
    if (!TInstHelper::SelectFolderDialog(
            this, LangT("gls_install", "安装") + LangT("gls_dir", "目录"), start, chosen)) {
      return;
    }
    const size_t root = chosen.find(":\\");
    const std::string tail = root == std::string::npos ? chosen : chosen.substr(root + 2);
    std::string sub = LangT("app_" + FCode + "_InstPath", "ondrevo\\" + FCode + "\\");
    // The fallback has no ":\": a drive letter in front of it would not make a path.
    if (sub.rfind(":", 0) != 0) sub = ":\\" + sub;
    if (root == std::string::npos) {
      folder = chosen;  // not a drive path: nothing to complete
    } else if (str::SameText(tail, "ondrevo") || str::SameText(tail, "Ondrevo软件")) {
      folder =
          chosen + "\\" + str::ExtractFileName(str::ExcludeTrailingBackslash("D" + sub)) + "\\";
    } else if (tail.empty()) {
      folder = chosen.substr(0, 1) + sub;
    } else if (tail.find('\\') == std::string::npos) {
      folder = chosen.substr(0, 1) + ":\\" + tail + "\\" + SoftVar().name().v();
    } else {
      folder = chosen;
    }
    folder = str::ReplaceAll(folder, "\\\\", "\\");
    edtModPath->setText(OVQStr(folder));
    edtModPath->SetTag(1);
    if (CanFocus(edtModPath)) edtModPath->selectAll();
  });
}

void TOLSMain::lblModInstClick(QWidget*) {
  Guarded([&] {
    if (TrimEdit(edtModPath).empty()) {
      TovLib::MsgBox(OVStdStr(edtModPath->placeholderText()) + "!", kMsgTitle);
      if (CanFocus(edtModPath)) edtModPath->setFocus();
      return;
    }
    if (lblchkmodweb->Tag() != 1 && lblchkmodpos->Tag() != 1) {
      TovLib::MsgBox(LangT("app_dup_instmod_nulltips", "请选择一个安装的模块！"), kMsgTitle);
      return;
    }
    std::string msg;
    if (PrepareChoice(Choice(), msg) != 1) {
      TovLib::MsgBox(msg, kMsgTitle);
      return;
    }
    MoveShared(crdforminst, {imgClose});
    if (!imgSliders[0]->Picture().isNull()) {
      imgSlider->SetPicture(imgSliders[0]->Picture(), imgSliders[0]->PictureFormat());
      imgSlider->SetTag(1);
    } else {
      imgSlider->SetTag(0);
    }
    imgEN->hide();
    imgCN->hide();
    MoveShared(crdforminst, {lblTitle});
    crdpnl->setCurrentWidget(crdforminst);
    tmrInst->SetTag(0);
    tmrInst->start();
    tmrSlider->SetTag(0);
    tmrSlider->setInterval(3000);
    tmrSlider->start();
  });
}

void TOLSMain::tmrInstTimer() {
  const bool ran = Guarded([&] {
    tmrInst->stop();
    if (tmrInst->Tag() != 0) return;
    tmrInst->SetTag(1);
    SoftVar().path().SetV(str::Trim(OVStdStr(edtModPath->text())));
    using TStarter = void (TOLSMain::*)();
    const std::pair<const char*, TStarter> starters[] = {
        {"corvela", &TOLSMain::InstCorvela}, {"pindor", &TOLSMain::InstPindor},
        {"ketrin", &TOLSMain::InstKetrin},   {"Daskor", &TOLSMain::InstDaskor},
        {"zelapp", &TOLSMain::InstZelapp},   {"zelntr", &TOLSMain::InstZelntr},
        {"zelcv", &TOLSMain::InstZelcv},     {"brvapp", &TOLSMain::InstBrvapp}};
    for (const auto& [code, starter] : starters) {
      if (str::SameText(code, FCode)) {
        (this->*starter)();
        break;
      }
    }
    tmrSlider->stop();
    MoveShared(crdformfnsh, SharedControls());
    crdpnl->setCurrentWidget(crdformfnsh);
    lblFnshInstTips->SetCaption(OVQStr(LangT("app_dup_inst_finished", "程序已安装完成！")));
  });
  if (!ran) close();  // the run cannot go on
}

// Every row's starter is the shared run of its modules; they differ only in the row.
void TOLSMain::InstCorvela() { RunStarter(); }
void TOLSMain::InstPindor() { RunStarter(); }
void TOLSMain::InstKetrin() { RunStarter(); }
void TOLSMain::InstDaskor() { RunStarter(); }
void TOLSMain::InstZelapp() { RunStarter(); }
void TOLSMain::InstZelntr() { RunStarter(); }
void TOLSMain::InstZelcv() { RunStarter(); }
void TOLSMain::InstBrvapp() { RunStarter(); }

void TOLSMain::RunStarter() {
  std::string msg;
  try {
    if (RunInstall(Choice(), *this, msg, FModulePauseMs) == 1) return;
  } catch (const std::exception& e) {
    // Reported like any failed install instead of escaping the timer's event.
    TovLib::Log(std::string("[安装]安装出错：") + e.what(), true);
    msg = e.what();
  }
  if (!(HasSyncObj() && SyncObj().IsAppExit())) TovLib::MsgBox(msg, kMsgTitle);
  close();
}

void TOLSMain::lblFnshInstClick(QWidget*) {
  Guarded([this] { close(); });
}

void TOLSMain::FormClose() { SaveInstChoices(); }

void TOLSMain::SaveInstChoices() { ::SaveInstChoices(Choice(), OVStdStr(edtInstCorpId->text())); }
