#pragma once

// The application object of the class library over Qt: the event loop, the
// main window, and the error box that every escaped exception ends in.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>

#include "system/Exception.h"

namespace quor {

// The Qt application with the library's promise: an exception that escapes
// an event handler is shown in the error box and the event loop goes on.
class TQtApplication : public QApplication {
 public:
  TQtApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The application object of the class library over Qt. One per process,
// the global `Application`; everything runs on the GUI thread.
class TApplication {
 public:
  // Shows one error message; the default is a modal QMessageBox. Tests put
  // in their own to see the message without a modal loop.
  using ErrorBoxProc = std::function<void(const std::string& title, const std::string& message)>;

  ~TApplication();

  // Creates the Qt application from the program name alone, so that no
  // command-line argument of the user's changes anything. Keeps a Qt
  // application that already exists (the tests make their own). When the
  // toolkit finds no display it would abort: the process says so in two
  // lines on standard error instead and ends with status 1.
  void Initialize();

  void SetTitle(std::string title) { title_ = std::move(title); }

  // Builds a window of class T into `form`; the first one is the main
  // window, which Run shows. The application owns the windows.
  template <class T>
  void CreateForm(T*& form) {
    auto created = std::make_unique<T>();
    form = created.get();
    if (!mainForm_) mainForm_ = created.get();
    forms_.push_back(std::move(created));
  }

  // Shows the main window and runs the event loop until it has closed.
  void Run();

  // Shows the exception's message in the modal error box.
  void ShowException(const Exception& e);

  // For a catch block: shows what is being handled, an Exception or a
  // std::exception with its message, anything else with an empty one.
  void HandleException() noexcept;

  // The running executable's full path, as bytes.
  [[nodiscard]] std::string ExeName() const;

  void SetErrorBox(ErrorBoxProc proc) { errorBox_ = std::move(proc); }

  // Destroys the windows, then the Qt application if Initialize made it.
  void Release();

 private:
  std::string title_;
  ErrorBoxProc errorBox_;
  std::vector<std::unique_ptr<QWidget>> forms_;
  QWidget* mainForm_ = nullptr;
  std::unique_ptr<TQtApplication> ownApp_;
};

extern TApplication Application;

// Wraps a handler that takes no arguments (whatever the signal passes is
// dropped) so that an exception it throws is shown in the
// error box right where Qt calls it, instead of unwinding through Qt.
template <class F>
auto Guarded(F handler) {
  return [handler = std::move(handler)](auto&&...) {
    try {
      handler();
    } catch (...) {
      Application.HandleException();
    }
  };
}

}  // namespace quor
