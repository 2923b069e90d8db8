// Karto's window program: karto [FILE...] opens pictures and drawings.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "app/KartoWindow.h"

namespace {

// The command line, read before any window exists: --help and --version
// answer (and end the program) even where no display is available.
QStringList ParseArguments(int argc, char** argv) {
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationName("Karto");
  QCoreApplication::setApplicationVersion(KARTO_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Turns pixel pictures into vector drawings and edits simple vector drawings.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("FILE", "Pictures (.png, .jpg, .bmp) to vectorize, drawings (.svg, .svgz) to edit.",
                               "[FILE...]");
  parser.process(core);
  return parser.positionalArguments();
}

}  // namespace

int main(int argc, char** argv) {
  const QStringList files = ParseArguments(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Karto");
  QApplication::setApplicationVersion(KARTO_VERSION);
  karto::TfrmKarto window;
  window.show();
  // Opened once the window shows, in the order given; the last one stays.
  QTimer::singleShot(0, &window, [&window, files] {
    for (const QString& f : files) window.OpenFile(f);
  });
  return app.exec();
}
