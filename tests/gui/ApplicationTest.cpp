#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>

#include "system/Exception.h"
#include "gui/controls/Application.h"
#include "tests/cli/RunCli.h"
#include "tests/gui/ErrorBoxRecorder.h"

namespace quor {
namespace {

// An object whose event handler throws whatever it is told to.
class Thrower : public QObject {
 public:
  std::function<void()> toThrow;
  int handled = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++handled;
    if (toThrow) toThrow();
    return true;
  }
};

TEST(ApplicationTest, ExceptionFromAnEventHandlerIsShownAndTheLoopGoesOn) {
  struct Case {
    const char* name;
    std::function<void()> toThrow;
    std::string message;
  };
  const Case cases[] = {
      {"program's own exception", [] { throw Exception("Cannot write settings"); }, "Cannot write settings"},
      {"standard exception", [] { throw std::runtime_error("bad"); }, "bad"},
      {"anything else shows an empty message", [] { throw 42; }, ""},
  };
  for (const Case& c : cases) {
    ErrorBoxRecorder box;
    Thrower target;
    target.toThrow = c.toThrow;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event)) << c.name;
    ASSERT_EQ(box.messages.size(), 1u) << c.name;
    EXPECT_EQ(box.messages[0], c.message) << c.name;
    EXPECT_EQ(box.titles[0], "Quor Renamer") << c.name;
    // The next event is handled as usual.
    target.toThrow = nullptr;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    EXPECT_EQ(target.handled, 2) << c.name;
    EXPECT_EQ(box.messages.size(), 1u) << c.name;
  }
}

TEST(ApplicationTest, GuardedClickHandlerShowsTheErrorAndTheButtonWorksOn) {
  ErrorBoxRecorder box;
  QPushButton button;
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, &button, Guarded([&] {
                     if (++clicks == 1) throw Exception("first click fails");
                   }));
  button.click();
  button.click();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(box.messages, std::vector<std::string>{"first click fails"});
}

struct FailingForm : QWidget {
  FailingForm() { throw std::logic_error("built badly"); }
};

TEST(ApplicationTest, FormWhoseConstructionFailsIsNotCreated) {
  FailingForm* form = nullptr;
  EXPECT_THROW(Application.CreateForm(form), std::logic_error);
  EXPECT_EQ(form, nullptr);
}

TEST(ApplicationTest, ExeNameIsTheRunningExecutable) {
  const std::string exe = Application.ExeName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), '/');
  EXPECT_EQ(exe.substr(exe.rfind('/') + 1), "gui_tests");
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// The program as a desktop or a terminal starts it, with no display at all
// or one that cannot be reached: answers without the toolkit, and never the
// toolkit's abort.
TEST(ProgramStart, AnswersWithoutADisplayAndSaysWhenItHasNone) {
  const std::map<std::string, std::string> none = {{"PATH", "/usr/bin:/bin"}, {"HOME", "/nonexistent"}};
  auto with = none;
  with["DISPLAY"] = "127.0.0.1:63";  // a remote display that refuses the connection
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int status;
    const char* out;  // the start of standard output
    std::size_t errLines;
  } cases[] = {
      {"--help", {"--help"}, none, 0, "Usage: quor-renamer [FOLDER]\n", 0},
      {"-h with a folder", {"/tmp", "-h"}, none, 0, "Usage: quor-renamer [FOLDER]\n", 0},
      {"--version", {"--version"}, none, 0, "quor-renamer (Quor Renamer) 1.", 0},
      {"--version where a display cannot be reached", {"--version"}, with, 0, "quor-renamer (Quor Renamer) 1.", 0},
      {"no display", {}, none, 1, "", 2},
      {"no display, a folder given", {"/tmp"}, none, 1, "", 2},
      {"a local display without its socket", {}, {{"PATH", "/usr/bin"}, {"DISPLAY", ":4711"}}, 1, "", 2},
      {"a display that refuses", {"/tmp"}, with, 1, "", 2},
      {"an unknown option", {"--bogus"}, none, 2, "", 2},
      {"two folders", {"/tmp", "/usr"}, none, 2, "", 2},
  };
  for (const auto& c : cases) {
    const test::CliResult r = test::RunCli(c.args, c.env, {}, QUOR_RENAMER_EXE);
    EXPECT_EQ(r.Status, c.status) << c.what << "\n" << r.Err;
    EXPECT_TRUE(r.Out.starts_with(c.out)) << c.what << "\n" << r.Out;
    EXPECT_EQ(static_cast<std::size_t>(std::count(r.Err.begin(), r.Err.end(), '\n')), c.errLines)
        << c.what << "\n" << r.Err;
    EXPECT_TRUE(r.Err.starts_with(c.errLines ? "quor-renamer: " : "")) << c.what << "\n" << r.Err;
  }
}

}  // namespace
}  // namespace quor
