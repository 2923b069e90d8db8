// Karto's window program.
#include <QApplication>

#include "app/KartoWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Karto");
  karto::TfrmKarto window;
  window.show();
  return app.exec();
}
