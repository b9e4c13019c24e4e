#include "gui/controls/Application.h"

#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QWidget>

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
