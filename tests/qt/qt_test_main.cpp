#include <gtest/gtest.h>

#include "platform/qt/application.h"

int main(int argc, char** argv) {
  // The tests look at real widgets without a display; CTest sets this as well.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  qtui::Application application(argc, argv);
  return RUN_ALL_TESTS();
}
