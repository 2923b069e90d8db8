// karto-cli: the modules without a window.
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/Cli.h"

namespace {
// Qt's own notes (missing runtime folders, font fallbacks) would read like
// complaints about the user's files; only its critical errors get through.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(msg));
}
}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(QtMessages);
  // Works on machines without a display: nothing here opens a window.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Drawing (an SVG rendered, a trace's preview) needs the GUI's fonts and
  // platform; the picture commands need neither, and start some 4 ms
  // sooner without them (a trace of a large picture takes about 100).
  bool draws = argc > 1 && std::strcmp(argv[1], "render") == 0;
  for (int i = 2; i < argc; ++i) draws = draws || std::strcmp(argv[i], "--png") == 0;
  std::unique_ptr<QCoreApplication> app;
  if (draws) app = std::make_unique<QGuiApplication>(argc, argv);
  else app = std::make_unique<QCoreApplication>(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  int code = karto::RunCli(args, out, err);
  out.flush();
  // What could not be written to standard output (a full disk, a closed
  // pipe) is a failure, not a success that printed nothing.
  if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    err << "Cannot write to standard output.\n";
    if (code == 0) code = 1;
  }
  err.flush();
  return code;
}
