#include "gui/controls/Progress.h"

#include <algorithm>
#include <climits>

#include <QApplication>
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
  if (!dialog_) {
    dialog_ = std::make_unique<QProgressDialog>(label_, QStringLiteral("キャンセル"), 0, maximum, owner_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->show();
  }
  dialog_->setMaximum(maximum);
  dialog_->setValue(static_cast<int>(std::min<std::size_t>(done, INT_MAX)));
  dialog_->setLabelText(label_ + QStringLiteral("  %1 / %2").arg(done).arg(total));
  QApplication::processEvents();
  cancelled_ = dialog_->wasCanceled();
  return !cancelled_;
}

}  // namespace quor
