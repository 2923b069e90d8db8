// Karto's window program: karto [FILE...] opens pictures and drawings.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "app/KartoWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Karto");
  QApplication::setApplicationVersion(KARTO_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Turns pixel pictures into vector drawings and edits simple vector drawings.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("FILE", "Pictures (.png, .jpg, .bmp) to vectorize, drawings (.svg, .svgz) to edit.",
                               "[FILE...]");
  parser.process(app);
  karto::TfrmKarto window;
  window.show();
  // Opened once the window shows, in the order given; the last one stays.
  const QStringList files = parser.positionalArguments();
  QTimer::singleShot(0, &window, [&window, files] {
    for (const QString& f : files) window.OpenFile(f);
  });
  return app.exec();
}
