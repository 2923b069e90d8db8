// Test entry shared by every test program. Tests are headless: the offscreen
// platform is chosen when nothing else is set, before the application starts
// (gtest_discover_tests runs the programs at build time without the test
// environment).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
