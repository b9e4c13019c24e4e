#include "gui/controls/Memo.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

namespace quor {

namespace {

// Columns line up when these advance alike: fonts do not always say that
// they are monospaced (Qt reports Noto Sans Mono as not fixed-pitch).
bool EvenAdvances(const QFont& font) {
  const QFontMetrics m(font);
  const int i = m.horizontalAdvance(QLatin1Char('i'));
  return i > 0 && i == m.horizontalAdvance(QLatin1Char('W')) && i == m.horizontalAdvance(QLatin1Char('0'));
}

// The system's fixed-width font, or else the first face it offers whose
// columns line up.
QFont FixedPitchFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (EvenAdvances(font)) return font;
  for (const QString& family : QFontDatabase::families()) {
    QFont candidate(family);
    candidate.setPointSizeF(font.pointSizeF());
    if (EvenAdvances(candidate)) return candidate;
  }
  return font;
}

}  // namespace

void TMemoLines::Add(std::string line) {
  lines_.push_back(std::move(line));
  memo_.ScheduleFlush();
}

void TMemoLines::Clear() { memo_.Clear(); }

std::string TMemoLines::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFont(FixedPitchFont());
  setAcceptDrops(false);  // drops belong to the window
  setUndoRedoEnabled(false);
}

void TMemo::Clear() {
  lines_.lines_.clear();
  lines_.shown_ = 0;
  clear();
}

void TMemo::ScheduleFlush() {
  // A memo on a hidden page gets its text when it is shown or read: laying
  // out 100,000 lines nobody looks at would cost more than the run itself.
  if (flushPending_ || !isVisible()) return;
  flushPending_ = true;
  // Runs after the command that adds the lines, before the next paint.
  QTimer::singleShot(0, this, [this] { Flush(); });
}

void TMemo::Flush() {
  flushPending_ = false;
  auto& lines = lines_.lines_;
  if (lines_.shown_ >= lines.size()) return;
  // One conversion of the joined bytes: per-line QStrings cost more than
  // the widget's own work.
  std::size_t size = 0;
  for (std::size_t i = lines_.shown_; i < lines.size(); ++i) size += lines[i].size() + 1;
  std::string joined;
  joined.reserve(size);
  for (std::size_t i = lines_.shown_; i < lines.size(); ++i) {
    if (i > lines_.shown_) joined += '\n';
    joined += lines[i];
  }
  const QString text = QString::fromUtf8(joined.data(), static_cast<qsizetype>(joined.size()));
  if (lines_.shown_ == 0)
    setPlainText(text);
  else
    appendPlainText(text);
  lines_.shown_ = lines.size();
  // The library's memo shows the line it has just added.
  moveCursor(QTextCursor::End);
  moveCursor(QTextCursor::StartOfLine);
  ensureCursorVisible();
}

void TMemo::SelectAll() {
  Flush();
  selectAll();
}

void TMemo::CopyToClipboard() {
  Flush();
  const QTextCursor cursor = textCursor();
  // The whole text is on hand as lines: copying it from the document
  // would walk every block again.
  if (cursor.selectionStart() == 0 && cursor.selectionEnd() >= document()->characterCount() - 1 &&
      !lines_.lines_.empty()) {
    std::string text = lines_.Text();
    text.pop_back();  // as the widget copies it: no break after the last line
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    return;
  }
  copy();
}

void TMemo::SetSelLength(int length) {
  Flush();
  QTextCursor cursor = textCursor();
  const int start = cursor.selectionStart();
  const int end = std::min(start + std::max(length, 0), document()->characterCount() - 1);
  cursor.setPosition(start);
  cursor.setPosition(end, QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  ensureCursorVisible();
}

bool TMemo::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Paint) Flush();
  return QPlainTextEdit::viewportEvent(event);
}

bool TMemo::event(QEvent* event) {
  // Screen readers and the like read the widget through these.
  if (event->type() == QEvent::Show || event->type() == QEvent::FocusIn) Flush();
  return QPlainTextEdit::event(event);
}

}  // namespace quor
