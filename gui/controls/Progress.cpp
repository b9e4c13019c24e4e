#include "gui/controls/Progress.h"

#include <algorithm>
#include <climits>

#include <QApplication>
#include <QProgressBar>
#include <QProgressDialog>

namespace quor {

TProgress::TProgress(QWidget* owner, QString label, int showAfterMs, int updateEveryMs)
    : owner_(owner), label_(std::move(label)), showAfterMs_(showAfterMs), updateEveryMs_(updateEveryMs) {
  timer_.start();
}

TProgress::~TProgress() = default;

bool TProgress::Step(std::size_t done, std::size_t total) {
  if (cancelled_) return false;
  const qint64 now = timer_.elapsed();
  // Checked once per entry: a clock read costs far less than a rename.
  if (now < showAfterMs_ || (dialog_ && now - lastUpdate_ < updateEveryMs_)) return true;
  lastUpdate_ = now;
  const int maximum = static_cast<int>(std::min<std::size_t>(total, INT_MAX));
  Show(maximum);
  if (waiting_) {
    waiting_ = false;
    dialog_->setLabelText(label_);
  }
  dialog_->setMaximum(maximum);
  dialog_->setValue(static_cast<int>(std::min<std::size_t>(done, INT_MAX)));
  // A modal dialog has mostly done this inside setValue; what is left is
  // cheap, and it keeps the desktop answered when the value did not move.
  QApplication::processEvents();
  cancelled_ = dialog_->wasCanceled();
  return !cancelled_;
}

bool TProgress::Waiting(const QString& folder) {
  if (cancelled_) return false;
  Show(0);
  if (!waiting_) {
    waiting_ = true;
    dialog_->setLabelText(label_ + QStringLiteral("\n別の実行が終わるのを待っています: ") + folder);
    dialog_->setRange(0, 0);  // busy: no count yet
  }
  QApplication::processEvents();
  cancelled_ = dialog_->wasCanceled();
  return !cancelled_;
}

void TProgress::Show(int maximum) {
  if (dialog_) return;
  dialog_ = std::make_unique<QProgressDialog>(label_, QStringLiteral("キャンセル"), 0, maximum, owner_);
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setMinimumDuration(0);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  // The count goes on the bar, which paints it in place; a label that
  // changed with each update would be laid out anew every time.
  if (auto* bar = dialog_->findChild<QProgressBar*>()) bar->setFormat(QStringLiteral("%v / %m"));
  dialog_->show();
}

}  // namespace quor
