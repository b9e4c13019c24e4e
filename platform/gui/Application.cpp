#include "platform/gui/Application.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QWidget>

#include "platform/SystemOps.h"

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

void TApplication::Initialize() {
  if (QCoreApplication::instance()) return;
  // Qt keeps references to both for the life of the application.
  static int argc = 1;
  static char name[] = "quor-renamer";
  static char* argv[] = {name, nullptr};
  ownApp_ = std::make_unique<TQtApplication>(argc, argv);
  // Lets the desktop match the window to the installed desktop entry.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(name));
}

namespace {

int signalPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  (void)!::write(signalPipe[1], &byte, 1);
}

// SIGTERM (the session or the system shutting down), SIGHUP (the terminal
// gone) and SIGINT close the main window as its close button does, so that
// the settings are saved; a handler may only write to a pipe, which the
// event loop reads.
void CloseOnTerminationSignals(QWidget* form) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, form);
  QObject::connect(notifier, &QSocketNotifier::activated, form, [form] {
    char byte = 0;
    (void)!::read(signalPipe[0], &byte, 1);
    form->close();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &action, nullptr);
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
