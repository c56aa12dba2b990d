// The collection page's widget tests: one QApplication for all, with Qt WebEngine set up
// before it (shared GL contexts; no sandbox when running as root).
#include <QApplication>

#include <gtest/gtest.h>
#include <unistd.h>

#include "main/base/unwired.h"

int main(int argc, char** argv) {
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  // A port the window's wiring left unset fails the test that ran into it.
  orv::SetUnwiredHandler([](const char* port) { ADD_FAILURE() << "unwired port: " << port; });
  return RUN_ALL_TESTS();
}
