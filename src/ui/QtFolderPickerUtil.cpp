#include "ui/QtFolderPickerUtil.h"

#include <QFileDialog>
#include <string>

#include "platform/Paths.h"
#include "ui/BaseFormUnit.h"
#include "ui/OVControlsUtil.h"

namespace {

class TQtFolderPicker final : public ov::platform::IFolderPicker {
 public:
  bool PickFolder(const std::string& aCaption, std::string& aFolder) override {
    const std::string start = aFolder.empty() ? std::string() : ov::platform::MapToHost(aFolder);
    const QString dir =
        QFileDialog::getExistingDirectory(MainForm(), OVQStr(aCaption), OVQStr(start));
    if (dir.isEmpty()) return false;
    // z: reaches every host folder, so only a prefix without drives gives no Windows path.
    const std::string win = ov::platform::MapFromHost(OVStdStr(dir));
    if (win.empty()) return false;
    aFolder = win;
    return true;
  }
};

}  // namespace

std::shared_ptr<ov::platform::IFolderPicker> CreateQtFolderPicker() {
  return std::make_shared<TQtFolderPicker>();
}
