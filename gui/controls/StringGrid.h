#pragma once

// The string grid of the class library over QTableWidget. Rows are counted
// as the library counts them: the fixed header row is row 0 and is shown
// as the table's column header, where the user cannot edit it and can
// drag the column widths; rows from FixedRows() on are the table's rows.

#include <functional>
#include <string>
#include <string_view>

#include <QTableWidget>

namespace quor {

class TStringGrid;

// One row of the grid as a list of lines, one cell each (the library's
// Rows[r]).
class TGridRow {
 public:
  TGridRow(TStringGrid& grid, int row) : grid_(grid), row_(row) {}

  // The cells from column 0 on, each followed by "\n".
  [[nodiscard]] std::string Text() const;
  // Fills the cells from column 0 on with the lines of `text` (split at
  // "\r\n", "\n" or "\r"); cells without a line become empty, lines beyond
  // the last column are dropped. "" empties the row.
  void SetText(std::string_view text);

 private:
  TStringGrid& grid_;
  int row_;
};

class TStringGrid : public QTableWidget {
 public:
  // Column width and row height in pixels (the row height grows to fit
  // the font). Editing starts as soon as a cell becomes current, Tab
  // leaves the grid, and a rectangular range can be selected.
  TStringGrid(int colCount, int rowCount, int fixedRows, int colWidth, int rowHeight,
              QWidget* parent = nullptr);

  // Cell text as bytes. A cell set from bytes that are not valid UTF-8
  // reads back as the same bytes until the user edits it. Out of range:
  // "" on read, ignored on write.
  [[nodiscard]] std::string Cells(int col, int row) const;
  void SetCells(int col, int row, const std::string& text);

  [[nodiscard]] TGridRow Rows(int row) { return TGridRow(*this, row); }

  [[nodiscard]] int ColCount() const { return columnCount(); }

  // Rows are added or removed at the bottom; removed rows lose their
  // text. A count of FixedRows() or less lowers FixedRows() to count - 1;
  // the count is at least 1.
  [[nodiscard]] int RowCount() const { return fixedRows_ + rowCount(); }
  void SetRowCount(int count);

  // 0 or 1. Throws quor::Exception for other values and for a value not
  // below RowCount(), like the library.
  [[nodiscard]] int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int fixed);

  // Takes the text of a cell being edited into the cell and closes its
  // editor, as leaving the cell would. Nothing when no cell is edited.
  void CommitEditor();

  // The cell's text as the user sees it now: what its open editor holds,
  // before it is committed; otherwise Cells.
  [[nodiscard]] std::string ShownCells(int col, int row) const;
  // Called on each keystroke that changes the text of an open editor, with
  // the cell's column and row, before the cell is committed.
  std::function<void(int col, int row)> OnEditing;

  // Makes `col` a column of check boxes, unchecked, one in each row below
  // the fixed row, rows added later included; its header keeps its text.
  // Space or a click toggles one; the cells are never edited as text. A
  // text set in such a cell (SetCells) is a note shown beside its box, such
  // as a setting that the box cannot show; toggling the box takes the note
  // away, since the user has decided.
  void SetCheckColumn(int col);
  // A check box of that column; false and ignored elsewhere.
  [[nodiscard]] bool Checked(int col, int row) const;
  void SetChecked(int col, int row, bool checked);

  // Marks a cell as wrong, with `problem` as its tooltip; "" takes the mark
  // away. Out of range: ignored.
  void MarkCell(int col, int row, const std::string& problem);

 private:
  QTableWidgetItem* Item(int col, int row) const;
  // Gives every row below the fixed row its check box.
  void AddCheckBoxes();

  int fixedRows_ = 0;
  int checkColumn_ = -1;
};

}  // namespace quor
