#include "platform/ShellLinks.h"

#include <mutex>

namespace ov::platform {

namespace {

std::mutex gPickerLock;
std::shared_ptr<IFolderPicker> gPicker;

}  // namespace

void SetFolderPicker(std::shared_ptr<IFolderPicker> aPicker) {
  std::lock_guard<std::mutex> g(gPickerLock);
  gPicker = std::move(aPicker);
}

std::shared_ptr<IFolderPicker> FolderPicker() {
  std::lock_guard<std::mutex> g(gPickerLock);
  return gPicker;
}

}  // namespace ov::platform
