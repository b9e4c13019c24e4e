#include "gui/controls/Memo.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include "gui/controls/MemoAccessible.h"
#include "text/Bytes.h"
#include "text/EastAsianWidth.h"

namespace quor {

namespace {

constexpr int kMargin = 4;  // left of the first column, as a text edit has it
// A column is as wide as its widest field up to this many narrow cells;
// one very long name must not push every other line's fields off screen.
constexpr int kColumnCells = 60;
constexpr int kGapCells = 2;

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

bool IsErrorLine(const std::string& line) { return line.compare(0, 6, "Error\t") == 0 || line == "Error"; }

bool HoldsIgnoringAsciiCase(std::string_view line, std::string_view lowerNeedle) {
  return std::search(line.begin(), line.end(), lowerNeedle.begin(), lowerNeedle.end(),
                     [](char a, char b) { return AsciiLower(a) == b; }) != line.end();
}

}  // namespace

void TMemoLines::Add(std::string line) {
  lines_.push_back(std::move(line));
  memo_.Added();
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

TMemo::TMemo(QWidget* parent) : QAbstractScrollArea(parent) {
  static const bool accessible = (QAccessible::installFactory(MemoAccessible), true);
  (void)accessible;
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(false);  // drops belong to the window
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setFont(FixedPitchFont());
  MeasureFont();
  // Scrolled to the end, by the user or by lines coming in: keep following.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int value) { followEnd_ = value >= verticalScrollBar()->maximum(); });

  dragScroll_.setInterval(50);
  connect(&dragScroll_, &QTimer::timeout, this, [this] {
    const int y = viewport()->mapFromGlobal(QCursor::pos()).y();
    if (y < 0)
      MoveTo(current_ > 0 ? current_ - 1 : 0, true);
    else if (y >= viewport()->height())
      MoveTo(current_ + 1, true);
  });

  find_ = new QLineEdit(this);
  find_->setAccessibleName(QStringLiteral("検索"));
  find_->setPlaceholderText(QStringLiteral("検索 (Enter で次へ、Esc で閉じる)"));
  find_->setClearButtonEnabled(true);
  find_->hide();
  find_->installEventFilter(this);
  connect(find_, &QLineEdit::returnPressed, this, [this] { FindFromField(); });
  connect(find_, &QLineEdit::textEdited, this, [this] { find_->setPalette(palette()); });
}

TMemo::~TMemo() = default;

void TMemo::MeasureFont() {
  const QFontMetrics metrics(font());
  narrow_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
  wide_ = std::max(narrow_, metrics.horizontalAdvance(QChar(0x6F22)));
  // Japanese comes from a fallback face, often taller than the fixed one:
  // the row takes the height of a line that holds both.
  QTextLayout layout(QStringLiteral("Wg0漢字「」←"), font());
  layout.beginLayout();
  const QTextLine line = layout.createLine();
  layout.endLayout();
  rowHeight_ = std::max({1, metrics.lineSpacing(), static_cast<int>(std::ceil(line.height()))});
  ascent_ = std::max(metrics.ascent(), static_cast<int>(std::ceil(line.ascent())));
}

void TMemo::MeasureFields(std::size_t from) {
  const auto& lines = lines_.lines_;
  for (std::size_t n = from; n < lines.size(); ++n) {
    const std::string_view line = lines[n];
    std::size_t field = 0;
    int width = 0;
    const auto close = [&] {
      if (field >= fieldWidths_.size()) fieldWidths_.resize(field + 1, 0);
      fieldWidths_[field] = std::max(fieldWidths_[field], width);
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        close();
        ++field, width = 0;
      } else {
        const int cells = CellsAt(line, i);
        width += cells == 2 ? wide_ : cells * narrow_;
      }
    }
    close();
  }
}

void TMemo::Added() {
  MeasureFields(lines_.lines_.size() - 1);
  ScheduleFlush();
}

void TMemo::ScheduleFlush() {
  // A memo on a hidden page catches up when it is shown.
  if (flushPending_ || !isVisible()) return;
  flushPending_ = true;
  // Runs after the command that adds the lines, before the next paint.
  QTimer::singleShot(0, this, [this] { Flush(); });
}

void TMemo::Flush() {
  flushPending_ = false;
  const std::size_t count = lines_.lines_.size();
  UpdateScrollBars();
  if (followEnd_) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  if (told_ != count) {
    if (QAccessible::isActive() && count > told_) {
      const qsizetype at = told_ > 0 ? LineEnd(told_ - 1) : 0;
      QAccessibleTextInsertEvent inserted(this, static_cast<int>(at), TextRange(at, TextLength()));
      QAccessible::updateAccessibility(&inserted);
    }
    told_ = count;
    viewport()->update();
  }
}

void TMemo::Clear() {
  if (QAccessible::isActive() && told_ > 0) {
    QAccessibleTextRemoveEvent removed(this, 0, TextRange(0, LineEnd(told_ - 1)));
    QAccessible::updateAccessibility(&removed);
  }
  lines_.lines_.clear();
  starts_.clear();
  fieldWidths_.clear();
  paintedWidest_ = 0;
  current_ = anchor_ = 0;
  selected_ = false;
  followEnd_ = true;
  told_ = 0;
  horizontalScrollBar()->setValue(0);
  UpdateScrollBars();
  viewport()->update();
}

int TMemo::FullRows() const { return std::max(1, viewport()->height() / rowHeight_); }

int TMemo::FirstRow() const { return verticalScrollBar()->value(); }

std::size_t TMemo::RowsOnScreen() const {
  const std::size_t first = static_cast<std::size_t>(FirstRow());
  const std::size_t count = lines_.lines_.size();
  if (first >= count) return 0;
  const std::size_t rows = static_cast<std::size_t>((viewport()->height() + rowHeight_ - 1) / rowHeight_);
  return std::min(count - first, rows);
}

int TMemo::RowLeft() const { return kMargin - horizontalScrollBar()->value(); }

void TMemo::UpdateScrollBars() {
  const std::size_t count = lines_.lines_.size();
  const int rows = FullRows();
  QScrollBar* v = verticalScrollBar();
  v->setPageStep(rows);
  v->setSingleStep(1);
  v->setRange(0, static_cast<int>(std::min<std::size_t>(
                     INT_MAX, count > static_cast<std::size_t>(rows) ? count - static_cast<std::size_t>(rows) : 0)));
  // The widest line is at most the widest of each field side by side.
  long long widest = 0;
  for (const int w : fieldWidths_) widest += w + kGapCells * narrow_;
  widest = std::max<long long>(widest, paintedWidest_);
  QScrollBar* h = horizontalScrollBar();
  const int page = viewport()->width();
  h->setPageStep(page);
  h->setSingleStep(narrow_);
  h->setRange(0, static_cast<int>(std::clamp<long long>(widest + 2 * kMargin - page, 0, INT_MAX)));
}

std::vector<TMemo::Field> TMemo::LayoutRow(const QString& text) const {
  const QFontMetrics metrics(font());
  const int gap = kGapCells * narrow_;
  std::vector<Field> fields;
  int column = 0;  // where this field's column starts
  int end = 0;     // where the previous field's text ends
  qsizetype from = 0;
  for (std::size_t k = 0;; ++k) {
    qsizetype tab = text.indexOf(QLatin1Char('\t'), from);
    if (tab < 0) tab = text.size();
    Field f;
    f.from = from;
    f.length = tab - from;
    // A field that overflowed its column pushes the next one on.
    f.x = k == 0 ? 0 : std::max(column, end + gap);
    f.width = metrics.horizontalAdvance(text.mid(f.from, f.length));
    fields.push_back(f);
    if (tab >= text.size()) break;
    end = f.x + f.width;
    const int widest = k < fieldWidths_.size() ? fieldWidths_[k] : f.width;
    column += std::min(widest, kColumnCells * narrow_) + gap;
    from = tab + 1;
  }
  return fields;
}

QString TMemo::LineText(std::size_t line) const {
  const std::string& bytes = lines_.lines_.at(line);
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QColor TMemo::LineColor(std::size_t line) const {
  if (!IsErrorLine(lines_.lines_.at(line))) return palette().color(QPalette::Text);
  // Red that reads on the base, light or dark.
  return palette().color(QPalette::Base).lightness() < 128 ? QColor(255, 110, 110) : QColor(200, 0, 0);
}

void TMemo::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(viewport());
  const QFontMetrics metrics(font());
  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  const std::size_t first = static_cast<std::size_t>(FirstRow());
  const std::size_t lo = std::min(anchor_, current_);
  const std::size_t hi = std::max(anchor_, current_);
  const int left = RowLeft();
  int widest = paintedWidest_;
  for (std::size_t row = 0, rows = RowsOnScreen(); row < rows; ++row) {
    const std::size_t line = first + row;
    const QRect band(0, static_cast<int>(row) * rowHeight_, viewport()->width(), rowHeight_);
    const bool selected = selected_ && line >= lo && line <= hi;
    if (selected) painter.fillRect(band, palette().brush(group, QPalette::Highlight));
    painter.setPen(selected ? palette().color(group, QPalette::HighlightedText) : LineColor(line));
    const QString text = LineText(line);
    const std::vector<Field> fields = LayoutRow(text);
    for (const Field& f : fields)
      painter.drawText(QPoint(left + f.x, band.top() + ascent_), text.mid(f.from, f.length));
    widest = std::max(widest, fields.back().x + fields.back().width);
    if (line == current_ && hasFocus()) {
      QPen pen(palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text), 1, Qt::DotLine);
      painter.setPen(pen);
      painter.drawRect(band.adjusted(0, 0, -1, -1));
    }
  }
  // An estimate that fell short (a face wider than measured) is put right
  // from what was drawn; the scroll bar follows after this paint.
  if (widest > paintedWidest_) {
    paintedWidest_ = widest;
    QTimer::singleShot(0, this, [this] { UpdateScrollBars(); });
  }
}

