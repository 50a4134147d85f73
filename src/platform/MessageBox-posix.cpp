#include <cstdio>

#include "platform/MessageBox.h"

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

}  // namespace

std::shared_ptr<IMessageBox> CreateStdErrMessageBox() {
  return std::make_shared<StdErrMessageBox>();
}

}  // namespace ov::platform
