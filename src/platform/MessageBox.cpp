#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace ov::platform {

namespace {

class StdErrMessageBox : public IMessageBox {
 public:
  void ShowMessage(const std::string& aMsg, const std::string& aTitle) override {
    const std::string line = aTitle + ": " + aMsg + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
};

std::mutex gBoxLock;
std::shared_ptr<IMessageBox> gBox;

}  // namespace

std::shared_ptr<IMessageBox> CreateStdErrMessageBox() {
  return std::make_shared<StdErrMessageBox>();
}

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
