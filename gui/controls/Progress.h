#pragma once

// Progress of a long command: nothing at all for short work; once the work
// has run longer than a moment, a modal dialog with the count done of the
// total and a "キャンセル" button. The events it processes while it shows
// keep the desktop answered, and the modal dialog keeps the window's input
// blocked. Four updates a second: each repaints the dialog and the log
// behind it, which at ten a second cost a run of 100,000 renames 4 %.

#include <cstddef>
#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QString>

class QProgressDialog;
class QWidget;

namespace quor {

class TProgress {
 public:
  explicit TProgress(QWidget* owner, QString label, int showAfterMs = 300, int updateEveryMs = 250);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // After each entry: false once the user cancelled.
  bool Step(std::size_t done, std::size_t total);
  // While the command waits for another run to let go of `folder`: the
  // dialog shows at once and says so, with a busy bar, and its button
  // gives up the wait. False once the user cancelled.
  bool Waiting(const QString& folder);
  [[nodiscard]] std::function<bool(std::size_t done, std::size_t total)> Callback() {
    return [this](std::size_t done, std::size_t total) { return Step(done, total); };
  }
  // The dialog while it shows, else null.
  [[nodiscard]] QProgressDialog* Dialog() const { return dialog_.get(); }

 private:
  QWidget* owner_;
  QString label_;
  int showAfterMs_;
  int updateEveryMs_;
  QElapsedTimer timer_;
  qint64 lastUpdate_ = 0;
  void Show(int maximum);

  std::unique_ptr<QProgressDialog> dialog_;
  bool cancelled_ = false;
  bool waiting_ = false;
};

}  // namespace quor
