#include "gui/controls/Application.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QWidget>

#include "system/Display.h"
#include "system/Signals.h"
#include "system/SystemOps.h"

namespace quor {

TApplication Application;

TQtApplication::TQtApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQtApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    Application.HandleException();
  }
  return false;
}

TApplication::~TApplication() { Release(); }

namespace {

// The toolkit's messages while it starts, held back: when no display can be
// reached it writes a page of plugin errors and aborts, where one line and
// exit status 1 say it all.
struct StartMessage {
  QtMsgType type;
  std::string category;
  QString text;
};
std::vector<StartMessage> startMessages;

void HoldStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::string reason;
    for (const StartMessage& m : startMessages)
      if (m.category.starts_with("qt.qpa")) {
        reason = m.text.toStdString();
        break;
      }
    if (reason.empty()) reason = text.section(QLatin1Char('\n'), 0, 0).toStdString();
    std::fprintf(stderr, "quor-renamer: cannot open the window on the display (%s)\n%s\n", DisplayNames().c_str(),
                 reason.c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  startMessages.push_back({type, context.category != nullptr ? context.category : "", text});
}

}  // namespace

void TApplication::Initialize() {
  if (QCoreApplication::instance()) return;
  // Qt keeps references to both for the life of the application.
  static int argc = 1;
  static char name[] = "quor-renamer";
  static char* argv[] = {name, nullptr};
  const QtMessageHandler previous = qInstallMessageHandler(HoldStartMessage);
  ownApp_ = std::make_unique<TQtApplication>(argc, argv);
  qInstallMessageHandler(previous);
  // Started: what the toolkit said goes out as it would have.
  for (const StartMessage& m : startMessages) {
    const QMessageLogContext context(nullptr, 0, nullptr, m.category.c_str());
    qt_message_output(m.type, context, m.text);
  }
  startMessages.clear();
  // Lets the desktop match the window to the installed desktop entry.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(name));
}

namespace {

// A request to end the program (the session ending, SIGTERM) closes the main
// window as its close button does, so that the settings are saved.
void CloseOnTerminationSignals(QWidget* form) {
  const int fd = WatchTerminationSignals();
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, form);
  QObject::connect(notifier, &QSocketNotifier::activated, form, [form] {
    ConsumeTerminationSignal();
    form->close();
  });
}

}  // namespace

void TApplication::Run() {
  if (mainForm_) {
    CloseOnTerminationSignals(mainForm_);
    mainForm_->show();
  }
  QApplication::exec();
}

void TApplication::ShowException(const Exception& e) {
  if (errorBox_) {
    errorBox_(title_, e.Message());
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(title_),
                  QString::fromStdString(e.Message()), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

void TApplication::HandleException() noexcept {
  try {
    try {
      throw;
    } catch (const Exception& e) {
      ShowException(e);
    } catch (const std::exception& e) {
      ShowException(Exception(e.what()));
    } catch (...) {
      ShowException(Exception(""));
    }
  } catch (...) {
    // The error box itself failed; there is nobody left to tell.
  }
}

std::string TApplication::ExeName() const {
  // The system's bytes, so that a path that is not valid UTF-8 stays intact.
  std::string path = ExecutablePath();
  if (path.empty()) path = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
  return path;
}

void TApplication::Release() {
  while (!forms_.empty()) forms_.pop_back();
  mainForm_ = nullptr;
  ownApp_.reset();
}

}  // namespace quor