QStringList TMemo::VisibleLines() {
  Flush();
  QStringList rows;
  const std::size_t first = static_cast<std::size_t>(FirstRow());
  for (std::size_t row = 0, count = RowsOnScreen(); row < count; ++row) rows.push_back(LineText(first + row));
  return rows;
}

void TMemo::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const bool follow = followEnd_;
  UpdateScrollBars();
  if (follow) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  PlaceFind();
}

void TMemo::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  Flush();
}

void TMemo::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    MeasureFont();
    fieldWidths_.clear();
    paintedWidest_ = 0;
    MeasureFields(0);
    UpdateScrollBars();
  }
}

void TMemo::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TMemo::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

bool TMemo::event(QEvent* event) {
  // The memo's keys win over shortcuts of the window while it has focus.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll) || key->matches(QKeySequence::Find) ||
        key->matches(QKeySequence::FindNext)) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void TMemo::SelectLines(std::size_t anchor, std::size_t current) {
  const std::size_t count = lines_.lines_.size();
  if (count == 0) return;
  anchor_ = std::min(anchor, count - 1);
  current_ = std::min(current, count - 1);
  selected_ = true;
  EnsureVisible(current_);
  viewport()->update();
  TellCursor();
  TellSelection();
}

void TMemo::MoveTo(std::size_t line, bool extend) {
  // Shift extends from the selection's fixed end, or from where the user is.
  SelectLines(extend ? (selected_ ? anchor_ : current_) : line, line);
}

