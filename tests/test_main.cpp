// Test entry shared by every test program. Tests are headless: the offscreen
// platform is chosen when nothing else is set, before the application starts
// (gtest_discover_tests runs the programs at build time without the test
// environment).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

namespace {
// The offscreen platform says this for every fixed-size widget; it tells
// nothing about the code under test.
void QuietMessages(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
  if (msg.contains("does not support propagateSizeHints")) return;
  fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, ctx, msg)));
}
}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(QuietMessages);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
