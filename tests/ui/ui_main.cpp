// main() of the UI tests: one QApplication on the offscreen platform (unless another platform
// is asked for) that outlives every test and is destroyed before Qt's globals.
#include <gtest/gtest.h>

#include <QApplication>

#include "model/factory.h"
#include "ports/register.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  t32::RegisterPorts(t32::DefaultFactory());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