void TMemo::EnsureVisible(std::size_t line) {
  QScrollBar* v = verticalScrollBar();
  const auto rows = static_cast<std::size_t>(FullRows());
  const auto first = static_cast<std::size_t>(v->value());
  if (line < first)
    v->setValue(static_cast<int>(line));
  else if (line >= first + rows)
    v->setValue(static_cast<int>(std::min<std::size_t>(INT_MAX, line - rows + 1)));
}

std::size_t TMemo::RowAt(int y) const {
  const long long row = FirstRow() + (y < 0 ? -1 : y / rowHeight_);
  const long long last = static_cast<long long>(lines_.lines_.size()) - 1;
  return static_cast<std::size_t>(std::clamp<long long>(row, 0, std::max(0LL, last)));
}

void TMemo::keyPressEvent(QKeyEvent* event) {
  Flush();
  if (event->matches(QKeySequence::SelectAll)) return SelectAll();
  if (event->matches(QKeySequence::Copy)) return CopyToClipboard();
  if (event->matches(QKeySequence::Find)) return ShowFind();
  if (event->matches(QKeySequence::FindNext)) {
    if (lastFind_.empty()) return ShowFind();
    FindNext(lastFind_);
    return;
  }
  const std::size_t count = lines_.lines_.size();
  const auto page = static_cast<std::size_t>(FullRows());
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  switch (event->key()) {
    case Qt::Key_Up:
      if (count > 0) MoveTo(current_ > 0 ? current_ - 1 : 0, extend);
      return;
    case Qt::Key_Down:
      if (count > 0) MoveTo(current_ + 1, extend);
      return;
    case Qt::Key_PageUp:
      if (count > 0) MoveTo(current_ > page ? current_ - page : 0, extend);
      return;
    case Qt::Key_PageDown:
      if (count > 0) MoveTo(current_ + page, extend);
      return;
    case Qt::Key_Home:
      if (count > 0) MoveTo(0, extend);
      return;
    case Qt::Key_End:
      if (count > 0) MoveTo(count - 1, extend);
      return;
    case Qt::Key_Left:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
      return;
    case Qt::Key_Right:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      return;
    case Qt::Key_Escape:
      if (find_->isVisible()) return HideFind();
      break;
    default:
      break;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void TMemo::mousePressEvent(QMouseEvent* event) {
  Flush();
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
  if (lines_.lines_.empty()) return;
  const std::size_t line = RowAt(event->position().toPoint().y());
  // A right click keeps a selection it falls into, for the menu's Copy.
  if (event->button() == Qt::RightButton && selected_ && line >= std::min(anchor_, current_) &&
      line <= std::max(anchor_, current_))
    return;
  MoveTo(line, event->modifiers() & Qt::ShiftModifier);
  dragging_ = event->button() == Qt::LeftButton;
}

void TMemo::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
  const int y = event->position().toPoint().y();
  MoveTo(RowAt(y), true);
  // Held above or below the rows, the selection keeps growing that way.
  if (y < 0 || y >= viewport()->height())
    dragScroll_.start();
  else
    dragScroll_.stop();
}

void TMemo::mouseReleaseEvent(QMouseEvent* /*event*/) {
  dragging_ = false;
  dragScroll_.stop();
}

void TMemo::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(QStringLiteral("コピー(&C)"), this, [this] { CopyToClipboard(); });
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(selected_);
  menu.addAction(QStringLiteral("すべて選択(&A)"), this, [this] { SelectAll(); })->setShortcut(QKeySequence::SelectAll);
  menu.addSeparator();
  menu.addAction(QStringLiteral("検索(&F)..."), this, [this] { ShowFind(); })->setShortcut(QKeySequence::Find);
  menu.exec(event->globalPos());
}

