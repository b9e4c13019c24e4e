// The GUI tests run in one Qt application on the offscreen platform, with
// Qt's test locations so that nothing touches the user's configuration.

#include <gtest/gtest.h>

#include <QStandardPaths>

#include "gui/controls/Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  quor::TQtApplication app(argc, argv);
  quor::Application.SetTitle("Quor Renamer");
  // A modal box would hang the run; tests that expect one put in their own.
  quor::Application.SetErrorBox([](const std::string&, const std::string& message) {
    ADD_FAILURE() << "unexpected error box: " << message;
  });
  return RUN_ALL_TESTS();
}
