#include <cstdio>

#include "platform/MessageBox.h"
#include "platform/Win32Util.h"

namespace ov::platform {

namespace {

// On a console the line is written as UTF-16, so Chinese text shows whatever the console's
// code page; redirected, it goes out as UTF-8 bytes. A program with no standard error at all
// (started from the desktop) shows the system's message box instead.
class StdErrMessageBox : public IMessageBox {
 public:
  void ShowMessage(const std::string& aMsg, const std::string& aTitle) override {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) {
      MessageBoxW(nullptr, win::Widen(aMsg).c_str(), win::Widen(aTitle).c_str(),
                  MB_OK | MB_ICONINFORMATION);
      return;
    }
    const std::string line = aTitle + ": " + aMsg + "\n";
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode)) {
      const std::wstring w = win::Widen(line);
      DWORD done = 0;
      WriteConsoleW(err, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
      return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

std::shared_ptr<IMessageBox> CreateStdErrMessageBox() {
  return std::make_shared<StdErrMessageBox>();
}

}  // namespace ov::platform
