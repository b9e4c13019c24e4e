#include "gui/controls/MemoAccessible.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QTextBoundaryFinder>

#include "gui/controls/Memo.h"
#include "text/Codepage.h"

namespace quor {

namespace {

// The length of the line in QString units, without making the QString
// unless the bytes are not valid UTF-8.
qsizetype Utf16Length(const std::string& line) {
  const auto viaQt = [&] { return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).size(); };
  // Qt drops a byte order mark at the start.
  if (line.starts_with("\xEF\xBB\xBF")) return viaQt();
  qsizetype n = 0;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t length = Utf8SequenceLength(line, i);
    if (length == 0) return viaQt();
    n += length == 4 ? 2 : 1;  // beyond U+FFFF: a surrogate pair
    i += length;
  }
  return n;
}

}  // namespace

// A friend of TMemo: it answers from the memo's own lines, selection and
// layout, and moves the memo's cursor and selection when a reader asks.
class TMemoAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TMemoAccessible(TMemo* memo) : QAccessibleWidget(memo, QAccessible::EditableText) {}

  using QAccessibleWidget::text;  // the name; text(start, end) below is the content

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  [[nodiscard]] QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    s.editable = false;
    return s;
  }

  void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    const TMemo& m = Memo();
    if (selectionIndex != 0 || !m.selected_) return;
    *startOffset = Int(m.LineStart(std::min(m.anchor_, m.current_)));
    *endOffset = Int(m.LineEnd(std::max(m.anchor_, m.current_)));
  }
  [[nodiscard]] int selectionCount() const override { return Memo().selected_ ? 1 : 0; }
  void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
  void removeSelection(int selectionIndex) override {
    TMemo& m = Memo();
    if (selectionIndex != 0 || !m.selected_) return;
    m.selected_ = false;
    m.viewport()->update();
    m.TellSelection();
  }
  void setSelection(int selectionIndex, int startOffset, int endOffset) override {
    TMemo& m = Memo();
    if (selectionIndex != 0 || m.lines_.lines_.empty()) return;
    const int from = std::min(startOffset, endOffset);
    const int to = std::max(startOffset, endOffset);
    m.SelectLines(m.LineAtOffset(from), m.LineAtOffset(std::max(from, to - 1)));
  }
  [[nodiscard]] int cursorPosition() const override { return Int(Memo().LineStart(Memo().current_)); }
  void setCursorPosition(int position) override {
    TMemo& m = Memo();
    if (m.lines_.lines_.empty()) return;
    m.current_ = m.anchor_ = m.LineAtOffset(position);
    m.selected_ = false;
    m.EnsureVisible(m.current_);
    m.viewport()->update();
    m.TellCursor();
  }

  [[nodiscard]] QString text(int startOffset, int endOffset) const override {
    return Memo().TextRange(startOffset, endOffset);
  }
  [[nodiscard]] int characterCount() const override { return Int(Memo().TextLength()); }

  [[nodiscard]] QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                                     int* endOffset) const override {
    const auto [from, to] = Around(offset, boundary);
    *startOffset = Int(from);
    *endOffset = Int(to);
    return Memo().TextRange(from, to);
  }
  [[nodiscard]] QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                                         int* endOffset) const override {
    const qsizetype at = Around(offset, boundary).first;
    if (at <= 0) {
      *startOffset = *endOffset = 0;
      return {};
    }
    return textAtOffset(Int(at - 1), boundary, startOffset, endOffset);
  }
  [[nodiscard]] QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                                        int* endOffset) const override {
    const qsizetype end = Around(offset, boundary).second;
    const qsizetype length = Memo().TextLength();
    if (end >= length) {
      *startOffset = *endOffset = Int(length);
      return {};
    }
    return textAtOffset(Int(end), boundary, startOffset, endOffset);
  }

  [[nodiscard]] QRect characterRect(int offset) const override {
    const TMemo& m = Memo();
    if (m.lines_.lines_.empty()) return {};
    const std::size_t line = m.LineAtOffset(offset);
    const QString text = m.LineText(line);
    const qsizetype at = std::clamp<qsizetype>(offset - m.LineStart(line), 0, text.size());
    const QFontMetrics metrics(m.font());
    int x = 0;
    int width = m.narrow_;
    for (const TMemo::Field& f : m.LayoutRow(text)) {
      if (at < f.from) break;
      x = f.x + metrics.horizontalAdvance(text.mid(f.from, std::min(at - f.from, f.length)));
      if (at < f.from + f.length) width = metrics.horizontalAdvance(text.mid(at, 1));
    }
    const int top = (static_cast<int>(line) - m.FirstRow()) * m.rowHeight_;
    const QRect local(m.RowLeft() + x, top, width, m.rowHeight_);
    return QRect(m.viewport()->mapToGlobal(local.topLeft()), local.size());
  }
  [[nodiscard]] int offsetAtPoint(const QPoint& point) const override {
    const TMemo& m = Memo();
    const QPoint local = m.viewport()->mapFromGlobal(point);
    if (m.lines_.lines_.empty() || !m.viewport()->rect().contains(local)) return -1;
    const std::size_t line = m.RowAt(local.y());
    const QString text = m.LineText(line);
    const QFontMetrics metrics(m.font());
    const int x = local.x() - m.RowLeft();
    qsizetype at = 0;
    for (const TMemo::Field& f : m.LayoutRow(text)) {
      if (x < f.x) break;
      at = f.from;
      for (qsizetype i = 1; i <= f.length && f.x + metrics.horizontalAdvance(text.mid(f.from, i)) <= x; ++i)
        at = f.from + i;
    }
    return Int(m.LineStart(line) + at);
  }
  void scrollToSubstring(int startIndex, int /*endIndex*/) override {
    TMemo& m = Memo();
    if (!m.lines_.lines_.empty()) m.EnsureVisible(m.LineAtOffset(startIndex));
  }
  [[nodiscard]] QString attributes(int offset, int* startOffset, int* endOffset) const override {
    // Plain text: one run of no attributes, the line.
    const auto [from, to] = Around(offset, QAccessible::LineBoundary);
    *startOffset = Int(from);
    *endOffset = Int(to);
    return {};
  }

 private:
  [[nodiscard]] TMemo& Memo() const { return *static_cast<TMemo*>(widget()); }
  static int Int(qsizetype n) { return static_cast<int>(std::clamp<qsizetype>(n, 0, INT_MAX)); }

  // The unit of text that holds `offset`, as [start, end). A line ends
  // after its line break, as the line boundaries of other text widgets do.
  [[nodiscard]] std::pair<qsizetype, qsizetype> Around(qsizetype offset, QAccessible::TextBoundaryType boundary) const {
    const TMemo& m = Memo();
    const qsizetype length = m.TextLength();
    if (m.lines_.lines_.empty()) return {0, 0};
    offset = std::clamp<qsizetype>(offset, 0, length);
    if (boundary == QAccessible::NoBoundary) return {0, length};
    const std::size_t line = m.LineAtOffset(offset);
    const qsizetype start = m.LineStart(line);
    const qsizetype end = m.LineEnd(line);
    const qsizetype next = line + 1 < m.lines_.lines_.size() ? end + 1 : end;
    switch (boundary) {
      case QAccessible::CharBoundary: {
        if (offset >= length) return {length, length};
        const QString text = m.TextRange(offset, std::min(offset + 2, length));
        return {offset, offset + (text.size() == 2 && text[0].isHighSurrogate() ? 2 : 1)};
      }
      case QAccessible::WordBoundary:
      case QAccessible::SentenceBoundary: {
        if (offset >= end) return {end, next};  // the line break
        const QString text = m.LineText(line);
        QTextBoundaryFinder finder(
            boundary == QAccessible::WordBoundary ? QTextBoundaryFinder::Word : QTextBoundaryFinder::Sentence, text);
        finder.setPosition(offset - start);
        const qsizetype from = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
        finder.setPosition(offset - start);
        const qsizetype to = finder.toNextBoundary();
        return {start + std::max<qsizetype>(from, 0), start + (to < 0 ? text.size() : to)};
      }
      default:  // lines and paragraphs are the same here
        return {start, next};
    }
  }
};

