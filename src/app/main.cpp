// OVOnlineSetup: the installer's window.
#include <QApplication>
#include <memory>

#include "app/AppStartUtil.h"
#include "ui/BaseFormUnit.h"

int main(int argc, char** argv) {
  ov::app::PrepareApplication();
  QApplication app(argc, argv);
  return ov::app::RunApp([]() -> std::unique_ptr<QWidget> {
    // TOLSMain goes here.
    auto form = std::make_unique<TBaseForm>();
    form->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    form->SetClientSize(720, 520);
    return form;
  });
}
