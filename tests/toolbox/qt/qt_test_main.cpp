// qt_test_main.cpp - runs the Qt backend tests inside a QApplication, offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  // Test discovery runs this program without the test environment.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Window geometry and options that tests leave behind never reach the
  // user's own settings; a test that needs another folder sets its own.
  const char* scratch = std::getenv("VANTORELLE_TEST_TMP");
  const std::string config = std::string(scratch != nullptr ? scratch : "/tmp") + "/vantorelle-test-config";
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