void TMemo::SelectAll() {
  Flush();
  const std::size_t count = lines_.lines_.size();
  if (count == 0) return;
  // The view stays where it is, as a text edit's Select All leaves it.
  anchor_ = 0;
  current_ = count - 1;
  selected_ = true;
  viewport()->update();
  TellCursor();
  TellSelection();
}

std::string TMemo::SelectedText() const {
  if (!selected_) return {};
  const auto& lines = lines_.lines_;
  const std::size_t hi = std::max(anchor_, current_);
  std::string text;
  for (std::size_t i = std::min(anchor_, current_); i <= hi; ++i) {
    text += lines[i];
    if (i < hi) text += '\n';
  }
  return text;
}

void TMemo::CopyToClipboard() {
  Flush();
  if (!selected_) return;
  const std::string text = SelectedText();
  QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TMemo::SetSelLength(int length) {
  Flush();
  if (lines_.lines_.empty()) return;
  const std::size_t start = selected_ ? std::min(anchor_, current_) : current_;
  if (length <= 0) {
    anchor_ = current_ = start;
    selected_ = false;
    EnsureVisible(start);
    viewport()->update();
    TellCursor();
    TellSelection();
    return;
  }
  SelectLines(start, LineAtOffset(LineStart(start) + length - 1));
}

bool TMemo::FindNext(const std::string& text) {
  Flush();
  const auto& lines = lines_.lines_;
  if (text.empty() || lines.empty()) return false;
  lastFind_ = text;
  std::string needle = text;
  std::transform(needle.begin(), needle.end(), needle.begin(), AsciiLower);
  // From the line after the one the user is on; from the top of a log
  // nobody has moved in yet.
  const std::size_t start = selected_ ? current_ + 1 : current_;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::size_t i = (start + n) % lines.size();
    if (HoldsIgnoringAsciiCase(lines[i], needle)) {
      SelectLines(i, i);
      return true;
    }
  }
  return false;
}

void TMemo::ShowFind() {
  find_->show();
  setViewportMargins(0, 0, 0, find_->sizeHint().height());
  PlaceFind();
  find_->setFocus();
  find_->selectAll();
}

void TMemo::HideFind() {
  find_->hide();
  setViewportMargins(0, 0, 0, 0);
  setFocus();
}

void TMemo::PlaceFind() {
  if (!find_ || !find_->isVisible()) return;
  const QRect rows = viewport()->geometry();
  find_->setGeometry(rows.left(), rows.bottom() + 1, rows.width(), find_->sizeHint().height());
}

void TMemo::FindFromField() {
  const QByteArray text = find_->text().toUtf8();
  const bool found = FindNext(text.toStdString());
  // Not found: the field says so, as browsers' find bars do.
  QPalette colours = palette();
  if (!found && !text.isEmpty()) colours.setColor(QPalette::Base, QColor(255, 200, 200));
  find_->setPalette(colours);
}

bool TMemo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == find_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      HideFind();
      return true;
    }
    if (key->matches(QKeySequence::FindNext)) {
      FindFromField();
      return true;
    }
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

}  // namespace quor
