#pragma once

#include <memory>
#include <string>

// The message box of the front end. The core shows every message to the user through it; the
// window installs a modal dialog, and without one the message goes to the standard error
// stream (unattended runs, tests).
namespace ov::platform {

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows aMsg titled aTitle and returns when the user has closed it.
  virtual void ShowMessage(const std::string& aMsg, const std::string& aTitle) = 0;
};

// The built-in box: one line "title: message" on the standard error stream.
std::shared_ptr<IMessageBox> CreateStdErrMessageBox();
// Replaces the process's message box (null: back to the standard error stream).
void SetMessageBox(std::shared_ptr<IMessageBox> aBox);
// The installed message box, or the built-in one.
std::shared_ptr<IMessageBox> CurrentMessageBox();
void ShowMessageBox(const std::string& aMsg, const std::string& aTitle);

}  // namespace ov::platform
