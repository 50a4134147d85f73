#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

// Qt and the libraries under it on a desktop (glib's main loop, D-Bus) are not built with the
// thread sanitizer, so the locks of their own threads (the pixmap conversions' pool, the
// D-Bus connection thread waking glib's loop) are invisible to it. A race is left out when
// one of its stacks passes through those libraries, and so is a lock order inside them; the
// program's own hand-overs between threads use standard locks and are still checked.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n"
         "race:libQt6Widgets.so\n"
         "race:libQt6DBus.so\n"
         "race:libQt6XcbQpa.so\n"
         "race:libglib-2.0.so\n"
         "race:libdbus-1.so\n"
         "deadlock:libdbus-1.so\n"
         "deadlock:libglib-2.0.so\n"
         "deadlock:libQt6DBus.so\n";
}

// The dialogs need a widget application; without a display they draw on Qt's offscreen
// platform. The test list is read at build time by running this program, so it must start
// anywhere. The Windows build has the Windows platform only.
int main(int argc, char** argv) {
#ifndef _WIN32
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
