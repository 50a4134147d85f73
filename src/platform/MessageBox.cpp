#include "platform/MessageBox.h"

#include <mutex>

namespace ov::platform {

namespace {

std::mutex gBoxLock;
std::shared_ptr<IMessageBox> gBox;

}  // namespace

void SetMessageBox(std::shared_ptr<IMessageBox> aBox) {
  std::lock_guard<std::mutex> g(gBoxLock);
  gBox = std::move(aBox);
}

std::shared_ptr<IMessageBox> CurrentMessageBox() {
  std::lock_guard<std::mutex> g(gBoxLock);
  if (!gBox) gBox = CreateStdErrMessageBox();
  return gBox;
}

void ShowMessageBox(const std::string& aMsg, const std::string& aTitle) {
  // Shown outside the lock: a modal box runs an event loop that may show another message.
  CurrentMessageBox()->ShowMessage(aMsg, aTitle);
}

}  // namespace ov::platform
