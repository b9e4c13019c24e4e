// The GUI tests run in one Qt application on the offscreen platform, with
// configuration and state folders of their own, so that nothing touches the
// user's settings or history.

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "gui/controls/Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  const QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
  qputenv("XDG_STATE_HOME", (home.path() + "/state").toLocal8Bit());
  ::testing::InitGoogleTest(&argc, argv);
  quor::TQtApplication app(argc, argv);
  quor::Application.SetTitle("Quor Renamer");
  // A modal box would hang the run; tests that expect one put in their own.
  quor::Application.SetErrorBox([](const std::string&, const std::string& message) {
    ADD_FAILURE() << "unexpected error box: " << message;
  });
  return RUN_ALL_TESTS();
}
