#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

// The dialogs need a widget application; without a display they draw on Qt's offscreen
// platform. The test list is read at build time by running this program, so it must start
// anywhere.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
