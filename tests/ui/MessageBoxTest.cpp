#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/OVLibUtil.h"
#include "platform/MessageBox.h"

namespace {

class TRecordingBox : public ov::platform::IMessageBox {
 public:
  void ShowMessage(const std::string& aMsg, const std::string& aTitle) override {
    Shown.push_back(aTitle + "|" + aMsg);
    // A message shown while a box is open (a nested event loop) must not block.
    if (aMsg == "nested") TovLib::MsgBox("inner", aTitle);
  }
  std::vector<std::string> Shown;
};

class MessageBoxTest : public ::testing::Test {
 protected:
  void TearDown() override { ov::platform::SetMessageBox(nullptr); }
};

}  // namespace

TEST_F(MessageBoxTest, WithoutAWindowTheMessageGoesToStandardError) {
  auto box = std::make_shared<TRecordingBox>();
  ov::platform::SetMessageBox(box);
  ov::platform::SetMessageBox(nullptr);
  testing::internal::CaptureStderr();
  TovLib::MsgBox("请选择一个安装的模块！", "消息");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "消息: 请选择一个安装的模块！\n");
  EXPECT_TRUE(box->Shown.empty());
}

TEST_F(MessageBoxTest, MsgBoxGoesThroughTheInstalledBoxEvenWhileItIsOpen) {
  auto box = std::make_shared<TRecordingBox>();
  ov::platform::SetMessageBox(box);
  EXPECT_EQ(ov::platform::CurrentMessageBox(), box);
  testing::internal::CaptureStderr();
  TovLib::MsgBox("安装失败", "消息");
  TovLib::MsgBox("nested", "消息");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(box->Shown, (std::vector<std::string>{"消息|安装失败", "消息|nested", "消息|inner"}));
}
