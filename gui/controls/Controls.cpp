#include "gui/controls/Controls.h"

namespace quor {

std::string TEdit::Text() const {
  const QString shown = text();
  if (shown == QString::fromStdString(bytes_)) return bytes_;
  return shown.toStdString();
}

void TEdit::SetText(const std::string& text) {
  bytes_ = text;
  setText(QString::fromStdString(text));
}

}  // namespace quor
