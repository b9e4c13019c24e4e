#include <gtest/gtest.h>

#include <stdexcept>

#include <QCursor>
#include <QGuiApplication>

#include "gui/controls/Screen.h"
#include "gui/support/Waitcursor.h"

namespace quor {
namespace {

class WaitCursorTest : public ::testing::Test {
 protected:
  void SetUp() override { Screen.SetCursor(crDefault); }
  void TearDown() override { Screen.SetCursor(crDefault); }
};

TEST_F(WaitCursorTest, ScreenCursorHasOneValueNotAStack) {
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  Screen.SetCursor(crHourGlass);
  EXPECT_EQ(Screen.Cursor(), crHourGlass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

  // A second value replaces the first; one crDefault clears everything.
  Screen.SetCursor(crHandPoint);
  EXPECT_EQ(Screen.Cursor(), crHandPoint);
  Screen.SetCursor(crDefault);
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WaitCursorTest, ReadsACursorSetThroughQtDirectly) {
  QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
  EXPECT_EQ(Screen.Cursor(), crCross);
  Screen.SetCursor(crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WaitCursorTest, ShowsBusyCursorAndRestoresDefault) {
  {
    TWaitCursor wait;
    EXPECT_EQ(Screen.Cursor(), crHourGlass);
  }
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WaitCursorTest, RestoresWhenTheScopeEndsByAnException) {
  Screen.SetCursor(crIBeam);
  try {
    TWaitCursor wait;
    throw std::runtime_error("run failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Screen.Cursor(), crIBeam);
}

TEST_F(WaitCursorTest, BusyBeforeStaysBusyAfter) {
  Screen.SetCursor(crHourGlass);
  { TWaitCursor wait; }
  EXPECT_EQ(Screen.Cursor(), crHourGlass);
}

TEST_F(WaitCursorTest, NestedGuardsEndingInnerFirstRestoreTheOriginal) {
  {
    TWaitCursor outer;
    {
      TWaitCursor inner;
      EXPECT_EQ(Screen.Cursor(), crHourGlass);
    }
    EXPECT_EQ(Screen.Cursor(), crHourGlass);
  }
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace quor
