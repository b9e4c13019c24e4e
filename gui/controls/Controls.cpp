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

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent), label_(new QLabel(this)) {
  setSizeGripEnabled(false);
  label_->setTextFormat(Qt::PlainText);
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  addWidget(label_, 1);
}

std::string TStatusBar::Text() const { return label_->text().toStdString(); }

void TStatusBar::SetText(const std::string& text) { label_->setText(QString::fromStdString(text)); }

QString CountText(std::uint64_t n) {
  static const QLocale english(QLocale::English);
  return english.toString(static_cast<qulonglong>(n));
}

}  // namespace quor
