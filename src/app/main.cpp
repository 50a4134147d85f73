// OVOnlineSetup: the installer's window.
#include <QApplication>
#include <memory>

#include "app/AppStartUtil.h"
#include "app/OLSMainUnit.h"

int main(int argc, char** argv) {
  ov::app::PrepareApplication();
  QApplication app(argc, argv);
  return ov::app::RunApp([]() -> std::unique_ptr<QWidget> { return std::make_unique<TOLSMain>(); });
}
