#include "gui/controls/Controls.h"

#include <QLabel>
#include <QLocale>

namespace quor {

std::string KeptOrShown(const QString& shown, std::string_view kept) {
  if (shown == QString::fromUtf8(kept.data(), static_cast<qsizetype>(kept.size()))) return std::string(kept);
  return shown.toStdString();
}

std::string TEdit::Text() const { return KeptOrShown(text(), bytes_); }

void TEdit::SetText(const std::string& text) {
  bytes_ = text;
  setText(QString::fromStdString(text));
}

namespace {

// Shows as much of its text as its width holds, cut in the middle so that
// both the start of a message and the end of a path stay; the whole text is
// its tooltip and what screen readers read. It never asks the window for
// room: a long path once widened the window past the screen for good.
class ElidingLabel : public QLabel {
 public:
  using QLabel::QLabel;

  [[nodiscard]] const QString& Full() const { return full_; }
  void SetFull(const QString& text) {
    full_ = text;
    setAccessibleName(text);
    Fit();
  }
  [[nodiscard]] QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }
  [[nodiscard]] QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Fit();
  }

 private:
  void Fit() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width());
    if (shown != text()) setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
  }

  QString full_;
};

}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent), label_(new ElidingLabel(this)) {
  setSizeGripEnabled(false);
  label_->setTextFormat(Qt::PlainText);
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  addWidget(label_, 1);
}

std::string TStatusBar::Text() const { return static_cast<const ElidingLabel*>(label_)->Full().toStdString(); }

void TStatusBar::SetText(const std::string& text) {
  static_cast<ElidingLabel*>(label_)->SetFull(QString::fromStdString(text));
}

QString CountText(std::uint64_t n) {
  static const QLocale english(QLocale::English);
  return english.toString(static_cast<qulonglong>(n));
}

}  // namespace quor
