// The widget tests run on the offscreen platform inside one QApplication.
#include <gtest/gtest.h>

#include <QApplication>

#include "main/base/unwired.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  // A port the window's wiring left unset fails the test that ran into it.
  orv::SetUnwiredHandler([](const char* port) { ADD_FAILURE() << "unwired port: " << port; });
  return RUN_ALL_TESTS();
}