QAccessibleInterface* MemoAccessible(const QString& key, QObject* object) {
  if (key == QLatin1String(TMemo::staticMetaObject.className()) && object && object->isWidgetType())
    return new TMemoAccessible(static_cast<TMemo*>(object));
  return nullptr;
}

// The offset index and the reader's notices, TMemo's side of the adapter.

qsizetype TMemo::LineStart(std::size_t line) const {
  const auto& lines = lines_.lines_;
  line = std::min(line, lines.size());
  // starts_[i] is where line i begins; the lines only grow until Clear.
  if (starts_.empty()) starts_.push_back(0);
  while (starts_.size() <= line) {
    const std::size_t i = starts_.size() - 1;
    starts_.push_back(starts_.back() + Utf16Length(lines[i]) + 1);
  }
  return starts_[line];
}

qsizetype TMemo::LineEnd(std::size_t line) const { return LineStart(line + 1) - 1; }

qsizetype TMemo::TextLength() const {
  const std::size_t count = lines_.lines_.size();
  return count == 0 ? 0 : LineEnd(count - 1);
}

std::size_t TMemo::LineAtOffset(qsizetype offset) const {
  const std::size_t count = lines_.lines_.size();
  if (count == 0) return 0;
  (void)LineStart(count);
  const auto after = std::upper_bound(starts_.begin(), starts_.begin() + static_cast<std::ptrdiff_t>(count), offset);
  return after == starts_.begin() ? 0 : static_cast<std::size_t>(after - starts_.begin() - 1);
}

QString TMemo::TextRange(qsizetype start, qsizetype end) const {
  const qsizetype length = TextLength();
  start = std::clamp<qsizetype>(start, 0, length);
  end = std::clamp<qsizetype>(end, start, length);
  if (start == end) return {};
  const std::size_t first = LineAtOffset(start);
  const std::size_t last = LineAtOffset(end - 1);
  QString text;
  for (std::size_t i = first; i <= last; ++i) {
    text += LineText(i);
    if (i + 1 < lines_.lines_.size()) text += QLatin1Char('\n');
  }
  return text.mid(start - LineStart(first), end - start);
}

void TMemo::TellCursor() {
  if (!QAccessible::isActive()) return;
  QAccessibleTextCursorEvent moved(this, static_cast<int>(LineStart(current_)));
  QAccessible::updateAccessibility(&moved);
}

void TMemo::TellSelection() {
  if (!QAccessible::isActive()) return;
  const qsizetype from = selected_ ? LineStart(std::min(anchor_, current_)) : LineStart(current_);
  const qsizetype to = selected_ ? LineEnd(std::max(anchor_, current_)) : from;
  QAccessibleTextSelectionEvent selection(this, static_cast<int>(from), static_cast<int>(to));
  QAccessible::updateAccessibility(&selection);
}

}  // namespace quor
