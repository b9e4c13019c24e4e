#pragma once

// The multi-line edit of the class library, read-only, as a view over its
// lines: only the rows on screen are converted and drawn, so a log of a
// million lines costs no more to show or scroll than one of ten. The lines
// are kept as bytes, so a line holding a name that is not valid UTF-8 reads
// back unchanged; it is drawn with replacement characters.
//
// The user selects whole lines (mouse, arrows, Page Up/Down, Home/End, with
// Shift to extend), copies them with Ctrl+C, and finds a text with Ctrl+F.
// The TAB-separated fields are drawn in columns; lines of the kind "Error"
// stand out in red.

#include <cstddef>
#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QColor>
#include <QStringList>
#include <QTimer>

class QLineEdit;

namespace quor {

class TMemo;

// The memo's line list (the library's Lines).
class TMemoLines {
 public:
  explicit TMemoLines(TMemo& memo) : memo_(memo) {}

  // Appends one line at the end. Cheap: no conversion, no layout; the
  // widget catches up once before it is next painted.
  void Add(std::string line);
  void Clear();
  [[nodiscard]] std::size_t Count() const { return lines_.size(); }
  [[nodiscard]] const std::string& operator[](std::size_t i) const { return lines_.at(i); }
  // Every line followed by "\n".
  [[nodiscard]] std::string Text() const;

 private:
  friend class TMemo;
  friend class TMemoAccessible;
  TMemo& memo_;
  std::vector<std::string> lines_;
};

class TMemo : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TMemo(QWidget* parent = nullptr);
  ~TMemo() override;

  void Clear();
  [[nodiscard]] TMemoLines& Lines() { return lines_; }
  [[nodiscard]] const TMemoLines& Lines() const { return lines_; }
  void SelectAll();
  // Puts the selected lines on the clipboard, joined by "\n" with no break
  // after the last; leaves the clipboard alone when nothing is selected.
  void CopyToClipboard();
  // Keeps the first selected line and selects `length` characters from its
  // start, rounded out to whole lines; 0 leaves that line current with
  // nothing selected. The line is scrolled into view.
  void SetSelLength(int length);

  // Brings the scroll bars up to the lines added so far and, unless the
  // user has scrolled away from the end, shows the last one. Runs by itself
  // before the next paint; callers that read the view at once may run it.
  void Flush();

  [[nodiscard]] bool HasSelection() const { return selected_; }
  // The selected lines as CopyToClipboard takes them, as bytes.
  [[nodiscard]] std::string SelectedText() const;
  // The line the keyboard moves from and Find starts after.
  [[nodiscard]] std::size_t CurrentLine() const { return current_; }
  // The rows on screen as they are drawn, top to bottom.
  [[nodiscard]] QStringList VisibleLines();
  // Makes the next line that holds `text` (ASCII letters in either case)
  // current and selected, searching down from the line after the current
  // one and wrapping round; false when no line holds it.
  bool FindNext(const std::string& text);
  // Opens the find field under the lines (Ctrl+F).
  void ShowFind();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  friend class TMemoLines;
  friend class TMemoAccessible;

  // One TAB-separated field of a row as drawn.
  struct Field {
    qsizetype from = 0;  // in the row's text
    qsizetype length = 0;
    int x = 0;  // from the left end of the row
    int width = 0;
  };

  void Added();
  void MeasureFont();
  void MeasureFields(std::size_t from);
  void ScheduleFlush();
  void UpdateScrollBars();
  [[nodiscard]] int FullRows() const;
  [[nodiscard]] int FirstRow() const;
  [[nodiscard]] std::size_t RowsOnScreen() const;
  [[nodiscard]] int RowLeft() const;
  [[nodiscard]] std::vector<Field> LayoutRow(const QString& text) const;
  [[nodiscard]] QString LineText(std::size_t line) const;
  [[nodiscard]] QColor LineColor(std::size_t line) const;
  [[nodiscard]] std::size_t RowAt(int y) const;
  void EnsureVisible(std::size_t line);
  void MoveTo(std::size_t line, bool extend);
  void SelectLines(std::size_t anchor, std::size_t current);
  void HideFind();
  void PlaceFind();
  void FindFromField();

  // The text as a screen reader reads it: the lines joined by "\n", in
  // UTF-16 offsets, worked out only as far as it asks (MemoAccessible.cpp).
  [[nodiscard]] qsizetype LineStart(std::size_t line) const;
  [[nodiscard]] qsizetype LineEnd(std::size_t line) const;
  [[nodiscard]] qsizetype TextLength() const;
  [[nodiscard]] std::size_t LineAtOffset(qsizetype offset) const;
  [[nodiscard]] QString TextRange(qsizetype start, qsizetype end) const;
  void TellCursor();
  void TellSelection();

  TMemoLines lines_{*this};
  bool flushPending_ = false;
  std::size_t told_ = 0;  // lines a screen reader has heard of
  mutable std::vector<qsizetype> starts_;

  // Widths in pixels, estimated from the bytes as lines come in: the widest
  // value of each field lays out the columns and the horizontal range.
  std::vector<int> fieldWidths_;
  int paintedWidest_ = 0;  // measured while painting, when the estimate fell short
  int narrow_ = 1;
  int wide_ = 2;
  int rowHeight_ = 1;
  int ascent_ = 0;

  std::size_t current_ = 0;
  std::size_t anchor_ = 0;
  bool selected_ = false;
  bool followEnd_ = true;
  bool dragging_ = false;
  QTimer dragScroll_;

  QLineEdit* find_ = nullptr;
  std::string lastFind_;
};

}  // namespace quor
